#include "instancelock.h"
#include "testhome.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <sys/stat.h>

using kesto::instance::InstanceLock;

// Runs the built kesto program as real processes that share one runtime folder.
class TestDesktopInstances : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void secondCopiesEndAsDocumented();
};

namespace {

const QString kKesto = QStringLiteral(KESTO_BIN_DIR "/kesto");

struct Home {
    QString program; // KESTO_HOME
    QString config;  // XDG_CONFIG_HOME
};

void startKesto(QProcess& process, const QString& executable, const Home& home) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KESTO_HOME"), home.program);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.config);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.start(executable, {});
}

// A settings store that is a named pipe: a process that reads its
// configuration blocks on it, so one that never reads it is told apart.
Home homeWithBlockingStore(const TestHome& home, const QString& name) {
    const Home result{home.folder(name + QStringLiteral("-program")),
                      home.folder(name + QStringLiteral("-config"))};
    QDir().mkpath(result.config + QStringLiteral("KESTO"));
    const QByteArray store =
        QFile::encodeName(result.config + QStringLiteral("KESTO/settings.reg"));
    if (::mkfifo(store.constData(), 0600) != 0)
        qFatal("mkfifo failed");
    return result;
}

bool waitForHeldLock(const QString& runtimeFolder, const std::string& name, QProcess& holder) {
    // The holder creates the file and locks it at once; probe only after it exists.
    const QString file =
        runtimeFolder + QLatin1Char('/') + QString::fromStdString(name) + QStringLiteral(".lock");
    if (!QTest::qWaitFor([&] { return QFile::exists(file); }, 20000))
        return false;
    return QTest::qWaitFor(
               [&] {
                   InstanceLock probe(name);
                   return probe.tryAcquire() == InstanceLock::State::HeldElsewhere ||
                          holder.state() == QProcess::NotRunning;
               },
               20000) &&
           holder.state() == QProcess::Running;
}

} // namespace

void TestDesktopInstances::secondCopiesEndAsDocumented() {
    TestHome home;
    QVERIFY(QFile::exists(kKesto));
    const Home plain{home.programFolder(), home.configHome()};

    QProcess first;
    startKesto(first, kKesto, plain);
    QVERIFY(first.waitForStarted());
    QVERIFY2(waitForHeldLock(home.runtimeFolder(), "kesto-mdb", first),
             first.readAllStandardError().constData());

    // The same executable again: ends at once and silently, before any configuration.
    QProcess sameProgram;
    startKesto(sameProgram, kKesto, homeWithBlockingStore(home, QStringLiteral("same")));
    const bool ended = sameProgram.waitForFinished(20000);
    if (!ended)
        sameProgram.kill();
    QVERIFY2(ended, "the second copy read its configuration");
    QCOMPARE(sameProgram.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sameProgram.exitCode(), 0);

    // Another installed copy in the same mode: passes the program check, then
    // meets the instance title and ends (beep, message, status 1).
    const QString copy = home.folder(QStringLiteral("copy")) + QStringLiteral("kesto");
    QVERIFY(QFile::copy(kKesto, copy));
    QProcess sameMode;
    startKesto(sameMode, copy, plain);
    QVERIFY(sameMode.waitForFinished(20000));
    QCOMPARE(sameMode.exitCode(), 1);
    QVERIFY(sameMode.readAllStandardError().contains("KESTO-MDB is already running"));

    // The copy in the other mode is not stopped: it goes on to read its settings.
    Home sqlHome = homeWithBlockingStore(home, QStringLiteral("sql"));
    writeFileBytes(sqlHome.program + QStringLiteral("PALVA.INI"), "[PALVA]\nProvider=Any\n");
    QProcess otherMode;
    startKesto(otherMode, copy, sqlHome);
    QVERIFY(waitForHeldLock(home.runtimeFolder(), "kesto-sql", otherMode));
    QVERIFY(!otherMode.waitForFinished(500)); // blocked on its settings store
    otherMode.kill();
    otherMode.waitForFinished();

    first.terminate();
    if (!first.waitForFinished(10000))
        first.kill();
}

QTEST_GUILESS_MAIN(TestDesktopInstances)
#include "test_desktopinstances.moc"
