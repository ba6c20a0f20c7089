#pragma once

#include "stepfailure.h"

#include <QByteArray>

#include <chrono>
#include <optional>

// Files a file of the download folder into a backup folder under its own
// name, never losing a copy already there: when the folder holds a different
// file of that name, the copy takes the first free name beside it (NAME.1.MIR,
// NAME.2.MIR, ...; NAME.1 for a name without an extension); when it holds the
// same bytes under that name or one of those, nothing is copied again.
//
// The copy keeps the source's modification time, its permission bits, narrowed by the umask
// (setuid and the like dropped), and a sparse file's holes. It is written under a temporary name,
// flushed, and put in place without replacing anything, so that a name in the folder always holds
// a whole copy; its folder entry is on disk once syncBackupFolder() has run. The source must be a
// regular file; a link is not followed.
struct BackupCopy {
    std::optional<StepFailure> failure;
    QByteArray filedAs; // the name in the backup folder
};

BackupCopy copyIntoBackup(const QByteArray& sourcePath, const QByteArray& folder,
                          const QByteArray& name);

// Flushes the folder's entries, so that the copies filed there are found
// after a crash; one flush serves a batch of copies. Only then may their
// originals be deleted. Some file systems cannot flush a folder: that does
// not fail the copies.
void syncBackupFolder(const QByteArray& folder);

// The name the n-th clash of `name` is filed under (n from 1).
QByteArray clashName(const QByteArray& name, int n);

// Removes copies left under their temporary names by a gateway that died
// while copying, once they are older than `age`, from the backup folder and
// its dated folders; the number removed. No gateway takes that long over one
// copy.
int removeStalePartialCopies(const QByteArray& backupFolder, std::chrono::seconds age);
