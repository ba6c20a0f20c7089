#pragma once

#include "stepfailure.h"

#include <QByteArray>
#include <QList>
#include <QString>

class DeferredFiles;
class ErrorRows;
class RunEvents;
class WriteWatch;

// A file whose life is over but for its filing into the backup folder.
struct FileToFile {
    QByteArray name;
    QByteArray path;
    QString shownName;
    QString fingerprint; // as it was read
    bool recorded = false;
    bool readWhole = false;
    QByteArray bytes;           // as read, when read whole
    bool uninterpreted = false; // filed without being interpreted: counted once filed
};

// Files away a batch of files at once (backupcopy.h): each is linked into the
// backup folder or copied there, one sync of the file system puts their bytes
// on disk, each is then put in place under its name, one flush of the folder
// puts the names on disk, and only then is any original deleted. A crash
// before that leaves the originals, which the ledger knows, and they are
// filed again. Lives on the cycle's thread.
class BatchedFiling {
public:
    static constexpr qsizetype kBatch = 64; // the most files filed together

    BatchedFiling(ErrorRows& rows, DeferredFiles& deferred, WriteWatch& writes, RunEvents& events);

    void add(FileToFile file);
    bool isEmpty() const { return m_waiting.isEmpty(); }
    bool isFull() const { return m_waiting.size() >= kBatch; }
    // Puts the waiting files back, unfiled, to be read again later: their
    // versions are not known to be on disk, and the ledger will say whether
    // they are stored.
    void putBack();
    // Files away each waiting file that still holds what was read.
    void flush(const QByteArray& backupFolder);

    // Whether the name still holds what was read as `shownName`; says so
    // when it does not (a writer replaced or rewrote it since: neither filed
    // nor deleted, the next listing meets it as a file still being written).
    bool stillAsRead(const QString& shownName, const QByteArray& path, const QString& fingerprint,
                     const QByteArray* whole) const;

private:
    bool stillAsRead(const FileToFile& file) const {
        return stillAsRead(file.shownName, file.path, file.fingerprint,
                           file.readWhole ? &file.bytes : nullptr);
    }
    void notFiled(const FileToFile& file, const StepFailure& failure);
    void filed(const FileToFile& file);

    ErrorRows& m_rows;
    DeferredFiles& m_deferred;
    WriteWatch& m_writes;
    RunEvents& m_events;
    QList<FileToFile> m_waiting;
};
