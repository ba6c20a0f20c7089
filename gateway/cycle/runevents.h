#pragma once

#include "cyclemetrics.h"
#include "runsummary.h"

#include <QString>

#include <atomic>
#include <functional>

struct LoggedError;

// What a run of the cycle has to tell, one event for each outcome: each
// counts once in the run's summary and in the process's metrics, and goes on
// to whoever watches the run (the window, `kesto run`'s output). The cycle's
// thread tells most of them; the poster's thread tells its posts, its lines
// and its error rows, so the counts are atomic and the watchers are called
// on the teller's thread.
class RunEvents {
public:
    struct Watchers {
        std::function<void(const QString&)> line;           // a log line, ending with CR LF
        std::function<void(const QString&)> errorRow;       // a row's MESSAGE
        std::function<void(const QString&)> errorNotStored; // one the database could not take
        std::function<void(int)> postsOwed;                 // how many posts are owed now
        std::function<void(const QString&)> refused;        // why the run does not go on
    };

    explicit RunEvents(Watchers watchers);

    // A new run counts from 0.
    void startRun();

    void line(const QString& text) const;
    void fileEnded(CycleMetrics::FileOutcome outcome);
    void errorRow(const LoggedError& row);
    void documentRecorded(CycleMetrics::DocumentKind kind, CycleMetrics::DocumentEvent event) const;
    void postsOwedCounted(int count) const;
    // Why the run does not go on; no row of the error log.
    void refusedToRun(const QString& why) const;

    // The counts of the run so far; waiting files and posts owed are the
    // cycle's to fill in at its end.
    RunSummary summary() const;

private:
    Watchers m_watchers;
    std::atomic<int> m_stored{0};
    std::atomic<int> m_refused{0};
    std::atomic<int> m_uninterpreted{0};
    std::atomic<int> m_errorRows{0};
};
