#include "errorlog.h"

#include "clock.h"
#include "connectionstring.h"
#include "fixedforms.h"
#include "lasterror.h"
#include "rowappender.h"
#include "storeerror.h"
#include "threadconnection.h"

namespace {
constexpr qsizetype kMessageLength = 255;
} // namespace

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

void LogError(const QString& source, qint32 code, const QString& text) {
    const QString connectionText = ConnectionString();
    bool failed = false;
    try {
        NewRow row(QStringLiteral("AMERROR"));
        // Two readings of the clock, as the date and the time are taken apart.
        row.set(QStringLiteral("DATE_1"), dateTextMdy(currentClock().now().date()));
        row.set(QStringLiteral("TIME_1"), timeTextHms(currentClock().now().time()));
        row.set(QStringLiteral("MESSAGE"), errorLogMessage(source, code, text));
        // No connection: nothing is written, and no retry waits on it again.
        QSqlDatabase db = threadConnection(connectionText);
        if (!tryAppend(db, row)) {
            failed = true;
            // A column the table lacks, or a value it refuses: the row is
            // saved without that column.
            for (const QString& column : row.columns()) {
                if (tryAppend(db, withoutColumn(row, column)))
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
}

QString logTrappedError(const QString& source, qint32 number, const QString& text) {
    setLastError(number, text);
    LogError(source, number, text);
    clearLastError();
    return errorLogMessage(source, number, text);
}
