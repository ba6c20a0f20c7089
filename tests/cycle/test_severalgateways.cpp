#include "gatewayrun.h"
#include "testendpoint.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// Several offices, one database: `kesto run` processes, each with its own
// download folder, store bookings of the same record locators at the same
// time. Every file must be stored exactly once and whole, no two versions
// may share a key, and each locator's serials must follow each other without
// a gap. Gateways whose folders have the same path (on two machines, here in
// two mount namespaces) each store, post and file only their own work; a
// gateway whose settings store is a copy of another's is refused while the
// other runs.
class TestSeveralGateways : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void racingGatewaysStoreEachFileOnce_data() { addEngineRows(); }
    void racingGatewaysStoreEachFileOnce();
    void gatewaysOfOneFolderPathKeepTheirOwnWork();
    void aCopiedIdentityIsRefusedWhileTheOtherRuns();
};

void TestSeveralGateways::racingGatewaysStoreEachFileOnce() {
    QFETCH(TestEngine, engine);
    constexpr int kGateways = 3;
    constexpr int kFiles = 40;
    constexpr int kLocators = 8;
    const GatewayFleet fleet(engine, kGateways);
    if (!fleet.first().skipReason().isEmpty())
        QSKIP(qPrintable(fleet.first().skipReason()));
    fleet.dropRacingFiles(kFiles, kLocators);

    QCOMPARE(runAllOnce(fleet.all(), 120000), QList<int>(kGateways, 0));

    const QStringList problems = racingProblems(fleet.all(), kFiles);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
}

namespace {

int kesto(const GatewayHome& gateway, const QStringList& args, QByteArray* err = nullptr) {
    QProcess process;
    process.setProcessEnvironment(gateway.environment());
    process.start(QStringLiteral(KESTO_BIN_DIR "/kesto"), args);
    if (!process.waitForFinished(120000))
        return -1;
    if (err)
        *err = process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// `kesto run --once` in a mount namespace of its own, where the gateway's
// own download folder is mounted on the path both gateways are set to.
std::unique_ptr<QProcess> runInNamespace(const GatewayHome& gateway, const QString& shared) {
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(gateway.environment());
    process->start(u"unshare"_s, {u"--mount"_s, u"--propagation"_s, u"private"_s, u"sh"_s, u"-c"_s,
                                  u"mount --bind \"$1\" \"$2\" && exec \"$3\" run --once"_s, u"sh"_s,
                                  gateway.downloadFolder(), shared,
                                  QStringLiteral(KESTO_BIN_DIR "/kesto")});
    return process;
}

// Each post's record locator, and its whole text after it (the same record
// posted again is the same text, kept with its version).
QStringList postedRecords(const TestEndpoint& endpoint) {
    static const QRegularExpression record(u"<RECLOC>([^<]*)</RECLOC>(.*)"_s);
    QStringList records;
    for (const TestEndpoint::Request& request : endpoint.requests()) {
        const QRegularExpressionMatch match = record.match(QString::fromUtf8(request.body));
        records.append(match.captured(1) + u' ' + match.captured(2));
    }
    return records;
}

} // namespace

// Two offices set up alike: the same download folder path, one PostgreSQL
// database, each its own endpoint. Each gateway posts only what it stored,
// each record once; the same file dropped at both at once is stored whole by
// each (all its records), and each files its own.
void TestSeveralGateways::gatewaysOfOneFolderPathKeepTheirOwnWork() {
    if (::geteuid() != 0)
        QSKIP("mount namespaces need root");
    TestEndpoint endpointA(u"127.0.0.71"_s), endpointB(u"127.0.0.72"_s);
    QVERIFY(endpointA.isListening() && endpointB.isListening());
    GatewayHome a(TestEngine::PostgreSql, {u"1"_s, u"1"_s, u"127.0.0.71"_s});
    if (!a.skipReason().isEmpty())
        QSKIP(qPrintable(a.skipReason()));
    GatewayHome b(a);
    const QString ini = b.home().programFolder() + u"/PALVA.INI"_s;
    writeFileBytes(ini, readFileBytes(ini).replace("XML_DNS=127.0.0.71", "XML_DNS=127.0.0.72"));
    const QString shared = a.home().root() + u"/srv/mir/in/"_s;
    QVERIFY(QDir().mkpath(shared));
    for (const GatewayHome* gateway : {&a, &b})
        QCOMPARE(kesto(*gateway, {u"setup"_s, u"--download"_s, shared}), 0);

    constexpr int kOwn = 100;
    constexpr int kSame = 10;
    for (const auto& [gateway, prefix] : {std::pair{&a, "A"}, std::pair{&b, "B"}}) {
        QMap<QString, QByteArray> files;
        for (int n = 0; n < kOwn; ++n) {
            const QByteArray locator = prefix + QByteArray::number(n).rightJustified(5, '0');
            files.insert(u"%1_%2.MIR"_s.arg(QLatin1String(prefix)).arg(n),
                         n % 4 == 0 ? twoRecordBooking(locator) : ticketedBooking(locator));
        }
        for (int n = 0; n < kSame; ++n)
            files.insert(u"SAME_%1.MIR"_s.arg(n),
                         twoRecordBooking("S" + QByteArray::number(n).rightJustified(5, '0')));
        dropFiles(gateway->downloadFolder(), files);
        // The same name, bytes and time in both folders.
        for (int n = 0; n < kSame; ++n) {
            const QByteArray path =
                QFile::encodeName(gateway->downloadFolder() + u"SAME_%1.MIR"_s.arg(n));
            const struct timespec times[2] = {{1700000000, 0}, {1700000000, 0}};
            QCOMPARE(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);
        }
    }

    auto runA = runInNamespace(a, shared);
    auto runB = runInNamespace(b, shared);
    for (auto* run : {runA.get(), runB.get()}) {
        QVERIFY(run->waitForFinished(120000));
        QVERIFY2(run->exitCode() == 0, run->readAllStandardError().constData());
    }

    QCOMPARE(a.waitingFiles(), QStringList());
    QCOMPARE(b.waitingFiles(), QStringList());
    QCOMPARE(a.backedUpFiles().size(), kOwn + kSame);
    QCOMPARE(b.backedUpFiles().size(), kOwn + kSame);
    const QStringList postedA = postedRecords(endpointA);
    const QStringList postedB = postedRecords(endpointB);
    for (const QString& record : postedA)
        QVERIFY2(!record.startsWith(u'B'), qPrintable(record.left(40)));
    for (const QString& record : postedB)
        QVERIFY2(!record.startsWith(u'A'), qPrintable(record.left(40)));
    // Every version stored was posted once, by the gateway that stored it.
    for (const QStringList& posted : {postedA, postedB})
        QCOMPARE(QSet<QString>(posted.cbegin(), posted.cend()).size(), posted.size());
    const int versions = a.db().selectRows(u"SELECT COUNT(*) FROM AMAMD"_s)[0][0].toInt();
    QCOMPARE(postedA.size() + postedB.size(), versions);
    // The same file at both: two records at each, four versions in all.
    for (const QVariantList& row : a.db().selectRows(
             u"SELECT RECLOC, COUNT(*) FROM AMAMD WHERE RECLOC LIKE 'S%' GROUP BY RECLOC"_s))
        QVERIFY2(row[1].toInt() == 4, qPrintable(row[0].toString()));
}

// A settings store copied from a running gateway's holds its identity: the
// copy is refused while the first runs, and starts once it has an identity
// of its own.
void TestSeveralGateways::aCopiedIdentityIsRefusedWhileTheOtherRuns() {
    GatewayHome first(TestEngine::Sqlite);
    GatewayHome copy(first);
    QProcess running;
    running.setProcessEnvironment(first.environment());
    running.start(QStringLiteral(KESTO_BIN_DIR "/kesto"), {u"run"_s});
    QVERIFY(running.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(
        first.db().selectRows(u"SELECT COUNT(*) FROM AMGATEWAY"_s)[0][0].toInt() == 1, 20000);
    // The copy's settings store is the first's, set to the same database.
    const QString store = u"/KESTO"_s;
    QVERIFY(QDir(copy.home().configHome() + store).removeRecursively());
    QCOMPARE(QProcess::execute(u"cp"_s, {u"-r"_s, first.home().configHome() + store,
                                         copy.home().configHome() + store}),
             0);
    QCOMPARE(kesto(copy, {u"setup"_s, u"--data"_s, first.db().dataFolder()}), 0);

    QByteArray err;
    QCOMPARE(kesto(copy, {u"run"_s, u"--once"_s}, &err), 1);
    QVERIFY2(err.contains("another gateway runs with this gateway's identity"), err.constData());
    QVERIFY(err.contains("kesto setup --new-identity"));
    QCOMPARE(kesto(copy, {u"setup"_s, u"--new-identity"_s}), 0);
    QCOMPARE(kesto(copy, {u"run"_s, u"--once"_s}), 0);
    QCOMPARE(first.db().selectRows(u"SELECT COUNT(*) FROM AMGATEWAY"_s)[0][0].toInt(), 2);

    // Stopped, the first gives its identity up: the copy's old one starts at once.
    running.terminate();
    QVERIFY(running.waitForFinished(10000));
    QCOMPARE(kesto(first, {u"run"_s, u"--once"_s}), 0);
}

QTEST_GUILESS_MAIN(TestSeveralGateways)
#include "test_severalgateways.moc"
