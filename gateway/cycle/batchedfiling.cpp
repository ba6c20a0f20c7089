#include "batchedfiling.h"

#include "backupcopy.h"
#include "crashpoint.h"
#include "deferredfiles.h"
#include "errorrows.h"
#include "fileops.h"
#include "runevents.h"
#include "shownname.h"
#include "writewatch.h"

#include <utility>
#include <vector>

namespace {

constexpr char kCopyTag[] = "[FileCopy]";
constexpr char kDeleteTag[] = "[Kill]";

} // namespace

BatchedFiling::BatchedFiling(ErrorRows& rows, DeferredFiles& deferred, WriteWatch& writes,
                             RunEvents& events)
    : m_rows(rows), m_deferred(deferred), m_writes(writes), m_events(events) {}

void BatchedFiling::add(FileToFile file) {
    m_waiting.append(std::move(file));
}

void BatchedFiling::flush(const QByteArray& backupFolder) {
    if (m_waiting.isEmpty())
        return;
    const QList<FileToFile> files = std::exchange(m_waiting, {});
    struct stat folder {};
    const dev_t device = ::stat(backupFolder.constData(), &folder) == 0 ? folder.st_dev : 0;
    // A file on its own is flushed by itself: a sync of the whole file system
    // pays for whatever else is waiting to be written on it.
    const bool alone = files.size() == 1;

    // Each file still as read is opened, and copied under a temporary name
    // where it cannot be linked.
    std::vector<std::pair<const FileToFile*, BackupFiling>> prepared;
    prepared.reserve(size_t(files.size()));
    for (const FileToFile& file : files) {
        if (stillAsRead(file))
            prepared.emplace_back(&file, BackupFiling(file.path, backupFolder, device, alone));
    }
    // One sync for the batch: a file is only linked on the backup folder's
    // file system, so this one holds the bytes of every file and copy.
    if (!alone && !syncFileSystem(backupFolder)) {
        const StepFailure failure = stepFailureFromErrno(errno, true);
        for (const auto& [file, filing] : prepared)
            notFiled(*file, failure);
        return;
    }
    crashPoint("after-copy");

    QList<const FileToFile*> placed;
    for (auto& [file, filing] : prepared) {
        // Looked at again after the sync: a file rewritten meanwhile would be
        // filed with bytes neither read nor synced.
        if (!stillAsRead(*file))
            continue;
        const BackupCopy copy = filing.place(file->name);
        if (copy.failure) {
            notFiled(*file, *copy.failure);
            continue;
        }
        m_rows.recovered(file->shownName, kCopyTag);
        if (copy.filedAs != file->name)
            m_events.line(file->shownName + QStringLiteral(" filed as ") +
                          shownFileName(copy.filedAs) + QStringLiteral("\r\n"));
        placed.append(file);
    }
    if (placed.isEmpty())
        return;
    // The filed names are on disk before their originals go.
    syncFolder(backupFolder);
    for (const FileToFile* file : std::as_const(placed)) {
        if (!stillAsRead(*file))
            continue;
        if (const auto failure = removeFile(file->path)) {
            m_rows.failed(file->shownName, *failure, kDeleteTag);
            m_deferred.defer(file->name, file->fingerprint, file->recorded, WaitReason::Delete);
            continue;
        }
        filed(*file);
    }
}

void BatchedFiling::putBack() {
    for (const FileToFile& file : std::exchange(m_waiting, {})) {
        m_events.line(file.shownName +
                      QStringLiteral(" waits: its version is not known to be on disk yet\r\n"));
        m_deferred.defer(file.name, file.fingerprint, false, WaitReason::Database);
    }
}

// Without a backup copy the file is not deleted; it is tried again later.
void BatchedFiling::notFiled(const FileToFile& file, const StepFailure& failure) {
    m_rows.failed(file.shownName, failure, kCopyTag);
    m_deferred.defer(file.name, file.fingerprint, file.recorded, WaitReason::BackupCopy);
}

void BatchedFiling::filed(const FileToFile& file) {
    m_rows.recovered(file.shownName, kDeleteTag);
    if (file.uninterpreted)
        m_events.fileEnded(CycleMetrics::FileOutcome::Uninterpreted);
    m_deferred.forget(file.name);
    m_writes.forget(file.name);
    // Another file under this name later is another file.
    m_rows.forgetFile(file.shownName);
}

bool BatchedFiling::stillAsRead(const QString& shownName, const QByteArray& path,
                                const QString& fingerprint, const QByteArray* whole) const {
    if (!changedSinceRead(path, fingerprint, whole, kCycleReadLimit))
        return true;
    m_events.line(shownName + QStringLiteral(" changed after it was read; it is read again\r\n"));
    return false;
}
