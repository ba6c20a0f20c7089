#pragma once

#include "errorrows.h"
#include "gatewaysettings.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

class QThread;
class RunEvents;
class StopSignal;
class XmlHttpPost;
struct OwedPost;
struct PostOutcome;

// Delivers the posts this gateway owes (owedposts.h) one at a time, in the
// order they were stored, on a thread of its own with its own database
// connection and HTTP object: a slow or hung endpoint never holds up storing
// and filing. A post the endpoint took or refused is noted in the ledger and
// owed no more. One that did not reach it (no answer, the time-out, a status
// such as 503) stays first in line and the poster backs off: one probe per
// step, the pause doubling from the first retry delay up to five minutes,
// then everything owed once the endpoint answers. It is started only on a
// database that keeps owed posts. Its lines, error rows, posts and count go
// out as events from its thread.
class OwedPoster {
public:
    struct Options {
        GatewaySettings settings;
        int httpTimeoutMs = 30000;
        std::chrono::milliseconds firstRetry{30000};
    };

    // A stop requested on `stop` cuts a post in flight short; it stays owed.
    OwedPoster(const Options& options, const StopSignal& stop, RunEvents& events);
    ~OwedPoster();

    void start();
    // `count` more posts became owed. Thread-safe.
    void owedMore(int count);
    // Ends the thread and waits for it. With `deliverFirst` it first posts
    // what is owed, until nothing is or a post does not go through; otherwise
    // a post in flight is cut short.
    void finish(bool deliverFirst);

    // How many posts are owed, as counted once and kept since; -1 before
    // the database could be asked.
    int owed() const { return m_owed.load(); }

private:
    // Idle: nothing is owed. Failed: a post or the database failed, so the
    // poster backs off. Stopped: the poster ends.
    enum class Round { Idle, Failed, Stopped };

    void run();
    Round deliverOwed(XmlHttpPost& http);
    Round settle(const OwedPost& post, const PostOutcome& outcome);
    Round backOff();
    bool cutShort() const;
    void setOwed(int count);

    Options m_options;
    const StopSignal& m_stop;
    RunEvents& m_events;
    ErrorRows m_rows; // the poster's thread only
    std::unique_ptr<QThread> m_thread;
    std::chrono::steady_clock::duration m_pause{};
    bool m_counted = false; // the poster's thread only: m_owed was counted since the last failure

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_woken = false;
    bool m_finishing = false;
    bool m_deliverFirst = false;
    std::atomic<bool> m_cut{false};
    std::atomic<int> m_owed{-1};
};
