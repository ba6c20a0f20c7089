#pragma once

#include "documentrecorder.h"
#include "filecontext.h"
#include "gatewaysettings.h"
#include "korvaclient.h"
#include "recordledger.h"
#include "stepfailure.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class XmlHttpPost;
enum class PostDelivery;

// The tags under which the record phase's errors are logged.
inline constexpr char kRecordPhaseTag[] = "[RecordPhase]";

enum class RecordOutcome {
    Stored,        // every record stored (or found stored) and posted as the switches say
    Unreachable,   // the database could not be reached: what was not committed is done
                   // again later, so the file waits
    Refused,       // the database or the booking's data refused a record: it was rolled
                   // back, and the file is filed away like any failing booking
    PostPending,   // a post the booking still needs did not reach the endpoint (the only
                   // delivery while database writes are off, or one cut short by a
                   // stop): the file waits
    LedgerRefused, // the ledger of recorded files refused to note a version or its post:
                   // what it could not note is done again later, so the file waits
};

// A post that did not go through.
struct PostFailure {
    int pass = 1;        // which record of the booking
    StepFailure failure; // its number and text, the record's key and the tag included
    bool final = false;  // the booking is filed without this post ever going through
};

// How the posts of stored records go: not at all (the export is off), each
// waited for before the file is filed (database writes off, or a database
// that keeps no owed posts or no ledger), or owed to the poster.
enum class PostMode { Off, Wait, Owe };

struct RecordResult {
    RecordOutcome outcome = RecordOutcome::Stored;
    std::optional<StepFailure> error; // what kept it from Stored, its tag included
    QList<PostFailure> postErrors;    // each post that did not go through
    QList<int> postedPasses;          // the records whose post was acknowledged
    bool storedNew = false;           // a version was stored (or posted) now, not found stored
    int postsOwed = 0;                // posts left owed to the poster (owedposter.h)
    // How the file's documents went in its first version's transaction;
    // nothing when no version was written with them.
    std::optional<WriteApart> documents;
};

// What the ledger of recorded files says about the file; `file` is empty
// when the database has no ledger.
struct LedgerView {
    std::optional<FileIdentity> file;
    QList<RecordedPass> recorded;
    std::optional<QString> lastSerial; // the record locator's, read with the ledger's look-up
    const PendingDocuments* documents = nullptr; // written with the first version
    PostMode postMode = PostMode::Off;
};

// Counts a post in the metrics: acknowledged, refused, or failed (no answer,
// or cut short by a stop).
void countPostDelivery(PostDelivery delivery);

// Stores one interpreted booking as one or two records (the second for the
// hand-entered tickets of a booking ticketed through the GDS). Each record is
// one transaction: the serial number, UP_Header, UP_Segment, upPax, the
// status update and the ledger row are committed together or not at all.
// The post follows the commit, when XML_FG is "1", or is owed: its text is
// committed with the record and the poster delivers it. A record the ledger
// already holds is not stored again: only a post it still owes is made, or
// owed.
// Nothing is written to the error log here; errors come back in the result.
RecordResult runRecordPhase(const korva::Pnr& pnr, FileContext& context,
                            const GatewaySettings& settings, XmlHttpPost& http,
                            const LedgerView& ledger,
                            const std::function<void(const QString&)>& addLine);
