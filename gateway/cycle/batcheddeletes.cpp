#include "batcheddeletes.h"

#include "backupcopy.h"
#include "deferredfiles.h"
#include "errorrows.h"
#include "fileops.h"
#include "runevents.h"
#include "writewatch.h"

namespace {

constexpr char kDeleteTag[] = "[Kill]";
// As much of a file as the cycle reads; a file read whole is shorter.
constexpr qint64 kReadLimit = 1024 * 1024;

} // namespace

BatchedDeletes::BatchedDeletes(ErrorRows& rows, DeferredFiles& deferred, WriteWatch& writes,
                               const RunEvents& events)
    : m_rows(rows), m_deferred(deferred), m_writes(writes), m_events(events) {}

void BatchedDeletes::add(CopiedFile file) {
    m_copied.append(std::move(file));
}

void BatchedDeletes::flush(const QByteArray& backupFolder) {
    if (m_copied.isEmpty())
        return;
    syncBackupFolder(backupFolder);
    for (const CopiedFile& file : std::as_const(m_copied)) {
        if (!stillAsRead(file.shownName, file.path, file.fingerprint,
                         file.readWhole ? &file.bytes : nullptr))
            continue;
        if (const auto failure = removeFile(file.path)) {
            m_rows.failed(file.shownName, *failure, kDeleteTag);
            m_deferred.defer(file.name, file.fingerprint, file.recorded, WaitReason::Delete);
            continue;
        }
        m_rows.recovered(file.shownName, kDeleteTag);
        m_deferred.forget(file.name);
        m_writes.forget(file.name);
        // Another file under this name later is another file.
        m_rows.forgetFile(file.shownName);
    }
    m_copied.clear();
}

bool BatchedDeletes::stillAsRead(const QString& shownName, const QByteArray& path,
                                 const QString& fingerprint, const QByteArray* whole) const {
    if (!changedSinceRead(path, fingerprint, whole, kReadLimit))
        return true;
    m_events.line(shownName + QStringLiteral(" changed after it was read; it is read again\r\n"));
    return false;
}
