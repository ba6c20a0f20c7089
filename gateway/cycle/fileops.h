#pragma once

#include "recordledger.h"
#include "stepfailure.h"

#include <QByteArray>

#include <QString>

#include <optional>

// The file-system steps of a file's life, each reporting its failure in the
// error log's numbering (stepfailure.h).

struct FileLookup {
    std::optional<StepFailure> failure;
    qint64 size = 0;
};

// Looks the file up and, when its owner may not write it (the read-only
// attribute), gives the owner write permission.
FileLookup lookUpAndClearReadOnly(const QString& path);

// Copies the file's bytes to the target, replacing a file of that name, and
// flushes the copy and its folder entry to the disk before reporting success,
// so that deleting the original afterwards cannot lose the file. The copy is
// made under a temporary name and renamed into place: a failed copy leaves an
// earlier file of that name as it was.
std::optional<StepFailure> copyFileDurably(const QString& source, const QString& target);

std::optional<StepFailure> removeFile(const QString& path);

// Makes the folder when it is not there; its parent must exist.
std::optional<StepFailure> makeFolderIfMissing(const QString& path);

// What tells one file from another of the same name: device, inode, size and
// modification time. Empty when the file cannot be looked up.
QString fileFingerprint(const QString& path);

// The identity the ledger of recorded files knows a file by, from the open
// file and the bytes read from it. Empty when the file cannot be looked up.
std::optional<FileIdentity> fileIdentity(const QString& name, int fd, const QByteArray& bytes);
