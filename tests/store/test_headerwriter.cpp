#include "clock.h"
#include "recordwriters.h"
#include "storeerror.h"
#include "testhome.h"
#include "writerfixture.h"

#include <QTest>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

class TestHeaderWriter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rowsAndFragments_data();
    void rowsAndFragments();
    void settingsGate_data();
    void settingsGate();
    void noCarrierLocatorsLeaveAmamddAlone_data();
    void noCarrierLocatorsLeaveAmamddAlone();
    void markupInValues_data();
    void markupInValues();
    void clockReadAfresh_data();
    void clockReadAfresh();
    void hundredthCarrierLocator();
};

namespace {

korva::Pnr bookingWithTwoLocators() {
    korva::Pnr pnr = makePnr({{"CARR_CD", u"CI"_s}, {"NUM_CDE", u"297"_s}});
    addCrl(pnr, {{"CARR_CD", u"CI"_s}, {"RLOC_CD", u"XK4P2M"_s}});
    addCrl(pnr, {{"CARR_CD", u"BR"_s}, {"RLOC_CD", u"7QWERT"_s}});
    return pnr;
}

FileContext fileContext() {
    FileContext context;
    context.FileName = u"T5000123.MIR"_s;
    context.Cpnid = u"AGT00042"_s;
    context.Cpnid2Source = u"ABCDEFGHIJKLMNO"_s;
    return context;
}

} // namespace

void TestHeaderWriter::rowsAndFragments_data() {
    addEngineColumn();
    QTest::addColumn<bool>("ttp");
    for (TestEngine engine : {TestEngine::Sqlite, TestEngine::PostgreSql}) {
        newEngineRow(engine, "TTP") << true;
        newEngineRow(engine, "not TTP") << false;
    }
}

// XML_FG "1" with T_MODE "1": rows and fragments from one call.
void TestHeaderWriter::rowsAndFragments() {
    QFETCH(TestEngine, engine);
    QFETCH(bool, ttp);
    TestHome home(TestHome::Korva::Registered);
    KESTO_WRITER_DATABASE(db, engine, home);
    ManualClock clock(QDateTime(QDate(2009, 3, 5), QTime(7, 5, 9)));
    ScopedClock installed(clock);
    FileContext context = fileContext();

    UP_Header(ttp, u"ABC123"_s, u"001"_s, bookingWithTwoLocators(), context,
              writerSettings(db, u"1"_s, u"1"_s));

    QCOMPARE(db.selectRows(u"SELECT RECLOC, SER_NO, PROC_TP, FILE_NM, DATE_1, TIME_1, AIRVER, "
                           "AIROPT, CPNID, CPNID2, COALESCE(KIND, 'null') FROM AMAMD"_s),
             QList<QVariantList>({{"ABC123", "001", "*", "T5000123.MIR", "03-05-2009", "07:05:09",
                                   "205", "1G", "AGT00042", "BCDEFGHIJKLMNO", "null"}}));
    QCOMPARE(db.selectRows(u"SELECT RECLOC, SER_NO, I_INDEX, NSAIR, NSRECLOC FROM AMAMDD "
                           "ORDER BY I_INDEX"_s),
             QList<QVariantList>({{"ABC123", "001", "01", "CI", "XK4P2M"},
                                  {"ABC123", "001", "02", "BR", "7QWERT"}}));
    // Without the pass flag ENTRY is not set at all.
    QCOMPARE(db.selectRows(u"SELECT RECLOC, SER_NO, COALESCE(ENTRY, 'null'), ALCDE, NUMCDE, "
                           "PNRDTE FROM AMHEAD"_s),
             QList<QVariantList>({{"ABC123", "001", ttp ? "TTP" : "null", "CI", "297", "090305"}}));

    QCOMPARE(context.AmamdXml, u"<AMAMD><FILE_NM>T5000123.MIR</FILE_NM><DATE_1>03-05-2009</DATE_1>"
                               "<TIME_1>07:05:09</TIME_1><AIRVER>205</AIRVER><AIROPT>1G</AIROPT>"
                               "<CPNID>AGT00042</CPNID><CPNID2>BCDEFGHIJKLMNO</CPNID2>"_s);
    QCOMPARE(
        context.AmamddXml,
        u"<AMAMDD><I_INDEX>01</I_INDEX><NSAIR>CI</NSAIR><NSRECLOC>XK4P2M</NSRECLOC></AMAMDD>"
        "<AMAMDD><I_INDEX>02</I_INDEX><NSAIR>BR</NSAIR><NSRECLOC>7QWERT</NSRECLOC></AMAMDD>"_s);
    QCOMPARE(context.AmheadXml,
             QString(u"<AMHEAD><ENTRY>"_s + (ttp ? u"TTP"_s : QString()) +
                     u"</ENTRY><ALCDE>CI</ALCDE><NUMCDE>297</NUMCDE><PNRDTE>090305</PNRDTE>"
                     "</AMHEAD>"_s));
}

void TestHeaderWriter::settingsGate_data() {
    addEngineColumn();
    QTest::addColumn<QString>("xmlFg");
    QTest::addColumn<QString>("tMode");
    QTest::addColumn<bool>("rows");
    QTest::addColumn<bool>("fragments");
    for (TestEngine engine : {TestEngine::Sqlite, TestEngine::PostgreSql}) {
        newEngineRow(engine, "XML on, T_MODE 1") << "1"
                                                 << "1" << true << true;
        newEngineRow(engine, "XML on, T_MODE 0") << "1"
                                                 << "0" << false << true;
        newEngineRow(engine, "XML on, T_MODE empty") << "1"
                                                     << "" << false << true;
        newEngineRow(engine, "XML off") << "0"
                                        << "1" << true << false;
        newEngineRow(engine, "XML_FG ' 1' is off") << " 1"
                                                   << "0" << true << false;
    }
}

void TestHeaderWriter::settingsGate() {
    QFETCH(TestEngine, engine);
    QFETCH(QString, xmlFg);
    QFETCH(QString, tMode);
    QFETCH(bool, rows);
    QFETCH(bool, fragments);
    TestHome home(TestHome::Korva::Registered);
    KESTO_WRITER_DATABASE(db, engine, home);
    FileContext context = fileContext();
    // Fragments of an earlier file are emptied whatever the settings.
    context.AmamdXml = context.AmamddXml = context.AmheadXml = u"stale"_s;

    UP_Header(true, u"ABC123"_s, u"001"_s, bookingWithTwoLocators(), context,
              writerSettings(db, xmlFg, tMode));

    for (const QString& table : {u"AMAMD"_s, u"AMAMDD"_s, u"AMHEAD"_s}) {
        const qsizetype count = db.selectRows(u"SELECT RECLOC FROM "_s + table).size();
        QCOMPARE(count > 0, rows);
    }
    for (const QString* fragment : {&context.AmamdXml, &context.AmamddXml, &context.AmheadXml}) {
        QVERIFY(*fragment != u"stale"_s);
        QCOMPARE(!fragment->isEmpty(), fragments);
    }
}

void TestHeaderWriter::noCarrierLocatorsLeaveAmamddAlone_data() {
    addEngineRows();
}

// AMAMDD is reached only when there are carrier locators: without the table
// a booking without them is still stored, one with them fails after AMAMD.
void TestHeaderWriter::noCarrierLocatorsLeaveAmamddAlone() {
    QFETCH(TestEngine, engine);
    TestHome home(TestHome::Korva::Registered);
    KESTO_WRITER_DATABASE(db, engine, home);
    execOn(db, u"DROP TABLE AMAMDD"_s);
    FileContext context = fileContext();
    const GatewaySettings settings = writerSettings(db, u"1"_s, u"1"_s);

    UP_Header(false, u"NOCRL1"_s, u"001"_s, makePnr({{"CARR_CD", u"CI"_s}}), context, settings);
    QVERIFY(context.AmamddXml.isEmpty());
    QCOMPARE(db.selectRows(u"SELECT RECLOC FROM AMHEAD"_s).size(), 1);

    QVERIFY_THROWS_EXCEPTION(StoreError, UP_Header(false, u"WITHCRL"_s, u"001"_s,
                                                   bookingWithTwoLocators(), context, settings));
    QCOMPARE(db.selectRows(u"SELECT RECLOC FROM AMAMD WHERE RECLOC='WITHCRL'"_s).size(), 1);
    QCOMPARE(db.selectRows(u"SELECT RECLOC FROM AMHEAD WHERE RECLOC='WITHCRL'"_s).size(), 0);
    // The fragments built before the failure keep their text.
    QVERIFY(context.AmamddXml.contains(u"7QWERT"_s));
}

void TestHeaderWriter::markupInValues_data() {
    addEngineRows();
}

// Values with markup characters are stored as they are and escaped in the
// fragments, which read back to the same values; a record locator with a
// quote and a semicolon is just text.
void TestHeaderWriter::markupInValues() {
    QFETCH(TestEngine, engine);
    TestHome home(TestHome::Korva::Registered);
    KESTO_WRITER_DATABASE(db, engine, home);
    const QString locator = u"A'B;C"_s;
    const QString carrier = u"<&>"_s;
    korva::Pnr pnr = makePnr({{"CARR_CD", carrier}, {"NUM_CDE", u"'\""_s}});
    addCrl(pnr, {{"CARR_CD", u"A&B"_s}, {"RLOC_CD", u"</NSRECLOC>"_s}});
    FileContext context = fileContext();
    context.FileName = u"R&D <1>.MIR"_s;

    UP_Header(true, locator, u"001"_s, pnr, context, writerSettings(db, u"1"_s, u"1"_s));

    QCOMPARE(db.selectRows(u"SELECT RECLOC, FILE_NM FROM AMAMD"_s),
             QList<QVariantList>({{locator, context.FileName}}));
    QCOMPARE(db.selectRows(u"SELECT NSAIR, NSRECLOC FROM AMAMDD"_s),
             QList<QVariantList>({{"A&B", "</NSRECLOC>"}}));
    QCOMPARE(db.selectRows(u"SELECT ALCDE, NUMCDE FROM AMHEAD"_s),
             QList<QVariantList>({{carrier, "'\""}}));

    const QString document = u"<R>"_s + context.AmamdXml + u"</AMAMD>"_s + context.AmamddXml +
                             context.AmheadXml + u"</R>"_s;
    QXmlStreamReader reader(document);
    QStringList texts;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isCharacters())
            texts.append(reader.text().toString());
    }
    QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
    QVERIFY(texts.contains(context.FileName));
    QVERIFY(texts.contains(u"A&B"_s));
    QVERIFY(texts.contains(u"</NSRECLOC>"_s));
    QVERIFY(texts.contains(carrier));
    QVERIFY(texts.contains(u"'\""_s));
}

void TestHeaderWriter::clockReadAfresh_data() {
    addEngineRows();
}

// The fragment and the row each read the date and the time on their own;
// across midnight they show it. The booking date is read once, last.
void TestHeaderWriter::clockReadAfresh() {
    QFETCH(TestEngine, engine);
    TestHome home(TestHome::Korva::Registered);
    KESTO_WRITER_DATABASE(db, engine, home);
    ManualClock clock(QDateTime(QDate(2009, 3, 4), QTime(23, 59, 59, 999)), 1);
    ScopedClock installed(clock);
    FileContext context = fileContext();
    UP_Header(true, u"ABC123"_s, u"001"_s, makePnr(), context, writerSettings(db, u"1"_s, u"1"_s));
    QVERIFY(context.AmamdXml.contains(u"<DATE_1>03-04-2009</DATE_1><TIME_1>00:00:00</TIME_1>"_s));
    QCOMPARE(db.selectRows(u"SELECT DATE_1, TIME_1 FROM AMAMD"_s),
             QList<QVariantList>({{"03-05-2009", "00:00:00"}}));
    QVERIFY(context.AmheadXml.contains(u"<PNRDTE>090305</PNRDTE>"_s));
}

// Only two digits: the 100th carrier locator is "00". The fragment shows it
// without touching the database (T_MODE "0").
void TestHeaderWriter::hundredthCarrierLocator() {
    TestHome home(TestHome::Korva::Registered);
    korva::Pnr pnr = makePnr();
    for (int i = 1; i <= 100; ++i)
        addCrl(pnr, {{"CARR_CD", u"CI"_s}, {"RLOC_CD", QString::number(i)}});
    FileContext context;
    GatewaySettings settings;
    settings.XML_FG = u"1"_s;
    settings.T_MODE = u"0"_s;
    UP_Header(false, u"ABC123"_s, u"001"_s, pnr, context, settings);
    QVERIFY(context.AmamddXml.contains(u"<I_INDEX>99</I_INDEX><NSAIR>CI</NSAIR><NSRECLOC>99<"_s));
    QVERIFY(context.AmamddXml.endsWith(
        u"<I_INDEX>00</I_INDEX><NSAIR>CI</NSAIR><NSRECLOC>100</NSRECLOC></AMAMDD>"_s));
}

QTEST_GUILESS_MAIN(TestHeaderWriter)
#include "test_headerwriter.moc"
