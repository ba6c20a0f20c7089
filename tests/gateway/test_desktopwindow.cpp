#include "desktopintegration.h"
#include "lasterror.h"
#include "mainlayout.h"
#include "messagebox.h"
#include "mirmain.h"
#include "settingsloader.h"
#include "showpath.h"
#include "testhome.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

// A started main window whose notification area exists or not, and whose
// Exit counts instead of ending the test.
struct StartedWindow {
    explicit StartedWindow(bool tray) {
        MirMain::StartupOptions options;
        options.startDate = QDate(2027, 3, 1);
        options.trayAvailable = [tray] { return tray; };
        options.quit = [this] { ++quitCalls; };
        result = window.runStartup(options);
    }
    MirMain window;
    MirMain::StartupResult result;
    int quitCalls = 0;
};

void addTrayRows() {
    QTest::addColumn<bool>("tray");
    QTest::newRow("notification area") << true;
    QTest::newRow("no notification area") << false;
}

// The window is still on the screen or in the desktop's window list.
bool reachable(const MirMain& window) {
    return window.isVisible();
}

} // namespace

class TestDesktopWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void iconCarriesTipAndMenu();
    void minimisingSendsTheWindowAwayButNeverOutOfReach_data();
    void minimisingSendsTheWindowAwayButNeverOutOfReach();
    void hideCommandHidesOnlyWhereTheWindowCanComeBack_data();
    void hideCommandHidesOnlyWhereTheWindowCanComeBack();
    void closingTheMenuChangesNothing();
    void exitRemovesTheIconAndEndsTheProgram_data();
    void exitRemovesTheIconAndEndsTheProgram();
    void logViewsFollowTheResizeRule_data();
    void logViewsFollowTheResizeRule();
    void tooSmallWindowKeepsTheLastValidSizes();
    void setupSavesNormalisedFolders_data();
    void setupSavesNormalisedFolders();
    void setupRejectsAnAmtempOutsideOneToSix();
    void setupStoreFailureIsTrapped();
    void setupAppliesTheAutostartBox();
    void folderButtonsFillTheirFields_data();
    void folderButtonsFillTheirFields();

private:
    std::optional<TestHome> m_home;
};

void TestDesktopWindow::init() {
    m_home.reset();
    m_home.emplace();
    clearLastError();
}

void TestDesktopWindow::iconCarriesTipAndMenu() {
    StartedWindow started(true);
    QCOMPARE(started.result, MirMain::StartupResult::Started);
    DesktopIntegration* desktop = started.window.desktop();
    QVERIFY(desktop);
    QCOMPARE(desktop->trayIcon().toolTip(), QStringLiteral("KESTO Gateway"));
    QCOMPARE(desktop->trayIcon().contextMenu(), started.window.controls().mnuShell);
    QVERIFY(desktop->isIconShown());
    QVERIFY(!desktop->trayIcon().icon().isNull());
}

void TestDesktopWindow::minimisingSendsTheWindowAwayButNeverOutOfReach_data() {
    addTrayRows();
}

void TestDesktopWindow::minimisingSendsTheWindowAwayButNeverOutOfReach() {
    QFETCH(bool, tray);
    StartedWindow started(tray);
    MirMain& window = started.window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    window.showMinimized();
    if (tray) {
        QTRY_VERIFY(window.isHidden());
        QVERIFY(window.desktop()->isIconShown());
    } else {
        QTest::qWait(50); // the deferred step would have hidden it by now
        QVERIFY(reachable(window));
        QVERIFY(window.isMinimized());
    }

    // A double-click on the icon brings it back maximised; a single click does not.
    window.desktop()->handleActivation(QSystemTrayIcon::Trigger);
    QCOMPARE(window.isVisible(), !tray);
    window.desktop()->handleActivation(QSystemTrayIcon::DoubleClick);
    QVERIFY(window.isVisible());
    QVERIFY(window.isMaximized());
    QVERIFY(!window.isMinimized());
}

void TestDesktopWindow::hideCommandHidesOnlyWhereTheWindowCanComeBack_data() {
    addTrayRows();
}

void TestDesktopWindow::hideCommandHidesOnlyWhereTheWindowCanComeBack() {
    QFETCH(bool, tray);
    StartedWindow started(tray);
    MirMain& window = started.window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.controls().HideCmd->setEnabled(true); // as while the cycle runs
    window.controls().HideCmd->click();
    QCOMPARE(window.isHidden(), tray);
    if (!tray)
        QVERIFY(window.isMinimized());
    // Whoever else hides the window (Run does) meets the same rule.
    window.showWindow();
    window.hide();
    QCOMPARE(window.isHidden(), tray);
    QCOMPARE(started.quitCalls, 0);
    QVERIFY(window.desktop()->isIconShown() == tray);
}

void TestDesktopWindow::closingTheMenuChangesNothing() {
    StartedWindow started(true);
    MirMain& window = started.window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const MirMainControls& c = window.controls();
    c.mnuShell->popup(QPoint(10, 10));
    QVERIFY(c.mnuShell->isVisible());
    c.mnuHide->trigger();
    QVERIFY(!c.mnuShell->isVisible());
    QVERIFY(window.isVisible());
    QVERIFY(!window.isMinimized());
    QVERIFY(window.desktop()->isIconShown());
    QCOMPARE(started.quitCalls, 0);

    window.hide();
    c.mnuOpen->trigger();
    QVERIFY(window.isVisible());
    QVERIFY(window.isMaximized());
}

void TestDesktopWindow::exitRemovesTheIconAndEndsTheProgram_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("ExitCmd") << "ExitCmd";
    QTest::newRow("mnuClose") << "mnuClose";
    QTest::newRow("close box") << "close";
    QTest::newRow("close box while hidden") << "hidden close";
}

void TestDesktopWindow::exitRemovesTheIconAndEndsTheProgram() {
    QFETCH(QString, path);
    StartedWindow started(true);
    MirMain& window = started.window;
    QSignalSpy exiting(&window, &MirMain::exiting);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    if (path == QLatin1String("ExitCmd")) {
        window.controls().ExitCmd->click();
    } else if (path == QLatin1String("mnuClose")) {
        window.controls().mnuClose->trigger();
    } else {
        if (path.startsWith(QLatin1String("hidden")))
            window.hideWindow();
        QVERIFY(window.close());
    }
    QCOMPARE(exiting.size(), 1);
    QCOMPARE(started.quitCalls, 1);
    QVERIFY(!window.desktop()->isIconShown());
    QVERIFY(!window.isVisible());
    // A second Exit (the close that follows, another click) does nothing more.
    window.exitProgram();
    QCOMPARE(started.quitCalls, 1);
    QCOMPARE(exiting.size(), 1);
}

void TestDesktopWindow::logViewsFollowTheResizeRule_data() {
    QTest::addColumn<QSize>("inner");
    QTest::addColumn<QRect>("list1");
    QTest::addColumn<QRect>("richTextBox1");
    // List1 stands at (8, 100) as the window places it.
    // 1366 x 700 pixels = 20490 x 10500 twips: List1 20250 x 2425 twips.
    QTest::newRow("operator screen")
        << QSize(1366, 700) << QRect(8, 100, 1350, 162) << QRect(8, 270, 1350, 422);
    QTest::newRow("small window") << QSize(400, 300) << QRect(8, 100, 384, 62)
                                  << QRect(8, 170, 384, 122);
}

void TestDesktopWindow::logViewsFollowTheResizeRule() {
    QFETCH(QSize, inner);
    QFETCH(QRect, list1);
    QFETCH(QRect, richTextBox1);
    MainLayout current{QRect(8, 100, 10, 10), QRect(8, 200, 10, 10)};
    const MainLayout next = layOutLogViews(inner, current);
    QCOMPARE(next.list1, list1);
    QCOMPARE(next.richTextBox1, richTextBox1);
}

void TestDesktopWindow::tooSmallWindowKeepsTheLastValidSizes() {
    // 50 pixels = 750 twips of inner height: List1 would need a negative height.
    const MainLayout valid = layOutLogViews(QSize(800, 600), {QRect(8, 100, 1, 1), QRect()});
    const MainLayout shrunk = layOutLogViews(QSize(800, 50), valid);
    QCOMPARE(shrunk.list1, valid.list1);
    QCOMPARE(shrunk.richTextBox1.size(), valid.richTextBox1.size());
    // Only the height was too small: a changed width is still taken.
    const MainLayout narrower = layOutLogViews(QSize(500, 50), valid);
    QCOMPARE(narrower.list1.width(), 484);
    QCOMPARE(narrower.list1.height(), valid.list1.height());

    // The window applies the same rule, without any message.
    MessageBoxRecorder boxes;
    StartedWindow started(false);
    MirMain& window = started.window;
    window.resize(800, 600);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QRect list = window.controls().List1->geometry();
    const QRect text = window.controls().RichTextBox1->geometry();
    QVERIFY(list.height() > 0 && text.height() > 0);
    QCOMPARE(text.top(), list.bottom() + 1 + 8);
    window.resize(800, 40);
    QTRY_COMPARE(window.height(), 40);
    QCOMPARE(window.controls().List1->size(), list.size());
    QCOMPARE(window.controls().RichTextBox1->size(), text.size());
    QVERIFY(boxes.shown().isEmpty());
}

void TestDesktopWindow::setupSavesNormalisedFolders_data() {
    QTest::addColumn<QString>("download");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no separator") << "/srv/mir"
                                  << "/srv/mir/";
    QTest::newRow("separator already") << "/srv/mir/"
                                       << "/srv/mir/";
    QTest::newRow("root from the chooser") << "/"
                                           << "/";
    QTest::newRow("empty") << ""
                           << "/";
}

void TestDesktopWindow::setupSavesNormalisedFolders() {
    QFETCH(QString, download);
    QFETCH(QString, expected);
    StartedWindow started(false);
    MirMain& window = started.window;
    const MirMainControls& c = window.controls();
    c.RunCmd->setEnabled(false); // as after a failed check before Run
    c.StopCmd->setEnabled(true);
    c.HideCmd->setEnabled(true);
    for (QPushButton* button : c.com_Show_Path)
        button->setEnabled(false);
    c.Text1->setText(QStringLiteral("/srv/data"));
    c.Text2->setText(download);
    c.Text3->setText(QStringLiteral("/srv/backup/"));
    c.Text5->setText(QStringLiteral("3"));

    MessageBoxRecorder boxes;
    c.SetupCmd->click();
    QVERIFY(boxes.shown().isEmpty());
    QCOMPARE(c.Text2->text(), expected);
    QCOMPARE(c.Text1->text(), QStringLiteral("/srv/data/"));
    QCOMPARE(window.settings().MirDownPath, expected);
    QCOMPARE(window.settings().MirProcessTKT, QStringLiteral("3"));
    QVERIFY(c.RunCmd->isEnabled());
    QVERIFY(!c.StopCmd->isEnabled());
    QVERIFY(!c.HideCmd->isEnabled());
    for (QPushButton* button : c.com_Show_Path)
        QVERIFY(button->isEnabled());

    // What the next start reads from the settings store.
    const GatewaySettings stored = loadGatewaySettings();
    QCOMPARE(stored.MirDataSource, QStringLiteral("/srv/data/"));
    QCOMPARE(stored.MirDownPath, expected);
    QCOMPARE(stored.MirBackupPath, QStringLiteral("/srv/backup/"));
    QCOMPARE(stored.MirProcessTKT, QStringLiteral("3"));
}

void TestDesktopWindow::setupRejectsAnAmtempOutsideOneToSix() {
    StartedWindow started(false);
    MirMain& window = started.window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    const MirMainControls& c = window.controls();
    const GatewaySettings before = loadGatewaySettings();
    c.RunCmd->setEnabled(false);
    c.Text1->setText(QStringLiteral("/srv/other"));
    c.Text5->setText(QStringLiteral("9"));

    MessageBoxRecorder boxes;
    c.SetupCmd->click();
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("AMTEMP 暫存檔選擇:1-6")});
    QCOMPARE(boxes.shown().first().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QTRY_VERIFY(c.Text5->hasFocus());
    // The folders are taken for the next run, but nothing is saved and the
    // buttons stay as they were.
    QCOMPARE(window.settings().MirDataSource, QStringLiteral("/srv/other/"));
    QCOMPARE(window.settings().MirProcessTKT, before.MirProcessTKT);
    QVERIFY(!c.RunCmd->isEnabled());
    const GatewaySettings after = loadGatewaySettings();
    QCOMPARE(after.MirDataSource, before.MirDataSource);
    QCOMPARE(after.MirProcessTKT, before.MirProcessTKT);
}

void TestDesktopWindow::setupStoreFailureIsTrapped() {
    StartedWindow started(false);
    const MirMainControls& c = started.window.controls();
    // A file where the store's folder should be: the store cannot be written.
    writeFileBytes(m_home->configHome() + QStringLiteral("/KESTO"), "not a folder");
    c.RunCmd->setEnabled(false);
    c.Text5->setText(QStringLiteral("2"));

    MessageBoxRecorder boxes;
    c.SetupCmd->click();
    QCOMPARE(boxes.shown().size(), 1);
    const QString text = boxes.shown().first().text;
    QCOMPARE(text, QString::number(lastErrorNumber()) + QLatin1Char(':') + lastErrorText());
    QVERIFY(text.startsWith(QStringLiteral("75:")));
    QVERIFY(text.endsWith(QStringLiteral("[SetupCmd_Click]")));
    QVERIFY(!c.RunCmd->isEnabled()); // the remaining steps were skipped
}

// The box shows whether an autostart entry exists; Setup adds or removes it,
// and a window started afterwards shows the new state.
void TestDesktopWindow::setupAppliesTheAutostartBox() {
    const QString entry = m_home->configHome() + QStringLiteral("/autostart/kesto.desktop");
    {
        StartedWindow started(false);
        const MirMainControls& c = started.window.controls();
        QVERIFY(!c.AutoStart->isChecked());
        c.AutoStart->setChecked(true);
        MessageBoxRecorder boxes;
        c.SetupCmd->click();
        QVERIFY(boxes.shown().isEmpty());
        const QByteArray exec =
            "Exec=\"" + QCoreApplication::applicationFilePath().toUtf8() + "\"\n";
        QVERIFY(readFileBytes(entry).contains(exec));
    }
    StartedWindow started(false);
    const MirMainControls& c = started.window.controls();
    QVERIFY(c.AutoStart->isChecked());
    c.AutoStart->setChecked(false);
    c.SetupCmd->click();
    QVERIFY(!QFileInfo::exists(entry));
}

void TestDesktopWindow::folderButtonsFillTheirFields_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("answer");
    QTest::newRow("0 to Text2") << 0 << "Text2"
                                << "/srv/mirs";
    QTest::newRow("1 to Text3") << 1 << "Text3"
                                << "/";
    QTest::newRow("2 to Text1") << 2 << "Text1"
                                << "/var/lib/kesto";
    QTest::newRow("Cancel leaves Text3") << 1 << "Text3"
                                         << "";
}

void TestDesktopWindow::folderButtonsFillTheirFields() {
    QFETCH(int, index);
    QFETCH(QString, field);
    QFETCH(QString, answer);
    StartedWindow started(false);
    MirMain& window = started.window;
    const MirMainControls& c = window.controls();
    const QStringList before{c.Text1->text(), c.Text2->text(), c.Text3->text()};

    Show_Path::setNextAnswer(answer);
    c.com_Show_Path[std::size_t(index)]->click();
    QCOMPARE(window.ChosenFolder(), answer);
    for (QLineEdit* text : {c.Text1, c.Text2, c.Text3}) {
        const QString old = before.at(text == c.Text1 ? 0 : text == c.Text2 ? 1 : 2);
        const bool filled = text->objectName() == field && !answer.isEmpty();
        QCOMPARE(text->text(), filled ? answer : old);
    }
}

QTEST_MAIN(TestDesktopWindow)
#include "test_desktopwindow.moc"
