#include "commands.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <cstring>

namespace {

const char* const kUsage =
    "Usage: kesto [COMMAND] [ARGUMENTS]\n"
    "\n"
    "Without a command, kesto starts the desktop gateway with its main window.\n"
    "\n"
    "Commands:\n"
    "  documents [--date YYYY-MM-DD] [--number N] [--json|--csv]\n"
    "                     the ticketing documents (tickets, EMDs) the MIR files\n"
    "                     named, each with its state and the events behind it\n"
    "  documents --import FOLDER...\n"
    "                     read archived MIR files (searched recursively) into the\n"
    "                     document tables only; files recorded before are skipped\n"
    "  init-db [FOLDER]   create PALVA.mdb in FOLDER (default: the data folder), or,\n"
    "                     with a Provider set in PALVA.INI, the tables on the server\n"
    "  init-db --upgrade [FOLDER]\n"
    "                     add what a database made by an earlier version lacks:\n"
    "                     the ledger of recorded files (AMFILE), the reported\n"
    "                     entries that are not files (AMFOREIGN), the unique key\n"
    "                     of a version (AMAMDK) and the document tables (KDOC...);\n"
    "                     nothing else is changed\n"
    "  parse FILE...      print how each MIR file is interpreted, as JSON lines\n"
    "  report daily [--date YYYY-MM-DD] [--json]\n"
    "                     per airline and currency: documents issued, voided and\n"
    "                     refunded on the day (default today), and the net\n"
    "  run [--once] [--metrics ADDR:PORT]\n"
    "                     run the processing cycle without a window: log lines on\n"
    "                     standard output, errors on standard error; SIGINT or\n"
    "                     SIGTERM stops it within 3 seconds (a second one at\n"
    "                     once); --once empties the download folder and exits;\n"
    "                     --metrics serves /metrics and /healthz over HTTP on\n"
    "                     ADDR:PORT for this run\n"
    "  setup [--data DIR] [--download DIR] [--backup DIR] [--amtemp N]\n"
    "                     save the folders and the AMTEMP choice (1-6) as the Setup\n"
    "                     button does; values not given stay as they are; without\n"
    "                     options, print the settings in force and their origin\n"
    "  setup --autostart on|off\n"
    "                     start the desktop gateway with the session, or no longer\n"
    "                     (alone or with the other options)\n"
    "  setup --settle listing|file\n"
    "                     one settle time for each listing of the download folder\n"
    "                     (default), or a pause before each file (alone or with the\n"
    "                     other options)\n"
    "  setup --metrics ADDR:PORT|off\n"
    "                     where the processing cycle serves its metrics over HTTP,\n"
    "                     or nowhere (off, the default; alone or with the other\n"
    "                     options)\n"
    "  setup --new-identity\n"
    "                     give this gateway an identity of its own among those that\n"
    "                     share its database (its settings store was copied from\n"
    "                     another gateway's)\n"
    "  status [--json]    the gateway's health for monitoring: 0 healthy, 1 degraded\n"
    "                     (a file waiting over 5 minutes, error rows in the last\n"
    "                     hour), 2 down (database, its ledger or folders unusable)\n"
    "  --help             show this text\n"
    "  --version          show the version\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 bad command line.\n";

int runCoreCommand(int argc, char** argv, int (*command)(const QStringList&)) {
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(2);
    return command(args);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("KESTO"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTO_VERSION));
    if (argc > 1) {
        const char* command = argv[1];
        if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(command, "--version") == 0) {
            std::printf("kesto %s\n", KESTO_VERSION);
            return 0;
        }
        if (std::strcmp(command, "documents") == 0)
            return runCoreCommand(argc, argv, runDocumentsCommand);
        if (std::strcmp(command, "init-db") == 0)
            return runCoreCommand(argc, argv, runInitDbCommand);
        if (std::strcmp(command, "parse") == 0)
            return runCoreCommand(argc, argv, runParseCommand);
        if (std::strcmp(command, "report") == 0)
            return runCoreCommand(argc, argv, runReportCommand);
        if (std::strcmp(command, "run") == 0)
            return runCoreCommand(argc, argv, runRunCommand);
        if (std::strcmp(command, "setup") == 0)
            return runCoreCommand(argc, argv, runSetupCommand);
        if (std::strcmp(command, "status") == 0)
            return runCoreCommand(argc, argv, runStatusCommand);
        if (command[0] != '-' || std::strcmp(command, "--") == 0) {
            std::fprintf(stderr, "kesto: unknown command '%s'\n\n%s", command, kUsage);
            return 2;
        }
    }
    return runDesktop(argc, argv);
}
