#pragma once

#include <QMetaType>
#include <QString>

#include <optional>

// A fixed-point currency amount with four decimal places, held as a 64-bit
// count of ten-thousandths, so that amounts never pass through binary
// floating point on their way into or out of the database.
class Currency {
public:
    constexpr Currency() = default;
    static constexpr Currency fromUnits(qint64 tenThousandths) { return Currency(tenThousandths); }
    static std::optional<Currency> fromWhole(qint64 whole);

    // Reads a decimal text as a database converts it into a currency column:
    // blanks around it are allowed, then an optional sign, digits and at most
    // one full stop; a fifth and further decimal places round half away from
    // zero. Anything else, or a value out of range, gives nothing.
    static std::optional<Currency> fromText(const QString& text);

    constexpr qint64 units() const { return m_units; }

    // Exactly four decimal places, no grouping: "1250.0000", "-0.5000".
    // This is the form the SQLite schema stores.
    QString toCanonicalText() const;
    // Plain decimal form: integer digits, and the significant decimals only
    // when the amount is not whole: "0", "1250", "997.5", "-0.0001".
    QString toPlainText() const;

    friend constexpr bool operator==(Currency, Currency) = default;

private:
    constexpr explicit Currency(qint64 units) : m_units(units) {}
    qint64 m_units = 0;
};

Q_DECLARE_METATYPE(Currency)
