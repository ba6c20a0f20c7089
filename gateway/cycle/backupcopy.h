#pragma once

#include "descriptor.h"
#include "stepfailure.h"

#include <QByteArray>

#include <chrono>
#include <optional>

#include <sys/stat.h>

// Files a file of the download folder into a backup folder under its own
// name, never losing a copy already there: when the folder holds a different
// file of that name, the file takes the first free name beside it
// (NAME.1.MIR, NAME.2.MIR, ...; NAME.1 for a name without an extension); when
// it holds the same bytes under that name or one of those, nothing is filed
// again.
//
// The file itself is filed when it can be, under a second name (a link): on
// the same file system, with no other link to it, and with a mode the gateway
// may set. Otherwise it is copied, under a temporary name first. Either way
// the filed file keeps the source's modification time, its permission bits
// narrowed by the umask (setuid and the like dropped) and a sparse file's
// holes. The source must be a regular file; a link is not followed.
//
// Nothing here waits for the disk: a batch of files is prepared, the file
// system is synced once (syncFileSystem), and only then is each put in place;
// the folder is flushed (syncFolder) before the originals are deleted. No name
// in the backup folder holds bytes that are not on disk, and no original goes
// before its filed name is on disk. A file filed alone is flushed on its own
// instead, which costs less than a sync of the whole file system.
struct BackupCopy {
    std::optional<StepFailure> failure;
    QByteArray filedAs; // the name in the backup folder
};

class BackupFiling {
public:
    // Opens the source and, when it cannot be linked into the folder (whose
    // device is `folderDevice`), copies it there under a temporary name; with
    // `flushNow`, the file or its copy is flushed here.
    BackupFiling(const QByteArray& sourcePath, const QByteArray& folder, dev_t folderDevice,
                 bool flushNow = false);
    ~BackupFiling();
    BackupFiling(BackupFiling&& other) noexcept;
    BackupFiling(const BackupFiling&) = delete;
    BackupFiling& operator=(const BackupFiling&) = delete;
    BackupFiling& operator=(BackupFiling&&) = delete;

    const std::optional<StepFailure>& failure() const { return m_failure; }
    bool isCopy() const { return !m_temporary.isEmpty(); }

    // Puts the file, or its copy, under `name` in the folder or the first
    // free name beside it. Only once its bytes are on disk.
    BackupCopy place(const QByteArray& name);

private:
    QByteArray m_source;
    QByteArray m_folder;
    Descriptor m_in{-1};
    struct stat m_info {};
    QByteArray m_temporary; // the copy's temporary path, "" when the file is linked
    std::optional<StepFailure> m_failure;
};

// Writes back every file and folder of the folder's file system and waits
// for the disk: one flush for a whole batch. False when it cannot.
bool syncFileSystem(const QByteArray& folder);

// Flushes the folder's entries, so that the names put in it are found after
// a crash. Some file systems cannot flush a folder: that does not fail.
void syncFolder(const QByteArray& folder);

// The name the n-th clash of `name` is filed under (n from 1).
QByteArray clashName(const QByteArray& name, int n);

// Removes copies left under their temporary names by a gateway that died
// while copying, once they are older than `age`, from the backup folder and
// its dated folders; the number removed. No gateway takes that long over one
// copy.
int removeStalePartialCopies(const QByteArray& backupFolder, std::chrono::seconds age);
