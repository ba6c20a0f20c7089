#pragma once

#include "stepfailure.h"

#include <QByteArray>
#include <QList>
#include <QString>

// One listing of the download folder: the names of its ordinary files in the
// folder's own order (no sorting), or the failure. A folder that cannot be
// reached at all fails with 52.
struct DownloadListing {
    QList<QString> names;
    StepFailure failure; // number 0 when the listing succeeded
    bool ok() const { return failure.number == 0; }
};

DownloadListing listDownloadFolder(const QString& folder);

// The skip rule: "." and "..", and every name whose upper-cased form contains
// "TEMP" or "MIRFILE.TXT". Skipped files are never moved or deleted.
bool isSkippedName(const QString& name);
