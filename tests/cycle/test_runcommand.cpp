// The window's Run and Stop commands: the checks with their message boxes,
// focus and buttons, and a cycle that runs beside a window that keeps turning.
#include "cyclefixture.h"
#include "messagebox.h"
#include "mirmain.h"
#include "runcommand.h"
#include "testendpoint.h"
#include "windowsettings.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

class TestRunCommand : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void failedChecks_data();
    void failedChecks();
    void backupFolderMadeOnOk();
    void runsBesideATurningWindow();
    void servesMetricsWhileTheCycleRuns();
    void showsPostsOwedToAHungEndpoint();
};

namespace {

// The status line of a GET of `path` at 127.0.0.181:9464, "" when nothing answers.
QByteArray statusLineOf(const QByteArray& path) {
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.181"), 9464);
    if (!socket.waitForConnected(2000))
        return {};
    socket.write("GET " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    QByteArray answer;
    while (!answer.contains("\r\n") && socket.waitForReadyRead(5000))
        answer += socket.readAll();
    return answer.left(answer.indexOf("\r\n"));
}

} // namespace

void TestRunCommand::failedChecks_data() {
    QTest::addColumn<QString>("missing");
    QTest::addColumn<QString>("messageSuffix");
    QTest::addColumn<QString>("focus");
    QTest::newRow("database file") << "data"
                                   << "PALVA.MDB 找不到"
                                   << "Text1";
    QTest::newRow("download folder") << "down"
                                     << " 路徑找不到"
                                     << "Text2";
    QTest::newRow("backup folder, Cancel") << "backup"
                                           << " 路徑找不到,建立目錄?"
                                           << "Text3";
}

void TestRunCommand::failedChecks() {
    QFETCH(QString, missing);
    QFETCH(QString, messageSuffix);
    QFETCH(QString, focus);
    TestHome home(TestHome::Korva::Registered);
    KESTO_TEST_DATABASE(db, TestEngine::Sqlite, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    GatewaySettings settings = prepareCycleSettings(home, db);
    QString folder;
    if (missing == QLatin1String("data")) {
        // The lookup ignores case, so only a missing file fails it.
        QVERIFY(QFile::remove(settings.MirDataSource + QStringLiteral("PALVA.mdb")));
        folder = settings.MirDataSource;
    } else if (missing == QLatin1String("down")) {
        settings.MirDownPath = home.root() + QStringLiteral("/nowhere/");
        folder = settings.MirDownPath;
    } else {
        settings.MirBackupPath = home.root() + QStringLiteral("/nobackup/");
        folder = settings.MirBackupPath;
    }
    MirMain window;
    useSettings(window, settings);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    RunCommand command(window);
    MessageBoxRecorder boxes;
    boxes.queueAnswer(QMessageBox::Cancel);

    window.controls().RunCmd->click();

    QCOMPARE(boxes.texts(), QStringList(folder + messageSuffix));
    const MirMainControls& c = window.controls();
    auto* focused = window.findChild<QLineEdit*>(focus);
    QVERIFY(focused);
    QTRY_VERIFY(focused->hasFocus());
    QCOMPARE(focused->selectedText(), focused->text());
    QVERIFY(!c.RunCmd->isEnabled());
    QVERIFY(!c.StopCmd->isEnabled());
    QVERIFY(!c.HideCmd->isEnabled());
    for (QPushButton* button : c.com_Show_Path)
        QVERIFY(button->isEnabled());
    QVERIFY(!command.isCycleRunning());
    QVERIFY(window.isVisible());
}

void TestRunCommand::backupFolderMadeOnOk() {
    TestHome home(TestHome::Korva::Registered);
    KESTO_TEST_DATABASE(db, TestEngine::Sqlite, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    GatewaySettings settings = prepareCycleSettings(home, db);
    settings.MirBackupPath = home.root() + QStringLiteral("/newbackup/");
    MirMain window;
    useSettings(window, settings);
    RunCommand command(window);
    command.setTiming(0.0, 200, 1000, std::chrono::milliseconds(300));
    MessageBoxRecorder boxes;
    boxes.queueAnswer(QMessageBox::Ok);

    window.controls().RunCmd->click();

    QCOMPARE(boxes.texts().size(), 1);
    QVERIFY(QFileInfo(settings.MirBackupPath + QStringLiteral("202703/01")).isDir());
    QVERIFY(command.isCycleRunning());
    command.shutdown();
    QVERIFY(!command.isCycleRunning());
}

void TestRunCommand::runsBesideATurningWindow() {
    TestHome home(TestHome::Korva::Registered);
    KESTO_TEST_DATABASE(db, TestEngine::Sqlite, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    const GatewaySettings settings = prepareCycleSettings(home, db);
    MirMain window;
    useSettings(window, settings);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    RunCommand command(window);
    // Real pauses: 1 second before each file, so the window must turn during them.
    command.setTiming(0.5, 200, 1000, std::chrono::milliseconds(300));
    MessageBoxRecorder boxes;
    QSignalSpy running(&command, &RunCommand::cycleRunningChanged);

    window.controls().RunCmd->click();

    const MirMainControls& c = window.controls();
    QCOMPARE(boxes.texts(), QStringList());
    QVERIFY(command.isCycleRunning());
    // Hidden to the notification area, or minimised where there is none.
    QVERIFY(!window.isVisible() || window.isMinimized());
    QVERIFY(!c.RunCmd->isEnabled());
    QVERIFY(c.StopCmd->isEnabled());
    QVERIFY(!c.SetupCmd->isEnabled());
    QVERIFY(c.HideCmd->isEnabled());
    for (QPushButton* button : c.com_Show_Path)
        QVERIFY(!button->isEnabled());

    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(20);
    writeFileBytes(settings.MirDownPath + QStringLiteral("K4T0001.MIR"),
                   sampleMir(QStringLiteral("ticketed-lf.mir")));
    QTRY_COMPARE(c.List1->count(), 1);
    QVERIFY(c.List1->item(0)->text().startsWith(QStringLiteral("K4T0001.MIR:")));
    QVERIFY(!c.List1->item(0)->text().endsWith(QLatin1Char('\n')));
    QTRY_COMPARE(filesIn(dateFolderOf(settings)), QStringList(QStringLiteral("K4T0001.MIR")));
    // The half-second pause before the file passed while the window's loop kept turning.
    QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
    QVERIFY(c.RichTextBox1->toPlainText().startsWith(QStringLiteral("T51")));

    c.StopCmd->click();
    QVERIFY(c.RunCmd->isEnabled());
    QVERIFY(!c.StopCmd->isEnabled());
    QVERIFY(c.SetupCmd->isEnabled());
    QVERIFY(!c.HideCmd->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!command.isCycleRunning(), 3000);
    QCOMPARE(running.size(), 2);
}

// With MirMetrics set, the endpoint serves while the cycle runs and is gone
// once Stop has ended it.
void TestRunCommand::servesMetricsWhileTheCycleRuns() {
    TestHome home(TestHome::Korva::Registered);
    KESTO_TEST_DATABASE(db, TestEngine::Sqlite, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    GatewaySettings settings = prepareCycleSettings(home, db);
    settings.MirMetrics = QStringLiteral("127.0.0.181:9464");
    MirMain window;
    useSettings(window, settings);
    RunCommand command(window);
    command.setTiming(0.0, 200, 1000, std::chrono::milliseconds(300));
    MessageBoxRecorder boxes;
    QVERIFY(statusLineOf("/healthz").isEmpty());

    window.controls().RunCmd->click();
    QVERIFY(command.isCycleRunning());
    QCOMPARE(statusLineOf("/healthz"), QByteArray("HTTP/1.1 200 OK"));
    QCOMPARE(statusLineOf("/metrics"), QByteArray("HTTP/1.1 200 OK"));

    window.controls().StopCmd->click();
    QTRY_VERIFY_WITH_TIMEOUT(!command.isCycleRunning(), 3000);
    QVERIFY(statusLineOf("/healthz").isEmpty());
}

// An endpoint that takes the first post and never answers: the bookings are
// filed regardless, the window counts their owed posts at once (not after
// the 30-second time-out), and Stop still ends the cycle at once, the posts
// staying owed.
void TestRunCommand::showsPostsOwedToAHungEndpoint() {
    TestEndpoint endpoint(QStringLiteral("127.0.0.182"));
    QVERIFY(endpoint.isListening());
    endpoint.setSilent();
    TestHome home(TestHome::Korva::Registered);
    KESTO_TEST_DATABASE(db, TestEngine::Sqlite, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    GatewaySettings settings = prepareCycleSettings(home, db);
    settings.XML_FG = QStringLiteral("1");
    settings.T_MODE = QStringLiteral("1");
    settings.XML_DNS = QStringLiteral("127.0.0.182");
    MirMain window;
    useSettings(window, settings);
    RunCommand command(window);
    command.setTiming(0.0, 200, 30000, std::chrono::milliseconds(300));
    MessageBoxRecorder boxes;

    window.controls().RunCmd->click();
    const MirMainControls& c = window.controls();
    // Each handed over whole (written under a skipped name, then renamed): with
    // the pauses at zero an empty file would run out its readings at once.
    const auto handOver = [&settings](const QString& name) {
        writeFileBytes(settings.MirDownPath + QStringLiteral("TEMP"),
                       sampleMir(QStringLiteral("ticketed-lf.mir")));
        QVERIFY(QFile::rename(settings.MirDownPath + QStringLiteral("TEMP"),
                              settings.MirDownPath + name));
    };
    handOver(QStringLiteral("K4T0001.MIR"));
    QTRY_COMPARE(endpoint.requests().size(), 1);
    handOver(QStringLiteral("K4T0002.MIR"));
    QTRY_COMPARE(filesIn(dateFolderOf(settings)),
                 QStringList({QStringLiteral("K4T0001.MIR"), QStringLiteral("K4T0002.MIR")}));
    QTRY_COMPARE(c.PostsOwed->text(), QStringLiteral("posts owed: 2"));

    c.StopCmd->click();
    QTRY_VERIFY_WITH_TIMEOUT(!command.isCycleRunning(), 3000);
    QCOMPARE(db.selectRows(QStringLiteral("SELECT COUNT(*) FROM AMPOST"))[0][0].toInt(), 2);
}

QTEST_MAIN(TestRunCommand)
#include "test_runcommand.moc"
