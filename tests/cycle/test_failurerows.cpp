// What the error log and the backup folder tell the operator when things go
// wrong on the way: every different failure keeps its row, a fault of the
// gateway's own ledger never files a booking away unstored, and a file that
// only had its time changed is not stored twice. Real `kesto run` processes.
#include "gatewayrun.h"
#include "testendpoint.h"
#include "threadconnection.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

QStringList column(const GatewayHome& gateway, const QString& sql) {
    QStringList values;
    for (const QVariantList& row : gateway.db().selectRows(sql))
        values.append(row[0].toString());
    values.sort();
    closeThreadConnections();
    return values;
}

QString localErrorLog(const GatewayHome& gateway) {
    return QString::fromUtf8(
        readFileBytes(gateway.home().root() + QStringLiteral("/state/KESTO/errors.log")));
}

qint64 modifiedSeconds(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mtim.tv_sec : -1;
}

void setModified(const QString& path, qint64 seconds) {
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

// A database made before owed posts were kept: each file waits for its posts.
void withoutOwedPosts(const GatewayHome& gateway) {
    gateway.db().selectRows(QStringLiteral("DROP TABLE AMPOST"));
    closeThreadConnections();
}

} // namespace

class TestFailureRows : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void unreachableThenRefusedGivesBothRows();
    void bothPostsOfTwoRecordsGetTheirRows_data() { addEngineRows(); }
    void bothPostsOfTwoRecordsGetTheirRows();
    void refusingLedgerKeepsFilesWaiting_data() { addEngineRows(); }
    void refusingLedgerKeepsFilesWaiting();
    void touchedAfterReadingIsFiledOnceWithItsTime();
};

// The embedded database turns into a file that is not a database while the
// gateway runs, then comes back without AMPAX: the file's row for the
// outage (kept locally, the database being away) and the row of the refusal
// that files it away (in AMERROR) are both written.
void TestFailureRows::unreachableThenRefusedGivesBothRows() {
    GatewayHome gateway(TestEngine::Sqlite);
    const QString mdb = gateway.db().dataFolder() + QStringLiteral("PALVA.mdb");
    const QString kept = gateway.db().dataFolder() + QStringLiteral("PALVA.kept");
    closeThreadConnections();
    QProcess run;
    run.setProcessEnvironment(gateway.environment({{u"KESTO_PAUSE_SCALE"_s, u"0.02"_s}}));
    run.start(QStringLiteral(KESTO_BIN_DIR "/kesto"), {QStringLiteral("run")});
    QVERIFY(run.waitForStarted());
    QTest::qWait(1000);

    QVERIFY(QFile::rename(mdb, kept));
    writeFileBytes(mdb, QByteArray(4096, 'x'));
    writeFileBytes(gateway.downloadFolder() + QStringLiteral("AWAY.MIR"),
                   ticketedBooking("AWAY01"));
    QTRY_VERIFY_WITH_TIMEOUT(localErrorLog(gateway).contains(u"AWAY.MIR-->"_s), 20000);
    QVERIFY(localErrorLog(gateway).contains(u"[RecordPhase]"_s));

    runOnSqliteFile(kept, {QStringLiteral("DROP TABLE AMPAX")});
    QVERIFY(QFile::remove(mdb) && QFile::rename(kept, mdb));
    QTRY_COMPARE_WITH_TIMEOUT(gateway.waitingFiles(), QStringList(), 20000);
    run.terminate();
    QVERIFY(run.waitForFinished(10000));

    const QStringList rows = column(gateway, QStringLiteral("SELECT MESSAGE FROM AMERROR"));
    QVERIFY2(rows.filter(u"AWAY.MIR-->"_s).filter(u"AMPAX"_s).filter(u"[RecordPhase]"_s).size() ==
                 1,
             qPrintable(rows.join(u'\n')));
    QCOMPARE(gateway.backedUpFiles(), QStringList(u"AWAY.MIR"_s));
    QCOMPARE(column(gateway, QStringLiteral("SELECT RECLOC FROM AMAMD")), QStringList());
}

// A booking stored as two records whose posts both fail (nothing listens at
// the endpoint's address), on a database that does not keep owed posts, so
// that each file waits for its posts: two rows, each naming its own record,
// and no recovery row.
void TestFailureRows::bothPostsOfTwoRecordsGetTheirRows() {
    QFETCH(TestEngine, engine);
    GatewayHome gateway(engine, {u"1"_s, u"1"_s, u"127.0.0.61"_s});
    if (!gateway.skipReason().isEmpty())
        QSKIP(qPrintable(gateway.skipReason()));
    withoutOwedPosts(gateway);
    QMap<QString, QByteArray> files = sweepFiles(1);
    writeFileBytes(gateway.downloadFolder() + QStringLiteral("TWO.MIR"), files[u"TWO001.MIR"_s]);
    const RunEnd end = runOnce(gateway.environment());
    QCOMPARE(end.exitCode, 0);
    QCOMPARE(gateway.backedUpFiles(), QStringList(u"TWO.MIR"_s));
    const QStringList rows = column(gateway, QStringLiteral("SELECT MESSAGE FROM AMERROR"));
    QCOMPARE(rows.size(), 2);
    QVERIFY2(rows[0].startsWith(u"TWO.MIR-->9998:Post of TPEK4T/001: "_s), qPrintable(rows[0]));
    QVERIFY2(rows[1].startsWith(u"TWO.MIR-->9998:Post of TPEK4T/002: "_s), qPrintable(rows[1]));
    QCOMPARE(column(gateway, QStringLiteral("SELECT POST_ST FROM AMFILE")),
             QStringList({u"F"_s, u"F"_s}));
}

// AMFILE replaced by a view that takes no rows: both bookings wait, nothing
// is stored or filed, one row says why, and `kesto status` says the
// gateway is down. Once the table is back, both are stored and filed.
void TestFailureRows::refusingLedgerKeepsFilesWaiting() {
    QFETCH(TestEngine, engine);
    GatewayHome gateway(engine);
    if (!gateway.skipReason().isEmpty())
        QSKIP(qPrintable(gateway.skipReason()));
    gateway.db().selectRows(QStringLiteral("ALTER TABLE AMFILE RENAME TO AMFILE_KEPT"));
    // DISTINCT keeps PostgreSQL from writing through the view.
    gateway.db().selectRows(
        QStringLiteral("CREATE VIEW AMFILE AS SELECT DISTINCT * FROM AMFILE_KEPT"));
    closeThreadConnections();
    writeFileBytes(gateway.downloadFolder() + QStringLiteral("LEDG1.MIR"),
                   ticketedBooking("LEDG01"));
    writeFileBytes(gateway.downloadFolder() + QStringLiteral("LEDG2.MIR"),
                   ticketedBooking("LEDG02"));

    const RunEnd waiting = runOnce(gateway.environment());
    QCOMPARE(waiting.exitCode, 1);
    QVERIFY2(waiting.out.contains(u"2 left waiting (2 for the ledger)"_s), qPrintable(waiting.out));
    QCOMPARE(gateway.waitingFiles(), QStringList({u"LEDG1.MIR"_s, u"LEDG2.MIR"_s}));
    QCOMPARE(column(gateway, QStringLiteral("SELECT RECLOC FROM AMAMD")), QStringList());
    const QStringList rows = column(gateway, QStringLiteral("SELECT MESSAGE FROM AMERROR"));
    QCOMPARE(rows.size(), 1);
    QVERIFY2(rows[0].contains(u"The ledger of recorded files (AMFILE) refused"_s) &&
                 rows[0].endsWith(u"[RecordPhase]"_s),
             qPrintable(rows[0]));
    QProcess status;
    status.setProcessEnvironment(gateway.environment());
    status.start(QStringLiteral(KESTO_BIN_DIR "/kesto"), {QStringLiteral("status")});
    QVERIFY(status.waitForFinished(30000));
    QCOMPARE(status.exitCode(), 2);
    QVERIFY(status.readAllStandardOutput().contains("ledger: refuses: "));

    gateway.db().selectRows(QStringLiteral("DROP VIEW AMFILE"));
    gateway.db().selectRows(QStringLiteral("ALTER TABLE AMFILE_KEPT RENAME TO AMFILE"));
    closeThreadConnections();
    const RunEnd stored = runOnce(gateway.environment());
    QCOMPARE(stored.exitCode, 0);
    QCOMPARE(gateway.waitingFiles(), QStringList());
    QCOMPARE(gateway.backedUpFiles(), QStringList({u"LEDG1.MIR"_s, u"LEDG2.MIR"_s}));
    QCOMPARE(column(gateway, QStringLiteral("SELECT RECLOC FROM AMAMD")),
             QStringList({u"LEDG01"_s, u"LEDG02"_s}));
    QCOMPARE(column(gateway, QStringLiteral("SELECT RECLOC FROM AMFILE")),
             QStringList({u"LEDG01"_s, u"LEDG02"_s}));
}

// The file is touched while its post is in flight (on a database that does
// not keep owed posts, so the file waits for its post), after its version
// was stored and before its copy: same bytes, so it is filed, not stored again,
// and its backup copy carries the time the file had when it was copied. A
// partial copy left by a gateway that died two days ago is removed at start;
// one of a minute ago is left alone.
void TestFailureRows::touchedAfterReadingIsFiledOnceWithItsTime() {
    TestEndpoint endpoint(QStringLiteral("127.0.0.62"));
    QVERIFY(endpoint.isListening());
    endpoint.setAnswer("RECLOC TOUCH1", 1500);
    GatewayHome gateway(TestEngine::Sqlite, {u"1"_s, u"1"_s, u"127.0.0.62"_s});
    withoutOwedPosts(gateway);
    const QString path = gateway.downloadFolder() + QStringLiteral("TOUCH.MIR");
    writeFileBytes(path, ticketedBooking("TOUCH1"));
    const qint64 dropped = QDateTime(QDate(2021, 5, 4), QTime(3, 2, 1), Qt::UTC).toSecsSinceEpoch();
    const qint64 touched =
        QDateTime(QDate(2022, 6, 7), QTime(8, 9, 10), Qt::UTC).toSecsSinceEpoch();
    setModified(path, dropped);
    const QString day = gateway.backupFolder() + QDate::currentDate().toString(u"yyyyMM/dd/"_s);
    writeFileBytes(day + u".kesto-partial-OLD123"_s, "half a copy");
    writeFileBytes(day + u".kesto-partial-NEW123"_s, "half a copy");
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    setModified(day + u".kesto-partial-OLD123"_s, now - 2 * 24 * 3600);
    setModified(day + u".kesto-partial-NEW123"_s, now - 60);

    QProcess run;
    run.setProcessEnvironment(gateway.environment());
    run.start(QStringLiteral(KESTO_BIN_DIR "/kesto"),
              {QStringLiteral("run"), QStringLiteral("--once")});
    QVERIFY(run.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(endpoint.requests().size(), 1, 20000);
    setModified(path, touched);
    QVERIFY(run.waitForFinished(30000));
    QCOMPARE(run.exitCode(), 0);

    QCOMPARE(gateway.waitingFiles(), QStringList());
    QCOMPARE(column(gateway, QStringLiteral("SELECT SER_NO FROM AMAMD")), QStringList(u"001"_s));
    QCOMPARE(endpoint.requests().size(), 1);
    QCOMPARE(QDir(day).entryList(QDir::Files | QDir::Hidden),
             QStringList({u".kesto-partial-NEW123"_s, u"TOUCH.MIR"_s}));
    QCOMPARE(modifiedSeconds(day + u"TOUCH.MIR"_s), touched);
}

QTEST_GUILESS_MAIN(TestFailureRows)
#include "test_failurerows.moc"
