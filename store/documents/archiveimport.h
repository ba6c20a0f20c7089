#pragma once

#include <QString>
#include <QStringList>

#include <functional>

struct ImportCounts {
    int files = 0;    // regular files found under the folders
    int imported = 0; // their documents recorded now
    int reread = 0;   // of those, files an older reader had read: their rows replaced
    int known = 0;    // recorded before by this reader (the cycle or an earlier import)
    int notMir = 0;   // not a MIR record
};

// Reads archived MIR files (the backup folders, searched recursively; links
// are not followed) into the document tables only: nothing else is written,
// moved or deleted. A file whose bytes this reader recorded already is
// skipped, so an import can be run again; one an older reader read is read
// again and its rows replaced. Commits in batches; `progress` is told how far
// it got. Throws StoreError.
ImportCounts importArchive(const QString& connectionText, const QStringList& folders,
                           const std::function<void(int done, int total)>& progress);
