#include "sectionfields.h"

#include "columns.h"
#include "numericvalue.h"

namespace mir {

QString flightNumber(QStringView field) {
    const QStringView trimmed = trimBlanks(field);
    if (trimmed.size() >= 3)
        return field.toString();
    const QString padded = QStringLiteral("000") + trimmed;
    return padded.right(3);
}

QString conjunctionEnding(QStringView ticketNumber, QStringView countField) {
    // Both texts are at most two characters, so their values have at most one
    // decimal and are exact in tenths.
    const qint64 countTenths = NumericValue::of(countField).scaled(1).value_or(0);
    if (countTenths <= 10)
        return {};
    const qint64 endingTenths = NumericValue::of(ticketNumber.right(2)).scaled(1).value_or(0);
    // 100 + ending + count - 1, in tenths; always positive (the ending is at least -9).
    const qint64 lastTenths = 1000 + endingTenths + countTenths - 10;
    QString text = QString::number(lastTenths / 10);
    if (lastTenths % 10 != 0)
        text += QLatin1Char('.') + QString::number(lastTenths % 10);
    return text.right(2);
}

} // namespace mir
