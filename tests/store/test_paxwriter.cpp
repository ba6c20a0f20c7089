#include "recordwriters.h"
#include "rowappender.h"
#include "storeerror.h"
#include "testhome.h"
#include "writerfixture.h"

#include <QTest>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

class TestPaxWriter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void ttpRowsAndElements_data();
    void ttpRowsAndElements();
    void kindAndGates_data();
    void kindAndGates();
    void manualTickets_data();
    void manualTickets();
    void manualAmountNotANumber_data();
    void manualAmountNotANumber();
    void taxThatIsNoAmountFails_data();
    void taxThatIsNoAmountFails();
    void noPassengersLeaveTablesAlone_data();
    void noPassengersLeaveTablesAlone();
    void markupInName_data();
    void markupInName();
};

namespace {

// Fares as the interpreter leaves them: whole numbers as text.
korva::Pnr ttpBooking() {
    return makePnr({{"NUM_CDE", u"297"_s},
                    {"BASE_AM", u"250"_s},
                    {"TKT_NETB", u"0"_s},
                    {"COMM_RT", u"700"_s},
                    {"TAX_AMB", u"997.5"_s}});
}

const QString kTicketColumns = u"RECLOC, SER_NO, SEG_TP, MSGTAG, H_INDEX, H_INDEX1, "
                               "COALESCE(PSGRNME, 'null'), COALESCE(TKTNBR, 'null'), "
                               "COALESCE(TKT_NOA, 'null'), COALESCE(TKT_NO, 'null'), "
                               "COALESCE(TKT_DIGIT, 'null'), TKT_AMT, TKT_AMS, TKT_NET, TKT_TAX"_s;

// A currency column as read back, in the plain decimal form ("null" for NULL).
QString amount(const QVariant& value) {
    const std::optional<Currency> parsed = currencyFromColumn(value);
    return parsed ? parsed->toPlainText() : u"null"_s;
}

QList<QStringList> ampaxRows(const TestDatabase& db) {
    QList<QStringList> rows;
    const QList<QVariantList> read =
        db.selectRows(u"SELECT "_s + kTicketColumns + u" FROM AMPAX ORDER BY H_INDEX, H_INDEX1"_s);
    for (const QVariantList& row : read) {
        QStringList texts;
        for (qsizetype i = 0; i < row.size(); ++i)
            texts.append(i < 11 ? row[i].toString() : amount(row[i]));
        rows.append(texts);
    }
    return rows;
}

} // namespace

void TestPaxWriter::ttpRowsAndElements_data() {
    addEngineRows();
}

// Two passengers, the second without a ticket number: passenger row and
// ticket row each, in that order; the booking's amounts on both tickets.
void TestPaxWriter::ttpRowsAndElements() {
    QFETCH(TestEngine, engine);
    TestHome home(TestHome::Korva::Registered);
    KESTO_WRITER_DATABASE(db, engine, home);
    korva::Pnr pnr = ttpBooking();
    addPax(pnr, {{"PAX_NM", u"CHEN/MEI MS"_s},
                 {"TKT_NO", u"1234567890"_s},
                 {"TKT_CJ", u"91"_s},
                 {"TKT_NO1", u"2971111111111"_s}});
    addPax(pnr, {{"PAX_NM", u"LIN/HAO MR"_s}, {"TKT_NO", u"   "_s}});
    FileContext context;
    context.Kind = u"K"_s;

    upPax(true, u"ABC123"_s, u"001"_s, pnr, context, writerSettings(db, u"1"_s, u"1"_s));

    using Row = QStringList;
    QCOMPARE(ampaxRows(db), QList<Row>({
                                Row{"ABC123", "001", "72", "I-", "001", "000", "CHEN/MEI MS",
                                    "null", "null", "null", "null", "null", "null", "null", "null"},
                                Row{"ABC123", "001", "82", "T-", "001", "001", "null", "1234567890",
                                    "297", "1234567890", "91", "250", "0", "232", "997.5"},
                                Row{"ABC123", "001", "72", "I-", "002", "000", "LIN/HAO MR", "null",
                                    "null", "null", "null", "null", "null", "null", "null"},
                                Row{"ABC123", "001", "82", "T-", "002", "001", "null", "   ", "",
                                    "   ", "", "250", "0", "232", "997.5"},
                            }));
    // Hand-entered numbers are not stored in the TTP case.
    QCOMPARE(db.selectRows(u"SELECT RECLOC FROM AMPNR"_s).size(), 0);
    // Only the ticketed passenger counts, once per pass.
    QCOMPARE(context.Kind, u"KAA"_s);

    const QString expected =
        u"<AMPAX><SEG_TP>72</SEG_TP><MSGTAG>I-</MSGTAG><H_INDEX>001</H_INDEX>"
        "<H_INDEX1>000</H_INDEX1><PSGRNME>CHEN/MEI MS</PSGRNME><TKTNBR></TKTNBR>"
        "<TKT_NOA></TKT_NOA><TKT_NO></TKT_NO><TKT_DIGIT></TKT_DIGIT><TKT_AMT></TKT_AMT>"
        "<TKT_AMS></TKT_AMS><TKT_NET></TKT_NET><TKT_TAX></TKT_TAX><INID>0</INID>"
        "<INID2>0</INID2></AMPAX>"
        "<AMPAX><SEG_TP>82</SEG_TP><MSGTAG>T-</MSGTAG><H_INDEX>001</H_INDEX>"
        "<H_INDEX1>001</H_INDEX1><PSGRNBR></PSGRNBR><PSGRNME></PSGRNME><PSGRID></PSGRID>"
        "<AGTADD></AGTADD><SINFO></SINFO><TKTNBR>1234567890</TKTNBR><TKT_NOA>297</TKT_NOA>"
        "<TKT_NO>1234567890</TKT_NO><TKT_DIGIT>91</TKT_DIGIT><TKT_AMT>250</TKT_AMT>"
        "<TKT_AMS>0</TKT_AMS><TKT_NET>232</TKT_NET><TKT_TAX>997.5</TKT_TAX><INID>0</INID>"
        "<INID2>0</INID2></AMPAX>"_s;
    QVERIFY2(context.AmpaxXml.startsWith(expected), qPrintable(context.AmpaxXml));
    QVERIFY(context.AmpaxXml.endsWith(
        u"<H_INDEX1>001</H_INDEX1><PSGRNBR></PSGRNBR><PSGRNME></PSGRNME><PSGRID></PSGRID>"
        "<AGTADD></AGTADD><SINFO></SINFO><TKTNBR>   </TKTNBR><TKT_NOA></TKT_NOA>"
        "<TKT_NO>   </TKT_NO><TKT_DIGIT></TKT_DIGIT><TKT_AMT>250</TKT_AMT><TKT_AMS>0</TKT_AMS>"
        "<TKT_NET>232</TKT_NET><TKT_TAX>997.5</TKT_TAX><INID>0</INID><INID2>0</INID2>"
        "</AMPAX>"_s));
    QCOMPARE(context.AmpaxXml.count(u"<AMPAX>"_s), 4);
}

void TestPaxWriter::kindAndGates_data() {
    addEngineColumn();
    QTest::addColumn<QString>("xmlFg");
    QTest::addColumn<QString>("tMode");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("fragment");
    for (TestEngine engine : {TestEngine::Sqlite, TestEngine::PostgreSql}) {
        newEngineRow(engine, "XML and database") << "1"
                                                 << "1"
                                                 << "AA" << 2 << true;
        newEngineRow(engine, "XML only") << "1"
                                         << "0"
                                         << "A" << 0 << true;
        newEngineRow(engine, "database only") << "0"
                                              << "0"
                                              << "A" << 2 << false;
    }
}

void TestPaxWriter::kindAndGates() {
    QFETCH(TestEngine, engine);
    QFETCH(QString, xmlFg);
    QFETCH(QString, tMode);
    QFETCH(QString, kind);
    QFETCH(int, rows);
    QFETCH(bool, fragment);
    TestHome home(TestHome::Korva::Registered);
    KESTO_WRITER_DATABASE(db, engine, home);
    korva::Pnr pnr = ttpBooking();
    addPax(pnr, {{"PAX_NM", u"CHEN/MEI MS"_s}, {"TKT_NO", u" 1234567890 "_s}});
    FileContext context;
    context.AmpaxXml = u"stale"_s;
    upPax(true, u"ABC123"_s, u"001"_s, pnr, context, writerSettings(db, xmlFg, tMode));
    QCOMPARE(context.Kind, kind);
    QCOMPARE(db.selectRows(u"SELECT RECLOC FROM AMPAX"_s).size(), rows);
    QCOMPARE(!context.AmpaxXml.isEmpty(), fragment);
    QVERIFY(!context.AmpaxXml.contains(u"stale"_s));
}

void TestPaxWriter::manualTickets_data() {
    addEngineRows();
}

// Not the TTP case: one AMPNR row per hand-entered number, split into
// airline code and document number; the passenger's amounts only on the
// first, each only when given; texts converted by the database.
void TestPaxWriter::manualTickets() {
    QFETCH(TestEngine, engine);
    TestHome home(TestHome::Korva::Registered);
    KESTO_WRITER_DATABASE(db, engine, home);
    korva::Pnr pnr = ttpBooking();
    pnr.set("TAX_AMB", QString()); // not read outside the TTP case
    addPax(pnr, {{"PAX_NM", u"A"_s},
                 {"TKT_NO", u"1234567890"_s},
                 {"TKT_NO2", u"2971234567890XYZ"_s},
                 {"TKT_NO4", u"29"_s},
                 {"TKT_AMS", u"1250.5"_s},
                 {"TKT_TAX", u" 300 "_s}});
    addPax(pnr, {{"PAX_NM", u"B"_s}});
    addPax(pnr, {{"PAX_NM", u"C"_s}, {"TKT_NO5", u"2975555"_s}, {"TKT_NET", u"-7"_s}});
    FileContext context;

    upPax(false, u"ABC123"_s, u"003"_s, pnr, context, writerSettings(db, u"0"_s, u"0"_s));

    const QList<QVariantList> read =
        db.selectRows(u"SELECT RECLOC, SER_NO, SEG_TP, MSGTAG, H_INDEX, H_INDEX1, TKT_NOA, "
                      "TKT_NO, TKT_AMS, TKT_NET, TKT_TAX FROM AMPNR ORDER BY H_INDEX, H_INDEX1"_s);
    QList<QStringList> rows;
    for (const QVariantList& row : read) {
        QStringList texts;
        for (qsizetype i = 0; i < row.size(); ++i)
            texts.append(i < 8 ? row[i].toString() : amount(row[i]));
        rows.append(texts);
    }
    using Row = QStringList;
    QCOMPARE(
        rows,
        QList<Row>({
            Row{"ABC123", "003", "90", "FH", "001", "002", "297", "1234567890", "1250.5", "null",
                "300"},
            Row{"ABC123", "003", "90", "FH", "001", "004", "29", "", "null", "null", "null"},
            Row{"ABC123", "003", "90", "FH", "003", "005", "297", "5555", "null", "-7", "null"},
        }));
    // Passenger rows only in AMPAX; no ticket rows, no Kind, no fragment.
    QCOMPARE(db.selectRows(u"SELECT H_INDEX FROM AMPAX WHERE SEG_TP='72'"_s).size(), 3);
    QCOMPARE(db.selectRows(u"SELECT H_INDEX FROM AMPAX"_s).size(), 3);
    QVERIFY(context.Kind.isEmpty());
    QVERIFY(context.AmpaxXml.isEmpty());
}

void TestPaxWriter::manualAmountNotANumber_data() {
    addEngineRows();
}

void TestPaxWriter::manualAmountNotANumber() {
    QFETCH(TestEngine, engine);
    TestHome home(TestHome::Korva::Registered);
    KESTO_WRITER_DATABASE(db, engine, home);
    korva::Pnr pnr = makePnr();
    addPax(pnr, {{"PAX_NM", u"A"_s}, {"TKT_NO1", u"2971234567890"_s}, {"TKT_AMS", u"N/A"_s}});
    FileContext context;
    try {
        upPax(false, u"ABC123"_s, u"001"_s, pnr, context, writerSettings(db, u"0"_s, u""_s));
        QFAIL("no failure");
    } catch (const StoreError& error) {
        QCOMPARE(error.number(), StoreError::kTypeMismatch);
    }
    // The passenger's row was made first, but no row is saved.
    QCOMPARE(db.selectRows(u"SELECT H_INDEX FROM AMPAX"_s).size(), 0);
    QCOMPARE(db.selectRows(u"SELECT H_INDEX FROM AMPNR"_s).size(), 0);
}

void TestPaxWriter::taxThatIsNoAmountFails_data() {
    addEngineColumn();
    QTest::addColumn<QString>("xmlFg");
    QTest::addColumn<int>("elements");
    for (TestEngine engine : {TestEngine::Sqlite, TestEngine::PostgreSql}) {
        newEngineRow(engine, "XML pass first") << "1" << 1;
        newEngineRow(engine, "database pass only") << "0" << 0;
    }
}

// A TTP record whose tax text is no amount: the call fails while computing
// the first passenger's ticket values.
void TestPaxWriter::taxThatIsNoAmountFails() {
    QFETCH(TestEngine, engine);
    QFETCH(QString, xmlFg);
    QFETCH(int, elements);
    TestHome home(TestHome::Korva::Registered);
    KESTO_WRITER_DATABASE(db, engine, home);
    korva::Pnr pnr = ttpBooking();
    pnr.set("TAX_AMB", u"XT"_s);
    addPax(pnr, {{"PAX_NM", u"A"_s}, {"TKT_NO", u"1234567890"_s}});
    addPax(pnr, {{"PAX_NM", u"B"_s}, {"TKT_NO", u"1234567891"_s}});
    FileContext context;
    try {
        upPax(true, u"ABC123"_s, u"001"_s, pnr, context, writerSettings(db, xmlFg, u"1"_s));
        QFAIL("no failure");
    } catch (const StoreError& error) {
        QCOMPARE(error.number(), StoreError::kTypeMismatch);
    }
    QCOMPARE(db.selectRows(u"SELECT H_INDEX FROM AMPAX"_s).size(), 0);
    QCOMPARE(context.AmpaxXml.count(u"<AMPAX>"_s), elements);
    QVERIFY(!context.AmpaxXml.contains(u"<SEG_TP>82<"_s));
    QVERIFY(context.Kind.isEmpty());
}

void TestPaxWriter::noPassengersLeaveTablesAlone_data() {
    addEngineRows();
}

void TestPaxWriter::noPassengersLeaveTablesAlone() {
    QFETCH(TestEngine, engine);
    TestHome home(TestHome::Korva::Registered);
    KESTO_WRITER_DATABASE(db, engine, home);
    execOn(db, u"DROP TABLE AMPAX"_s);
    execOn(db, u"DROP TABLE AMPNR"_s);
    FileContext context;
    context.AmpaxXml = u"stale"_s;
    upPax(true, u"ABC123"_s, u"001"_s, ttpBooking(), context, writerSettings(db, u"1"_s, u"1"_s));
    QVERIFY(context.AmpaxXml.isEmpty());

    // With a passenger both tables are opened first: the missing AMPNR
    // fails the call even in the TTP case, before any row.
    korva::Pnr one = ttpBooking();
    addPax(one, {{"PAX_NM", u"A"_s}});
    QVERIFY_THROWS_EXCEPTION(StoreError, upPax(true, u"ABC123"_s, u"001"_s, one, context,
                                               writerSettings(db, u"0"_s, u"1"_s)));
}

void TestPaxWriter::markupInName_data() {
    addEngineRows();
}

// The name is stored unchanged and escaped in the fragment, which reads back
// to the same name.
void TestPaxWriter::markupInName() {
    QFETCH(TestEngine, engine);
    TestHome home(TestHome::Korva::Registered);
    KESTO_WRITER_DATABASE(db, engine, home);
    const QString name = u"O'NEIL/A&B <VIP> \"MR\""_s;
    korva::Pnr pnr = ttpBooking();
    addPax(pnr, {{"PAX_NM", name}, {"TKT_NO", u"1234567890"_s}});
    FileContext context;
    upPax(true, u"ABC123"_s, u"001"_s, pnr, context, writerSettings(db, u"1"_s, u"1"_s));
    QCOMPARE(db.selectRows(u"SELECT PSGRNME FROM AMPAX WHERE SEG_TP='72'"_s),
             QList<QVariantList>({{name}}));
    QXmlStreamReader reader(u"<R>"_s + context.AmpaxXml + u"</R>"_s);
    QString readBack;
    while (reader.readNextStartElement()) {
        if (reader.name() == u"PSGRNME"_s && readBack.isEmpty())
            readBack = reader.readElementText();
        else if (reader.name() != u"R"_s && reader.name() != u"AMPAX"_s)
            reader.skipCurrentElement();
    }
    QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
    QCOMPARE(readBack, name);
}

QTEST_GUILESS_MAIN(TestPaxWriter)
#include "test_paxwriter.moc"
