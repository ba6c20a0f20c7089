#include "recordwriters.h"
#include "storeerror.h"
#include "testhome.h"
#include "writerfixture.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

// A database that goes away in the middle of a booking: the failure reaches
// the caller, the rows saved before it stay, and the next booking is stored
// once the database is back.
class TestWriterFailures : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void serverConnectionEndsMidWriter();
    void databaseFileMovedAway();
};

namespace {

korva::Pnr typicalBooking() {
    korva::Pnr pnr = makePnr({{"RLOC_CD", u"ABC123"_s},
                              {"CARR_CD", u"CI"_s},
                              {"NUM_CDE", u"297"_s},
                              {"TRVL_DT", u"15MAR08"_s},
                              {"BASE_AM", u"1000"_s},
                              {"TKT_NETB", u"0"_s},
                              {"COMM_RT", u"700"_s},
                              {"TAX_AMB", u"300"_s}});
    addCrl(pnr, {{"CARR_CD", u"CI"_s}, {"RLOC_CD", u"XK4P2M"_s}});
    for (const QString& index : {u"1"_s, u"2"_s})
        addItn(pnr, {{"ITN_IDX", index}, {"DEP_DT", u"15MAR"_s}, {"NXDT_FG", u"3"_s}});
    for (const QString& name : {u"A"_s, u"B"_s, u"C"_s})
        addPax(pnr, {{"PAX_NM", name}, {"TKT_NO", u"1234567890"_s}});
    return pnr;
}

void storeBooking(const korva::Pnr& pnr, const GatewaySettings& settings) {
    FileContext context;
    const QString serial = GET_XSER_NO(pnr.get("RLOC_CD"));
    UP_Header(true, pnr.get("RLOC_CD"), serial, pnr, context, settings);
    UP_Segment(true, pnr.get("RLOC_CD"), serial, pnr, context, settings);
    upPax(true, pnr.get("RLOC_CD"), serial, pnr, context, settings);
}

qsizetype countRows(const TestDatabase& db, const QString& table) {
    return db.selectRows(u"SELECT RECLOC FROM "_s + table).size();
}

} // namespace

// The server ends the writer's session while the second passenger's rows are
// being saved (a trigger terminates its own backend): the passengers' rows,
// saved in one statement, are all lost with it; the tables before stay.
void TestWriterFailures::serverConnectionEndsMidWriter() {
    TestHome home(TestHome::Korva::Registered);
    KESTO_WRITER_DATABASE(db, TestEngine::PostgreSql, home);
    execOn(db, u"CREATE FUNCTION kesto_go_away() RETURNS trigger AS 'BEGIN "
               "IF NEW.H_INDEX = ''002'' THEN PERFORM pg_terminate_backend(pg_backend_pid()); "
               "PERFORM pg_sleep(30); END IF; RETURN NEW; END' LANGUAGE plpgsql"_s);
    execOn(db, u"CREATE TRIGGER kesto_go_away BEFORE INSERT ON AMPAX FOR EACH ROW "
               "EXECUTE FUNCTION kesto_go_away()"_s);
    const GatewaySettings settings = writerSettings(db, u"0"_s, u"0"_s);

    QVERIFY_THROWS_EXCEPTION(StoreError, storeBooking(typicalBooking(), settings));

    QCOMPARE(countRows(db, u"AMAMD"_s), 1);
    QCOMPARE(countRows(db, u"AMAMDD"_s), 1);
    QCOMPARE(countRows(db, u"AMHEAD"_s), 1);
    QCOMPARE(countRows(db, u"AMTKT"_s), 2);
    QCOMPARE(countRows(db, u"AMPAX"_s), 0);

    execOn(db, u"DROP TRIGGER kesto_go_away ON AMPAX"_s);
    storeBooking(typicalBooking(), settings);
    QCOMPARE(db.selectRows(u"SELECT SER_NO FROM AMAMD ORDER BY SER_NO"_s),
             QList<QVariantList>({{"001"}, {"002"}}));
    QCOMPARE(db.selectRows(u"SELECT H_INDEX FROM AMPAX WHERE SER_NO='002'"_s).size(), 6);
}

// The embedded database file is moved away between two writers (a share
// that went away); SQLite refuses to write to a file no longer at its path.
void TestWriterFailures::databaseFileMovedAway() {
    TestHome home(TestHome::Korva::Registered);
    KESTO_WRITER_DATABASE(db, TestEngine::Sqlite, home);
    const GatewaySettings settings = writerSettings(db, u"0"_s, u"0"_s);
    const QString path = db.dataFolder() + u"PALVA.mdb"_s;
    const QString moved = db.dataFolder() + u"PALVA.moved"_s;
    const korva::Pnr pnr = typicalBooking();
    FileContext context;

    UP_Header(true, u"ABC123"_s, u"001"_s, pnr, context, settings);
    QVERIFY(QFile::rename(path, moved));
    QVERIFY_THROWS_EXCEPTION(StoreError,
                             UP_Segment(true, u"ABC123"_s, u"001"_s, pnr, context, settings));
    // It comes back as another file with the same content (a copy restored,
    // a share mounted again).
    QVERIFY(QFile::copy(moved, path));
    QVERIFY(QFile::remove(moved));

    QCOMPARE(countRows(db, u"AMAMD"_s), 1);
    QCOMPARE(countRows(db, u"AMHEAD"_s), 1);
    QCOMPARE(countRows(db, u"AMTKT"_s), 0);
    storeBooking(pnr, settings);
    QCOMPARE(db.selectRows(u"SELECT SER_NO FROM AMAMD ORDER BY SER_NO"_s),
             QList<QVariantList>({{"001"}, {"002"}}));
    QCOMPARE(countRows(db, u"AMTKT"_s), 2);
}

QTEST_GUILESS_MAIN(TestWriterFailures)
#include "test_writerfailures.moc"
