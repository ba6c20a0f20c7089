#include "testhome.h"

#include <QDir>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <cstring>
#include <functional>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// `kesto run` under a service manager: a real datagram socket named by
// NOTIFY_SOCKET, as systemd gives a Type=notify service, receives READY=1
// once the download folder is listed, watchdog pings while the cycle works
// and waits, and STOPPING=1 on SIGTERM.
class TestServiceNotify : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readyWatchdogAndStopping();
};

namespace {

// The datagrams that arrive within the time, each as one text, until `enough`
// says so.
QStringList receive(int socket, int ms,
                    const std::function<bool(const QStringList&)>& enough = {}) {
    QStringList messages;
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired() && !(enough && enough(messages))) {
        char buffer[4096];
        const ssize_t got = ::recv(socket, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got > 0)
            messages.append(QString::fromUtf8(buffer, got));
        else
            QTest::qWait(20);
    }
    return messages;
}

} // namespace

void TestServiceNotify::readyWatchdogAndStopping() {
    TestHome home(TestHome::Korva::Registered);
    QProcess setup;
    setup.start(QStringLiteral(KESTO_BIN_DIR "/kesto"), {QStringLiteral("init-db")});
    QVERIFY(setup.waitForFinished() && setup.exitCode() == 0);
    QDir().mkpath(home.home() + QStringLiteral("/Mirs"));

    const QString path = home.root() + QStringLiteral("/notify");
    const int socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    QVERIFY(socket >= 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), name.size());
    QCOMPARE(::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("NOTIFY_SOCKET"), path);
    environment.insert(QStringLiteral("WATCHDOG_USEC"), QStringLiteral("1000000"));
    QProcess run;
    run.setProcessEnvironment(environment);
    run.start(QStringLiteral(KESTO_BIN_DIR "/kesto"), {QStringLiteral("run")});
    QVERIFY(run.waitForStarted());

    // Ready first; then pings as the cycle lists the folder again while it
    // waits (every 3 seconds).
    const QStringList first = receive(socket, 10000, [](const QStringList& messages) {
        return messages.contains(QStringLiteral("WATCHDOG=1"));
    });
    QVERIFY2(!first.isEmpty() && first.first().startsWith(QStringLiteral("READY=1\n")),
             qPrintable(first.join(u'|')));
    QVERIFY2(first.count(QStringLiteral("WATCHDOG=1")) >= 1, qPrintable(first.join(u'|')));

    ::kill(static_cast<pid_t>(run.processId()), SIGTERM);
    QVERIFY(run.waitForFinished(5000));
    QCOMPARE(run.exitCode(), 0);
    QCOMPARE(receive(socket, 200), QStringList(QStringLiteral("STOPPING=1")));
    ::close(socket);
}

QTEST_GUILESS_MAIN(TestServiceNotify)
#include "test_servicenotify.moc"
