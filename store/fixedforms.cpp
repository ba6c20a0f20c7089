#include "fixedforms.h"

namespace {
QString twoDigits(int value) {
    return QString::number(value).rightJustified(2, QLatin1Char('0'));
}
} // namespace

QString dateTextMdy(const QDate& date) {
    return twoDigits(date.month()) + QLatin1Char('-') + twoDigits(date.day()) + QLatin1Char('-') +
           QString::number(date.year()).rightJustified(4, QLatin1Char('0'));
}

QString timeTextHms(const QTime& time) {
    return twoDigits(time.hour()) + QLatin1Char(':') + twoDigits(time.minute()) + QLatin1Char(':') +
           twoDigits(time.second());
}

QString dateTextYymmdd(const QDate& date) {
    return QString::number(date.year()).rightJustified(2, QLatin1Char('0')).right(2) +
           twoDigits(date.month()) + twoDigits(date.day());
}
