#include "documentrecorder.h"

#include "connectionstring.h"
#include "cyclemetrics.h"
#include "fileops.h"
#include "storeerror.h"
#include "trappederror.h"

bool DocumentRecorder::inUse(const std::function<void(const QString&)>& addLine) {
    if (!m_tablesPresent) {
        const DocumentTables tables = documentTables(ConnectionString());
        m_tablesPresent = tables == DocumentTables::Current;
        if (*m_tablesPresent)
            CycleMetrics::instance().documentLedgerInUse();
        else
            addLine(documentTablesNotice(tables) + QStringLiteral("\r\n"));
    }
    return *m_tablesPresent;
}

std::optional<PendingDocuments>
DocumentRecorder::prepare(const std::optional<FileIdentity>& known, bool versionsBefore,
                          const QString& shownName, int fd, const QByteArray& bytes,
                          const std::function<void(const QString&)>& addLine) {
    if (!inUse(addLine))
        return std::nullopt;
    const std::optional<FileIdentity> identity = known ? known : fileIdentity(shownName, fd, bytes);
    if (!identity)
        return std::nullopt;
    PendingDocuments pending;
    pending.file = {identity->sha256, identity->name, identity->size, identity->modifiedNs, false};
    // A file the ledger has not met was not recorded by a gateway; an import
    // of the same bytes meanwhile is found when the rows are written.
    try {
        pending.recordedBefore =
            (versionsBefore || !known) && documentsRecorded(ConnectionString(), identity->sha256);
    } catch (const StoreError& error) {
        // Document tables that refuse never hold the booking up: the rows are
        // tried when the file settles, where the digest keeps them once.
        if (error.cause() == StoreError::Cause::Connection)
            throw;
    }
    if (!pending.recordedBefore)
        pending.documents = mir::documents::readDocuments(bytes);
    return pending;
}

std::optional<StepFailure> DocumentRecorder::settle(const PendingDocuments& pending, bool stored) {
    if (pending.recordedBefore)
        return std::nullopt;
    try {
        if (!stored || !pending.withVersion)
            recordFileDocuments(ConnectionString(), pending.file, pending.documents);
    } catch (const StoreError& error) {
        if (error.cause() == StoreError::Cause::Connection)
            throw;
        return StepFailure{error.number(), error.description()};
    }
    for (const mir::documents::DocumentEvent& event : pending.documents.events)
        CycleMetrics::instance().countDocumentEvent(std::size_t(event.kind),
                                                    std::size_t(event.event));
    if (pending.documents.problems.isEmpty())
        return std::nullopt;
    return StepFailure{ErrorNumber::InternalError, problemSummary(pending.documents)};
}

void writeDocumentsWithVersion(const PendingDocuments& pending, const QString& recordLocator,
                               const QString& serialNumber) {
    if (pending.recordedBefore)
        return;
    // Rows the database refuses are left to settle(), which reports them.
    pending.withVersion = !writeFileDocumentsApart(ConnectionString(), pending.file,
                                                   pending.documents, recordLocator, serialNumber);
}
