#include "processingcycle.h"

#include "backupcopy.h"
#include "changewatch.h"
#include "clock.h"
#include "connectionstring.h"
#include "crashpoint.h"
#include "cyclemetrics.h"
#include "downloadlisting.h"
#include "errorlog.h"
#include "fileops.h"
#include "httppost.h"
#include "interpreter.h"
#include "logstamp.h"
#include "mirdocuments.h"
#include "owedposter.h"
#include "owedposts.h"
#include "postbooking.h"
#include "recordphase.h"
#include "reportedentries.h"
#include "runchecks.h"
#include "shownname.h"
#include "storeerror.h"
#include "trappederror.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kAttempts = 5;
constexpr qint64 kInterpretLimit = 65536;  // files this size or larger are filed uninterpreted
constexpr qint64 kShowLimit = 1024 * 1024; // the most of a file the window is given
constexpr int kIncompleteLimit = 5;
constexpr qint64 kOnceWriterWaitMs = 60000; // how long --once waits for files still being written
constexpr qint64 kRelistMs = 250;    // the age of a listing a drain lists the folder again at
constexpr qsizetype kCopyBatch = 64; // the most backup copies flushed together
constexpr char kNotAFileTag[] = "[NotAFile]";
// The failure key of the outage of the database, shared by every file.
const QString kOutageKey = QStringLiteral("\x01the database");

struct ReadResult {
    QByteArray bytes;
    std::optional<StepFailure> failure;
};

ReadResult readUpTo(int fd, qint64 limit) {
    ReadResult result;
    char buffer[16 * 1024];
    while (result.bytes.size() < limit) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            result.failure = stepFailureFromErrno(errno);
            break;
        }
        result.bytes.append(buffer, got);
    }
    return result;
}

// Whether the download folder no longer holds the name at all.
bool isGone(const QString& folder, const QByteArray& name) {
    struct stat info {};
    return ::lstat(QByteArray(QFile::encodeName(folder) + name).constData(), &info) != 0 &&
           errno == ENOENT;
}

QString shownText(const QByteArray& bytes) {
    QString text = QString::fromLatin1(bytes);
    text.replace(QLatin1Char('\r'), QStringLiteral("\r\n"));
    return text;
}

} // namespace

ProcessingCycle::ProcessingCycle(const Options& options, QObject* parent)
    : QObject(parent), m_options(options), m_deferred(options.deferRetry),
      m_writes(std::chrono::milliseconds(qRound64(options.settleMs * options.pauseScale))),
      m_outage(options.deferRetry) {}

ProcessingCycle::~ProcessingCycle() = default;

bool ProcessingCycle::pauseMs(int milliseconds) const {
    return m_stop.pause(static_cast<int>(milliseconds * m_options.pauseScale));
}

void ProcessingCycle::setLabel4(const QString& text) {
    if (m_label4 == text)
        return;
    m_label4 = text;
    Q_EMIT label4Changed(text);
}

void ProcessingCycle::record(const StepFailure& failure, const char* tag) {
    report(failure.number, failure.description + QLatin1String(tag), QLatin1String(tag));
}

void ProcessingCycle::report(qint32 number, const QString& text, const QString& key) {
    if (m_reports.shouldWrite(m_context.FileName, key, number))
        writeErrorRow(number, text);
}

void ProcessingCycle::reportFinal(qint32 number, const QString& text, const QString& key) {
    m_reports.countWritten(m_context.FileName, key, number);
    writeErrorRow(number, text);
}

void ProcessingCycle::recovered(const QString& key, const char* tag) {
    const int failures = m_reports.succeeded(m_context.FileName, key);
    if (failures > 0)
        writeErrorRow(0, recoveredText(failures, QLatin1String(tag)));
}

void ProcessingCycle::writeErrorRow(const QString& source, qint32 number, const QString& text) {
    ++m_summary.errorRows;
    CycleMetrics::instance().countErrorRow();
    const LoggedError logged = logTrappedError(source, number, text);
    Q_EMIT errorRecorded(logged.message);
    if (!logged.stored)
        Q_EMIT errorNotStored(logged.message);
}

bool ProcessingCycle::ledgerInUse() {
    if (!m_ledger) {
        m_ledger = ledgerPresent();
        if (!*m_ledger)
            addLine(noLedgerNotice() + QStringLiteral("\r\n"));
    }
    return *m_ledger;
}

QString ProcessingCycle::owedFolder() {
    if (!m_poster || !ledgerInUse())
        return {};
    if (!m_owedTable) {
        m_owedTable = owedPostsPresent();
        if (!*m_owedTable)
            addLine(QStringLiteral("The database has no AMPOST table (the posts owed to the "
                                   "endpoint): each file waits for its post. Run kesto init-db "
                                   "--upgrade to add it.\r\n"));
    }
    return *m_owedTable ? m_options.settings.MirDownPath : QString();
}

// With database writes and the export on, posts may be owed: the poster
// delivers what an earlier run left owed from the start.
void ProcessingCycle::startPoster() {
    const GatewaySettings& settings = m_options.settings;
    if (!settings.xmlExportOn() || !settings.databaseWritten())
        return;
    m_poster = std::make_unique<OwedPoster>(
        OwedPoster::Options{settings, m_options.httpTimeoutMs, m_options.deferRetry}, m_stop);
    // Direct: the window's receivers queue them to its own thread.
    connect(m_poster.get(), &OwedPoster::logLine, this, &ProcessingCycle::logLine,
            Qt::DirectConnection);
    connect(m_poster.get(), &OwedPoster::errorRecorded, this, &ProcessingCycle::errorRecorded,
            Qt::DirectConnection);
    connect(m_poster.get(), &OwedPoster::errorNotStored, this, &ProcessingCycle::errorNotStored,
            Qt::DirectConnection);
    connect(m_poster.get(), &OwedPoster::owedChanged, this, &ProcessingCycle::postsOwedChanged,
            Qt::DirectConnection);
    m_poster->start();
}

// A run with --once delivers what is owed before it ends, unless the
// endpoint does not answer; a stop ends the poster at once.
void ProcessingCycle::finishPoster() {
    if (!m_poster)
        return;
    m_poster->finish(m_options.once && !m_stop.isStopRequested());
    m_summary.errorRows += m_poster->errorRows();
    try {
        m_summary.postsOwed =
            owedPostCount(ConnectionString(), m_options.settings.MirDownPath).value_or(0);
    } catch (const StoreError&) {
        m_summary.postsOwed = std::max(0, m_poster->owed());
    }
    m_poster.reset();
}

void ProcessingCycle::run() {
    // The HTTP object lives on this thread; an abort request cuts a post short.
    XmlHttpPost http(m_options.httpTimeoutMs, [this] { return m_stop.isAbortRequested(); });
    m_http = &http;
    m_logLines = 0;
    m_summary = RunSummary();
    m_identityHeld = false;
    if (!holdIdentity()) {
        m_http = nullptr;
        Q_EMIT finished();
        return;
    }
    // Said once at start when the database lacks the ledger; a database
    // that does not answer now is asked again at the first booking.
    try {
        ledgerInUse();
        m_documents.inUse([this](const QString& line) { addLine(line); });
        owedFolder();
    } catch (const StoreError&) {
    }
    if (const int removed = removeStalePartialCopies(
            QFile::encodeName(m_options.settings.MirBackupPath), std::chrono::hours(24)))
        addLine(
            QStringLiteral("Removed %1 partial backup copies older than a day\r\n").arg(removed));
    // Armed by each pass before it lists the folder.
    ChangeWatch watch(m_options.settings.MirDownPath);
    runPasses(watch);
    deleteCopied();
    finishPoster();
    m_identity.release();
    countWaitingFiles();
    m_http = nullptr;
    Q_EMIT finished();
}

bool ProcessingCycle::holdIdentity() {
    if (m_identityHeld)
        return true;
    switch (m_identity.claim(m_options.settings)) {
    case IdentityHold::Claim::Held:
        m_identityHeld = true;
        if (!m_identity.notice().isEmpty())
            addLine(m_identity.notice() + QStringLiteral("\r\n"));
        // Posts owed are the identity's: the poster starts once it is held.
        startPoster();
        return true;
    case IdentityHold::Claim::Refused:
        m_summary.refusedToRun = m_identity.refusal();
        Q_EMIT errorRecorded(m_identity.refusal());
        requestStop();
        return false;
    case IdentityHold::Claim::Unreachable:
        break;
    }
    // Claimed when the database answers; until then files wait for it.
    return !m_stop.isStopRequested();
}

// Whether the run holds its identity now, claiming it when the database
// could not say at the start; a file waits for the database until then.
bool ProcessingCycle::identityHeldNow() {
    if (holdIdentity() && m_identityHeld)
        return true;
    if (m_summary.refusedToRun.isEmpty())
        storeUnavailable({ErrorNumber::InternalError,
                          QStringLiteral("the gateway's identity cannot be claimed: the database "
                                         "does not answer") +
                              QLatin1String(kRecordPhaseTag)},
                         WaitReason::Database);
    return false;
}

void ProcessingCycle::keepIdentity() {
    if (!m_identityHeld || m_identity.beat())
        return;
    record({ErrorNumber::InternalError,
            QStringLiteral("another gateway took this gateway's identity %1: this one stops")
                .arg(m_options.settings.MirGateway)},
           "[Identity]");
    m_summary.refusedToRun = QStringLiteral("another gateway took this gateway's identity");
    requestStop();
}

void ProcessingCycle::runPasses(ChangeWatch& watch) {
    const QString down = m_options.settings.MirDownPath;
    std::optional<WriteWatch::Clock::time_point> writersWaitStart; // --once only
    for (;;) {
        setLabel4(QString());
        if (m_stop.isStopRequested())
            return;

        // First listing. The watch is made again first, so that nothing that
        // arrives after the listing goes unnoticed.
        DownloadListing listing;
        int failures = 0;
        for (;;) {
            Q_EMIT alive();
            keepIdentity();
            watch.rearm();
            listing = listDownloadFolder(down);
            if (listing.ok()) {
                setLabel4(QString());
                Q_EMIT folderListed();
                reportForeignEntries(listing);
                break;
            }
            if (listing.failure.number == kBadFileNameOrNumber) {
                setLabel4(unreachableDownloadMessage(down));
                if (m_options.once) {
                    Q_EMIT errorRecorded(unreachableDownloadMessage(down));
                    return;
                }
                if (!pauseMs(2000))
                    return;
                continue;
            }
            if (++failures >= kAttempts) {
                record(listing.failure, "[1st Dir]");
                break;
            }
        }

        if (!m_options.settings.settlesPerFile() && !settleListing(listing))
            return;

        // File loop: the head of a fresh listing. With one settle time per
        // listing the files it settled are taken in its order, and the folder
        // is listed again at most every kRelistMs: listing a backlog of
        // thousands of files once per file cost more than the file itself,
        // and a file that arrives meanwhile waits for a settle time anyway.
        qsizetype index = 0;
        QElapsedTimer listed;
        listed.start();
        QByteArray current = nextEntry(listing.names, index);
        while (!current.isEmpty()) {
            if (m_stop.isStopRequested() || processFile(current) == FileEnd::Abandoned) {
                deleteCopied();
                return;
            }
            Q_EMIT alive();
            keepIdentity();
            bool relist = m_options.settings.settlesPerFile() || listed.hasExpired(kRelistMs);
            if (!relist) {
                // A name of an older listing that is gone meanwhile is passed over.
                current = nextEntry(listing.names, index);
                while (!current.isEmpty() && isGone(down, current))
                    current = nextEntry(listing.names, index);
                // The loop ends only at a fresh listing that offers nothing:
                // a file put back (read incomplete, changed) is taken again.
                relist = current.isEmpty();
            }
            if (relist) {
                deleteCopied(); // a fresh listing must not offer them again
                listing = listDownloadFolder(down);
                listed.restart();
                // An unreachable folder is the pass loop's business (Label4 and retry).
                if (listing.ok())
                    reportForeignEntries(listing);
                else if (listing.failure.number != kBadFileNameOrNumber)
                    record(listing.failure, "[2nd Dir]");
                index = 0;
                current = nextEntry(listing.names, index);
            }
        }
        // A file still being written is looked at again once it may have settled.
        const std::optional<WriteWatch::Clock::duration> settling = m_writes.untilNextSettled();
        const int settleWaitMs =
            settling ? int(std::chrono::ceil<std::chrono::milliseconds>(*settling).count()) : -1;
        if (m_options.once) {
            // It is still part of what the folder holds, but a writer that
            // never stops does not hold the run for ever.
            if (!settling)
                return;
            if (!writersWaitStart)
                writersWaitStart = WriteWatch::Clock::now();
            const auto waited = WriteWatch::Clock::now() - *writersWaitStart;
            if (waited >=
                    std::chrono::milliseconds(qRound64(kOnceWriterWaitMs * m_options.pauseScale)) ||
                !m_stop.pause(settleWaitMs))
                return;
            continue;
        }

        // Wait for a change, a rescan, or a stop.
        switch (watch.wait(m_stop, settling ? std::min(m_options.rescanMs, settleWaitMs)
                                            : m_options.rescanMs)) {
        case ChangeWatch::WaitResult::Stopped:
            return;
        case ChangeWatch::WaitResult::Invalid:
            if (!watch.rearm()) {
                setLabel4(unreachableDownloadMessage(down));
                if (!pauseMs(2000))
                    return;
            }
            break;
        case ChangeWatch::WaitResult::Changed:
        case ChangeWatch::WaitResult::Rescan:
            break;
        }
    }
}

QByteArray ProcessingCycle::nextEntry(const QList<QByteArray>& names, qsizetype& index) const {
    while (index < names.size()) {
        const QByteArray& name = names.at(index++);
        if (isCandidate(name))
            return name;
    }
    return {};
}

bool ProcessingCycle::isCandidate(const QByteArray& name) const {
    return !isSkippedName(name) && !m_deferred.isWaiting(name) && !m_writes.isHeldBack(name);
}

// One settle time for a whole listing: every file it offers is looked at,
// and the cycle waits once until each has looked the same for the settle
// time; the files are then taken back to back. A file that changes
// meanwhile, or arrives later, waits for a settle time of its own. False
// when a stop ended the wait.
bool ProcessingCycle::settleListing(const DownloadListing& listing) {
    const QByteArray down = QFile::encodeName(m_options.settings.MirDownPath);
    WriteWatch::Clock::duration wait{};
    for (const QByteArray& name : listing.names) {
        if (isCandidate(name) && lookAtFile(name, down + name))
            wait = std::max(wait, m_writes.untilSettled(name));
    }
    if (wait <= WriteWatch::Clock::duration{})
        return true;
    return m_stop.pause(int(std::chrono::ceil<std::chrono::milliseconds>(wait).count()));
}

// One error row for each link, FIFO, socket or device in the folder, and no
// more while it stays there, across restarts too where the database keeps
// the entries it reported.
void ProcessingCycle::reportForeignEntries(const DownloadListing& listing) {
    QSet<QByteArray> present;
    for (const ForeignEntry& entry : listing.foreign) {
        if (isSkippedName(entry.name))
            continue;
        const QByteArray key = entry.name + '\0' + QByteArray::number(entry.device) + ':' +
                               QByteArray::number(entry.inode);
        present.insert(key);
        if (m_foreignReported.contains(key))
            continue;
        CycleMetrics::instance().countFile(CycleMetrics::FileOutcome::NotAFile);
        const ReportedEntry reported{m_options.settings.MirDownPath, shownFileName(entry.name),
                                     entry.kind, entry.device, entry.inode};
        if (reportedBefore(reported))
            continue;
        writeErrorRow(
            reported.name, kPathFileAccessError,
            QStringLiteral("Not a regular file but %1: left where it is").arg(entry.kind) +
                QLatin1String(kNotAFileTag));
        try {
            if (m_reportedTable.value_or(false))
                addReportedEntry(reported);
        } catch (const StoreError&) {
            // Reported again at the next start, which loses nothing.
        }
    }
    m_foreignReported = present;
}

// Whether an earlier run reported the entry; a database that cannot say
// lets it be reported again.
bool ProcessingCycle::reportedBefore(const ReportedEntry& entry) {
    try {
        if (!m_reportedTable) {
            m_reportedTable = reportedEntriesPresent();
            if (!*m_reportedTable && ledgerInUse())
                addLine(QStringLiteral("The database has no AMFOREIGN table: links, FIFOs and "
                                       "other entries that are not files are reported again at "
                                       "each start. Run kesto init-db --upgrade to add it.\r\n"));
        }
        return *m_reportedTable && wasReported(entry);
    } catch (const StoreError&) {
        return false;
    }
}

// Notes how the file looks now. False when the name no longer holds a regular
// file (the listing reports what it holds); a file that cannot be looked at
// goes on, and the steps of its life say what is wrong.
bool ProcessingCycle::lookAtFile(const QByteArray& name, const QByteArray& path) {
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0)
        return true;
    if (!S_ISREG(info.st_mode))
        return false;
    m_writes.look(name, fileFingerprint(info));
    return true;
}

ProcessingCycle::FileEnd ProcessingCycle::processFile(const QByteArray& name) {
    const QByteArray path = QFile::encodeName(m_options.settings.MirDownPath) + name;

    // 1. The pause before each file, with a look on either side, or the
    // listing's one settle time before it: a file that changed is still
    // being written and waits, with no error row, until it has settled. A
    // stop here leaves the file untouched.
    if (m_options.settings.settlesPerFile()) {
        if (!lookAtFile(name, path))
            return FileEnd::Done;
        if (!pauseMs(1000))
            return FileEnd::Abandoned;
    }
    if (!lookAtFile(name, path) || !m_writes.settled(name))
        return FileEnd::Done;
    const FileTimer timer;

    // 2-3. A fresh context and the log line.
    m_context.FileName = shownFileName(name);
    m_context.RecordLocator.clear();
    m_context.SerialNumber.clear();
    m_context.Kind.clear();
    if (++m_logLines > 12) {
        m_logLines = 0;
        Q_EMIT logCleared();
    }
    addLine(m_context.FileName + QLatin1Char(':') + logStampText(currentClock().now()) +
            QStringLiteral("\r\n"));

    // 4. Open for reading, never creating, up to five attempts.
    int fd = -1;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        fd = openRegularFile(path);
        if (fd >= 0) {
            recovered("[OpenTextFile]");
            break;
        }
        const StepFailure failure = stepFailureFromErrno(errno);
        if (attempt == kAttempts) {
            record(failure, "[OpenTextFile]");
        } else if (!pauseMs(2000)) {
            return FileEnd::Abandoned;
        }
    }
    const bool opened = fd >= 0;

    // 5. Show it. An unopened file is shown by its path when that still works.
    std::optional<StepFailure> pending;
    ReadResult read;
    if (opened) {
        read = readUpTo(fd, kShowLimit);
    } else {
        const int showFd = openRegularFile(path);
        if (showFd >= 0) {
            read = readUpTo(showFd, kShowLimit);
            ::close(showFd);
        } else {
            read.failure = stepFailureFromErrno(errno);
        }
    }
    if (read.failure)
        pending = read.failure;
    Q_EMIT fileShown(shownText(read.bytes));

    // 6. Look it up and clear its read-only attribute, up to five attempts.
    FileLookup lookup;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        lookup = lookUpAndClearReadOnly(path, fd);
        if (!lookup.failure)
            break;
    }
    if (lookup.failure) {
        record(*lookup.failure, "[fso.GetFile]");
        lookup.size = read.bytes.size();
    }
    const QString fingerprint = opened ? fileFingerprint(fd) : fileFingerprint(path);
    const bool recordedBefore = m_deferred.wasRecorded(name, fingerprint);
    // What the file held, when it was read whole: a later change of its time
    // or inode alone does not make it another file.
    const bool readWhole = opened && !read.failure && !lookup.failure &&
                           read.bytes.size() == lookup.size && lookup.size < kShowLimit;
    const QByteArray* whole = readWhole ? &read.bytes : nullptr;

    // 7-8. Interpret and record.
    bool recorded = recordedBefore;
    bool interpreted = false;
    QString waitFor;
    QString knownAs;
    if (opened && !read.failure && lookup.size < kInterpretLimit && !recordedBefore) {
        try {
            const mir::Interpretation interpretation = mir::interpretMir(read.bytes);
            // An empty file, or a lone byte, is most likely one whose writer
            // has not begun: it is given the time of an incomplete one.
            const mir::Verdict verdict =
                interpretation.verdict == mir::Verdict::NotMir && read.bytes.size() < 2
                    ? mir::Verdict::Incomplete
                    : interpretation.verdict;
            switch (verdict) {
            case mir::Verdict::NotMir:
                break;
            case mir::Verdict::Incomplete:
                // Counted for this file while it stays as it is: one that
                // changes meanwhile is still being written and starts again.
                if (m_writes.countIncomplete(name) <= kIncompleteLimit) {
                    // Back to the folder: read again from a fresh listing.
                    ::close(fd);
                    pauseMs(1000);
                    return FileEnd::Done;
                }
                break;
            case mir::Verdict::Interpreted: {
                const Recording recording = recordBooking(interpretation, fd, read.bytes);
                interpreted = true;
                recorded = recording.recorded;
                waitFor = recording.waitFor;
                knownAs = recording.knownAs;
                break;
            }
            }
        } catch (const std::exception& error) {
            // The object model could not be activated: nothing was stored, so the
            // file stays in the download folder and is tried again later, when the
            // library may be registered again.
            waitFor = WaitReason::ObjectModel;
            record({ErrorNumber::InternalError, QString::fromUtf8(error.what())}, kRecordPhaseTag);
        }
    }

    // A MIR the interpreter did not take still tells of its documents.
    if (!interpreted && !recordedBefore && whole && waitFor.isEmpty() &&
        mir::documents::isMirRecord(*whole))
        waitFor = recordDocumentsAlone(fd, *whole);

    // 9. An error of the earlier steps still pending.
    if (pending)
        record(*pending, "[ReadLine]");

    // 10. Close.
    if (opened && ::close(fd) != 0)
        record(stepFailureFromErrno(errno), "[FileClose]");

    if (!waitFor.isEmpty()) {
        // Not stored yet, or a post still owed: the file stays in the download
        // folder and is tried again later; the ledger knows what is done.
        // Behind an outage it waits for the next probe with the others.
        if (m_outage.isDown() && waitFor == m_outage.reason())
            m_deferred.holdUntil(name, fingerprint, waitFor, m_outage.nextProbe());
        else
            m_deferred.defer(name, fingerprint, false, waitFor);
        return FileEnd::Done;
    }

    // 11. File it away.
    if (!fileAway(name, path, fingerprint, recorded, whole))
        return FileEnd::Done;
    if (!interpreted && !recordedBefore) {
        ++m_summary.uninterpreted;
        CycleMetrics::instance().countFile(CycleMetrics::FileOutcome::Uninterpreted);
    }
    if (!knownAs.isEmpty())
        addLine(m_context.FileName + QStringLiteral(" was already recorded as ") + knownAs +
                QStringLiteral("; filed\r\n"));
    return FileEnd::Done;
}

ProcessingCycle::Recording ProcessingCycle::recordBooking(const mir::Interpretation& interpretation,
                                                          int fd, const QByteArray& bytes) {
    // Behind an outage the file waits for the next probe without trying.
    if (!m_outage.mayTry())
        return {false, m_outage.reason(), QString()};
    if (!identityHeldNow())
        return {false, WaitReason::Database, QString()};
    m_context.Cpnid = interpretation.Cpnid;
    m_context.Cpnid2Source = interpretation.Cpnid2Source;
    // A file the ledger knows resumes where it stopped; the lookup needs the database.
    LedgerView ledger;
    std::optional<PendingDocuments> documents;
    try {
        if (ledgerInUse()) {
            ledger.file = fileIdentity(m_context.FileName, fd, bytes);
            if (ledger.file)
                ledger.recorded = recordedPasses(*ledger.file);
            ledger.owedFolder = owedFolder();
        }
        documents = m_documents.prepare(ledger.file, !ledger.recorded.isEmpty(), m_context.FileName,
                                        fd, bytes, [this](const QString& line) { addLine(line); });
    } catch (const StoreError& error) {
        const StepFailure failure{error.number(),
                                  error.description() + QLatin1String(kRecordPhaseTag)};
        return storeUnavailable(failure, error.cause() == StoreError::Cause::Connection
                                             ? WaitReason::Database
                                             : WaitReason::Ledger);
    }

    ledger.documents = documents ? &*documents : nullptr;
    const RecordResult result =
        runRecordPhase(*interpretation.pnr, m_context, m_options.settings, *m_http, ledger,
                       [this](const QString& line) { addLine(line); });
    // A version stored the documents with it; a file that made none, or was
    // refused, has them recorded on their own.
    if (documents &&
        (result.outcome == RecordOutcome::Stored || result.outcome == RecordOutcome::Refused)) {
        const bool stored = result.outcome == RecordOutcome::Stored;
        try {
            reportDocuments(m_documents.settle(*documents, stored));
        } catch (const StoreError& error) {
            // The booking is settled: its documents are left to an import.
            record({error.number(), error.description()}, kDocumentsTag);
        }
    }
    reportPosts(result);
    if (result.postsOwed > 0) {
        m_poster->wake();
        // Counted here too: the poster counts again only once its post in
        // flight ends, which takes the time-out when the endpoint hangs.
        try {
            m_poster->setOwed(owedPostCount(ConnectionString(), ledger.owedFolder).value_or(0));
        } catch (const StoreError&) {
        }
    }

    switch (result.outcome) {
    case RecordOutcome::Stored: {
        storeAvailable();
        recovered(kRecordPhaseTag);
        ++m_summary.stored;
        CycleMetrics::instance().countFile(CycleMetrics::FileOutcome::Stored);
        Recording recording{true, QString(), QString()};
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
        storeAvailable();
        reportFinal(result.error->number, result.error->description,
                    QLatin1String(kRecordPhaseTag));
        ++m_summary.refused;
        CycleMetrics::instance().countFile(CycleMetrics::FileOutcome::Refused);
        return {true, QString(), QString()};
    case RecordOutcome::Unreachable:
        return storeUnavailable(*result.error, WaitReason::Database);
    case RecordOutcome::LedgerRefused:
        return storeUnavailable(*result.error, WaitReason::Ledger);
    case RecordOutcome::PostPending:
        storeAvailable();
        break;
    }
    return {false, WaitReason::Endpoint, QString()};
}

QString ProcessingCycle::recordDocumentsAlone(int fd, const QByteArray& bytes) {
    if (!m_outage.mayTry())
        return m_outage.reason();
    if (!identityHeldNow())
        return WaitReason::Database;
    try {
        const std::optional<PendingDocuments> documents =
            m_documents.prepare(std::nullopt, false, m_context.FileName, fd, bytes,
                                [this](const QString& line) { addLine(line); });
        if (!documents)
            return {};
        reportDocuments(m_documents.settle(*documents, false));
    } catch (const StoreError& error) {
        const StepFailure failure{error.number(),
                                  error.description() + QLatin1String(kDocumentsTag)};
        return storeUnavailable(failure, WaitReason::Database).waitFor;
    }
    storeAvailable();
    return {};
}

// The error rows of a file's documents: the database refusing them, or the
// row that says what the reader could not read, written with the rows.
void ProcessingCycle::reportDocuments(const SettledDocuments& settled) {
    if (settled.refused)
        record(*settled.refused, kDocumentsTag);
    if (settled.problemRow.isEmpty())
        return;
    ++m_summary.errorRows;
    CycleMetrics::instance().countErrorRow();
    Q_EMIT errorRecorded(settled.problemRow);
}

// One row per post that failed, the two records of a booking each on their
// own; a recovery row only for a record whose post went through after
// failing before.
void ProcessingCycle::reportPosts(const RecordResult& result) {
    for (const PostFailure& post : result.postErrors) {
        if (post.final)
            reportFinal(post.failure.number, post.failure.description, postFailureKey(post.pass));
        else
            report(post.failure.number, post.failure.description, postFailureKey(post.pass));
    }
    for (int pass : result.postedPasses)
        recovered(postFailureKey(pass), kXmlPostTag);
}

ProcessingCycle::Recording ProcessingCycle::storeUnavailable(const StepFailure& failure,
                                                             const QString& reason) {
    m_outage.failed(reason);
    if (m_reports.shouldWrite(kOutageKey, QLatin1String(kRecordPhaseTag), failure.number))
        writeErrorRow(failure.number, failure.description);
    return {false, reason, QString()};
}

void ProcessingCycle::storeAvailable() {
    if (!m_outage.ended())
        return;
    m_deferred.release(WaitReason::Database);
    m_deferred.release(WaitReason::Ledger);
    const int failures = m_reports.succeeded(kOutageKey, QLatin1String(kRecordPhaseTag));
    if (failures > 0)
        writeErrorRow(0, recoveredText(failures, QLatin1String(kRecordPhaseTag)));
}

bool ProcessingCycle::fileAway(const QByteArray& name, const QByteArray& path,
                               const QString& fingerprint, bool recorded, const QByteArray* whole) {
    if (changedSinceRead(path, fingerprint, whole))
        return false;
    // The copy's folder entry is flushed before its original is deleted:
    // during a drain once for a batch of copies, with a pause before each
    // file for each.
    const BackupCopy copy =
        copyIntoBackup(path, QFile::encodeName(backupDateFolder(m_options.settings)), name);
    if (const auto failure = copy.failure) {
        record(*failure, "[FileCopy]");
        // Without a backup copy the file is not deleted; it is tried again later.
        m_deferred.defer(name, fingerprint, recorded, WaitReason::BackupCopy);
        return false;
    }
    recovered("[FileCopy]");
    if (copy.filedAs != name)
        addLine(m_context.FileName + QStringLiteral(" filed as ") + shownFileName(copy.filedAs) +
                QStringLiteral("\r\n"));
    crashPoint("after-copy");
    m_copied.append({name, path, fingerprint, recorded, whole ? *whole : QByteArray(),
                     whole != nullptr, m_context.FileName});
    if (m_options.settings.settlesPerFile() || m_copied.size() >= kCopyBatch)
        deleteCopied();
    return true;
}

// The folder entries of the copies made since the last batch are flushed,
// then their originals deleted. A crash before the flush leaves the
// originals, which the ledger knows, and they are filed again; nothing is
// deleted before its copy is on disk.
void ProcessingCycle::deleteCopied() {
    if (m_copied.isEmpty())
        return;
    const QString current = m_context.FileName;
    syncBackupFolder(QFile::encodeName(backupDateFolder(m_options.settings)));
    for (const CopiedFile& file : std::as_const(m_copied)) {
        m_context.FileName = file.shownName;
        if (changedSinceRead(file.path, file.fingerprint, file.readWhole ? &file.bytes : nullptr))
            continue;
        if (const auto failure = removeFile(file.path)) {
            record(*failure, "[Kill]");
            m_deferred.defer(file.name, file.fingerprint, file.recorded, WaitReason::Delete);
            continue;
        }
        recovered("[Kill]");
        m_deferred.forget(file.name);
        m_writes.forget(file.name);
        // Another file under this name later is another file.
        m_reports.forgetFile(file.shownName);
    }
    m_copied.clear();
    m_context.FileName = current;
}

// A writer that replaced or rewrote the file after it was read: the name now
// holds what nobody has read, so it is neither copied nor deleted. The next
// listing meets it as a file still being written and reads it again. A file
// whose time or inode moved but whose bytes are the ones read (touched, or
// its time restored by a backup tool) is the file just recorded.
bool ProcessingCycle::changedSinceRead(const QByteArray& path, const QString& fingerprint,
                                       const QByteArray* whole) {
    if (fileFingerprint(path) == fingerprint)
        return false;
    // Only then are the bytes compared, by their digests.
    if (whole && contentDigest(path, kShowLimit) ==
                     QCryptographicHash::hash(*whole, QCryptographicHash::Sha256))
        return false;
    addLine(m_context.FileName +
            QStringLiteral(" changed after it was read; it is read again\r\n"));
    return true;
}

void ProcessingCycle::countWaitingFiles() {
    const QByteArray down = QFile::encodeName(m_options.settings.MirDownPath);
    QHash<QByteArray, QString> reasons = m_deferred.reasons();
    for (const QByteArray& name : m_writes.heldBack()) {
        if (!reasons.contains(name))
            reasons.insert(name, WaitReason::Writer);
    }
    for (auto it = reasons.cbegin(); it != reasons.cend(); ++it) {
        struct stat info {};
        if (::lstat(QByteArray(down + it.key()).constData(), &info) == 0)
            ++m_summary.waiting[it.value()];
    }
}
