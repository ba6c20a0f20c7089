#include "bookingrecorder.h"

#include "connectionstring.h"
#include "deferredfiles.h"
#include "errorlog.h"
#include "errorrows.h"
#include "filecontext.h"
#include "fileops.h"
#include "groupcommit.h"
#include "interpreter.h"
#include "owedposter.h"
#include "postbooking.h"
#include "runevents.h"
#include "stopsignal.h"
#include "storeerror.h"
#include "threadconnection.h"
#include "trappederror.h"

namespace {

// The record locator whose last serial travels with the ledger's look-up; a
// booking tree that cannot give it is left to the record phase, which
// reports it.
std::optional<QString> recordLocatorOf(const korva::Pnr& pnr) {
    try {
        return pnr.get("RLOC_CD");
    } catch (const korva::Error&) {
        return std::nullopt;
    }
}

} // namespace

BookingRecorder::BookingRecorder(GatewaySettings& settings, const Options& options,
                                 FileContext& context, StopSignal& stop, ErrorRows& rows,
                                 RunEvents& events, DeferredFiles& deferred)
    : m_settings(settings), m_options(options), m_context(context), m_stop(stop), m_rows(rows),
      m_events(events), m_deferred(deferred), m_outage(options.firstRetry) {}

BookingRecorder::~BookingRecorder() = default;

bool BookingRecorder::start() {
    return setUp() != Setup::Refused;
}

BookingRecorder::Setup BookingRecorder::setUp() {
    if (m_ready)
        return Setup::Ready;
    try {
        if (!m_tables) {
            m_tables = readStoreTables(ConnectionString());
            sayWhatIsMissing();
            if (m_tables->documents == DocumentTables::Current)
                CycleMetrics::instance().documentLedgerInUse();
        }
    } catch (const StoreError&) {
        return Setup::Waiting;
    }
    switch (m_identity.claim(m_settings, m_tables->identities)) {
    case IdentityHold::Claim::Held:
        break;
    case IdentityHold::Claim::Refused:
        m_refusal = m_identity.refusal();
        m_events.refusedToRun(m_refusal);
        m_stop.requestStop();
        return Setup::Refused;
    case IdentityHold::Claim::Unreachable:
        return Setup::Waiting;
    }
    // The identity's row is what the durable commit writes.
    m_groupCommits = m_settings.databaseWritten() && m_tables->identities;
    if (m_groupCommits)
        commitWithoutWaitingOnThisThread(ConnectionString());
    if (!m_settings.xmlExportOn())
        m_postMode = PostMode::Off;
    else if (m_settings.databaseWritten() && m_tables->ledger && m_tables->owedPosts)
        m_postMode = PostMode::Owe;
    else
        m_postMode = PostMode::Wait;
    // Versions share transactions where nothing leaves the gateway before the
    // commit that makes them durable: not with a post sent while storing.
    if (m_groupCommits && m_tables->ledger && m_postMode != PostMode::Wait)
        shareVersionTransactionsOnThisThread(ConnectionString());
    // Posts owed are the identity's: the poster starts once it is held.
    if (m_postMode == PostMode::Owe)
        startPoster();
    m_ready = true;
    return Setup::Ready;
}

// Said once, when the database is first read: what the gateway works without.
void BookingRecorder::sayWhatIsMissing() const {
    const StoreTables& tables = *m_tables;
    QStringList notices;
    if (!tables.ledger)
        notices.append(noLedgerNotice());
    else if (!tables.foreignEntries)
        notices.append(noForeignEntriesNotice());
    if (tables.ledger && !tables.owedPosts && m_settings.xmlExportOn() &&
        m_settings.databaseWritten())
        notices.append(noOwedPostsNotice());
    if (!tables.identities)
        notices.append(noIdentitiesNotice());
    if (tables.documents != DocumentTables::Current)
        notices.append(documentTablesNotice(tables.documents));
    for (const QString& notice : std::as_const(notices))
        m_events.line(notice + QStringLiteral("\r\n"));
}

bool BookingRecorder::ready() {
    switch (setUp()) {
    case Setup::Ready:
        return true;
    case Setup::Waiting:
        unavailable({ErrorNumber::InternalError,
                     QStringLiteral("The database cannot say which tables it keeps") +
                         QLatin1String(kRecordPhaseTag)},
                    WaitReason::Database);
        break;
    case Setup::Refused:
        break;
    }
    return false;
}

void BookingRecorder::startPoster() {
    m_poster = std::make_unique<OwedPoster>(
        OwedPoster::Options{m_settings, m_options.httpTimeoutMs, m_options.firstRetry}, m_stop,
        m_events);
    m_poster->start();
}

bool BookingRecorder::makeCommitsDurable() {
    // The poster, which counts what is owed from the database, is told right
    // after the commit: told later, it could count those posts twice.
    const bool kept = commitSharedTransaction(ConnectionString());
    tellPoster();
    return (!m_groupCommits || m_identity.beatDurably()) && kept;
}

void BookingRecorder::endSharedVersions() {
    // Versions lost here are those of files still in the download folder.
    commitSharedTransaction(ConnectionString());
    tellPoster();
}

void BookingRecorder::tellPoster() {
    // Posts of versions that went back are counted too, until the poster
    // finds nothing more owed.
    if (m_poster)
        m_poster->owedMore(std::exchange(m_owedUncommitted, 0));
}

void BookingRecorder::keepIdentity() {
    if (!m_ready || m_identity.beat())
        return;
    m_rows.failed(m_context.FileName,
                  {ErrorNumber::InternalError,
                   QStringLiteral("another gateway took this gateway's identity %1: this one stops")
                       .arg(m_settings.MirGateway)},
                  "[Identity]");
    m_stop.requestStop();
}

int BookingRecorder::finish(bool deliverOwed) {
    int owed = 0;
    if (m_poster) {
        m_poster->finish(deliverOwed);
        owed = std::max(0, m_poster->owed());
        m_poster.reset();
    }
    if (m_ready)
        m_identity.release();
    // The next run reads the database afresh (it may have been upgraded).
    m_ready = false;
    m_tables.reset();
    return owed;
}

Recording BookingRecorder::record(const mir::Interpretation& interpretation, const FileInHand& file,
                                  const QByteArray& bytes, XmlHttpPost& http) {
    // Behind an outage the file waits for the next probe without trying.
    if (!m_outage.mayTry())
        return {false, m_outage.reason(), QString()};
    if (!ready())
        return {false, WaitReason::Database, QString()};
    m_context.Cpnid = interpretation.Cpnid;
    m_context.Cpnid2Source = interpretation.Cpnid2Source;
    // A file the ledger knows resumes where it stopped; the lookup needs the database.
    const FileIdentity identity = fileIdentity(m_context.FileName, file.info, bytes);
    LedgerView ledger;
    ledger.postMode = m_postMode;
    std::optional<PendingDocuments> documents;
    try {
        const bool withDocuments = m_tables->documents == DocumentTables::Current;
        // On a server the file's reading is looked up with the ledger's reads.
        std::optional<ReadingSeen> seen;
        if (m_tables->ledger) {
            ledger.file = identity;
            const std::optional<QString> locator =
                m_settings.databaseWritten() ? recordLocatorOf(*interpretation.pnr) : std::nullopt;
            if (locator) {
                const std::optional<RiderRead> reading =
                    withDocuments ? std::optional(readingLookUp(identity.sha256, seen))
                                  : std::nullopt;
                FileAndSerial found =
                    recordedPassesAndSerial(identity, *locator, reading ? &*reading : nullptr);
                ledger.recorded = found.passes;
                ledger.lastSerial = found.lastSerial;
            } else {
                ledger.recorded = recordedPasses(identity);
            }
        }
        if (withDocuments)
            documents =
                prepareDocuments(identity, seen, !ledger.file || !ledger.recorded.isEmpty(), bytes);
    } catch (const StoreError& error) {
        return {false,
                unavailable({error.number(), error.description() + QLatin1String(kRecordPhaseTag)},
                            error.cause() == StoreError::Cause::Connection ? WaitReason::Database
                                                                           : WaitReason::Ledger),
                QString()};
    }
    ledger.documents = documents ? &*documents : nullptr;
    const RecordResult result =
        runRecordPhase(*interpretation.pnr, m_context, m_settings, http, ledger,
                       [this](const QString& line) { m_events.line(line); });
    // A version stored the documents with it; a file that made none, or was
    // refused, has them recorded on their own.
    if (documents &&
        (result.outcome == RecordOutcome::Stored || result.outcome == RecordOutcome::Refused)) {
        try {
            reportDocuments(settleDocuments(*documents, result.documents, m_events));
        } catch (const StoreError& error) {
            // The booking is settled: its documents are left to an import.
            m_rows.failed(m_context.FileName, {error.number(), error.description()}, kDocumentsTag);
        }
    }
    reportPosts(result);
    // A version in a shared transaction is committed with the batch.
    m_owedUncommitted += result.postsOwed;
    if (!versionTransactionsShared(ConnectionString()))
        tellPoster();

    switch (result.outcome) {
    case RecordOutcome::Stored: {
        available();
        m_rows.recovered(m_context.FileName, kRecordPhaseTag);
        m_events.fileEnded(CycleMetrics::FileOutcome::Stored);
        Recording recording{true, std::nullopt, QString()};
        if (!result.storedNew) {
            QStringList versions;
            for (const RecordedPass& pass : std::as_const(ledger.recorded))
                versions.append(pass.recordLocator + QLatin1Char('/') + pass.serialNumber);
            recording.knownAs = versions.join(QStringLiteral(" and "));
        }
        return recording;
    }
    case RecordOutcome::Refused:
        // The database answers: what it refused is the booking, and the row
        // that says why the file is filed away is always written.
        available();
        m_rows.final(m_context.FileName, result.error->number, result.error->description,
                     QLatin1String(kRecordPhaseTag));
        m_events.fileEnded(CycleMetrics::FileOutcome::Refused);
        return {true, std::nullopt, QString()};
    case RecordOutcome::Unreachable:
        return {false, unavailable(*result.error, WaitReason::Database), QString()};
    case RecordOutcome::LedgerRefused:
        return {false, unavailable(*result.error, WaitReason::Ledger), QString()};
    case RecordOutcome::PostPending:
        available();
        break;
    }
    return {false, WaitReason::Endpoint, QString()};
}

std::optional<WaitReason> BookingRecorder::recordDocuments(const FileInHand& file,
                                                           const QByteArray& bytes) {
    if (!m_outage.mayTry())
        return m_outage.reason();
    if (!ready())
        return WaitReason::Database;
    if (m_tables->documents != DocumentTables::Current)
        return std::nullopt;
    try {
        const PendingDocuments documents = prepareDocuments(
            fileIdentity(m_context.FileName, file.info, bytes), std::nullopt, true, bytes);
        reportDocuments(settleDocuments(documents, std::nullopt, m_events));
    } catch (const StoreError& error) {
        return unavailable({error.number(), error.description() + QLatin1String(kDocumentsTag)},
                           WaitReason::Database);
    }
    available();
    return std::nullopt;
}

// The error rows of a file's documents: the database refusing them, or the
// row that says what the reader could not read, written with the rows.
void BookingRecorder::reportDocuments(const SettledDocuments& settled) {
    if (settled.refused)
        m_rows.failed(m_context.FileName, *settled.refused, kDocumentsTag);
    if (!settled.problemRow.isEmpty())
        m_events.errorRow(LoggedError{settled.problemRow, true});
}

// One row per post that failed, the two records of a booking each on their
// own; a recovery row only for a record whose post went through after
// failing before.
void BookingRecorder::reportPosts(const RecordResult& result) {
    for (const PostFailure& post : result.postErrors) {
        if (post.final)
            m_rows.final(m_context.FileName, post.failure.number, post.failure.description,
                         postFailureKey(post.pass));
        else
            m_rows.failed(m_context.FileName, post.failure.number, post.failure.description,
                          postFailureKey(post.pass));
    }
    for (int pass : result.postedPasses)
        m_rows.recovered(m_context.FileName, postFailureKey(pass), kXmlPostTag);
}

// The database cannot take bookings now (unreachable, or its ledger
// refusing): one row for the outage, not one per waiting file.
std::optional<WaitReason> BookingRecorder::unavailable(const StepFailure& failure,
                                                       WaitReason reason) {
    m_outage.failed(reason);
    m_rows.outageFailed(m_context.FileName, failure);
    return reason;
}

void BookingRecorder::available() {
    if (!m_outage.ended())
        return;
    m_deferred.release(WaitReason::Database);
    m_deferred.release(WaitReason::Ledger);
    m_rows.outageEnded(m_context.FileName, kRecordPhaseTag);
}
