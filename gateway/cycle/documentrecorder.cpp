#include "documentrecorder.h"

#include "connectionstring.h"
#include "errorlog.h"
#include "runevents.h"
#include "storeerror.h"
#include "trappederror.h"

PendingDocuments prepareDocuments(const FileIdentity& file, std::optional<ReadingSeen> seen,
                                  bool lookUp, const QByteArray& bytes) {
    PendingDocuments pending;
    pending.file = {file.sha256, file.name, file.size, file.modifiedNs, false};
    pending.problemRow = {file.name, ErrorNumber::InternalError, QLatin1String(kDocumentsTag)};
    try {
        if (seen) {
            pending.recordedBefore = *seen == ReadingSeen::ByThisReader;
            pending.seenAbsent = *seen == ReadingSeen::None;
        } else {
            pending.recordedBefore = lookUp && documentsRecorded(ConnectionString(), file.sha256);
        }
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

WriteApart writeDocumentsWithVersion(const PendingDocuments& pending, const QString& recordLocator,
                                     const QString& serialNumber) {
    if (pending.recordedBefore)
        return {};
    return writeFileDocumentsApart(ConnectionString(), pending.file, pending.documents,
                                   recordLocator, serialNumber, &pending.problemRow,
                                   pending.seenAbsent);
}

SettledDocuments settleDocuments(const PendingDocuments& pending,
                                 const std::optional<WriteApart>& withVersion,
                                 const RunEvents& events) {
    SettledDocuments settled;
    if (pending.recordedBefore)
        return settled;
    // Rows committed with the first version are there whatever became of
    // the next; rows it refused are tried once more on their own.
    const bool handled = withVersion && !withVersion->refused;
    bool written = handled && withVersion->written;
    try {
        if (!handled)
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
        events.documentRecorded(event.kind, event.event);
    if (!pending.documents.problems.isEmpty())
        settled.problemRow =
            errorLogMessage(pending.problemRow.source, pending.problemRow.number,
                            problemSummary(pending.documents) + pending.problemRow.tag);
    return settled;
}
