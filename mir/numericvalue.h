#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace mir {

// The numeric value of a text as the MIR fields are read: blanks (spaces and
// tabs) anywhere are skipped, an optional sign may lead, then digits with at
// most one decimal point; reading stops at the first character that cannot
// continue the number, and a text without a leading number is 0. Exponents
// and radix prefixes are not numbers here. The value is kept as its decimal
// digits, so that a text of any length is read exactly and nothing overflows.
class NumericValue {
public:
    static NumericValue of(QStringView text);

    bool isZero() const { return m_integerDigits.isEmpty() && m_fractionDigits.isEmpty(); }

    // Decimal text of the value rounded to the nearest whole number, halves to
    // the even neighbour: no leading zeros, "-" for negatives, never "-0".
    QString roundedText() const;
    // The rounded value when it lies within the range of T, else nothing.
    std::optional<qint64> rounded64() const;
    std::optional<qint32> rounded32() const;
    std::optional<qint16> rounded16() const;
    // The exact value times 10^decimals when that is a whole number within
    // 64 bits, else nothing.
    std::optional<qint64> scaled(int decimals) const;

private:
    bool m_negative = false;
    QString m_integerDigits;  // without leading zeros
    QString m_fractionDigits; // without trailing zeros
};

} // namespace mir
