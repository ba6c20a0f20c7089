#pragma once

#include "stepfailure.h"

#include <QByteArray>
#include <QList>
#include <QString>

// An entry of the download folder that is neither a regular file nor a
// folder: a symbolic link, a FIFO, a socket or a device. The cycle never
// follows, reads, copies or changes it.
struct ForeignEntry {
    QByteArray name;
    QString kind;       // "a symbolic link", "a FIFO", "a socket", "a device"
    quint64 device = 0; // of the entry itself, never of what a link points to
    quint64 inode = 0;
};

// One listing of the download folder: the names of its regular files, as the
// bytes the file system holds, in the folder's own order (no sorting), and
// its foreign entries; or the failure. A folder that cannot be reached at all
// fails with 52. Subfolders are in neither list.
struct DownloadListing {
    QList<QByteArray> names;
    QList<ForeignEntry> foreign;
    StepFailure failure; // number 0 when the listing succeeded
    bool ok() const { return failure.number == 0; }
};

DownloadListing listDownloadFolder(const QString& folder);

// The skip rule: "." and "..", and every name whose upper-cased form contains
// "TEMP" or "MIRFILE.TXT". Skipped files are never moved or deleted.
bool isSkippedName(const QString& name);
bool isSkippedName(const QByteArray& name);
