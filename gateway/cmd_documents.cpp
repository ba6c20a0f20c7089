#include "commandoutput.h"
#include "commands.h"
#include "documentsoutput.h"

#include "archiveimport.h"
#include "connectionstring.h"
#include "connectiontext.h"
#include "documentbook.h"
#include "documentledger.h"
#include "settingsloader.h"
#include "storeerror.h"
#include "storetables.h"
#include "threadconnection.h"

#include <QDate>
#include <QElapsedTimer>

#include <cstdio>
#include <unistd.h>

namespace {

const char kUsage[] = "usage: kesto documents [--date YYYY-MM-DD] [--number N] [--json|--csv]\n"
                      "       kesto documents --import FOLDER...\n";

struct Options {
    QString date;
    QString number;
    QString format; // "", "json", "csv"
    QStringList importFolders;
    QString error;
};

Options parse(const QStringList& args) {
    Options options;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1String("--date") && hasValue)
            options.date = args[++i];
        else if (arg == QLatin1String("--number") && hasValue)
            options.number = args[++i];
        else if (arg == QLatin1String("--json") || arg == QLatin1String("--csv"))
            options.format = arg.mid(2);
        else if (arg == QLatin1String("--import"))
            options.importFolders = args.mid(i + 1);
        else
            options.error = QStringLiteral("unexpected argument '%1'").arg(arg);
        if (!options.importFolders.isEmpty() || !options.error.isEmpty())
            break;
    }
    if (args.contains(QLatin1String("--import")) && options.importFolders.isEmpty())
        options.error = QStringLiteral("--import needs at least one folder");
    if (!options.date.isEmpty() && !QDate::fromString(options.date, Qt::ISODate).isValid())
        options.error = QStringLiteral("--date takes YYYY-MM-DD");
    return options;
}

int runImport(const QString& connectionText, const QStringList& folders) {
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    QElapsedTimer clock;
    clock.start();
    const ImportCounts counts = importArchive(connectionText, folders, [&](int done, int total) {
        if (terminal)
            std::fprintf(stderr, "\rread %d of %d files", done, total);
    });
    if (terminal)
        std::fputs("\n", stderr);
    const double seconds = qMax<qint64>(clock.elapsed(), 1) / 1000.0;
    printLine(stdout, QStringLiteral("%1 files: %2 imported (%3 read again), %4 recorded before, "
                                     "%5 not MIR files (%6 files/s)")
                          .arg(counts.files)
                          .arg(counts.imported)
                          .arg(counts.reread)
                          .arg(counts.known)
                          .arg(counts.notMir)
                          .arg(qRound(counts.files / seconds)));
    return 0;
}

int listDocuments(const QString& connectionText, const Options& options) {
    const QList<DocumentView> documents =
        documentViews(loadDocumentEvents(connectionText, {options.number, options.date}));
    if (options.format == QLatin1String("json"))
        std::fputs(documentsJson(documents).toUtf8().constData(), stdout);
    else if (options.format == QLatin1String("csv"))
        std::fputs(documentsCsv(documents).toUtf8().constData(), stdout);
    else
        std::fputs(documentsText(documents).toUtf8().constData(), stdout);
    return 0;
}

} // namespace

// kesto documents: the ticketing documents of the document ledger with their
// current state, or, with --import, the backfill of archived MIR files.
int runDocumentsCommand(const QStringList& args) {
    const Options options = parse(args);
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "kesto documents: %s\n%s", qPrintable(options.error), kUsage);
        return 2;
    }
    const QString text = connectionTextFor(loadGatewaySettings());
    setConnectionString(text);
    int status = 1;
    try {
        if (const DocumentTables tables = readStoreTables(text).documents;
            tables != DocumentTables::Current) {
            printLine(stderr, documentTablesNotice(tables));
        } else {
            status = options.importFolders.isEmpty() ? listDocuments(text, options)
                                                     : runImport(text, options.importFolders);
        }
    } catch (const StoreError& error) {
        printLine(stderr, QStringLiteral("kesto documents: %1 (error %2)")
                              .arg(error.description())
                              .arg(error.number()));
        status = 1;
    }
    closeThreadConnection(text);
    return status;
}
