#pragma once

#include "failurereports.h"
#include "gatewaysettings.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

class QThread;
class StopSignal;
class XmlHttpPost;
struct OwedPost;
struct PostOutcome;

// Delivers the posts owed under the gateway's download folder (owedposts.h)
// one at a time, in the order they were stored, on a thread of its own with
// its own database connection and HTTP object: a slow or hung endpoint never
// holds up storing and filing. A post the endpoint took or refused is noted
// in the ledger and owed no more. One that did not reach it (no answer, the
// time-out, a status such as 503) stays first in line and the poster backs
// off: one probe per step, the pause doubling from the first retry delay up
// to five minutes, then everything owed once the endpoint answers. Its lines
// and error rows go out as signals from its thread.
class OwedPoster : public QObject {
    Q_OBJECT

public:
    struct Options {
        GatewaySettings settings;
        int httpTimeoutMs = 30000;
        std::chrono::milliseconds firstRetry{30000};
    };

    // A stop requested on `stop` cuts a post in flight short; it stays owed.
    OwedPoster(const Options& options, const StopSignal& stop);
    ~OwedPoster() override;

    void start();
    // A post became owed. Thread-safe.
    void wake();
    // Ends the thread and waits for it. With `deliverFirst` it first posts
    // what is owed, until nothing is or a post does not go through; otherwise
    // a post in flight is cut short.
    void finish(bool deliverFirst);

    // How many posts were owed when last counted; -1 before the first count.
    int owed() const { return m_owed.load(); }
    // A count made elsewhere (the cycle, after it owed more). Thread-safe.
    void setOwed(int count);
    int errorRows() const { return m_errorRows.load(); }

Q_SIGNALS:
    void logLine(const QString& line);
    void errorRecorded(const QString& message);
    void errorNotStored(const QString& message);
    void owedChanged(int count);

private:
    // Idle: nothing is owed. Failed: a post or the database failed, so the
    // poster backs off. Unknown: the database could not say whether it keeps
    // owed posts yet. Stopped: the poster ends.
    enum class Round { Idle, Failed, Unknown, Stopped };

    void run();
    Round deliverOwed(XmlHttpPost& http);
    Round settle(const OwedPost& post, const PostOutcome& outcome);
    bool cutShort() const;
    void count();
    void writeErrorRow(const QString& source, qint32 number, const QString& text);
    void addLine(const QString& line) { Q_EMIT logLine(line); }

    Options m_options;
    const StopSignal& m_stop;
    std::unique_ptr<QThread> m_thread;
    FailureReports m_reports; // the poster's thread only
    std::chrono::steady_clock::duration m_pause{};
    std::optional<bool> m_tablePresent; // whether the database keeps owed posts

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_woken = false;
    bool m_finishing = false;
    bool m_deliverFirst = false;
    std::atomic<bool> m_cut{false};
    std::atomic<int> m_owed{-1};
    std::atomic<int> m_errorRows{0};
};
