#include "runcommand.h"

#include "errorlog.h"
#include "lasterror.h"
#include "logstamp.h"
#include "messagebox.h"
#include "metricsendpoint.h"
#include "mirmain.h"
#include "programfolder.h"
#include "runchecks.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>

#include <cstdio>
#include <cstdlib>

namespace {
// Exit ends the program within 5 seconds, whatever the worker is waiting for.
constexpr int kStopBoundMs = 4500;
} // namespace

RunCommand::RunCommand(MirMain& window, QObject* parent) : QObject(parent), m_window(window) {
    m_timing.pauseScale = pauseScaleFromEnvironment();
    const MirMainControls& c = m_window.controls();
    connect(c.RunCmd, &QPushButton::clicked, this, &RunCommand::run);
    connect(c.StopCmd, &QPushButton::clicked, this, &RunCommand::stop);
}

RunCommand::~RunCommand() {
    shutdown();
}

void RunCommand::setTiming(double pauseScale, int rescanMs, int httpTimeoutMs,
                           std::chrono::milliseconds deferRetry) {
    m_timing.pauseScale = pauseScale;
    m_timing.rescanMs = rescanMs;
    m_timing.httpTimeoutMs = httpTimeoutMs;
    m_timing.deferRetry = deferRetry;
}

void RunCommand::run() {
    if (m_thread) {
        // The previous cycle is still finishing its file: start once it has.
        m_runPending = true;
        return;
    }
    if (!passChecks())
        return;

    const GatewaySettings& settings = m_window.settings();
    if (const auto failure = createBackupDateFolders(settings)) {
        showTrappedError(failure->number, failure->description);
        return;
    }
    if (!m_window.runOpenDb())
        return;

    const MirMainControls& c = m_window.controls();
    c.RunCmd->setEnabled(false);
    c.StopCmd->setEnabled(true);
    c.SetupCmd->setEnabled(false);
    c.HideCmd->setEnabled(true);
    for (QPushButton* button : c.com_Show_Path)
        button->setEnabled(false);
    m_window.hideWindow();
    startCycle();
}

bool RunCommand::passChecks() {
    const GatewaySettings& settings = m_window.settings();
    const MirMainControls& c = m_window.controls();
    if (!dataFolderHoldsMdb(settings.MirDataSource)) {
        MessageBox::show(&m_window, mdbMissingMessage(settings.MirDataSource));
        failCheck(c.Text1);
        return false;
    }
    if (!folderExists(settings.MirDownPath)) {
        MessageBox::show(&m_window, downloadMissingMessage(settings.MirDownPath));
        failCheck(c.Text2);
        return false;
    }
    if (!folderExists(settings.MirBackupPath)) {
        const auto answer =
            MessageBox::show(&m_window, backupMissingQuestion(settings.MirBackupPath),
                             QMessageBox::Ok | QMessageBox::Cancel);
        if (answer != QMessageBox::Ok) {
            failCheck(c.Text3);
            return false;
        }
        if (const auto failure = createBackupFolder(settings.MirBackupPath)) {
            showTrappedError(failure->number, failure->description);
            return false;
        }
    }
    return true;
}

void RunCommand::failCheck(QLineEdit* focus) {
    const MirMainControls& c = m_window.controls();
    focus->setFocus();
    focus->selectAll();
    c.RunCmd->setEnabled(false);
    c.StopCmd->setEnabled(false);
    c.HideCmd->setEnabled(false);
    for (QPushButton* button : c.com_Show_Path)
        button->setEnabled(true);
}

void RunCommand::showTrappedError(qint32 number, const QString& description) {
    setLastError(number, description + QStringLiteral("[RunCmd_Click]"));
    MessageBox::show(&m_window, QString::number(number) + QLatin1Char(':') + lastErrorText());
}

void RunCommand::startCycle() {
    ProcessingCycle::Options options = m_timing;
    options.settings = m_window.settings();
    options.once = false;
    setLocalErrorLog(localErrorLogPath());

    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("ProcessingCycle"));
    m_cycle = new ProcessingCycle(options);
    m_cycle->moveToThread(m_thread);

    const MirMainControls& c = m_window.controls();
    connect(m_thread, &QThread::started, m_cycle, &ProcessingCycle::run);
    // The worker's event loop ends with the cycle, so that waiting for it ends too.
    connect(m_cycle, &ProcessingCycle::finished, m_thread, &QThread::quit, Qt::DirectConnection);
    connect(m_cycle, &ProcessingCycle::finished, this, &RunCommand::onCycleFinished);
    connect(m_cycle, &ProcessingCycle::logLine, c.List1,
            [list = c.List1](const QString& line) { list->addItem(withoutLineEnd(line)); });
    connect(m_cycle, &ProcessingCycle::logCleared, c.List1, &QListWidget::clear);
    // An error row the database could not take is shown to the operator instead.
    connect(m_cycle, &ProcessingCycle::errorNotStored, c.List1,
            [list = c.List1](const QString& message) { list->addItem(message); });
    connect(m_cycle, &ProcessingCycle::fileShown, c.RichTextBox1, &QPlainTextEdit::setPlainText);
    connect(m_cycle, &ProcessingCycle::folderStateChanged, c.Label4, &QLabel::setText);
    // A run refused (its identity is another's) says why where the operator looks.
    connect(m_cycle, &ProcessingCycle::runRefused, c.List1,
            [list = c.List1](const QString& why) { list->addItem(why); });
    connect(m_cycle, &ProcessingCycle::postsOwedChanged, c.PostsOwed, [label = c.PostsOwed](int n) {
        label->setText(n > 0 ? QStringLiteral("posts owed: %1").arg(n) : QString());
    });
    m_thread->start();
    startMetrics(options.settings);
    Q_EMIT cycleRunningChanged(true);
}

// The metrics endpoint serves while the cycle runs; one that cannot listen
// says why in the log list, and the cycle runs without it.
void RunCommand::startMetrics(const GatewaySettings& settings) {
    if (settings.MirMetrics.isEmpty())
        return;
    const std::optional<MetricsAddress> address = MetricsAddress::parse(settings.MirMetrics);
    m_metrics = std::make_unique<MetricsEndpoint>(settings);
    const QString failure =
        address ? m_metrics->start(*address) : QStringLiteral("not an ADDR:PORT");
    if (failure.isEmpty())
        return;
    m_metrics.reset();
    m_window.controls().List1->addItem(
        QStringLiteral("The metrics endpoint cannot listen on %1: %2")
            .arg(settings.MirMetrics, failure));
}

void RunCommand::stop() {
    const MirMainControls& c = m_window.controls();
    c.RunCmd->setEnabled(true);
    c.StopCmd->setEnabled(false);
    c.SetupCmd->setEnabled(true);
    c.HideCmd->setEnabled(false);
    for (QPushButton* button : c.com_Show_Path)
        button->setEnabled(true);
    m_runPending = false;
    if (m_cycle)
        m_cycle->requestStop();
}

void RunCommand::shutdown() {
    m_runPending = false;
    if (!m_thread)
        return;
    m_cycle->requestAbort();
    if (!m_thread->wait(QDeadlineTimer(kStopBoundMs))) {
        // A database call that does not return holds the worker. The program
        // ends without it: the server rolls the open version back when the
        // connection goes, and the ledger lets the next start do it again.
        std::fputs("kesto: the processing cycle did not end within 5 seconds (a database call "
                   "does not return); ending without it\n",
                   stderr);
        std::_Exit(0);
    }
    onCycleFinished();
}

void RunCommand::onCycleFinished() {
    if (!m_thread)
        return;
    m_metrics.reset();
    m_thread->quit();
    m_thread->wait();
    delete m_cycle;
    m_cycle = nullptr;
    delete m_thread;
    m_thread = nullptr;
    Q_EMIT cycleRunningChanged(false);
    if (m_runPending) {
        m_runPending = false;
        run();
    }
}
