#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

class ErrorRows;
class RunEvents;
struct DownloadListing;
struct ReportedEntry;

// The entries of the download folder that are not regular files (links,
// FIFOs, sockets, devices): one error row for each while it stays there,
// and across restarts too where the database keeps the entries it reported
// (AMFOREIGN). Never followed, read, copied or changed. Lives on the cycle's
// thread.
class ForeignEntries {
public:
    ForeignEntries(const QString& folder, ErrorRows& rows, RunEvents& events);

    // The entries of a listing; `kept`: whether the database keeps them.
    void report(const DownloadListing& listing, bool kept);

private:
    bool reportedBefore(const ReportedEntry& entry, bool kept) const;

    QString m_folder;
    ErrorRows& m_rows;
    RunEvents& m_events;
    QSet<QByteArray> m_reported; // the entries with their row written, while they stay
};
