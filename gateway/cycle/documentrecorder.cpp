#include "documentrecorder.h"

#include "connectionstring.h"
#include "cyclemetrics.h"
#include "errorlog.h"
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
    pending.problemRow = {shownName, ErrorNumber::InternalError, QLatin1String(kDocumentsTag)};
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

SettledDocuments DocumentRecorder::settle(const PendingDocuments& pending, bool stored) {
    SettledDocuments settled;
    if (pending.recordedBefore)
        return settled;
    bool written = stored && pending.withVersion && pending.writtenWithVersion;
    try {
        if (!stored || !pending.withVersion)
            written = recordFileDocuments(ConnectionString(), pending.file, pending.documents,
                                          &pending.problemRow);
    } catch (const StoreError& error) {
        if (error.cause() == StoreError::Cause::Connection)
            throw;
        settled.refused = StepFailure{error.number(), error.description()};
        return settled;
    }
    // Rows found written meanwhile (an import of the same bytes) were counted then.
    if (!written)
        return settled;
    for (const mir::documents::DocumentEvent& event : pending.documents.events)
        CycleMetrics::instance().countDocumentEvent(std::size_t(event.kind),
                                                    std::size_t(event.event));
    if (!pending.documents.problems.isEmpty())
        settled.problemRow = errorLogMessage(pending.problemRow.source, pending.problemRow.number,
                                             problemSummary(pending.documents) +
                                                 pending.problemRow.tag);
    return settled;
}

void writeDocumentsWithVersion(const PendingDocuments& pending, const QString& recordLocator,
                               const QString& serialNumber) {
    if (pending.recordedBefore)
        return;
    // Rows the database refuses are left to settle(), which reports them.
    const WriteApart write =
        writeFileDocumentsApart(ConnectionString(), pending.file, pending.documents,
                                recordLocator, serialNumber, &pending.problemRow);
    pending.withVersion = !write.refused;
    pending.writtenWithVersion = write.written;
}
