#include "mirmain.h"

#include "inisettings.h"
#include "lasterror.h"
#include "messagebox.h"
#include "opendb.h"
#include "programfolder.h"
#include "settingsloader.h"
#include "sqlindex.h"
#include "storedsettings.h"
#include "trappederror.h"

#include <QEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
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
    createControls();
    layOutControls();
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
    c.Label5 = makeLabel(this, "Label5", QStringLiteral("AMTEMP:"));
    c.Label6 = makeLabel(this, "Label6", QStringLiteral("(1-6)預設=1"));

    c.List1 = new QListWidget(this);
    c.List1->setObjectName(QStringLiteral("List1"));
    c.RichTextBox1 = new QPlainTextEdit(this);
    c.RichTextBox1->setObjectName(QStringLiteral("RichTextBox1"));
    c.RichTextBox1->setReadOnly(true);
    c.RichTextBox1->setLineWrapMode(QPlainTextEdit::NoWrap);
    c.RichTextBox1->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
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
    fields->addWidget(c.Label5, 3, 0);
    fields->addWidget(c.Text5, 3, 1);
    fields->addWidget(c.Label6, 3, 2);
    fields->addWidget(c.Label4, 4, 0, 1, 3);
    fields->setColumnStretch(1, 1);

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

    auto* top = new QHBoxLayout;
    top->addLayout(fields, 1);
    top->addLayout(buttons);

    // The log takes a quarter of the height, the file view the rest.
    auto* window = new QVBoxLayout(this);
    window->addLayout(top);
    window->addWidget(c.List1, 1);
    window->addWidget(c.RichTextBox1, 3);
    resize(900, 640);
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
        loadProgramIcon(options.iconPath);
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
