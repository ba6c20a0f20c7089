#pragma once

#include <QMap>
#include <QString>

// What one run of the cycle did, for the line `kesto run` ends with.
struct RunSummary {
    int stored = 0;             // bookings stored (or found stored and finished) in this run
    int refused = 0;            // bookings the database or their own data refused, filed away
    int uninterpreted = 0;      // files filed away without being interpreted
    int errorRows = 0;          // error rows written (or kept locally when the database was away)
    QMap<QString, int> waiting; // files left in the download folder, by what they wait for
    int postsOwed = 0;          // posts left owed to the endpoint (their files are filed)
    QString refusedToRun;       // why the run did not start: its identity is another's

    bool leftWaiting() const { return !waiting.isEmpty() || postsOwed > 0; }
    // "3 stored, 0 refused, 1 filed uninterpreted, 2 left waiting (1 for the
    // database, 1 for the backup copy), 2 posts owed, 4 error rows"; the
    // posts owed only when there are any
    QString text() const;
};

// What a file left in the download folder waits for.
namespace WaitReason {
inline const QString Database = QStringLiteral("the database");
inline const QString Ledger = QStringLiteral("the ledger"); // its table refuses what it must note
inline const QString ObjectModel = QStringLiteral("the object model");
inline const QString Endpoint = QStringLiteral("the endpoint");
inline const QString BackupCopy = QStringLiteral("the backup copy");
inline const QString Delete = QStringLiteral("the delete");
inline const QString Writer = QStringLiteral("its writer"); // the file is still being written
} // namespace WaitReason
