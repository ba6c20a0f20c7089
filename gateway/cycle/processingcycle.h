#pragma once

#include "deferredfiles.h"
#include "documentrecorder.h"
#include "failurereports.h"
#include "filecontext.h"
#include "gatewaysettings.h"
#include "identityhold.h"
#include "runsummary.h"
#include "stepfailure.h"
#include "stopsignal.h"
#include "storeoutage.h"
#include "writewatch.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

class ChangeWatch;
class OwedPoster;
struct DownloadListing;
namespace mir {
struct Interpretation;
}
struct RecordResult;
struct ReportedEntry;
class XmlHttpPost;

// The processing cycle: empties the download folder file by file, each file
// through its documented life (pause, open, show, look up, read, interpret,
// record, close, copy to the dated backup folder, delete), and waits for a
// change when the folder is empty. run() is plain sequential code on the
// thread that calls it (the window's worker thread, or the main thread of
// `kesto run`); that thread owns the cycle's database connection, its KORVA
// objects and its HTTP object. Everything it tells the outside world goes out
// as signals (queued to a window on another thread); the outside world talks
// back only through requestStop()/requestAbort(), which are thread-safe and
// end every pause and wait at once.
//
// Run's checks, the dated backup folders and Open_DB come before run().
class ProcessingCycle : public QObject {
    Q_OBJECT

public:
    struct Options {
        GatewaySettings settings;
        bool once = false;         // end when the folder holds nothing more to do
        double pauseScale = 1.0;   // multiplies the 1- and 2-second pauses
        int rescanMs = 3000;       // the longest wait before a fresh listing
        int settleMs = 1000;       // how long a file must look the same before it is read; scaled
                                   // like the pauses
        int httpTimeoutMs = 30000; // the time-out of one XML post
        std::chrono::milliseconds deferRetry{30000}; // the first pause before a waiting file is
                                                     // tried again; it doubles up to 5 minutes
    };

    explicit ProcessingCycle(const Options& options, QObject* parent = nullptr);
    ~ProcessingCycle() override;

    // Runs until a stop is requested (or, with `once`, until nothing is left),
    // then emits finished().
    void run();

    // Thread-safe, signal-safe. Stop: end at the next check, cutting any pause
    // or wait short; a file in its record phase finishes it, a file not yet
    // read stays in the download folder. Abort: the same, and a post in
    // progress is cut short too (its file stays in the download folder, and
    // the next run posts it).
    void requestStop() { m_stop.requestStop(); }
    void requestAbort() { m_stop.requestAbort(); }

    // What the last run did; read it after run() returned.
    const RunSummary& summary() const { return m_summary; }

Q_SIGNALS:
    void logLine(const QString& line);   // a List1 line, ending with CR LF
    void logCleared();                   // List1 is cleared (the 13th file)
    void fileShown(const QString& text); // RichTextBox1's text: the file, every CR as CR LF
    void label4Changed(const QString& text);
    void errorRecorded(const QString& message);  // a row for the error log
    void errorNotStored(const QString& message); // one the database could not take
    void folderListed();              // the download folder was listed (the cycle is at work)
    void alive();                     // the cycle is not stuck: at each listing and after each file
    void postsOwedChanged(int count); // from the poster's thread
    void finished();

private:
    enum class FileEnd { Done, Abandoned };

    void runPasses(ChangeWatch& watch);
    QByteArray nextEntry(const QList<QByteArray>& names, qsizetype& index) const;
    bool isCandidate(const QByteArray& name) const;
    bool settleListing(const DownloadListing& listing);
    void reportForeignEntries(const DownloadListing& listing);
    bool reportedBefore(const ReportedEntry& entry);
    bool lookAtFile(const QByteArray& name, const QByteArray& path);
    FileEnd processFile(const QByteArray& name);
    struct Recording {
        bool recorded = false; // stored, or refused for good: never recorded again
        QString waitFor;       // what the file waits for in the download folder; "" none
        QString knownAs;       // the versions the ledger already held for the file, when it
                               // held every one: "TPEK4T/001"; "" otherwise
    };
    Recording recordBooking(const mir::Interpretation& interpretation, int fd,
                            const QByteArray& bytes);
    // The documents of a MIR the interpreter did not take (incomplete after
    // its last reading, or too large), in a transaction of their own. Returns
    // what the file waits for: the database, while it cannot be reached.
    QString recordDocumentsAlone(int fd, const QByteArray& bytes);
    void reportDocuments(const SettledDocuments& settled);
    // Whether the database has the ledger, read once; throws StoreError
    // while it cannot be read.
    bool ledgerInUse();
    // The folder under which posts are owed to the poster; "" when each post
    // is waited for. Throws StoreError while the database cannot say.
    QString owedFolder();
    // Claims the gateway's identity before any file or post, and starts the
    // poster once it holds it; false when the run must not go on (another
    // gateway holds it, or a stop came first). While the database cannot
    // say, it is claimed again before the next booking.
    bool holdIdentity();
    bool identityHeldNow();
    // Says the run is alive; stops it when another run took its identity.
    void keepIdentity();
    void startPoster();
    void finishPoster();
    // `whole`: the file's bytes as they were read, when it was read whole.
    bool fileAway(const QByteArray& name, const QByteArray& path, const QString& fingerprint,
                  bool recorded, const QByteArray* whole);
    bool changedSinceRead(const QByteArray& path, const QString& fingerprint,
                          const QByteArray* whole);
    void deleteCopied();
    void reportPosts(const RecordResult& result);
    // The database cannot take bookings now (unreachable, or its ledger
    // refusing): one row for the outage, not one per waiting file.
    Recording storeUnavailable(const StepFailure& failure, const QString& reason);
    void storeAvailable();
    void countWaitingFiles();
    // Error rows of a step of the current file, kept from flooding the log
    // (failurereports.h). `key` tells apart what the step's tag does not
    // (the two posts of a booking of two records); the tag is the row's.
    void record(const StepFailure& failure, const char* tag);
    void report(qint32 number, const QString& text, const QString& key);
    // A row that explains a final outcome: always written.
    void reportFinal(qint32 number, const QString& text, const QString& key);
    void recovered(const QString& key, const char* tag);
    void recovered(const char* tag) { recovered(QLatin1String(tag), tag); }
    void writeErrorRow(qint32 number, const QString& text) {
        writeErrorRow(m_context.FileName, number, text);
    }
    void writeErrorRow(const QString& source, qint32 number, const QString& text);
    void setLabel4(const QString& text);
    bool pauseMs(int milliseconds) const;
    void addLine(const QString& line) { Q_EMIT logLine(line); }

    Options m_options;
    StopSignal m_stop;
    FileContext m_context;
    DeferredFiles m_deferred;
    WriteWatch m_writes;
    QSet<QByteArray> m_foreignReported;  // foreign entries with their error row written
    std::optional<bool> m_reportedTable; // whether the database keeps reported entries
    FailureReports m_reports;
    StoreOutage m_outage;
    RunSummary m_summary;
    std::optional<bool> m_ledger; // whether the database has the ledger; unknown until read
    DocumentRecorder m_documents;
    IdentityHold m_identity;
    bool m_identityHeld = false;
    XmlHttpPost* m_http = nullptr;
    // Files copied into the backup whose folder entries are not flushed yet,
    // so not deleted yet.
    struct CopiedFile {
        QByteArray name;
        QByteArray path;
        QString fingerprint;
        bool recorded = false;
        QByteArray bytes; // as read, when read whole
        bool readWhole = false;
        QString shownName;
    };
    QList<CopiedFile> m_copied;
    std::optional<bool> m_owedTable; // whether the database keeps owed posts; unknown until read
    std::unique_ptr<OwedPoster> m_poster;
    int m_logLines = 0;
    std::optional<QString> m_label4;
};
