#include "commandoutput.h"
#include "commands.h"

#include "connectionstring.h"
#include "connectiontext.h"
#include "dailyreport.h"
#include "documentbook.h"
#include "documentledger.h"
#include "settingsloader.h"
#include "storeerror.h"
#include "storetables.h"
#include "threadconnection.h"

#include <QDate>

#include <cstdio>

namespace {

const char kUsage[] = "usage: kesto report daily [--date YYYY-MM-DD] [--json]\n";

} // namespace

// kesto report daily: per airline and currency, the documents issued, voided
// and refunded on a day (today by default) and the net.
int runReportCommand(const QStringList& args) {
    QString day = QDate::currentDate().toString(Qt::ISODate);
    bool json = false;
    bool ok = !args.isEmpty() && args.first() == QLatin1String("daily");
    for (qsizetype i = 1; ok && i < args.size(); ++i) {
        if (args[i] == QLatin1String("--json"))
            json = true;
        else if (args[i] == QLatin1String("--date") && i + 1 < args.size())
            day = args[++i];
        else
            ok = false;
    }
    if (!ok || !QDate::fromString(day, Qt::ISODate).isValid()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const QString text = connectionTextFor(loadGatewaySettings());
    setConnectionString(text);
    int status = 0;
    try {
        if (const DocumentTables tables = readStoreTables(text).documents;
            tables != DocumentTables::Current) {
            printLine(stderr, documentTablesNotice(tables));
            status = 1;
        } else {
            const QList<DailyLine> lines =
                dailyReport(documentViews(loadDocumentEvents(text, {QString(), day})), day);
            const QString out = json ? dailyReportJson(lines, day) : dailyReportText(lines, day);
            std::fputs(out.toUtf8().constData(), stdout);
        }
    } catch (const StoreError& error) {
        printLine(stderr, QStringLiteral("kesto report: %1 (error %2)")
                              .arg(error.description())
                              .arg(error.number()));
        status = 1;
    }
    closeThreadConnection(text);
    return status;
}
