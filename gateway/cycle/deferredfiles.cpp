#include "deferredfiles.h"

void DeferredFiles::defer(const QString& name, const QString& fingerprint, bool recorded,
                          Clock::duration retryAfter) {
    Entry& entry = m_files[name];
    // A file recorded before stays recorded while it is the same file.
    entry.recorded = recorded || (entry.recorded && entry.fingerprint == fingerprint);
    entry.fingerprint = fingerprint;
    entry.retryAt = Clock::now() + retryAfter;
}

bool DeferredFiles::isWaiting(const QString& name) const {
    const auto found = m_files.constFind(name);
    return found != m_files.cend() && Clock::now() < found->retryAt;
}

bool DeferredFiles::wasRecorded(const QString& name, const QString& fingerprint) const {
    const auto found = m_files.constFind(name);
    return found != m_files.cend() && found->recorded && !fingerprint.isEmpty() &&
           found->fingerprint == fingerprint;
}
