#include "foreignentries.h"

#include "downloadlisting.h"
#include "errorrows.h"
#include "reportedentries.h"
#include "runchecks.h"
#include "runevents.h"
#include "shownname.h"
#include "storeerror.h"

namespace {

constexpr char kNotAFileTag[] = "[NotAFile]";

} // namespace

ForeignEntries::ForeignEntries(const QString& folder, ErrorRows& rows, RunEvents& events)
    : m_folder(folder), m_rows(rows), m_events(events) {}

void ForeignEntries::report(const DownloadListing& listing, bool kept) {
    QSet<QByteArray> present;
    for (const ForeignEntry& entry : listing.foreign) {
        if (isSkippedName(entry.name))
            continue;
        const QByteArray key = entry.name + '\0' + QByteArray::number(entry.device) + ':' +
                               QByteArray::number(entry.inode);
        present.insert(key);
        if (m_reported.contains(key))
            continue;
        m_events.fileEnded(CycleMetrics::FileOutcome::NotAFile);
        const ReportedEntry reported{m_folder, shownFileName(entry.name), entry.kind, entry.device,
                                     entry.inode};
        if (reportedBefore(reported, kept))
            continue;
        m_rows.write(reported.name, kPathFileAccessError,
                     QStringLiteral("Not a regular file but %1: left where it is").arg(entry.kind) +
                         QLatin1String(kNotAFileTag));
        try {
            if (kept)
                addReportedEntry(reported);
        } catch (const StoreError&) {
            // Reported again at the next start, which loses nothing.
        }
    }
    m_reported = present;
}

// Whether an earlier run reported the entry; a database that cannot say
// lets it be reported again.
bool ForeignEntries::reportedBefore(const ReportedEntry& entry, bool kept) const {
    try {
        return kept && wasReported(entry);
    } catch (const StoreError&) {
        return false;
    }
}
