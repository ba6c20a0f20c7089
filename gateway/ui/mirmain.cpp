#include "mirmain.h"

#include "autostart.h"
#include "errorlogviewer.h"
#include "fixedpitchfont.h"
#include "inisettings.h"
#include "lasterror.h"
#include "messagebox.h"
#include "opendb.h"
#include "programfolder.h"
#include "recordviewer.h"
#include "settingsloader.h"
#include "setupcommand.h"
#include "showpath.h"
#include "sqlindex.h"
#include "storedsettings.h"
#include "trappederror.h"
#include "twips.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <new>

namespace {

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

QLineEdit* makeTextBox(QWidget* parent, const char* name) {
    auto* text = new QLineEdit(parent);
    text->setObjectName(QLatin1String(name));
    return text;
}

QAction* makeMenuItem(QMenu* menu, const char* name, const QString& caption) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    return action;
}

} // namespace

MirMain::MirMain(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("MIRMAIN"));
    setWindowTitle(QStringLiteral("MIRMAIN-V1.0"));
    m_quit = [] { QCoreApplication::quit(); };
    createControls();
    layOutControls();
    connectCommands();
}

QString MirMain::defaultIconPath() {
    return QStringLiteral(":/kesto/kesto.png");
}

void MirMain::createControls() {
    MirMainControls& c = m_controls;
    c.RunCmd = makeButton(this, "RunCmd", QStringLiteral("執行"));
    c.StopCmd = makeButton(this, "StopCmd", QStringLiteral("停止"));
    c.SetupCmd = makeButton(this, "SetupCmd", QStringLiteral("設定"));
    c.ExitCmd = makeButton(this, "ExitCmd", QStringLiteral("結束"));
    c.HideCmd = makeButton(this, "HideCmd", QStringLiteral("   隱藏        視窗"));
    c.SqlIndex = makeButton(this, "SqlIndex", QStringLiteral("   SQL     建索引"));
    c.Command5 = makeButton(this, "Command5", QStringLiteral("View Mdb"));
    c.Command6 = makeButton(this, "Command6", QStringLiteral("Error Log"));
    for (int index = 0; index < int(c.com_Show_Path.size()); ++index) {
        const QByteArray name = "com_Show_Path_" + QByteArray::number(index);
        QPushButton* button = makeButton(this, name.constData(), QStringLiteral("..."));
        button->setProperty("index", index);
        connect(button, &QPushButton::clicked, this,
                [this, index] { Q_EMIT comShowPathClicked(index); });
        c.com_Show_Path[std::size_t(index)] = button;
    }

    c.Text1 = makeTextBox(this, "Text1");
    c.Text2 = makeTextBox(this, "Text2");
    c.Text3 = makeTextBox(this, "Text3");
    c.Text5 = makeTextBox(this, "Text5");
    c.Label1 = makeLabel(this, "Label1", QStringLiteral("mdb路徑"));
    c.Label2 = makeLabel(this, "Label2", QStringLiteral("MIR路徑"));
    c.Label3 = makeLabel(this, "Label3", QStringLiteral("備份路徑"));
    c.Label4 = makeLabel(this, "Label4", QString());
    c.PostsOwed = makeLabel(this, "PostsOwed", QString());
    c.Label5 = makeLabel(this, "Label5", QStringLiteral("AMTEMP:"));
    c.Label6 = makeLabel(this, "Label6", QStringLiteral("(1-6)預設=1"));
    c.AutoStart = new QCheckBox(QStringLiteral("Start with the session"), this);
    c.AutoStart->setObjectName(QStringLiteral("AutoStart"));

    c.List1 = new QListWidget(this);
    c.List1->setObjectName(QStringLiteral("List1"));
    c.RichTextBox1 = new QPlainTextEdit(this);
    c.RichTextBox1->setObjectName(QStringLiteral("RichTextBox1"));
    c.RichTextBox1->setReadOnly(true);
    c.RichTextBox1->setLineWrapMode(QPlainTextEdit::NoWrap);
    c.RichTextBox1->setFont(fixedPitchFont());
    c.PicOn = makeLabel(this, "PicOn", QString());

    c.mnuShell = new QMenu(QStringLiteral("右鍵選單"), this);
    c.mnuShell->setObjectName(QStringLiteral("mnuShell"));
    c.mnuOpen = makeMenuItem(c.mnuShell, "mnuOpen", QStringLiteral("開啟視窗"));
    c.mnuHide = makeMenuItem(c.mnuShell, "mnuHide", QStringLiteral("關閉選單"));
    c.mnuClose = makeMenuItem(c.mnuShell, "mnuClose", QStringLiteral("結束"));

    connect(c.SqlIndex, &QPushButton::clicked, this, &MirMain::runSqlIndex);
}

void MirMain::layOutControls() {
    const MirMainControls& c = m_controls;
    m_topPanel = new QWidget(this);
    m_topPanel->setObjectName(QStringLiteral("topPanel"));

    auto* fields = new QGridLayout;
    fields->addWidget(c.Label1, 0, 0);
    fields->addWidget(c.Text1, 0, 1);
    fields->addWidget(c.com_Show_Path[2], 0, 2);
    fields->addWidget(c.Label2, 1, 0);
    fields->addWidget(c.Text2, 1, 1);
    fields->addWidget(c.com_Show_Path[0], 1, 2);
    fields->addWidget(c.Label3, 2, 0);
    fields->addWidget(c.Text3, 2, 1);
    fields->addWidget(c.com_Show_Path[1], 2, 2);
    auto* amtemp = new QHBoxLayout;
    amtemp->addWidget(c.Text5);
    amtemp->addWidget(c.Label6);
    amtemp->addSpacing(c.Label6->fontMetrics().horizontalAdvance(QStringLiteral("0000")));
    amtemp->addWidget(c.AutoStart);
    amtemp->addStretch();
    fields->addWidget(c.Label5, 3, 0);
    fields->addLayout(amtemp, 3, 1, 1, 2);
    fields->addWidget(c.Label4, 4, 0, 1, 3);
    fields->addWidget(c.PostsOwed, 5, 0, 1, 3);
    fields->setColumnStretch(1, 1);
    c.Text5->setMaximumWidth(c.Text5->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 16);
    for (QPushButton* button : c.com_Show_Path)
        button->setMaximumWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("....")) +
                                16);
    c.Label4->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold;"));

    auto* buttons = new QGridLayout;
    buttons->addWidget(c.RunCmd, 0, 0);
    buttons->addWidget(c.StopCmd, 0, 1);
    buttons->addWidget(c.SetupCmd, 1, 0);
    buttons->addWidget(c.HideCmd, 1, 1);
    buttons->addWidget(c.Command5, 2, 0);
    buttons->addWidget(c.Command6, 2, 1);
    buttons->addWidget(c.SqlIndex, 3, 0);
    buttons->addWidget(c.ExitCmd, 3, 1);
    buttons->addWidget(c.PicOn, 0, 2, 4, 1, Qt::AlignCenter);

    auto* top = new QHBoxLayout(m_topPanel);
    top->addLayout(fields, 1);
    top->addSpacing(16);
    top->addLayout(buttons);

    // List1 and RichTextBox1 follow the window's resize rule below the panel.
    resize(1000, 700);
}

void MirMain::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int panelHeight = m_topPanel->sizeHint().height();
    m_topPanel->setGeometry(0, 0, width(), panelHeight);
    // List1 stands where the panel ends; the rule sets its size and places
    // RichTextBox1 below it.
    const int left = twipsToPixels(120);
    if (m_logLayout.list1.isNull())
        m_logLayout.list1 = QRect(left, panelHeight, 0, 0);
    m_logLayout.list1.moveTo(left, panelHeight);
    m_logLayout.richTextBox1.moveLeft(left);
    m_logLayout = layOutLogViews(size(), m_logLayout);
    m_controls.List1->setGeometry(m_logLayout.list1);
    m_controls.RichTextBox1->setGeometry(m_logLayout.richTextBox1);
}

void MirMain::connectCommands() {
    const MirMainControls& c = m_controls;
    connect(c.SetupCmd, &QPushButton::clicked, this, [this] { runSetupCommand(*this); });
    connect(c.HideCmd, &QPushButton::clicked, this, &MirMain::hideWindow);
    connect(c.ExitCmd, &QPushButton::clicked, this, &MirMain::exitProgram);
    connect(c.Command5, &QPushButton::clicked, this, &MirMain::showRecordViewer);
    connect(c.Command6, &QPushButton::clicked, this, &MirMain::showErrorLogViewer);
    connect(this, &MirMain::comShowPathClicked, this, &MirMain::chooseFolder);
    connect(c.mnuOpen, &QAction::triggered, this, &MirMain::showWindow);
    connect(c.mnuHide, &QAction::triggered, c.mnuShell, &QMenu::hide);
    connect(c.mnuClose, &QAction::triggered, this, &MirMain::exitProgram);
}

MirMain::StartupResult MirMain::runStartup(const StartupOptions& options) {
    try {
        m_settings.PlatformId = kPlatformId;
        m_controls.mnuShell->menuAction()->setVisible(false);
        m_controls.mnuShell->hide();
        readIniSettings(m_settings, palvaIniPath());
        if (options.claimInstanceTitle && !options.claimInstanceTitle(instanceTitle(m_settings)))
            return StartupResult::SameModeRunning;
        m_autoStartPending = 1;
        applyStoredSettingDefaults(m_settings);
        setStartDate(m_settings, options.startDate);
        readStoredSettings(m_settings);
        fillFields();
        if (options.quit)
            m_quit = options.quit;
        loadProgramIcon(options.iconPath);
        addNotificationIcon(options.trayAvailable);
    } catch (const TrappedError& error) {
        return failStartup(error.number(), error.description());
    } catch (const std::bad_alloc&) {
        return failStartup(ErrorNumber::OutOfMemory, QStringLiteral("Out of memory"));
    } catch (const std::exception& error) {
        return failStartup(ErrorNumber::InternalError, QString::fromLocal8Bit(error.what()));
    }
    return StartupResult::Started;
}

void MirMain::fillFields() {
    const MirMainControls& c = m_controls;
    c.Text1->setText(m_settings.MirDataSource);
    c.Text2->setText(m_settings.MirDownPath);
    c.Text3->setText(m_settings.MirBackupPath);
    c.Text5->setText(m_settings.MirProcessTKT);
    c.AutoStart->setChecked(autostartEnabled());
    c.RunCmd->setEnabled(true);
    c.SetupCmd->setEnabled(true);
    c.StopCmd->setEnabled(false);
    c.HideCmd->setEnabled(false);
    for (QPushButton* button : c.com_Show_Path)
        button->setEnabled(true);
}

void MirMain::loadProgramIcon(const QString& path) {
    if (!QFileInfo::exists(path))
        throw TrappedError(ErrorNumber::FileNotFound, QStringLiteral("File not found"));
    QPixmap picture;
    if (!picture.load(path))
        throw TrappedError(ErrorNumber::InvalidPicture, QStringLiteral("Invalid picture"));
    m_controls.PicOn->setPixmap(picture);
    setWindowIcon(QIcon(picture));
}

void MirMain::addNotificationIcon(const DesktopIntegration::TrayProbe& probe) {
    delete m_desktop;
    m_desktop = new DesktopIntegration(this, m_controls.mnuShell, windowIcon(),
                                       probe ? probe : DesktopIntegration::platformProbe(), this);
}

MirMain::StartupResult MirMain::failStartup(qint32 number, const QString& description) {
    setLastError(number, description + QStringLiteral("[Form.Load]"));
    MessageBox::show(this, QString::number(number) + QLatin1Char(':') + lastErrorText());
    return StartupResult::Failed;
}

bool MirMain::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && m_autoStartPending == 1) {
        m_autoStartPending = 0;
        if (lastErrorNumber() == 0)
            Q_EMIT autoStartRequested();
    }
    return QWidget::event(event);
}

bool MirMain::runOpenDb() {
    const OpenDbOutcome outcome = Open_DB(m_settings);
    // An empty title means Open_DB failed before it chose the mode's title and
    // the index button's visibility; both then stay as they were.
    if (!outcome.windowTitle.isEmpty()) {
        setWindowTitle(outcome.windowTitle);
        m_controls.SqlIndex->setVisible(outcome.sqlIndexVisible);
    }
    if (!outcome.ok)
        MessageBox::show(this,
                         QString::number(lastErrorNumber()) + QLatin1Char(':') + lastErrorText());
    return outcome.ok;
}

void MirMain::runSqlIndex() {
    const SqlIndexOutcome outcome = runSqlIndexScript();
    MessageBox::show(this, outcome.message);
}

void MirMain::showWindow() {
    if (m_desktop != nullptr) {
        m_desktop->showWindow();
        return;
    }
    showMaximized();
    raise();
    activateWindow();
}

void MirMain::hideWindow() {
    hide();
}

void MirMain::setVisible(bool visible) {
    // Hidden, the window comes back only through the notification-area icon.
    // Without one (no notification area, or the icon not in it), whoever hides
    // the window, it is minimised instead and stays in the window list.
    const bool reachableHidden = m_desktop != nullptr && m_desktop->trayAvailable();
    if (!visible && isVisible() && !m_exiting && !reachableHidden) {
        if (!isMinimized())
            showMinimized();
        return;
    }
    QWidget::setVisible(visible);
}

void MirMain::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized() || m_desktop == nullptr)
        return;
    // Hiding from inside the state change confuses some window managers: do it
    // once the change is through.
    QTimer::singleShot(0, this, [this] {
        if (isMinimized() && m_desktop != nullptr)
            m_desktop->windowMinimised();
    });
}

void MirMain::exitProgram() {
    if (m_exiting)
        return;
    m_exiting = true;
    if (m_desktop != nullptr)
        m_desktop->removeIcon();
    // The processing cycle's waits end here (RunCommand::shutdown()).
    Q_EMIT exiting();
    close();
    m_quit();
}

void MirMain::closeEvent(QCloseEvent* event) {
    // The close box exits the program without asking.
    event->accept();
    exitProgram();
}

QLineEdit* MirMain::folderField(int index) const {
    switch (index) {
    case 0:
        return m_controls.Text2;
    case 1:
        return m_controls.Text3;
    case 2:
        return m_controls.Text1;
    default:
        return nullptr;
    }
}

void MirMain::chooseFolder(int index) {
    QLineEdit* field = folderField(index);
    if (field == nullptr)
        return;
    m_chosenFolder.clear();
    m_chosenFolder = Show_Path::choose(this);
    if (!m_chosenFolder.isEmpty())
        field->setText(m_chosenFolder);
}

void MirMain::showRecordViewer() {
    if (m_form1 == nullptr)
        m_form1 = new Form1(this);
    // Opened afresh it reads again; one still open is only brought forward,
    // unless its last read failed (no run yet).
    if (!m_form1->isVisible() || !m_form1->isLoaded())
        m_form1->load();
    m_form1->show();
    m_form1->raise();
    m_form1->activateWindow();
}

void MirMain::showErrorLogViewer() {
    if (m_form2 == nullptr)
        m_form2 = new Form2(this);
    if (!m_form2->isVisible() || !m_form2->isLoaded())
        m_form2->load();
    m_form2->show();
    m_form2->raise();
    m_form2->activateWindow();
}
