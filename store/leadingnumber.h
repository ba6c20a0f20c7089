#pragma once

#include "currency.h"

#include <QString>
#include <QStringView>

// The leading number of a text, as the writers read amounts and indexes out
// of the booking's texts: blanks, tabs and line feeds anywhere in the text
// are removed, then the longest prefix that reads as a decimal number
// (optional sign, digits, at most one full stop) counts; the rest is ignored.
// "1250.00ABC" gives 1250, a text without a leading number gives 0.

// The longest prefix of `text` that reads as a decimal number, as it stands
// ("-12.5" of "-12.5kg"); empty when there is none. Nothing is removed first.
QString numericPrefix(QStringView text);
// The value of such a prefix in double precision; 0 for the empty text.
double numericPrefixValue(const QString& prefix);

// The number prefix after removing blanks, tabs and line feeds; empty when none.
QString leadingNumberText(const QString& text);

// Its value in double precision (0 when there is none).
double leadingNumber(const QString& text);

// Its value as a currency amount, converted from the decimal text without
// passing through floating point. Throws StoreError (overflow) when the
// number is too large for a currency amount.
Currency leadingNumberCurrency(const QString& text);

// Plain decimal text of a double: no exponent, no grouping, no trailing zeros
// after the full stop ("1000", "2.5").
QString plainDecimal(double value);
