#include "fixedpitchfont.h"
#include "lasterror.h"
#include "mdbfile.h"
#include "messagebox.h"
#include "mirmain.h"
#include "settingsloader.h"
#include "showpath.h"
#include "storedsettings.h"
#include "testhome.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

void activate(MirMain& window) {
    QEvent activation(QEvent::WindowActivate);
    QApplication::sendEvent(&window, &activation);
}

MirMain::StartupOptions quietOptions() {
    MirMain::StartupOptions options;
    options.startDate = QDate(2027, 3, 1);
    return options;
}

} // namespace

class TestMirMain : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void controlsCarryTheirNamesAndCaptions_data();
    void controlsCarryTheirNamesAndCaptions();
    void folderButtonsFormAnIndexedArray();
    void shellMenuStaysOutOfSight();
    void startupFillsTheWindow();
    void firstActivationRequestsTheAutomaticStartOnce();
    void startupErrorIsTrappedAndStopsTheAutomaticStart_data();
    void startupErrorIsTrappedAndStopsTheAutomaticStart();
    void sameModeRunningStopsStartupBeforeTheStore_data();
    void sameModeRunningStopsStartupBeforeTheStore();
    void openDbOutcomeReachesTheWindow_data();
    void openDbOutcomeReachesTheWindow();
    void indexButtonReportsItsOutcome();
};

void TestMirMain::init() {
    clearLastError();
}

void TestMirMain::controlsCarryTheirNamesAndCaptions_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("caption");
    const auto row = [](const char* name, const char* kind, const QString& caption) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(kind) << caption;
    };
    row("RunCmd", "QPushButton", QStringLiteral("執行"));
    row("StopCmd", "QPushButton", QStringLiteral("停止"));
    row("SetupCmd", "QPushButton", QStringLiteral("設定"));
    row("ExitCmd", "QPushButton", QStringLiteral("結束"));
    row("HideCmd", "QPushButton", QStringLiteral("   隱藏        視窗"));
    row("SqlIndex", "QPushButton", QStringLiteral("   SQL     建索引"));
    row("Command5", "QPushButton", QStringLiteral("View Mdb"));
    row("Command6", "QPushButton", QStringLiteral("Error Log"));
    row("Label1", "QLabel", QStringLiteral("mdb路徑"));
    row("Label2", "QLabel", QStringLiteral("MIR路徑"));
    row("Label3", "QLabel", QStringLiteral("備份路徑"));
    row("Label4", "QLabel", QString());
    row("Label5", "QLabel", QStringLiteral("AMTEMP:"));
    row("Label6", "QLabel", QStringLiteral("(1-6)預設=1"));
    row("Text1", "QLineEdit", QString());
    row("Text2", "QLineEdit", QString());
    row("Text3", "QLineEdit", QString());
    row("Text5", "QLineEdit", QString());
    row("List1", "QListWidget", QString());
    row("RichTextBox1", "QPlainTextEdit", QString());
    row("PicOn", "QLabel", QString());
    row("mnuShell", "QMenu", QStringLiteral("右鍵選單"));
}

void TestMirMain::controlsCarryTheirNamesAndCaptions() {
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, caption);
    MirMain window;
    QCOMPARE(window.objectName(), QStringLiteral("MIRMAIN"));
    QCOMPARE(window.windowTitle(), QStringLiteral("MIRMAIN-V1.0"));
    const QList<QWidget*> found = window.findChildren<QWidget*>(name);
    QCOMPARE(found.size(), 1);
    QWidget* widget = found.first();
    QVERIFY(widget->inherits(qPrintable(kind)));
    if (auto* button = qobject_cast<QPushButton*>(widget))
        QCOMPARE(button->text(), caption);
    else if (auto* label = qobject_cast<QLabel*>(widget))
        QCOMPARE(label->text(), caption);
    else if (auto* menu = qobject_cast<QMenu*>(widget))
        QCOMPARE(menu->title(), caption);
    if (auto* view = qobject_cast<QPlainTextEdit*>(widget))
        QVERIFY(view->isReadOnly() && advancesEqually(view->font()));
}

void TestMirMain::folderButtonsFormAnIndexedArray() {
    MirMain window;
    QSignalSpy clicked(&window, &MirMain::comShowPathClicked);
    for (int index : {2, 0, 1}) {
        auto* button =
            window.findChild<QPushButton*>(QStringLiteral("com_Show_Path_%1").arg(index));
        QVERIFY(button);
        QCOMPARE(button, window.controls().com_Show_Path[std::size_t(index)]);
        QCOMPARE(button->text(), QStringLiteral("..."));
        QCOMPARE(button->property("index").toInt(), index);
        Show_Path::setNextAnswer(QString()); // the chooser answers Cancel
        button->click();
    }
    QCOMPARE(clicked.size(), 3);
    QCOMPARE(clicked.at(0).at(0).toInt(), 2);
    QCOMPARE(clicked.at(1).at(0).toInt(), 0);
    QCOMPARE(clicked.at(2).at(0).toInt(), 1);
}

void TestMirMain::shellMenuStaysOutOfSight() {
    TestHome home;
    MirMain window;
    QCOMPARE(window.runStartup(quietOptions()), MirMain::StartupResult::Started);
    const MirMainControls& c = window.controls();
    QVERIFY(!c.mnuShell->isVisible());
    QVERIFY(!c.mnuShell->menuAction()->isVisible());
    const QStringList expected{QStringLiteral("mnuOpen:開啟視窗"),
                               QStringLiteral("mnuHide:關閉選單"), QStringLiteral("mnuClose:結束")};
    QStringList items;
    for (QAction* action : c.mnuShell->actions())
        items.append(action->objectName() + QLatin1Char(':') + action->text());
    QCOMPARE(items, expected);
}

void TestMirMain::startupFillsTheWindow() {
    TestHome home;
    GatewaySettings stored = loadGatewaySettings();
    stored.MirDownPath = QStringLiteral("/srv/mir/");
    stored.MirBackupPath = QString();
    stored.MirProcessTKT = QStringLiteral("5");
    QCOMPARE(saveStoredSettings(stored), kesto::registry::Status::Ok);

    MirMain window;
    QCOMPARE(window.runStartup(quietOptions()), MirMain::StartupResult::Started);
    const MirMainControls& c = window.controls();
    QCOMPARE(c.Text1->text(), home.programFolder() + QStringLiteral("/vela_data/"));
    QCOMPARE(c.Text2->text(), QStringLiteral("/srv/mir/"));
    QCOMPARE(c.Text3->text(), QString());
    QCOMPARE(c.Text5->text(), QStringLiteral("5"));
    QVERIFY(c.RunCmd->isEnabled());
    QVERIFY(c.SetupCmd->isEnabled());
    QVERIFY(!c.StopCmd->isEnabled());
    QVERIFY(!c.HideCmd->isEnabled());
    for (QPushButton* button : c.com_Show_Path)
        QVERIFY(button->isEnabled());
    QVERIFY(!c.PicOn->pixmap().isNull());
    QCOMPARE(window.windowTitle(), QStringLiteral("MIRMAIN-V1.0"));
    QCOMPARE(window.settings().StartYearMonth, QStringLiteral("202703"));
    QCOMPARE(window.settings().StartDay, QStringLiteral("01"));
    QCOMPARE(window.settings().PlatformId, 2);
    QCOMPARE(lastErrorNumber(), 0);
}

void TestMirMain::firstActivationRequestsTheAutomaticStartOnce() {
    TestHome home;
    MirMain window;
    QSignalSpy autoStart(&window, &MirMain::autoStartRequested);
    activate(window); // before start-up: nothing is armed
    QCOMPARE(autoStart.size(), 0);

    QCOMPARE(window.runStartup(quietOptions()), MirMain::StartupResult::Started);
    QCOMPARE(window.autoStartPending(), 1);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTRY_COMPARE(autoStart.size(), 1);
    QCOMPARE(window.autoStartPending(), 0);

    activate(window);
    window.hide();
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QCOMPARE(autoStart.size(), 1);
}

void TestMirMain::startupErrorIsTrappedAndStopsTheAutomaticStart_data() {
    QTest::addColumn<QByteArray>("iconBytes"); // null: no file at all
    QTest::addColumn<QString>("message");
    QTest::newRow("icon missing") << QByteArray() << "53:File not found[Form.Load]";
    QTest::newRow("icon unreadable")
        << QByteArray("not a picture") << "481:Invalid picture[Form.Load]";
}

void TestMirMain::startupErrorIsTrappedAndStopsTheAutomaticStart() {
    QFETCH(QByteArray, iconBytes);
    QFETCH(QString, message);
    TestHome home;
    MirMain::StartupOptions options = quietOptions();
    options.iconPath = home.root() + QStringLiteral("/icon.png");
    if (!iconBytes.isNull())
        writeFileBytes(options.iconPath, iconBytes);

    MessageBoxRecorder boxes;
    MirMain window;
    QSignalSpy autoStart(&window, &MirMain::autoStartRequested);
    QCOMPARE(window.runStartup(options), MirMain::StartupResult::Failed);
    QCOMPARE(boxes.texts(), QStringList{message});
    QCOMPARE(boxes.shown().first().title, QStringLiteral("KESTO"));
    QCOMPARE(boxes.shown().first().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(QString::number(lastErrorNumber()) + QLatin1Char(':') + lastErrorText(), message);
    // The steps before the failing one are done; the window still opens.
    QCOMPARE(window.controls().Text5->text(), QStringLiteral("1"));

    activate(window);
    QCOMPARE(autoStart.size(), 0);
    QCOMPARE(window.autoStartPending(), 0);
}

void TestMirMain::sameModeRunningStopsStartupBeforeTheStore_data() {
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("title");
    QTest::newRow("no INI") << QByteArray() << "KESTO-MDB";
    QTest::newRow("SQL mode") << QByteArray("[PALVA]\nProvider=PostgreSQL Unicode\n")
                              << "KESTO-SQL";
}

void TestMirMain::sameModeRunningStopsStartupBeforeTheStore() {
    QFETCH(QByteArray, ini);
    QFETCH(QString, title);
    TestHome home;
    if (!ini.isEmpty())
        home.writeIni(ini);
    QStringList asked;
    MirMain::StartupOptions options = quietOptions();
    options.claimInstanceTitle = [&asked](const QString& instanceTitle) {
        asked.append(instanceTitle);
        return false;
    };
    MessageBoxRecorder boxes;
    MirMain window;
    QCOMPARE(window.runStartup(options), MirMain::StartupResult::SameModeRunning);
    QCOMPARE(asked, QStringList{title});
    QCOMPARE(window.autoStartPending(), 0);
    QVERIFY(window.controls().Text1->text().isEmpty());
    QVERIFY(boxes.shown().isEmpty());
}

void TestMirMain::openDbOutcomeReachesTheWindow_data() {
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<bool>("createDatabase");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("sqlIndexVisible");
    QTest::newRow("embedded database") << QByteArray() << true << true << "KESTO-MDB-V2.0" << false;
    QTest::newRow("embedded with XML") << QByteArray("[PALVA]\nXML_FG=1\nXML_DNS=127.0.0.9\n")
                                       << true << true << "KESTO-MDB-V2.0.xml" << false;
    QTest::newRow("embedded database missing")
        << QByteArray() << false << false << "KESTO-MDB-V2.0" << false;
    QTest::newRow("SQL driver missing")
        << QByteArray("[PALVA]\nProvider=No Such Driver\nServer=127.0.0.9\n") << false << false
        << "KESTO-SQL-V2.0" << true;
}

void TestMirMain::openDbOutcomeReachesTheWindow() {
    QFETCH(QByteArray, ini);
    QFETCH(bool, createDatabase);
    QFETCH(bool, ok);
    QFETCH(QString, title);
    QFETCH(bool, sqlIndexVisible);
    TestHome home;
    if (!ini.isEmpty())
        home.writeIni(ini);
    MirMain window;
    QCOMPARE(window.runStartup(quietOptions()), MirMain::StartupResult::Started);
    if (createDatabase) {
        QDir().mkpath(window.settings().MirDataSource);
        createMdbFile(window.settings().MirDataSource + QStringLiteral("PALVA.mdb"));
    }
    window.show();
    MessageBoxRecorder boxes;
    QCOMPARE(window.runOpenDb(), ok);
    QCOMPARE(window.windowTitle(), title);
    QCOMPARE(window.controls().SqlIndex->isVisible(), sqlIndexVisible);
    if (ok) {
        QVERIFY(boxes.shown().isEmpty());
    } else {
        QVERIFY(lastErrorNumber() != 0);
        QVERIFY(lastErrorText().endsWith(QStringLiteral("[Open_DB]")));
        QCOMPARE(boxes.texts(), QStringList{QString::number(lastErrorNumber()) + QLatin1Char(':') +
                                            lastErrorText()});
    }
}

void TestMirMain::indexButtonReportsItsOutcome() {
    TestHome home;
    MirMain window;
    QCOMPARE(window.runStartup(quietOptions()), MirMain::StartupResult::Started);
    MessageBoxRecorder boxes;
    window.controls().SqlIndex->click(); // no database opened yet
    QCOMPARE(boxes.shown().size(), 1);
    QVERIFY(!boxes.shown().first().text.isEmpty());
    QCOMPARE(boxes.shown().first().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

QTEST_MAIN(TestMirMain)
#include "test_mirmain.moc"
