#include "deferredfiles.h"

#include "backoff.h"
#include "writewatch.h"

#include <sys/stat.h>

#include <algorithm>

DeferredFiles::DeferredFiles(Clock::duration firstRetry) : m_firstRetry(firstRetry) {}

void DeferredFiles::defer(const QByteArray& name, const QString& fingerprint, bool recorded,
                          WaitReason reason) {
    Entry& entry = m_files[name];
    entry.reason = reason;
    const bool sameFile = entry.fingerprint == fingerprint;
    // A file recorded before stays recorded while it is the same file.
    entry.recorded = recorded || (entry.recorded && sameFile);
    entry.pause = nextBackoff(sameFile ? entry.pause : Clock::duration::zero(), m_firstRetry);
    entry.fingerprint = fingerprint;
    entry.retryAt = Clock::now() + entry.pause;
}

void DeferredFiles::holdUntil(const QByteArray& name, const QString& fingerprint, WaitReason reason,
                              Clock::time_point retryAt) {
    Entry& entry = m_files[name];
    entry.recorded = entry.recorded && entry.fingerprint == fingerprint;
    entry.fingerprint = fingerprint;
    entry.reason = reason;
    entry.pause = Clock::duration::zero();
    entry.retryAt = retryAt;
}

void DeferredFiles::release(WaitReason reason) {
    const Clock::time_point now = Clock::now();
    for (Entry& entry : m_files) {
        if (entry.reason == reason)
            entry.retryAt = std::min(entry.retryAt, now);
    }
}

bool DeferredFiles::isWaiting(const QByteArray& name) const {
    const auto found = m_files.constFind(name);
    return found != m_files.cend() && Clock::now() < found->retryAt;
}

bool DeferredFiles::wasRecorded(const QByteArray& name, const QString& fingerprint) const {
    const auto found = m_files.constFind(name);
    return found != m_files.cend() && found->recorded && !fingerprint.isEmpty() &&
           found->fingerprint == fingerprint;
}

void DeferredFiles::forget(const QByteArray& name) {
    m_files.remove(name);
}

QMap<WaitReason, int> DeferredFiles::stillWaiting(const QByteArray& folder,
                                                  const WriteWatch& writes) const {
    QHash<QByteArray, WaitReason> reasons;
    for (auto it = m_files.cbegin(); it != m_files.cend(); ++it)
        reasons.insert(it.key(), it->reason);
    for (const QByteArray& name : writes.heldBack()) {
        if (!reasons.contains(name))
            reasons.insert(name, WaitReason::Writer);
    }
    QMap<WaitReason, int> waiting;
    for (auto it = reasons.cbegin(); it != reasons.cend(); ++it) {
        struct stat info {};
        if (::lstat(QByteArray(folder + it.key()).constData(), &info) == 0)
            ++waiting[it.value()];
    }
    return waiting;
}
