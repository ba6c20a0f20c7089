#pragma once

#include "processingcycle.h"

#include <QObject>

#include <memory>

class MetricsEndpoint;
class MirMain;
class QLineEdit;
class QThread;

// The Run and Stop commands of the main window. Run makes the checks (with
// their message boxes, focus and selection), the dated backup folders and
// Open_DB, switches the buttons, hides the window and starts the processing
// cycle on a worker thread of its own; the cycle's log lines, the file shown
// and Label4's text come back as queued signals, so the window never waits
// for the cycle, the database or the network. GUI thread only.
class RunCommand : public QObject {
    Q_OBJECT

public:
    explicit RunCommand(MirMain& window, QObject* parent = nullptr);
    ~RunCommand() override; // shutdown()

    bool isCycleRunning() const { return m_thread != nullptr; }

    // For the Exit path: asks the cycle to stop at once (every pause and wait
    // ends, a post in progress is cut short), lets a file in its record phase
    // finish (a file not yet read stays in the download folder for next time),
    // and returns when the worker has ended. A worker still held by a database
    // call after 4.5 seconds ends the process instead.
    void shutdown();

    // The cycle's timing (tests and demos): the factor of the 1- and 2-second
    // pauses, the rescan interval, the post's time-out and the delay before a
    // file that could not be filed away is tried again.
    void setTiming(double pauseScale, int rescanMs, int httpTimeoutMs,
                   std::chrono::milliseconds deferRetry);

Q_SIGNALS:
    void cycleRunningChanged(bool running);

public Q_SLOTS:
    void run();  // RunCmd_Click
    void stop(); // StopCmd_Click

private:
    bool passChecks();
    void failCheck(QLineEdit* focus);
    void showTrappedError(qint32 number, const QString& description);
    void startCycle();
    void startMetrics(const GatewaySettings& settings);
    void onCycleFinished();

    MirMain& m_window;
    ProcessingCycle::Options m_timing;
    QThread* m_thread = nullptr;
    ProcessingCycle* m_cycle = nullptr;
    std::unique_ptr<MetricsEndpoint> m_metrics; // while the cycle runs, where MirMetrics says
    bool m_runPending = false;
};
