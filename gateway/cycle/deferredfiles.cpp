#include "deferredfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

// The journal: one line per recorded file, its name and fingerprint separated
// by a tab. Names never hold tabs or line breaks that matter here: a line that
// does not split in two is ignored.

DeferredFiles::DeferredFiles(const QString& journalPath) : m_journalPath(journalPath) {
    load();
}

void DeferredFiles::defer(const QString& name, const QString& fingerprint, bool recorded,
                          Clock::duration retryAfter) {
    Entry& entry = m_files[name];
    const bool recordedBefore = entry.recorded;
    // A file recorded before stays recorded while it is the same file.
    entry.recorded = recorded || (entry.recorded && entry.fingerprint == fingerprint);
    entry.fingerprint = fingerprint;
    entry.retryAt = Clock::now() + retryAfter;
    // Deferrals are rare (a failed step): the journal is simply written anew.
    if (entry.recorded || recordedBefore)
        save();
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

void DeferredFiles::forget(const QString& name) {
    const auto found = m_files.constFind(name);
    if (found == m_files.cend())
        return;
    const bool wasRecorded = found->recorded;
    m_files.remove(name);
    if (wasRecorded)
        save();
}

void DeferredFiles::load() {
    if (m_journalPath.isEmpty())
        return;
    QFile file(m_journalPath);
    if (!file.open(QIODevice::ReadOnly))
        return;
    while (!file.atEnd()) {
        const QList<QByteArray> parts = file.readLine().trimmed().split('\t');
        if (parts.size() != 2)
            continue;
        // Due at once: a restart files it away at the first listing.
        m_files.insert(QString::fromUtf8(parts[0]),
                       Entry{QString::fromUtf8(parts[1]), true, Clock::now()});
    }
}

void DeferredFiles::save() const {
    if (m_journalPath.isEmpty())
        return;
    QDir().mkpath(QFileInfo(m_journalPath).path());
    QSaveFile file(m_journalPath);
    if (!file.open(QIODevice::WriteOnly))
        return;
    for (auto it = m_files.cbegin(); it != m_files.cend(); ++it) {
        if (it->recorded)
            file.write(it.key().toUtf8() + '\t' + it->fingerprint.toUtf8() + '\n');
    }
    file.commit();
}

QString defaultRecordedFilesJournal() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/KESTO/recorded-files");
}
