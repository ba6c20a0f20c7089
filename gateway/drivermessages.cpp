#include "drivermessages.h"

#include "commandoutput.h"

#include <QString>
#include <QtGlobal>

namespace {

const char* g_commandName = "kesto";
QtMessageHandler g_previous = nullptr;

bool isDriverMessage(const QString& text) {
    return text.startsWith(QLatin1String("QODBC")) || text.startsWith(QLatin1String("QSQLITE")) ||
           text.startsWith(QLatin1String("qGetBinaryData"));
}

// Drivers that cannot give a static cursor or count rows fall back by themselves.
bool isHarmless(const QString& text) {
    return text.contains(QLatin1String("SQL_CURSOR_STATIC")) ||
           text.contains(QLatin1String("Unable to count affected rows")) ||
           text.contains(QLatin1String("lastInsertId"));
}

void handleMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtWarningMsg || !isDriverMessage(message)) {
        if (g_previous)
            g_previous(type, context, message);
        else
            printLine(stderr, qFormatLogMessage(type, context, message));
        return;
    }
    if (!isHarmless(message))
        printLine(stderr, QStringLiteral("%1: database driver: %2")
                              .arg(QLatin1String(g_commandName), message.simplified()));
}

} // namespace

void routeDriverMessages(const char* commandName) {
    g_commandName = commandName;
    g_previous = qInstallMessageHandler(handleMessage);
}
