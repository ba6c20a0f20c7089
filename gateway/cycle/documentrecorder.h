#pragma once

#include "documentledger.h"
#include "mirdocuments.h"
#include "recordledger.h"
#include "stepfailure.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

// The tag of the document ledger's error rows.
inline constexpr char kDocumentsTag[] = "[Documents]";

// The documents of the file in hand, read beside the interpreter.
struct PendingDocuments {
    DocumentFile file;
    mir::documents::MirDocuments documents;
    bool recordedBefore = false; // found in the ledger when the file was read
    // Taken care of in the transaction of the file's first version (which
    // may still have been rolled back), and whether its rows were written
    // there or found written.
    mutable bool withVersion = false;
    mutable bool writtenWithVersion = false;
    // The error row of a reading with problems, written with its rows.
    ProblemRow problemRow;
};

// What settling a file's documents leaves to the cycle.
struct SettledDocuments {
    std::optional<StepFailure> refused; // the database refused the rows: an error row to write
    QString problemRow; // the MESSAGE of the problem row written with the rows, "" none
};

// Records each MIR file's documents exactly once: with the file's first
// version, in its transaction (writeDocumentsWithVersion, called by the
// record phase), or, for a file that made no version or whose booking was
// refused, in a transaction of their own afterwards (settle). Lives on the
// cycle's thread.
class DocumentRecorder {
public:
    // Whether the database has the document tables, read once; says once
    // (through addLine) when it has not. Throws StoreError while the
    // database cannot be read.
    bool inUse(const std::function<void(const QString&)>& addLine);

    // Reads the file's documents when the database has the document tables;
    // `known` is the file's identity when the ledger already took it, and
    // `versionsBefore` whether the ledger holds versions of it (whose
    // transaction held its documents).
    // Throws StoreError while the database cannot be reached; tables that
    // refuse the lookup leave it to settle().
    std::optional<PendingDocuments> prepare(const std::optional<FileIdentity>& known,
                                            bool versionsBefore, const QString& shownName, int fd,
                                            const QByteArray& bytes,
                                            const std::function<void(const QString&)>& addLine);

    // After the record phase has settled the file (`stored`: its versions
    // committed): records what is not recorded yet. A reading with a section
    // it could not make sense of has its error row written with its rows,
    // once per file. Throws StoreError while the database cannot be reached.
    SettledDocuments settle(const PendingDocuments& pending, bool stored);

private:
    std::optional<bool> m_tablesPresent;
};

// Inside the version's open transaction; rows the database refuses never
// keep the version from being stored.
void writeDocumentsWithVersion(const PendingDocuments& pending, const QString& recordLocator,
                               const QString& serialNumber);
