#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

class StopSignal;

// The change watch on the download folder and every folder below it: a write,
// a file made, moved or removed, or a folder made, moved or removed ends the
// wait. Folders made later are watched as they appear. A notification is only
// a hint, so a wait also ends after the rescan interval: an overflowed event
// queue, a folder removed and made again, or a network share whose changes
// are never notified still lead to a fresh listing. Not thread-safe: one
// thread arms and waits.
class ChangeWatch {
public:
    enum class WaitResult {
        Changed, // a notification came, or the queue overflowed
        Rescan,  // the rescan interval passed without one
        Stopped, // a stop was requested
        Invalid, // the watch is not armed (the folder cannot be watched)
    };

    explicit ChangeWatch(const QString& folder);
    ~ChangeWatch();
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // Drops what the watch saw so far and watches the whole tree, made again
    // when the folder itself was lost. Returns whether the folder itself could
    // be watched (false: the invalid handle).
    bool rearm();
    bool isValid() const { return m_fd >= 0 && !m_rootLost; }

    WaitResult wait(const StopSignal& stop, int rescanMs);

private:
    void close();
    void watchTree(const QByteArray& path);
    // Reads what is queued; returns whether anything counts as a change.
    bool drainEvents();

    QByteArray m_folder;
    int m_fd = -1;
    int m_rootWatch = -1;
    bool m_rootLost = false;
    QHash<int, QByteArray> m_paths; // watch descriptor -> folder path
};
