#include "recordwriters.h"
#include "storeerror.h"
#include "testhome.h"
#include "writerfixture.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestSegmentWriter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rowsInIndexOrder_data();
    void rowsInIndexOrder();
    void arrivalDate_data();
    void arrivalDate();
    void invalidDepartureFails_data();
    void invalidDepartureFails();
    void noSegmentsLeaveAmtktAlone_data();
    void noSegmentsLeaveAmtktAlone();
};

namespace {

korva::Itn addSegment(const korva::Pnr& pnr, const QString& index, const QString& departure,
                      const QString& dayChange) {
    return addItn(pnr, {{"ITN_IDX", index},
                        {"ORIG_CT", u"TPE"_s},
                        {"DEST_CT", u"NRT"_s},
                        {"CARR_CD", u"CI"_s},
                        {"FLT_NO", u"0100"_s},
                        {"TKT_CLS", u"Y"_s},
                        {"TKT_ST", u"OK"_s},
                        {"DEP_DT", departure},
                        {"DEP_TM", u"0830"_s},
                        {"ARR_TM", u"1245"_s},
                        {"STOP_OV", u"O"_s},
                        {"NXDT_FG", dayChange}});
}

const QString kSegmentColumns = u"SEG_TP, MSGTAG, TTONBR, SEGNBR, ITN_SEQ, ORIGAIR, DESTAIR, "
                                "AIRCDE, FLTNBR, CLSSVC, CLSBKG, STATUS1, DEPDTE, DEPTIM, ARRTIM, "
                                "STOP1, ARRDTE, SPTRNS"_s;

} // namespace

void TestSegmentWriter::rowsInIndexOrder_data() {
    addEngineColumn();
    QTest::addColumn<bool>("ttp");
    QTest::addColumn<QString>("segTp");
    QTest::addColumn<QString>("msgTag");
    for (TestEngine engine : {TestEngine::Sqlite, TestEngine::PostgreSql}) {
        newEngineRow(engine, "TTP") << true << "17"
                                    << "H-";
        newEngineRow(engine, "not TTP") << false << "24"
                                        << "U-";
    }
}

// Collection order 3, 1, 2 is stored and rendered as 1, 2, 3; the index is
// written as the segment carries it.
void TestSegmentWriter::rowsInIndexOrder() {
    QFETCH(TestEngine, engine);
    QFETCH(bool, ttp);
    QFETCH(QString, segTp);
    QFETCH(QString, msgTag);
    TestHome home(TestHome::Korva::Registered);
    KESTO_WRITER_DATABASE(db, engine, home);
    korva::Pnr pnr = makePnr({{"TRVL_DT", u"15MAR08"_s}});
    addSegment(pnr, u"3"_s, u"20MAR"_s, u"0"_s);
    addSegment(pnr, u"01"_s, u"15MAR"_s, u"3"_s);
    addSegment(pnr, u"2"_s, u"17MAR"_s, u""_s);
    FileContext context;
    context.AmtktXml = u"stale"_s;

    UP_Segment(ttp, u"ABC123"_s, u"002"_s, pnr, context, writerSettings(db, u"1"_s, u"1"_s));

    // Every segment's row, with the values of its own segment.
    const QList<QVariantList> rows = db.selectRows(u"SELECT RECLOC, SER_NO, "_s + kSegmentColumns +
                                                   u" FROM AMTKT ORDER BY TTONBR"_s);
    QCOMPARE(rows.size(), 3);
    const QVariantList first = {"ABC123", "002",  segTp,  msgTag, "01",    "01", "01",
                                "TPE",    "NRT",  "CI",   "0100", "Y",     "Y",  "OK",
                                "15MAR",  "0830", "1245", "O",    "16MAR", "A"};
    QCOMPARE(rows[0], first);
    QCOMPARE(rows[1][2 + 2], "2");
    QCOMPARE(rows[1][2 + 16], "17MAR");
    QCOMPARE(rows[2][2 + 2], "3");

    const QString firstElement =
        u"<AMTKT><SEG_TP>%1</SEG_TP><MSGTAG>%2</MSGTAG><TTONBR>01</TTONBR><SEGNBR>01</SEGNBR>"
        "<ITN_SEQ>01</ITN_SEQ><ORIGAIR>TPE</ORIGAIR><DESTAIR>NRT</DESTAIR><AIRCDE>CI</AIRCDE>"
        "<FLTNBR>0100</FLTNBR><CLSSVC>Y</CLSSVC><CLSBKG>Y</CLSBKG><STATUS1>OK</STATUS1>"
        "<DEPDTE>15MAR</DEPDTE><DEPTIM>0830</DEPTIM><ARRTIM>1245</ARRTIM><STOP1>O</STOP1>"
        "<ARRDTE>16MAR</ARRDTE><SPTRNS>A</SPTRNS></AMTKT>"_s.arg(segTp, msgTag);
    QVERIFY(context.AmtktXml.startsWith(firstElement));
    QCOMPARE(context.AmtktXml.count(u"<AMTKT>"_s), 3);
    const qsizetype at1 = context.AmtktXml.indexOf(u"<TTONBR>01<"_s);
    const qsizetype at2 = context.AmtktXml.indexOf(u"<TTONBR>2<"_s);
    const qsizetype at3 = context.AmtktXml.indexOf(u"<TTONBR>3<"_s);
    QVERIFY(at1 >= 0 && at1 < at2 && at2 < at3);
}

void TestSegmentWriter::arrivalDate_data() {
    addEngineColumn();
    QTest::addColumn<QString>("departure");
    QTest::addColumn<QString>("dayChange");
    QTest::addColumn<QString>("travelDate");
    QTest::addColumn<QString>("arrival");
    for (TestEngine engine : {TestEngine::Sqlite, TestEngine::PostgreSql}) {
        newEngineRow(engine, "next day over the year end") << "31DEC"
                                                           << "3"
                                                           << "20DEC08"
                                                           << "01JAN";
        newEngineRow(engine, "day before, leap year") << "01MAR"
                                                      << "1"
                                                      << "01MAR08"
                                                      << "29FEB";
        newEngineRow(engine, "day before, common year") << "01MAR"
                                                        << "1"
                                                        << "XX09"
                                                        << "28FEB";
        newEngineRow(engine, "two days on") << "30JUN"
                                            << "4"
                                            << "10"
                                            << "02JUL";
        newEngineRow(engine, "flag 2 keeps the date") << "31DEC"
                                                      << "2"
                                                      << "08"
                                                      << "31DEC";
        newEngineRow(engine, "flag 0 keeps the date") << "31DEC"
                                                      << "0"
                                                      << "08"
                                                      << "31DEC";
        newEngineRow(engine, "no flag keeps even a bad date") << "99XYZ"
                                                              << ""
                                                              << "08"
                                                              << "99XYZ";
        newEngineRow(engine, "normalised form") << "05mar"
                                                << "3"
                                                << "08"
                                                << "06MAR";
    }
}

void TestSegmentWriter::arrivalDate() {
    QFETCH(TestEngine, engine);
    QFETCH(QString, departure);
    QFETCH(QString, dayChange);
    QFETCH(QString, travelDate);
    QFETCH(QString, arrival);
    TestHome home(TestHome::Korva::Registered);
    KESTO_WRITER_DATABASE(db, engine, home);
    korva::Pnr pnr = makePnr({{"TRVL_DT", travelDate}});
    addSegment(pnr, u"1"_s, departure, dayChange);
    FileContext context;
    UP_Segment(true, u"ABC123"_s, u"001"_s, pnr, context, writerSettings(db, u"1"_s, u"1"_s));
    QCOMPARE(db.selectRows(u"SELECT DEPDTE, ARRDTE FROM AMTKT"_s),
             QList<QVariantList>({{departure, arrival}}));
    QVERIFY(context.AmtktXml.contains(u"<ARRDTE>"_s + arrival + u"</ARRDTE>"_s));
}

void TestSegmentWriter::invalidDepartureFails_data() {
    addEngineColumn();
    QTest::addColumn<QString>("xmlFg");
    QTest::addColumn<int>("elementsKept");
    for (TestEngine engine : {TestEngine::Sqlite, TestEngine::PostgreSql}) {
        // The XML pass fails first, before any row.
        newEngineRow(engine, "XML and database") << "1" << 1;
        newEngineRow(engine, "database only") << "0" << 0;
    }
}

// The second segment's DEP_DT is no date while its day-change flag asks for
// one: the call fails with a type mismatch before any row is saved, though
// the first segment's row was made.
void TestSegmentWriter::invalidDepartureFails() {
    QFETCH(TestEngine, engine);
    QFETCH(QString, xmlFg);
    QFETCH(int, elementsKept);
    TestHome home(TestHome::Korva::Registered);
    KESTO_WRITER_DATABASE(db, engine, home);
    korva::Pnr pnr = makePnr({{"TRVL_DT", u"08"_s}});
    addSegment(pnr, u"1"_s, u"15MAR"_s, u"3"_s);
    addSegment(pnr, u"2"_s, u"15XYZ"_s, u"1"_s);
    addSegment(pnr, u"3"_s, u"16MAR"_s, u"3"_s);
    FileContext context;
    try {
        UP_Segment(true, u"ABC123"_s, u"001"_s, pnr, context, writerSettings(db, xmlFg, u"1"_s));
        QFAIL("no failure");
    } catch (const StoreError& error) {
        QCOMPARE(error.number(), StoreError::kTypeMismatch);
    }
    QCOMPARE(db.selectRows(u"SELECT TTONBR FROM AMTKT"_s).size(), 0);
    QCOMPARE(context.AmtktXml.count(u"<AMTKT>"_s), elementsKept);
}

void TestSegmentWriter::noSegmentsLeaveAmtktAlone_data() {
    addEngineRows();
}

// Without segments AMTKT is not reached at all: a database without the
// table still takes the booking.
void TestSegmentWriter::noSegmentsLeaveAmtktAlone() {
    QFETCH(TestEngine, engine);
    TestHome home(TestHome::Korva::Registered);
    KESTO_WRITER_DATABASE(db, engine, home);
    execOn(db, u"DROP TABLE AMTKT"_s);
    FileContext context;
    context.AmtktXml = u"stale"_s;
    UP_Segment(true, u"ABC123"_s, u"001"_s, makePnr(), context, writerSettings(db, u"1"_s, u"1"_s));
    QVERIFY(context.AmtktXml.isEmpty());
}

QTEST_GUILESS_MAIN(TestSegmentWriter)
#include "test_segmentwriter.moc"
