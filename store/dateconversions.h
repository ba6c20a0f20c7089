#pragma once

#include <QString>

// Conversions of the DDMMM dates of MIR records (two-digit day, three-letter
// English month, no year). Independent of the machine's locale.

// "JAN".."DEC" in any letter case -> "01".."12"; anything else -> "".
QString MonthToNumber(const QString& month);

// 1..12 -> "JAN".."DEC"; anything else -> three blanks.
QString NumberToMonth(qint16 month);

// The DDMMM date `days` days after (before, when negative) the given one, in the
// year 2000 + yy. Throws StoreError (13, "Type mismatch") when the day, month
// or year does not make a calendar date.
QString ShiftDayMonth(const QString& dayMonth, qint16 days, const QString& yy);
