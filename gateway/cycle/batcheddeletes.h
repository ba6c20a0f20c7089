#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class DeferredFiles;
class ErrorRows;
class RunEvents;
class WriteWatch;

// A file copied into the backup folder, whose original waits to be deleted.
struct CopiedFile {
    QByteArray name;
    QByteArray path;
    QString shownName;
    QString fingerprint; // as it was read
    bool recorded = false;
    bool readWhole = false;
    QByteArray bytes; // as read, when read whole
};

// The deletes of the originals of files filed away, made in batches: the
// backup folder's entries are flushed once for a batch of copies, then the
// originals are deleted. A crash before the flush leaves the originals,
// which the ledger knows, and they are filed again; nothing is deleted
// before its copy is on disk. Lives on the cycle's thread.
class BatchedDeletes {
public:
    static constexpr qsizetype kBatch = 64; // the most copies flushed together

    BatchedDeletes(ErrorRows& rows, DeferredFiles& deferred, WriteWatch& writes,
                   const RunEvents& events);

    void add(CopiedFile file);
    bool isFull() const { return m_copied.size() >= kBatch; }
    // Flushes the backup folder, then deletes each original that still holds
    // what was read.
    void flush(const QByteArray& backupFolder);

    // Whether the name still holds what was read as `shownName`; says so
    // when it does not (a writer replaced or rewrote it since: neither copied
    // nor deleted, the next listing meets it as a file still being written).
    bool stillAsRead(const QString& shownName, const QByteArray& path, const QString& fingerprint,
                     const QByteArray* whole) const;

private:
    ErrorRows& m_rows;
    DeferredFiles& m_deferred;
    WriteWatch& m_writes;
    const RunEvents& m_events;
    QList<CopiedFile> m_copied;
};
