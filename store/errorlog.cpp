#include "errorlog.h"

#include "clock.h"
#include "connectionstring.h"
#include "fixedforms.h"
#include "rowappender.h"

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

void LogError(const QString& source, qint32 code, const QString& text) {
    try {
        NewRow row(QStringLiteral("AMERROR"));
        // Two readings of the clock, as the date and the time are taken apart.
        row.set(QStringLiteral("DATE_1"), dateTextMdy(currentClock().now().date()));
        row.set(QStringLiteral("TIME_1"), timeTextHms(currentClock().now().time()));
        row.set(QStringLiteral("MESSAGE"), errorLogMessage(source, code, text));
        appendRow(ConnectionString(), row);
    } catch (...) {
        // The error log is the last resort: it reports nothing to its caller.
    }
}
