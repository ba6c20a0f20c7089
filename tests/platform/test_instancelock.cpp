#include "instancelock.h"
#include "testhome.h"

#include <QTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using kesto::instance::InstanceLock;
using State = InstanceLock::State;

class TestInstanceLock : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void secondHolderIsRefusedUntilTheFirstEnds();
    void titlesMatchWithoutRegardToCase_data();
    void titlesMatchWithoutRegardToCase();
    void programLockNameFollowsTheCanonicalPath();
    void crashedHolderLeavesNoStaleLock();
    void missingRuntimeFolderMakesTheLockUnavailable();
};

void TestInstanceLock::secondHolderIsRefusedUntilTheFirstEnds() {
    TestHome home;
    auto first = std::make_unique<InstanceLock>("kesto-mdb");
    QCOMPARE(first->tryAcquire(), State::Acquired);
    QCOMPARE(first->tryAcquire(), State::Acquired);
    QVERIFY(QFile::exists(home.runtimeFolder() + QStringLiteral("/kesto-mdb.lock")));

    InstanceLock second("kesto-mdb");
    QCOMPARE(second.tryAcquire(), State::HeldElsewhere);
    InstanceLock otherMode("kesto-sql");
    QCOMPARE(otherMode.tryAcquire(), State::Acquired);

    first.reset();
    QCOMPARE(second.tryAcquire(), State::Acquired);
}

void TestInstanceLock::titlesMatchWithoutRegardToCase_data() {
    QTest::addColumn<QString>("held");
    QTest::addColumn<QString>("asked");
    QTest::addColumn<bool>("refused");
    QTest::newRow("same title") << "KESTO-MDB"
                                << "KESTO-MDB" << true;
    QTest::newRow("other case") << "KESTO-MDB"
                                << "kesto-Mdb" << true;
    QTest::newRow("other mode") << "KESTO-MDB"
                                << "KESTO-SQL" << false;
}

void TestInstanceLock::titlesMatchWithoutRegardToCase() {
    QFETCH(QString, held);
    QFETCH(QString, asked);
    QFETCH(bool, refused);
    TestHome home;
    InstanceLock first(InstanceLock::titleLockName(held.toStdString()));
    QCOMPARE(first.tryAcquire(), State::Acquired);
    InstanceLock second(InstanceLock::titleLockName(asked.toStdString()));
    QCOMPARE(second.tryAcquire() == State::HeldElsewhere, refused);
}

void TestInstanceLock::programLockNameFollowsTheCanonicalPath() {
    TestHome home;
    const QString program = home.folder(QStringLiteral("bin")) + QStringLiteral("kesto");
    writeFileBytes(program, "x");
    const QString link = home.root() + QStringLiteral("/kesto-link");
    QVERIFY(QFile::link(program, link));
    const QString copy = home.folder(QStringLiteral("other")) + QStringLiteral("kesto");
    writeFileBytes(copy, "x");

    const std::string name = InstanceLock::programLockName(program.toStdString());
    QVERIFY(name.starts_with("kesto-program-"));
    QCOMPARE(name.size(), std::string("kesto-program-").size() + 16);
    QCOMPARE(InstanceLock::programLockName(link.toStdString()), name);
    QVERIFY(InstanceLock::programLockName(copy.toStdString()) != name);
}

void TestInstanceLock::crashedHolderLeavesNoStaleLock() {
    TestHome home;
    int pipeFds[2];
    QCOMPARE(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        InstanceLock lock("kesto-sql");
        const char state = lock.tryAcquire() == State::Acquired ? 'A' : 'X';
        [[maybe_unused]] const auto written = ::write(pipeFds[1], &state, 1);
        ::pause(); // held until killed, never released by the program itself
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    char state = 0;
    QCOMPARE(::read(pipeFds[0], &state, 1), ssize_t(1));
    ::close(pipeFds[0]);
    QCOMPARE(state, 'A');

    InstanceLock mine("kesto-sql");
    QCOMPARE(mine.tryAcquire(), State::HeldElsewhere);
    ::kill(child, SIGKILL);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QCOMPARE(mine.tryAcquire(), State::Acquired);
}

void TestInstanceLock::missingRuntimeFolderMakesTheLockUnavailable() {
    TestHome home;
    qputenv("XDG_RUNTIME_DIR", QByteArray(qPrintable(home.root() + QStringLiteral("/absent"))));
    InstanceLock lock("kesto-mdb");
    QCOMPARE(lock.tryAcquire(), State::Unavailable);
}

QTEST_GUILESS_MAIN(TestInstanceLock)
#include "test_instancelock.moc"
