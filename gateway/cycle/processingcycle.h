#pragma once

#include "batchedfiling.h"
#include "bookingrecorder.h"
#include "deferredfiles.h"
#include "errorrows.h"
#include "filecontext.h"
#include "foreignentries.h"
#include "gatewaysettings.h"
#include "runevents.h"
#include "runsummary.h"
#include "stepfailure.h"
#include "stopsignal.h"
#include "writewatch.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <optional>

class ChangeWatch;
struct DownloadListing;
struct FileInHand;
class XmlHttpPost;

// The processing cycle: empties the download folder file by file, each file
// through its documented life (pause, open, show, look up, read, interpret,
// record, close, file into the dated backup folder), and waits for a
// change when the folder is empty. run() is plain sequential code on the
// thread that calls it (the window's worker thread, or the main thread of
// `kesto run`); that thread owns the cycle's database connection, its KORVA
// objects and its HTTP object. Everything it tells the outside world goes out
// as signals (queued to a window on another thread); the outside world talks
// back only through requestStop()/requestAbort(), which are thread-safe and
// end every pause and wait at once.
//
// The pass loop and a file's life are here; the parts they use each have one
// job: the bookings and all they need of the database (BookingRecorder), the
// entries that are not files (ForeignEntries), the filing of a batch of
// files into the backup folder (BatchedFiling), the error rows (ErrorRows)
// and what the run tells (RunEvents).
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
    void logLine(const QString& line);   // a line of the log of files, ending with CR LF
    void logCleared();                   // the log of files starts afresh (the 13th file)
    void fileShown(const QString& text); // the file being read, every CR as CR LF
    // Why the download folder cannot be reached, "" once it can.
    void folderStateChanged(const QString& text);
    void errorRecorded(const QString& message);  // a row for the error log
    void errorNotStored(const QString& message); // one the database could not take
    void runRefused(const QString& why);         // the run does not go on
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
    FileEnd processFile(const QByteArray& name);
    struct FileRecording {
        bool readAgain = false; // read incomplete: back to the folder, read again later
        bool interpreted = false;
        Recording recording;
    };
    FileRecording recordFile(const QByteArray& name, const FileInHand& file,
                             const QByteArray& bytes);
    // `whole`: the file's bytes as they were read, when it was read whole.
    bool fileAway(const QByteArray& name, const QByteArray& path, const QString& fingerprint,
                  bool recorded, const QByteArray* whole, bool uninterpreted);
    void fileBatch();
    void failed(const StepFailure& failure, const char* tag) {
        m_rows.failed(m_context.FileName, failure, tag);
    }
    void recovered(const char* tag) { m_rows.recovered(m_context.FileName, tag); }
    void setFolderState(const QString& text);
    bool pauseMs(int milliseconds) const;
    void addLine(const QString& line) { Q_EMIT logLine(line); }

    Options m_options;
    StopSignal m_stop;
    FileContext m_context;
    RunEvents m_events;
    ErrorRows m_rows;
    DeferredFiles m_deferred;
    WriteWatch m_writes;
    BookingRecorder m_recorder;
    ForeignEntries m_foreign;
    BatchedFiling m_filing;
    XmlHttpPost* m_http = nullptr;
    RunSummary m_summary;
    int m_logLines = 0;
    std::optional<QString> m_folderState;
};
