#pragma once

#include "documentledger.h"
#include "mirdocuments.h"
#include "recordledger.h"
#include "stepfailure.h"

#include <QByteArray>
#include <QString>

#include <optional>

class RunEvents;

// The tag of the document ledger's error rows.
inline constexpr char kDocumentsTag[] = "[Documents]";

// The documents of the file in hand, read beside the interpreter. Each MIR
// file's documents are recorded exactly once: with the file's first version,
// in its transaction (writeDocumentsWithVersion, called by the record
// phase), or, for a file that made no version or whose booking was refused,
// in a transaction of their own afterwards (settleDocuments).
struct PendingDocuments {
    DocumentFile file;
    mir::documents::MirDocuments documents;
    bool recordedBefore = false; // found recorded by this reader when the file was read
    bool seenAbsent = false;     // found unrecorded by a look-up just before the version
    ProblemRow problemRow;       // the error row of a reading with problems
};

// Reads the documents of the file with these bytes, unless this reader
// recorded them already. `seen`: what a look-up sent with the ledger's found,
// when one was. Otherwise `lookUp`: whether to ask the database first (not
// for a file the ledger has never met: no gateway recorded it, and an
// import of the same bytes meanwhile is found when the rows are written).
// Throws StoreError while the database cannot be reached; document tables
// that refuse the lookup leave it to settleDocuments.
PendingDocuments prepareDocuments(const FileIdentity& file, std::optional<ReadingSeen> seen,
                                  bool lookUp, const QByteArray& bytes);

// Inside the version's open transaction; rows the database refuses never
// keep the version from being stored.
WriteApart writeDocumentsWithVersion(const PendingDocuments& pending, const QString& recordLocator,
                                     const QString& serialNumber);

// What settling a file's documents leaves to the cycle.
struct SettledDocuments {
    std::optional<StepFailure> refused; // the database refused the rows: an error row to write
    QString problemRow; // the MESSAGE of the problem row written with the rows, "" none
};

// After the record phase has settled the file (`withVersion`: how the
// documents went in its first version's committed transaction, if one
// took them): records what is not recorded yet, each document event told as
// an event. Throws StoreError while the database cannot be reached.
SettledDocuments settleDocuments(const PendingDocuments& pending,
                                 const std::optional<WriteApart>& withVersion,
                                 const RunEvents& events);
