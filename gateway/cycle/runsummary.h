#pragma once

#include <QMap>
#include <QString>

// What a file left in the download folder waits for.
enum class WaitReason {
    Database,    // the database cannot be reached
    Ledger,      // the ledger's table refuses what it must note
    ObjectModel, // the object model cannot be activated
    Endpoint,    // its post, the only delivery, has not gone through
    BackupCopy,  // its backup copy failed
    Delete,      // its delete failed
    Writer,      // it is still being written
};
// "the database", "the ledger", ... as `kesto run`'s summary says it.
QString waitReasonName(WaitReason reason);

// What one run of the cycle did, for the line `kesto run` ends with.
struct RunSummary {
    int stored = 0;        // bookings stored (or found stored and finished) in this run
    int refused = 0;       // bookings the database or their own data refused, filed away
    int uninterpreted = 0; // files filed away without being interpreted
    int errorRows = 0;     // error rows written (or kept locally when the database was away)
    QMap<WaitReason, int> waiting; // files left in the download folder, by what they wait for
    int postsOwed = 0;             // posts left owed to the endpoint (their files are filed)
    QString refusedToRun;          // why the run did not start: its identity is another's

    bool leftWaiting() const { return !waiting.isEmpty() || postsOwed > 0; }
    // "3 stored, 0 refused, 1 filed uninterpreted, 2 left waiting (1 for the
    // database, 1 for the backup copy), 2 posts owed, 4 error rows"; the
    // posts owed only when there are any
    QString text() const;
};
