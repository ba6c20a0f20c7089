#pragma once

#include "runsummary.h"

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QString>

#include <chrono>

// Files the cycle could not finish, by the bytes of their names (the database or the endpoint could
// not be reached, the backup copy or the delete failed). Listings pass over them until their retry
// time, so they do not hold up the files behind them; each failure in a row doubles the pause, from
// the first retry delay up to five minutes. A file that was recorded is remembered as such, so that
// finding it again in this run files it away without storing the booking a second time. A different
// file under the same name (another fingerprint) is a new file. Across restarts the ledger of
// recorded files in the database does that job.
class WriteWatch;

class DeferredFiles {
public:
    using Clock = std::chrono::steady_clock;

    explicit DeferredFiles(Clock::duration firstRetry);

    // `reason` says what the file waits for.
    void defer(const QByteArray& name, const QString& fingerprint, bool recorded,
               WaitReason reason);
    // Defers the file until `retryAt`, a time shared by every file that
    // waits behind one outage of the database, without a back-off of its own.
    void holdUntil(const QByteArray& name, const QString& fingerprint, WaitReason reason,
                   Clock::time_point retryAt);
    // Every file that waits for `reason` may be tried again at once.
    void release(WaitReason reason);
    // Whether a listing should pass over the name now.
    bool isWaiting(const QByteArray& name) const;
    // Whether this file (same name and fingerprint) was already recorded.
    bool wasRecorded(const QByteArray& name, const QString& fingerprint) const;
    void forget(const QByteArray& name);
    // The files still in the folder that wait, by what they wait for: those
    // deferred, and those whose writers have not finished (`writes`).
    QMap<WaitReason, int> stillWaiting(const QByteArray& folder, const WriteWatch& writes) const;

private:
    struct Entry {
        QString fingerprint;
        WaitReason reason = WaitReason::Database;
        bool recorded = false;
        Clock::duration pause{}; // the last back-off pause; zero before any
        Clock::time_point retryAt;
    };

    Clock::duration m_firstRetry;
    QHash<QByteArray, Entry> m_files;
};
