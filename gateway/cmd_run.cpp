#include "commandoutput.h"
#include "commands.h"
#include "drivermessages.h"

#include "errorlog.h"
#include "instanceguard.h"
#include "korvaclient.h"
#include "lasterror.h"
#include "logstamp.h"
#include "metricsendpoint.h"
#include "opendb.h"
#include "processingcycle.h"
#include "programfolder.h"
#include "runchecks.h"
#include "servicenotify.h"
#include "settingsloader.h"

#include <QCoreApplication>
#include <QTextStream>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <optional>
#include <unistd.h>

// kesto run [--once] [--metrics ADDR:PORT]: the processing cycle without a
// window, for servers and scripts, with its metrics endpoint where the
// settings store or --metrics says. Log lines go to standard output, errors to standard error.
// SIGINT or SIGTERM stops it after the current file, cutting a post in progress short, and within 3
// seconds whatever it waits for; a second one ends it at once. A version cut off that way was never
// committed: the database rolls it back, and the ledger lets the next start store it again.
namespace {

std::atomic<ProcessingCycle*> g_cycle{nullptr};
volatile std::sig_atomic_t g_stopSignals = 0;
// The stop bound: what is still running this long after the signal ends.
constexpr unsigned kStopBoundSeconds = 3;
const char kUsage[] = "usage: kesto run [--once] [--metrics ADDR:PORT]\n";

void endAtOnce(const char* message, std::size_t length) {
    (void)!::write(STDERR_FILENO, message, length);
    ::_exit(1);
}

extern "C" void onStopSignal(int) {
    ProcessingCycle* cycle = g_cycle.load();
    if (cycle == nullptr)
        return;
    if (g_stopSignals != 0) {
        static const char message[] = "kesto run: ended at once by a second stop signal\n";
        endAtOnce(message, sizeof message - 1);
    }
    const int savedErrno = errno;
    g_stopSignals = 1;
    cycle->requestAbort();
    ::alarm(kStopBoundSeconds);
    errno = savedErrno;
}

extern "C" void onStopOverdue(int) {
    static const char message[] =
        "kesto run: the current file did not finish within 3 seconds of the stop signal (a "
        "database call does not return); ended without it\n";
    endAtOnce(message, sizeof message - 1);
}

// One English line after the system's own message of a failed check: what
// to do about it.
void printHint(const QString& hint) {
    printLine(stderr, QStringLiteral("kesto run: ") + hint);
}

QString mdbMissingHint(const GatewaySettings& settings) {
    if (settings.isSqlMode())
        return QStringLiteral(
            "the data folder must hold a file PALVA.mdb even when PALVA.INI names a "
            "server: put one there, or choose another data folder with "
            "kesto setup --data DIR");
    return QStringLiteral("create the database with kesto init-db, or choose the folder that holds "
                          "PALVA.mdb with kesto setup --data DIR");
}

// The object model is needed for every booking; without it the files wait.
void checkObjectModel() {
    try {
        korva::Pnr::create();
    } catch (const korva::Error& error) {
        printHint(QStringLiteral("the object model cannot be activated (%1); MIR files wait in the "
                                 "download folder until it is registered")
                      .arg(QString::fromUtf8(error.what())));
    }
}

} // namespace

int runRunCommand(const QStringList& args) {
    bool once = false;
    std::optional<QString> metricsOption;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == QLatin1String("--once")) {
            once = true;
        } else if (arg == QLatin1String("--metrics") && i + 1 < args.size()) {
            metricsOption = args.at(++i);
        } else {
            std::fprintf(stderr, "kesto run: unexpected argument '%s'\n%s", qPrintable(arg),
                         kUsage);
            return 2;
        }
    }
    if (metricsOption && !MetricsAddress::parse(*metricsOption)) {
        std::fprintf(stderr, "kesto run: --metrics takes ADDR:PORT, not '%s'\n%s",
                     qPrintable(*metricsOption), kUsage);
        return 2;
    }

    routeDriverMessages("kesto run");
    GatewaySettings settings = loadGatewaySettings();
    if (metricsOption)
        settings.MirMetrics = *metricsOption;
    InstanceGuard instances;
    if (!instances.claimInstanceTitle(instanceTitle(settings))) {
        printLine(stderr,
                  QStringLiteral("kesto run: %1 is already running").arg(instanceTitle(settings)));
        return 1;
    }

    // Run's checks. Without an operator to ask, a missing backup folder is
    // made, as the OK answer of the window's question does.
    if (!dataFolderHoldsMdb(settings.MirDataSource)) {
        printLine(stderr, mdbMissingMessage(settings.MirDataSource));
        printHint(mdbMissingHint(settings));
        return 1;
    }
    if (!folderExists(settings.MirDownPath)) {
        printLine(stderr, downloadMissingMessage(settings.MirDownPath));
        printHint(QStringLiteral("create the folder (mkdir -p %1), or choose another with kesto "
                                 "setup --download DIR")
                      .arg(settings.MirDownPath));
        return 1;
    }
    if (!folderExists(settings.MirBackupPath)) {
        if (const auto failure = createBackupFolder(settings.MirBackupPath)) {
            printLine(stderr, QString::number(failure->number) + QLatin1Char(':') +
                                  failure->description + QStringLiteral("[RunCmd_Click]"));
            return 1;
        }
    }
    if (const auto failure = createBackupDateFolders(settings)) {
        printLine(stderr, QString::number(failure->number) + QLatin1Char(':') +
                              failure->description + QStringLiteral("[RunCmd_Click]"));
        return 1;
    }
    if (!Open_DB(settings).ok) {
        printLine(stderr, QString::number(lastErrorNumber()) + QLatin1Char(':') + lastErrorText());
        return 1;
    }

    checkObjectModel();

    MetricsEndpoint metrics(settings);
    if (!settings.MirMetrics.isEmpty()) {
        const std::optional<MetricsAddress> address = MetricsAddress::parse(settings.MirMetrics);
        const QString failure =
            address ? metrics.start(*address) : QStringLiteral("not an ADDR:PORT");
        if (!failure.isEmpty()) {
            printLine(stderr, QStringLiteral("kesto run: the metrics endpoint cannot listen on "
                                             "%1: %2")
                                  .arg(settings.MirMetrics, failure));
            return 1;
        }
        printLine(
            stdout,
            QStringLiteral("kesto run: metrics on http://%1/metrics").arg(settings.MirMetrics));
    }

    ProcessingCycle::Options options;
    options.settings = settings;
    options.once = once;
    options.pauseScale = pauseScaleFromEnvironment();
    // A scale above 0 shortens the retry of waiting files too; at 0 they keep
    // theirs, as a file retried without any pause would be tried in a loop.
    if (options.pauseScale > 0)
        options.deferRetry = std::max(
            std::chrono::milliseconds(100),
            std::chrono::milliseconds(qRound64(options.deferRetry.count() * options.pauseScale)));
    setLocalErrorLog(localErrorLogPath());
    ProcessingCycle cycle(options);
    QObject::connect(&cycle, &ProcessingCycle::logLine,
                     [](const QString& line) { printLine(stdout, withoutLineEnd(line)); });
    QObject::connect(&cycle, &ProcessingCycle::errorRecorded,
                     [](const QString& message) { printLine(stderr, message); });
    bool folderUnreachable = false;
    QObject::connect(&cycle, &ProcessingCycle::folderStateChanged,
                     [&folderUnreachable](const QString& text) {
                         folderUnreachable = !text.isEmpty();
                         if (folderUnreachable)
                             printLine(stderr, text);
                     });

    // Under systemd (Type=notify): ready after the first listing, a watchdog
    // fed by the cycle, stopping when it ends.
    ServiceNotifier service;
    QObject::connect(&cycle, &ProcessingCycle::folderListed, [&service] { service.ready(); });
    QObject::connect(&cycle, &ProcessingCycle::alive, [&service] { service.alive(); });

    g_cycle = &cycle;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    struct sigaction overdue {};
    overdue.sa_handler = onStopOverdue;
    sigemptyset(&overdue.sa_mask);
    sigaction(SIGALRM, &overdue, nullptr);

    cycle.run();

    service.stopping();
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    g_cycle = nullptr;
    ::alarm(0);
    const RunSummary& summary = cycle.summary();
    if (!summary.refusedToRun.isEmpty()) {
        printLine(stderr, QStringLiteral("kesto run: ") + summary.refusedToRun);
        return 1;
    }
    printLine(stdout, QStringLiteral("kesto run: ") + summary.text());
    // --once fails when it could not finish: a folder it cannot reach, a
    // file left waiting for something that is missing, or a post left owed.
    return once && (folderUnreachable || summary.leftWaiting()) ? 1 : 0;
}
