#include "gatewayrun.h"
#include "testendpoint.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <csignal>

// `kesto run` killed in the middle of its work, and started again until the
// download folder is empty: every file must then hold exactly the versions a
// run without a crash stores, each whole, filed into the backup folder once,
// and every version posted at least once. Real processes, real SIGKILL, on
// both engines; the XML export is on, with a real endpoint on loopback.
class TestCrashRecovery : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void crashPointsResume_data();
    void crashPointsResume();
    void randomKillsAtFixedSeeds_data();
    void randomKillsAtFixedSeeds();
    void stopEndsWithinFiveSecondsWhileTheServerHangs();
    void refusedWritesLoseNoFile();
};

namespace {

const QString kAddress = QStringLiteral("127.0.0.41");
const QString kCleanAddress = QStringLiteral("127.0.0.42"); // the clean run's own endpoint
constexpr int kCopies = 3;

GatewayHome::Xml exportOn(const QString& address = kAddress) {
    return {QStringLiteral("1"), QStringLiteral("1"), address};
}

// What a run without a crash stores from the sweep files, per engine.
QMap<QString, QStringList> cleanVersions(TestEngine engine) {
    static QMap<TestEngine, QMap<QString, QStringList>> cache;
    if (!cache.contains(engine)) {
        TestEndpoint endpoint(kCleanAddress);
        GatewayHome gateway(engine, exportOn(kCleanAddress));
        dropFiles(gateway.downloadFolder(), sweepFiles(kCopies));
        const RunEnd end = runOnce(gateway.environment());
        if (end.killed || end.exitCode != 0)
            qWarning("the clean run failed: %s", qPrintable(end.err));
        cache.insert(engine, storedVersions(gateway.db()));
    }
    return cache.value(engine);
}

QString elementText(const QByteArray& xml, const char* name) {
    const QByteArray open = QByteArray("<") + name + '>';
    const qsizetype start = xml.indexOf(open);
    if (start < 0)
        return {};
    const qsizetype from = start + open.size();
    return QString::fromUtf8(xml.mid(from, xml.indexOf('<', from) - from));
}

// The server processes of the gateway's sessions on the test database.
QList<qint64> sessionsOf(const GatewayHome& gateway) {
    QList<qint64> pids;
    for (const QVariantList& row : gateway.db().selectRows(QStringLiteral(
             "SELECT pid FROM pg_stat_activity WHERE datname = current_database() AND "
             "pid <> pg_backend_pid()")))
        pids.append(row[0].toLongLong());
    return pids;
}

// The checks after the last run: nothing lost, nothing twice, nothing half,
// everything filed, every version posted.
void verifyRecovered(const GatewayHome& gateway, const TestEndpoint& endpoint) {
    const QMap<QString, QByteArray> files = sweepFiles(kCopies);
    QCOMPARE(gateway.waitingFiles(), QStringList());
    QCOMPARE(gateway.backedUpFiles(), QStringList(files.keys()));
    QCOMPARE(duplicateKeys(gateway.db()), QStringList());
    const QMap<QString, QStringList> clean = cleanVersions(gateway.db().engine());
    QVERIFY(!clean.isEmpty());
    QCOMPARE(storedVersions(gateway.db()), clean);
    const QStringList documentRows = documentRowProblems(gateway, files);
    QVERIFY2(documentRows.isEmpty(), qPrintable(documentRows.join(u'|')));

    // At least once: every stored version reached the endpoint (a posted
    // document names its file, and its header tells the two records of a
    // booking apart), and the ledger knows it.
    QSet<QString> posted;
    for (const TestEndpoint::Request& request : endpoint.requests())
        posted.insert(elementText(request.body, "FILE_NM") + u'|' +
                      elementText(request.body, "ENTRY"));
    for (const QVariantList& row : gateway.db().selectRows(QStringLiteral(
             "SELECT a.FILE_NM, h.ENTRY FROM AMAMD a JOIN AMHEAD h ON h.RECLOC = a.RECLOC AND "
             "h.SER_NO = a.SER_NO"))) {
        const QString version = row[0].toString() + u'|' + row[1].toString();
        QVERIFY2(posted.contains(version), qPrintable(version));
    }
    QCOMPARE(
        gateway.db()
            .selectRows(QStringLiteral("SELECT COUNT(*) FROM AMFILE WHERE POST_ST <> 'A'"))[0][0]
            .toInt(),
        0);
}

} // namespace

void TestCrashRecovery::crashPointsResume_data() {
    addEngineColumn();
    QTest::addColumn<QString>("point");
    for (TestEngine engine : {TestEngine::Sqlite, TestEngine::PostgreSql}) {
        for (const char* point : {"after-commit", "after-post", "between-passes", "after-copy"}) {
            QTest::addRow("%s %s", engineRowName(engine), point)
                << engine << QString::fromLatin1(point);
        }
    }
}

// Each named point at its first occurrence, then a run to the end.
void TestCrashRecovery::crashPointsResume() {
    QFETCH(TestEngine, engine);
    QFETCH(QString, point);
    TestEndpoint endpoint(kAddress);
    QVERIFY(endpoint.isListening());
    GatewayHome gateway(engine, exportOn());
    if (!gateway.skipReason().isEmpty())
        QSKIP(qPrintable(gateway.skipReason()));
    dropFiles(gateway.downloadFolder(), sweepFiles(kCopies));

    const RunEnd crashed =
        runOnce(gateway.environment({{QStringLiteral("KESTO_CRASH_AT"), point}}));
    QVERIFY2(crashed.killed, qPrintable(crashed.err));
    const RunEnd resumed = runOnce(gateway.environment());
    QVERIFY2(!resumed.killed && resumed.exitCode == 0, qPrintable(resumed.err));
    verifyRecovered(gateway, endpoint);
}

void TestCrashRecovery::randomKillsAtFixedSeeds_data() {
    addEngineColumn();
    QTest::addColumn<quint32>("seed");
    for (TestEngine engine : {TestEngine::Sqlite, TestEngine::PostgreSql}) {
        for (quint32 seed : {11u, 29u})
            QTest::addRow("%s seed %u", engineRowName(engine), seed) << engine << seed;
    }
}

void TestCrashRecovery::randomKillsAtFixedSeeds() {
    QFETCH(TestEngine, engine);
    QFETCH(quint32, seed);
    TestEndpoint endpoint(kAddress);
    QVERIFY(endpoint.isListening());
    GatewayHome gateway(engine, exportOn());
    if (!gateway.skipReason().isEmpty())
        QSKIP(qPrintable(gateway.skipReason()));
    dropFiles(gateway.downloadFolder(), sweepFiles(kCopies));

    // Kills as a run begins a file chosen at random in the second half, so
    // that each lands in the middle of the work (past the first transaction
    // a drain's versions share on SQLite), then a run to the end.
    const int files = int(sweepFiles(kCopies).size());
    QRandomGenerator random(seed);
    bool cutShort = false; // a kill that left a version stored and a file to do
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int killAt = files / 2 + 1 + int(random.bounded(files - files / 2));
        const RunEnd end = runOnce(gateway.environment(), -1, killAt);
        if (!end.killed) {
            QVERIFY2(end.exitCode == 0, qPrintable(end.err));
            break;
        }
        cutShort =
            cutShort || (!storedVersions(gateway.db()).isEmpty() && !gateway.waitingFiles().isEmpty());
    }
    QVERIFY2(cutShort, "no kill came in the middle of the work");
    const RunEnd last = runOnce(gateway.environment());
    QVERIFY2(!last.killed && last.exitCode == 0, qPrintable(last.err));
    verifyRecovered(gateway, endpoint);
}

// The server stops answering in the middle of a file (its session process
// is stopped with SIGSTOP: a real hang). SIGTERM still ends `kesto run`
// within 5 seconds; the version it was writing is not stored, and the next
// run stores it once.
void TestCrashRecovery::stopEndsWithinFiveSecondsWhileTheServerHangs() {
    GatewayHome gateway(TestEngine::PostgreSql);
    if (!gateway.skipReason().isEmpty())
        QSKIP(qPrintable(gateway.skipReason()));
    QProcess process;
    process.setProcessEnvironment(gateway.environment());
    process.start(QStringLiteral(KESTO_BIN_DIR "/kesto"), {QStringLiteral("run")});
    QVERIFY(process.waitForStarted());
    QTRY_VERIFY(process.readAllStandardOutput().isEmpty() && !sessionsOf(gateway).isEmpty());
    QTest::qWait(300); // at rest, waiting for files

    const QList<qint64> sessions = sessionsOf(gateway);
    QVERIFY(!sessions.isEmpty());
    for (qint64 pid : sessions)
        ::kill(static_cast<pid_t>(pid), SIGSTOP);
    const QMap<QString, QByteArray> files = sweepFiles(1);
    const QString name = QStringLiteral("TKT001.MIR");
    writeFileBytes(gateway.downloadFolder() + name, files.value(name));
    // The file's log line comes before its first database call; the cycle
    // is stuck in that call soon after.
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += process.readAllStandardOutput()).contains("TKT001.MIR:"),
                             15000);
    QTest::qWait(500);

    QElapsedTimer clock;
    clock.start();
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    const bool ended = process.waitForFinished(10000);
    const qint64 took = clock.elapsed();
    for (qint64 pid : sessions)
        ::kill(static_cast<pid_t>(pid), SIGCONT);
    QVERIFY(ended);
    QVERIFY2(took < 5000, qPrintable(QString::number(took)));
    const QByteArray err = process.readAllStandardError();
    QVERIFY2(err.contains("did not finish within 3 seconds"),
             qPrintable(QStringLiteral("not ended by the stop bound (exit %1): %2")
                            .arg(process.exitCode())
                            .arg(QString::fromUtf8(out + err))));
    QCOMPARE(gateway.waitingFiles(), QStringList(name));

    const RunEnd again = runOnce(gateway.environment());
    QVERIFY2(!again.killed && again.exitCode == 0, qPrintable(again.err));
    QCOMPARE(gateway.db().selectRows(QStringLiteral("SELECT COUNT(*) FROM AMAMD"))[0][0].toInt(),
             1);
    QCOMPARE(gateway.waitingFiles(), QStringList());
}

// The disk refuses the SQLite file's writes in the middle of a drain (a limit
// on the size of the process's files: each write past it fails, as on a
// full disk). SQLite may then take back the whole transaction several
// versions share: none of their files may leave the folder. Once the disk
// takes writes again, every file holds exactly what a clean run stores.
void TestCrashRecovery::refusedWritesLoseNoFile() {
    TestEndpoint endpoint(kAddress);
    QVERIFY(endpoint.isListening());
    GatewayHome gateway(TestEngine::Sqlite, exportOn());
    if (!gateway.skipReason().isEmpty())
        QSKIP(qPrintable(gateway.skipReason()));
    dropFiles(gateway.downloadFolder(), sweepFiles(kCopies));
    const qint64 database =
        QFileInfo(gateway.db().settings().MirDataSource + QStringLiteral("PALVA.mdb")).size();

    QProcess limited;
    limited.setProcessEnvironment(gateway.environment());
    // In kB: the first versions fit in the log, later ones do not. SIGXFSZ,
    // ignored, stays ignored in the program.
    const qint64 limitKb = database / 1024 + 80;
    limited.start(QStringLiteral("bash"),
                  {QStringLiteral("-c"),
                   QStringLiteral("ulimit -f %1 && trap '' XFSZ && exec \"$0\" run --once")
                       .arg(limitKb),
                   QStringLiteral(KESTO_BIN_DIR "/kesto")});
    QVERIFY(limited.waitForFinished(60000));
    // Some versions stored, not all.
    const QMap<QString, QStringList> stored = storedVersions(gateway.db());
    QVERIFY2(!stored.isEmpty() && stored != cleanVersions(TestEngine::Sqlite),
             "the limit fell outside the drain");

    const RunEnd last = runOnce(gateway.environment());
    QVERIFY2(!last.killed && last.exitCode == 0, qPrintable(last.err));
    verifyRecovered(gateway, endpoint);
}

QTEST_GUILESS_MAIN(TestCrashRecovery)
#include "test_crashrecovery.moc"
