#pragma once

#include "recordledger.h"
#include "stepfailure.h"

#include <QByteArray>
#include <QString>

#include <optional>

#include <sys/stat.h>

// The file-system steps of a file's life, each reporting its failure in the
// error log's numbering (stepfailure.h). Paths of the download folder are the
// bytes the file system holds (see shownname.h).

// Opens a regular file for reading without following a link and without
// waiting on a FIFO; -1 with errno set otherwise (EINVAL when the name holds
// something other than a regular file).
int openRegularFile(const QByteArray& path);

// A file of the download folder opened for reading and looked up once,
// before a byte of it is read: what it was when it was read.
struct FileInHand {
    int fd = -1; // -1 with errno set when it could not be opened
    struct stat info {};

    bool isOpen() const { return fd >= 0; }
    QString fingerprint() const;
};
FileInHand openFileInHand(const QByteArray& path);

struct FileLookup {
    std::optional<StepFailure> failure;
    qint64 size = 0;
};

// Looks the file up and, when its owner may not write it (the read-only
// attribute), gives the owner write permission. Through the file in hand,
// as it was looked up, when it is open; by its name otherwise, where it only
// looks, so that nothing a link points to can have its mode changed.
FileLookup lookUpAndClearReadOnly(const QByteArray& path, const FileInHand& file);

// The file's bytes, up to `limit`, and what kept it from being read whole.
struct ReadResult {
    QByteArray bytes;
    std::optional<StepFailure> failure;
};
ReadResult readUpTo(int fd, qint64 limit);
// From the file in hand, or by its path when it could not be opened (to show
// what can be shown).
ReadResult readForShowing(const FileInHand& file, const QByteArray& path, qint64 limit);

// Whether the folder no longer holds the name at all.
bool isGone(const QByteArray& folder, const QByteArray& name);

// Notes in `writes` how the file looks now. False when the name no longer
// holds a regular file (the listing reports what it holds); a file that
// cannot be looked at goes on, and the steps of its life say what is wrong.
class WriteWatch;
bool lookAtFile(WriteWatch& writes, const QByteArray& name, const QByteArray& path);

std::optional<StepFailure> removeFile(const QByteArray& path);

// Makes the folder when it is not there; its parent must exist.
std::optional<StepFailure> makeFolderIfMissing(const QString& path);

// What tells one file from another of the same name: device, inode, size and
// modification time. Empty when the file cannot be looked up. By name, or
// from what the file system said of it.
QString fileFingerprint(const QByteArray& path);
QString fileFingerprint(const struct stat& info);

// The identity the ledger of recorded files knows a file by: the file in
// hand, as it was looked up, and the bytes read from it.
FileIdentity fileIdentity(const QString& name, const struct stat& info, const QByteArray& bytes);

// Whether the name holds what nobody has read since the file was read: its
// fingerprint moved and its bytes are not the ones read (`whole`, when the
// file was read whole). A file touched, or its time restored by a backup
// tool, is the file read.
bool changedSinceRead(const QByteArray& path, const QString& fingerprint, const QByteArray* whole,
                      qint64 readLimit);

// The most of a file the cycle reads: the window is shown that much, and the
// ledger knows a file by those bytes. A file read whole is shorter.
inline constexpr qint64 kCycleReadLimit = 1024 * 1024;

// The SHA-256 of the regular file's bytes, when it holds fewer than `limit`;
// empty otherwise, or when it cannot be read.
QByteArray contentDigest(const QByteArray& path, qint64 limit);
