#pragma once

#include "recordledger.h"
#include "stepfailure.h"

#include <QByteArray>
#include <QString>

#include <optional>

struct stat;

// The file-system steps of a file's life, each reporting its failure in the
// error log's numbering (stepfailure.h). Paths of the download folder are the
// bytes the file system holds (see shownname.h).

// Opens a regular file for reading without following a link and without
// waiting on a FIFO; -1 with errno set otherwise (EINVAL when the name holds
// something other than a regular file).
int openRegularFile(const QByteArray& path);

struct FileLookup {
    std::optional<StepFailure> failure;
    qint64 size = 0;
};

// Looks the file up and, when its owner may not write it (the read-only
// attribute), gives the owner write permission. Through the open file when
// there is one (`fd` not -1); by its name otherwise, where it only looks, so
// that nothing a link points to can have its mode changed.
FileLookup lookUpAndClearReadOnly(const QByteArray& path, int fd);

std::optional<StepFailure> removeFile(const QByteArray& path);

// Makes the folder when it is not there; its parent must exist.
std::optional<StepFailure> makeFolderIfMissing(const QString& path);

// What tells one file from another of the same name: device, inode, size and
// modification time. Empty when the file cannot be looked up. By name, of the
// open file (what was read, even when the name holds another file now), or
// from what the file system said of it.
QString fileFingerprint(const QByteArray& path);
QString fileFingerprint(int fd);
QString fileFingerprint(const struct stat& info);

// The identity the ledger of recorded files knows a file by, from the open
// file and the bytes read from it. Empty when the file cannot be looked up.
std::optional<FileIdentity> fileIdentity(const QString& name, int fd, const QByteArray& bytes);

// The SHA-256 of the regular file's bytes, when it holds fewer than `limit`;
// empty otherwise, or when it cannot be read.
QByteArray contentDigest(const QByteArray& path, qint64 limit);
