#pragma once

#include <QHash>
#include <QString>

#include <chrono>

// Files the cycle could not file away (the backup copy or the delete failed,
// or the database could not be reached before anything was stored). Listings
// pass over them until their retry time, so they do not hold up the files
// behind them. A file that was recorded is remembered as such, so that
// finding it again files it away without storing the booking a second time.
// A different file under the same name (another fingerprint) is a new file.
//
// With a journal file, the recorded ones are also kept on disk, so that a
// restart of the gateway does not store them again either.
class DeferredFiles {
public:
    using Clock = std::chrono::steady_clock;

    // An empty journal path keeps everything in memory only.
    explicit DeferredFiles(const QString& journalPath = QString());

    void defer(const QString& name, const QString& fingerprint, bool recorded,
               Clock::duration retryAfter);
    // Whether a listing should pass over the name now.
    bool isWaiting(const QString& name) const;
    // Whether this file (same name and fingerprint) was already recorded.
    bool wasRecorded(const QString& name, const QString& fingerprint) const;
    void forget(const QString& name);

private:
    struct Entry {
        QString fingerprint;
        bool recorded = false;
        Clock::time_point retryAt;
    };
    void load();
    void save() const;

    QString m_journalPath;
    QHash<QString, Entry> m_files;
};

// Where the gateway keeps its journal of recorded files that still wait to be
// filed away: $XDG_STATE_HOME/KESTO/recorded-files (default ~/.local/state).
QString defaultRecordedFilesJournal();
