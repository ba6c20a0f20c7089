#pragma once

#include "documentrecorder.h"
#include "gatewaysettings.h"
#include "identityhold.h"
#include "recordphase.h"
#include "runsummary.h"
#include "storeoutage.h"
#include "storetables.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

class DeferredFiles;
class ErrorRows;
class OwedPoster;
class RunEvents;
class StopSignal;
class XmlHttpPost;
struct FileContext;
struct FileInHand;
namespace mir {
struct Interpretation;
}

// What became of a booking the cycle handed over.
struct Recording {
    bool recorded = false;             // stored, or refused for good: never recorded again
    std::optional<WaitReason> waitFor; // what the file waits for in the download folder
    QString knownAs; // the versions the ledger already held for the file, when it held every
                     // one: "TPEK4T/001"; "" otherwise
};

// Stores the bookings of the files the cycle reads, with all that goes with
// them on the database: the ledger of recorded files, the documents, the
// database's outage, the gateway's identity and the posts owed with their
// poster. Which of its tables the database has is read once, at the start of
// a run or when the database first answers, and decides the rest. Lives on
// the cycle's thread; the poster it starts runs on its own.
class BookingRecorder {
public:
    struct Options {
        int httpTimeoutMs = 30000;
        std::chrono::milliseconds firstRetry{30000};
    };

    // A run that finds its identity held by another live gateway requests
    // a stop on `stop`.
    BookingRecorder(GatewaySettings& settings, const Options& options, FileContext& context,
                    StopSignal& stop, ErrorRows& rows, RunEvents& events, DeferredFiles& deferred);
    ~BookingRecorder();

    // At the start of a run: what the database keeps, the gateway's identity
    // on it, and the poster when posts are owed. While the database cannot
    // say, files wait for it, and this is done again before the next one.
    // False when the run must not go on (refusal()).
    bool start();
    QString refusal() const { return m_refusal; }
    // Whether the database keeps the entries reported as not files.
    bool keepsForeignEntries() const { return m_tables && m_tables->foreignEntries; }

    // Stores an interpreted booking of the file in hand.
    Recording record(const mir::Interpretation& interpretation, const FileInHand& file,
                     const QByteArray& bytes, XmlHttpPost& http);
    // The documents of a MIR the interpreter did not take (incomplete after
    // its last reading, or too large), in a transaction of their own; what
    // the file waits for while the database cannot take them.
    std::optional<WaitReason> recordDocuments(const FileInHand& file, const QByteArray& bytes);

    // Makes the versions stored so far durable, before their files leave the
    // download folder: during a run that holds an identity the cycle commits
    // without waiting for the disk, and the identity's beat, written with a
    // wait, makes every earlier commit durable at once (groupcommit.h). False
    // when it did not: the files' versions must then be read again.
    bool makeCommitsDurable();
    // Ends the transaction that versions share (threadconnection.h) without
    // waiting for the disk, so that the cycle holds no lock while it waits.
    void endSharedVersions();
    // Says the run is alive; when another run has taken its identity meanwhile,
    // writes why and requests a stop.
    void keepIdentity();
    // At the end of the run: the poster ends, first delivering what is owed
    // when `deliverOwed`, and the identity is given up. The posts left owed.
    int finish(bool deliverOwed);

    const StoreOutage& outage() const { return m_outage; }

private:
    enum class Setup { Ready, Waiting, Refused };
    Setup setUp();
    void sayWhatIsMissing() const;
    // Whether the database is set up for bookings; a file waits for it when not.
    bool ready();
    std::optional<WaitReason> unavailable(const StepFailure& failure, WaitReason reason);
    void available();
    void reportPosts(const RecordResult& result);
    void reportDocuments(const SettledDocuments& settled);
    void startPoster();

    GatewaySettings& m_settings;
    Options m_options;
    FileContext& m_context;
    StopSignal& m_stop;
    ErrorRows& m_rows;
    RunEvents& m_events;
    DeferredFiles& m_deferred;
    std::optional<StoreTables> m_tables;
    bool m_ready = false;
    bool m_groupCommits = false; // commits wait for makeCommitsDurable()
    int m_owedUncommitted = 0; // posts owed by versions not yet committed
    QString m_refusal;
    PostMode m_postMode = PostMode::Off;
    IdentityHold m_identity;
    StoreOutage m_outage;
    std::unique_ptr<OwedPoster> m_poster;
    // The poster reads what is owed from the database: it is told once the
    // versions that owe it are committed.
    void tellPoster();
};
