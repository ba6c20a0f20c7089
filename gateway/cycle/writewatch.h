#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <chrono>
#include <optional>

// Tells a file still being written from one that is complete. Each look at a
// file of the download folder is noted; a file counts as settled once it has
// looked the same for the settle time. A file that changed waits, and the
// listings pass over it until its settle time is up, so it holds up nothing
// behind it. Incomplete readings are counted per file and start again from 0
// whenever the file changes: only a file that stays incomplete while it
// stays unchanged is given up on.
class WriteWatch {
public:
    using Clock = std::chrono::steady_clock;

    explicit WriteWatch(Clock::duration settle);

    // Notes what the file looks like now (its fingerprint: a writer that
    // appends, rewrites or replaces it changes it). A change, or a first
    // look, starts its settle time again.
    void look(const QByteArray& name, const QString& fingerprint);
    // Whether the file has looked the same for the settle time; when it has
    // not, it is held back until then.
    bool settled(const QByteArray& name);
    // The time until the file will have looked the same for the settle time;
    // zero when it has (or was never looked at).
    Clock::duration untilSettled(const QByteArray& name) const;
    // Whether a listing should pass over the file now.
    bool isHeldBack(const QByteArray& name) const;
    // The files last found not settled, even when their settle time has
    // passed since: what a run that ends now leaves to their writers.
    QList<QByteArray> heldBack() const;
    // The time until the first held-back file has settled; none when no file is held back.
    std::optional<Clock::duration> untilNextSettled() const;
    // Counts an incomplete reading of the file as it looks now; the count.
    int countIncomplete(const QByteArray& name);
    // The file is gone from the download folder (filed away).
    void forget(const QByteArray& name);

private:
    struct Entry {
        QString fingerprint;
        Clock::time_point since;
        bool heldBack = false;
        int incomplete = 0;
    };

    Clock::duration m_settle;
    QHash<QByteArray, Entry> m_files;
};
