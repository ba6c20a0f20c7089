#include "dateconversions.h"

#include "storeerror.h"

#include <QDate>

#include <array>

namespace {

constexpr std::array<const char*, 12> kMonths = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                 "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

// A run of one to `maxDigits` decimal digits, surrounding blanks allowed, as a number.
bool readNumber(const QString& text, int maxDigits, int* value) {
    const QString digits = text.trimmed();
    if (digits.isEmpty() || digits.size() > maxDigits)
        return false;
    for (QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    *value = digits.toInt();
    return true;
}

[[noreturn]] void typeMismatch() {
    throw StoreError(StoreError::kTypeMismatch, QStringLiteral("Type mismatch"));
}

} // namespace

QString MonthToNumber(const QString& month) {
    const QString upper = month.toUpper();
    for (std::size_t i = 0; i < kMonths.size(); ++i) {
        if (upper == QLatin1String(kMonths[i]))
            return QStringLiteral("%1").arg(i + 1, 2, 10, QLatin1Char('0'));
    }
    return QString();
}

QString NumberToMonth(qint16 month) {
    if (month < 1 || month > 12)
        return QStringLiteral("   ");
    return QLatin1String(kMonths[static_cast<std::size_t>(month - 1)]);
}

QString ShiftDayMonth(const QString& dayMonth, qint16 days, const QString& yy) {
    int day = 0;
    int month = 0;
    int year = 0;
    if (!readNumber(dayMonth.left(2), 2, &day) ||
        !readNumber(MonthToNumber(dayMonth.mid(2, 3)), 2, &month) || yy.trimmed().size() != 2 ||
        !readNumber(yy, 2, &year))
        typeMismatch();
    const QDate date(2000 + year, month, day);
    if (!date.isValid())
        typeMismatch();
    const QDate shifted = date.addDays(days);
    return QStringLiteral("%1").arg(shifted.day(), 2, 10, QLatin1Char('0')) +
           NumberToMonth(static_cast<qint16>(shifted.month()));
}
