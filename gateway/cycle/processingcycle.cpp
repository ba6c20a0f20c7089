#include "processingcycle.h"

#include "backupcopy.h"
#include "changewatch.h"
#include "clock.h"
#include "com/classregistry.h"
#include "downloadlisting.h"
#include "fileops.h"
#include "httppost.h"
#include "interpreter.h"
#include "logstamp.h"
#include "mirdocuments.h"
#include "runchecks.h"
#include "shownname.h"
#include "trappederror.h"

#include <QFile>

#include <cerrno>
#include <unistd.h>

namespace {

constexpr int kAttempts = 5;
constexpr qint64 kInterpretLimit = 65536;  // files this size or larger are filed uninterpreted
constexpr int kIncompleteLimit = 5;
constexpr qint64 kOnceWriterWaitMs = 60000; // how long --once waits for files still being written
constexpr qint64 kRelistMs = 250; // the age of a listing a drain lists the folder again at

} // namespace

ProcessingCycle::ProcessingCycle(const Options& options, QObject* parent)
    : QObject(parent), m_options(options),
      m_events({[this](const QString& line) { Q_EMIT logLine(line); },
                [this](const QString& message) { Q_EMIT errorRecorded(message); },
                [this](const QString& message) { Q_EMIT errorNotStored(message); },
                [this](int count) { Q_EMIT postsOwedChanged(count); },
                [this](const QString& why) { Q_EMIT runRefused(why); }}),
      m_rows(m_events), m_deferred(options.deferRetry),
      m_writes(std::chrono::milliseconds(qRound64(options.settleMs * options.pauseScale))),
      m_recorder(m_options.settings, {options.httpTimeoutMs, options.deferRetry}, m_context, m_stop,
                 m_rows, m_events, m_deferred),
      m_foreign(options.settings.MirDownPath, m_rows, m_events),
      m_filing(m_rows, m_deferred, m_writes, m_events) {}

ProcessingCycle::~ProcessingCycle() = default;

bool ProcessingCycle::pauseMs(int milliseconds) const {
    return m_stop.pause(static_cast<int>(milliseconds * m_options.pauseScale));
}

void ProcessingCycle::setFolderState(const QString& text) {
    if (m_folderState == text)
        return;
    m_folderState = text;
    Q_EMIT folderStateChanged(text);
}

void ProcessingCycle::run() {
    // The HTTP object lives on this thread; an abort request cuts a post short.
    XmlHttpPost http(m_options.httpTimeoutMs, [this] { return m_stop.isAbortRequested(); });
    m_http = &http;
    m_logLines = 0;
    m_events.startRun();
    if (m_recorder.start()) {
        if (const int removed = removeStalePartialCopies(
                QFile::encodeName(m_options.settings.MirBackupPath), std::chrono::hours(24)))
            addLine(QStringLiteral("Removed %1 partial backup copies older than a day\r\n")
                        .arg(removed));
        // Armed by each pass before it lists the folder.
        ChangeWatch watch(m_options.settings.MirDownPath);
        runPasses(watch);
        fileBatch();
    }
    const int owed = m_recorder.finish(m_options.once && !m_stop.isStopRequested());
    m_summary = m_events.summary();
    m_summary.postsOwed = owed;
    m_summary.refusedToRun = m_recorder.refusal();
    m_summary.waiting =
        m_deferred.stillWaiting(QFile::encodeName(m_options.settings.MirDownPath), m_writes);
    m_http = nullptr;
    Q_EMIT finished();
}

void ProcessingCycle::runPasses(ChangeWatch& watch) {
    const QString down = m_options.settings.MirDownPath;
    std::optional<WriteWatch::Clock::time_point> writersWaitStart; // --once only
    for (;;) {
        setFolderState(QString());
        if (m_stop.isStopRequested())
            return;

        // First listing. The watch is made again first, so that nothing that
        // arrives after the listing goes unnoticed.
        DownloadListing listing;
        int failures = 0;
        for (;;) {
            Q_EMIT alive();
            m_recorder.keepIdentity();
            watch.rearm();
            listing = listDownloadFolder(down);
            if (listing.ok()) {
                setFolderState(QString());
                Q_EMIT folderListed();
                m_foreign.report(listing, m_recorder.keepsForeignEntries());
                break;
            }
            if (listing.failure.number == kBadFileNameOrNumber) {
                setFolderState(unreachableDownloadMessage(down));
                if (m_options.once) {
                    Q_EMIT errorRecorded(unreachableDownloadMessage(down));
                    return;
                }
                if (!pauseMs(2000))
                    return;
                continue;
            }
            if (++failures >= kAttempts) {
                failed(listing.failure, "[1st Dir]");
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
                fileBatch();
                return;
            }
            Q_EMIT alive();
            m_recorder.keepIdentity();
            bool relist = m_options.settings.settlesPerFile() || listed.hasExpired(kRelistMs);
            if (!relist) {
                // A name of an older listing that is gone meanwhile is passed over.
                current = nextEntry(listing.names, index);
                while (!current.isEmpty() && isGone(QFile::encodeName(down), current))
                    current = nextEntry(listing.names, index);
                // The loop ends only at a fresh listing that offers nothing:
                // a file put back (read incomplete, changed) is taken again.
                relist = current.isEmpty();
            }
            if (relist) {
                fileBatch(); // a fresh listing must not offer them again
                listing = listDownloadFolder(down);
                listed.restart();
                // An unreachable folder is the pass loop's business (its state and retry).
                if (listing.ok())
                    m_foreign.report(listing, m_recorder.keepsForeignEntries());
                else if (listing.failure.number != kBadFileNameOrNumber)
                    failed(listing.failure, "[2nd Dir]");
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
                setFolderState(unreachableDownloadMessage(down));
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
        if (isCandidate(name) && lookAtFile(m_writes, name, down + name))
            wait = std::max(wait, m_writes.untilSettled(name));
    }
    if (wait <= WriteWatch::Clock::duration{})
        return true;
    return m_stop.pause(int(std::chrono::ceil<std::chrono::milliseconds>(wait).count()));
}

ProcessingCycle::FileEnd ProcessingCycle::processFile(const QByteArray& name) {
    const QByteArray path = QFile::encodeName(m_options.settings.MirDownPath) + name;

    // 1. The pause before each file, with a look on either side, or the
    // listing's one settle time before it: a file that changed is still
    // being written and waits, with no error row, until it has settled. A
    // stop here leaves the file untouched.
    if (m_options.settings.settlesPerFile()) {
        if (!lookAtFile(m_writes, name, path))
            return FileEnd::Done;
        if (!pauseMs(1000))
            return FileEnd::Abandoned;
    }
    if (!lookAtFile(m_writes, name, path) || !m_writes.settled(name))
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

    // 4. Open for reading, never creating, up to five attempts; the file in
    // hand is looked up once, before it is read.
    FileInHand file;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        file = openFileInHand(path);
        if (file.isOpen()) {
            recovered("[OpenTextFile]");
            break;
        }
        const StepFailure failure = stepFailureFromErrno(errno);
        if (attempt == kAttempts) {
            failed(failure, "[OpenTextFile]");
        } else if (!pauseMs(2000)) {
            return FileEnd::Abandoned;
        }
    }

    // 5. Show it. An unopened file is shown by its path when that still works.
    const ReadResult read = readForShowing(file, path, kCycleReadLimit);
    const std::optional<StepFailure> pending = read.failure;
    Q_EMIT fileShown(shownText(read.bytes));

    // 6. Look it up and clear its read-only attribute, up to five attempts.
    FileLookup lookup;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        lookup = lookUpAndClearReadOnly(path, file);
        if (!lookup.failure)
            break;
    }
    if (lookup.failure) {
        failed(*lookup.failure, "[fso.GetFile]");
        lookup.size = read.bytes.size();
    }
    // What the file was when it was read; a later change of its time or
    // inode alone does not make it another file when it was read whole.
    const QString fingerprint = file.isOpen() ? file.fingerprint() : fileFingerprint(path);
    const bool recordedBefore = m_deferred.wasRecorded(name, fingerprint);
    const bool readWhole = file.isOpen() && !read.failure && !lookup.failure &&
                           read.bytes.size() == lookup.size && lookup.size < kCycleReadLimit;
    const QByteArray* whole = readWhole ? &read.bytes : nullptr;

    // 7-8. Interpret and record.
    FileRecording outcome;
    if (file.isOpen() && !read.failure && lookup.size < kInterpretLimit && !recordedBefore) {
        outcome = recordFile(name, file, read.bytes);
        if (outcome.readAgain) {
            // Back to the folder: read again from a fresh listing.
            ::close(file.fd);
            pauseMs(1000);
            return FileEnd::Done;
        }
    }
    const bool recorded = recordedBefore || outcome.recording.recorded;
    const bool interpreted = outcome.interpreted;
    std::optional<WaitReason> waitFor = outcome.recording.waitFor;

    // A MIR the interpreter did not take still tells of its documents.
    if (!interpreted && !recordedBefore && whole && !waitFor && mir::documents::isMirRecord(*whole))
        waitFor = m_recorder.recordDocuments(file, *whole);

    // 9. An error of the earlier steps still pending.
    if (pending)
        failed(*pending, "[ReadLine]");

    // 10. Close.
    if (file.isOpen() && ::close(file.fd) != 0)
        failed(stepFailureFromErrno(errno), "[FileClose]");

    if (waitFor) {
        // Not stored yet, or a post still owed: the file stays in the download
        // folder and is tried again later; the ledger knows what is done.
        // Behind an outage it waits for the next probe with the others.
        const StoreOutage& outage = m_recorder.outage();
        if (outage.isDown() && *waitFor == outage.reason())
            m_deferred.holdUntil(name, fingerprint, *waitFor, outage.nextProbe());
        else
            m_deferred.defer(name, fingerprint, false, *waitFor);
        return FileEnd::Done;
    }

    // 11. File it away.
    if (!fileAway(name, path, fingerprint, recorded, whole, !interpreted && !recordedBefore))
        return FileEnd::Done;
    if (!outcome.recording.knownAs.isEmpty())
        addLine(m_context.FileName + QStringLiteral(" was already recorded as ") +
                outcome.recording.knownAs + QStringLiteral("; filed\r\n"));
    return FileEnd::Done;
}

// Interprets the file's text and stores its booking; a text still being
// written (incomplete, not yet read six times) is read again later.
ProcessingCycle::FileRecording ProcessingCycle::recordFile(const QByteArray& name,
                                                           const FileInHand& file,
                                                           const QByteArray& bytes) {
    FileRecording outcome;
    // The booking's objects are activated with one look at the class registry.
    const com::RegistrySnapshot registry;
    try {
        const mir::Interpretation interpretation = mir::interpretMir(bytes);
        // An empty file, or a lone byte, is most likely one whose writer
        // has not begun: it is given the time of an incomplete one.
        const mir::Verdict verdict =
            interpretation.verdict == mir::Verdict::NotMir && bytes.size() < 2
                ? mir::Verdict::Incomplete
                : interpretation.verdict;
        switch (verdict) {
        case mir::Verdict::NotMir:
            break;
        case mir::Verdict::Incomplete:
            // Counted for this file while it stays as it is: one that
            // changes meanwhile is still being written and starts again.
            outcome.readAgain = m_writes.countIncomplete(name) <= kIncompleteLimit;
            break;
        case mir::Verdict::Interpreted:
            outcome.recording = m_recorder.record(interpretation, file, bytes, *m_http);
            outcome.interpreted = true;
            break;
        }
    } catch (const std::exception& error) {
        // The object model could not be activated: nothing was stored, so the
        // file stays in the download folder and is tried again later, when the
        // library may be registered again.
        outcome.recording.waitFor = WaitReason::ObjectModel;
        failed({ErrorNumber::InternalError, QString::fromUtf8(error.what())}, kRecordPhaseTag);
    }
    return outcome;
}

bool ProcessingCycle::fileAway(const QByteArray& name, const QByteArray& path,
                               const QString& fingerprint, bool recorded, const QByteArray* whole,
                               bool uninterpreted) {
    if (!m_filing.stillAsRead(m_context.FileName, path, fingerprint, whole))
        return false;
    // Filed in a batch: during a drain up to kBatch files, whenever the folder
    // is listed again and when the drain ends or stops; with a pause before
    // each file, each on its own.
    m_filing.add({name, path, m_context.FileName, fingerprint, recorded, whole != nullptr,
                  whole ? *whole : QByteArray(), uninterpreted});
    if (m_options.settings.settlesPerFile() || m_filing.isFull())
        fileBatch();
    return true;
}

void ProcessingCycle::fileBatch() {
    if (m_filing.isEmpty()) {
        m_recorder.endSharedVersions();
        return;
    }
    // No file leaves the folder before its version is on disk.
    if (!m_recorder.makeCommitsDurable()) {
        m_filing.putBack();
        return;
    }
    m_filing.flush(QFile::encodeName(backupDateFolder(m_options.settings)));
}
