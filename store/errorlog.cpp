#include "errorlog.h"

#include "clock.h"
#include "connectionstring.h"
#include "fixedforms.h"
#include "lasterror.h"
#include "rowappender.h"
#include "storeerror.h"
#include "threadconnection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>

namespace {
constexpr qsizetype kMessageLength = 255;

QMutex g_localLogMutex;
QString g_localLog;

void appendToLocalLog(const QString& date, const QString& time, const QString& message) {
    QMutexLocker lock(&g_localLogMutex);
    if (g_localLog.isEmpty())
        return;
    QDir().mkpath(QFileInfo(g_localLog).path());
    QFile file(g_localLog);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write((date + QLatin1Char(' ') + time + QLatin1Char(' ') + message).toUtf8() + '\n');
}

} // namespace

void setLocalErrorLog(const QString& path) {
    QMutexLocker lock(&g_localLogMutex);
    g_localLog = path;
}

QString errorLogMessage(const QString& source, qint32 code, const QString& text) {
    QString message =
        source + QStringLiteral("-->") + QString::number(code) + QLatin1Char(':') + text;
    // Cut by UTF-16 units, which every engine's 255 can hold; never split a
    // surrogate pair.
    if (message.size() > kMessageLength) {
        qsizetype keep = kMessageLength;
        if (message.at(keep - 1).isHighSurrogate())
            --keep;
        message.truncate(keep);
    }
    return message;
}

namespace {

bool tryAppend(QSqlDatabase& db, const NewRow& row) {
    try {
        appendRow(db, row);
        return true;
    } catch (const StoreError&) {
        return false;
    }
}

NewRow withoutColumn(const NewRow& row, const QString& left) {
    NewRow copy(row.table());
    for (qsizetype i = 0; i < row.columns().size(); ++i) {
        if (row.columns().at(i) != left)
            copy.set(row.columns().at(i), row.values().at(i));
    }
    return copy;
}

} // namespace

NewRow errorRow(const QString& source, qint32 code, const QString& text) {
    NewRow row(QStringLiteral("AMERROR"));
    // Two readings of the clock, as the date and the time are taken apart.
    row.set(QStringLiteral("DATE_1"), dateTextMdy(currentClock().now().date()));
    row.set(QStringLiteral("TIME_1"), timeTextHms(currentClock().now().time()));
    row.set(QStringLiteral("MESSAGE"), errorLogMessage(source, code, text));
    return row;
}

bool LogError(const QString& source, qint32 code, const QString& text) {
    const QString connectionText = ConnectionString();
    const NewRow row = errorRow(source, code, text);
    const QString date = row.values().at(0).toString();
    const QString time = row.values().at(1).toString();
    const QString message = row.values().at(2).toString();
    bool failed = false;
    bool stored = false;
    try {
        // No connection: nothing is written, and no retry waits on it again.
        QSqlDatabase db = threadConnection(connectionText);
        stored = tryAppend(db, row);
        if (!stored) {
            failed = true;
            // A column the table lacks, or a value it refuses: the row is
            // saved without that column.
            for (const QString& column : row.columns()) {
                if ((stored = tryAppend(db, withoutColumn(row, column))))
                    break;
            }
        }
    } catch (...) {
        // The error log is the last resort: it reports nothing to its caller.
    }
    if (failed) {
        // A connection that died is dropped, so that the next call reconnects.
        try {
            checkThreadConnection(connectionText);
        } catch (...) {
        }
    }
    if (!stored)
        appendToLocalLog(date, time, message);
    return stored;
}

LoggedError logTrappedError(const QString& source, qint32 number, const QString& text) {
    setLastError(number, text);
    const bool stored = LogError(source, number, text);
    clearLastError();
    return {errorLogMessage(source, number, text), stored};
}
