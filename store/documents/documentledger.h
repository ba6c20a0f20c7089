#pragma once

#include "mirdocuments.h"
#include "recordledger.h"
#include "storeerror.h"

#include <QString>

#include <optional>

// The document ledger (tables KDOCFILE, KDOCEVT, KDOCTAX, KDOCFOP): what each
// MIR file says about its ticketing documents, written exactly once per file
// by each version of the reader. A file is known by the SHA-256 of its bytes,
// so the same bytes met again (a retry, a restart, an archive imported later)
// add nothing; a newer reader replaces an older one's reading whole. All functions work on the
// calling thread's connection for the connection text and throw StoreError.

struct DocumentFile {
    QString sha256; // lower-case hex
    QString name;   // the shown file name
    qint64 size = 0;
    qint64 modifiedNs = 0;
    bool imported = false; // read from the archive, not met by the cycle
};

// Whether this reader's documents of the file with these bytes are recorded.
bool documentsRecorded(const QString& connectionText, const QString& sha256);

// The look-up of the file's reading, to send with the ledger's reads before
// the version's transaction; what it found goes into `seen` when it was sent.
enum class ReadingSeen { None, ByThisReader, ByOlderReader };
RiderRead readingLookUp(const QString& sha256, std::optional<ReadingSeen>& seen);

// The error row of a reading that met problems: written with the reading's
// rows, in their transaction, so that a file has it exactly once whatever
// stops the gateway. MESSAGE as LogError writes it, the problems' summary
// followed by the tag.
struct ProblemRow {
    QString source; // the file's shown name
    qint32 number = 0;
    QString tag;
};

// Writes the file's rows inside whatever transaction is open on the
// connection (the version's), unless this reader recorded them already;
// the rows of an older reader are replaced, keeping where the gateway met
// the file. The version's record locator and serial go with them ("" when
// it made none), and the problem row when given. Returns whether it wrote.
bool writeFileDocuments(const QString& connectionText, const DocumentFile& file,
                        const mir::documents::MirDocuments& documents, const QString& recordLocator,
                        const QString& serialNumber, const ProblemRow* problemRow = nullptr);

// The same inside the version's transaction, kept apart from the version's
// rows by a savepoint: when the database refuses one of the file's rows, none
// of them stays and the version goes on. Throws StoreError when the
// savepoint itself fails.
struct WriteApart {
    bool written = false;
    std::optional<StoreError> refused;
};
// `seenAbsent`: a look-up before the transaction found no reading, and the
// rows go without another. Should one be written meanwhile, its key refuses
// them, and settling the file finds it.
WriteApart writeFileDocumentsApart(const QString& connectionText, const DocumentFile& file,
                                   const mir::documents::MirDocuments& documents,
                                   const QString& recordLocator, const QString& serialNumber,
                                   const ProblemRow* problemRow, bool seenAbsent);

// The same in a transaction of its own, for a file that made no version.
bool recordFileDocuments(const QString& connectionText, const DocumentFile& file,
                         const mir::documents::MirDocuments& documents,
                         const ProblemRow* problemRow = nullptr);

// The problems of a reading as one line for an error row: the sections named.
QString problemSummary(const mir::documents::MirDocuments& documents);
