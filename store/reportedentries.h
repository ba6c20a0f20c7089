#pragma once

#include <QString>

// Entries of the download folder that are not regular files and were reported
// in the error log (table AMFOREIGN), so that each gets one row however often
// the gateway starts. An entry is known by its folder, its shown name and the
// device and inode of the entry itself: a link made anew is a new entry. All
// functions work on the calling thread's connection for ConnectionString()
// and throw StoreError.

struct ReportedEntry {
    QString folder;
    QString name; // the shown name
    QString kind; // "a symbolic link", ...
    quint64 device = 0;
    quint64 inode = 0;
};

bool wasReported(const ReportedEntry& entry);
void addReportedEntry(const ReportedEntry& entry);
