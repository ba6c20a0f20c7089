#include "currency.h"

#include <limits>

namespace {

constexpr qint64 kScale = 10000;

// Magnitude as text with exactly four decimals; works for the most negative value too.
QString magnitudeText(qint64 units) {
    const quint64 magnitude =
        units < 0 ? quint64(0) - static_cast<quint64>(units) : static_cast<quint64>(units);
    return QString::number(magnitude / kScale) + QLatin1Char('.') +
           QString::number(magnitude % kScale).rightJustified(4, QLatin1Char('0'));
}

} // namespace

std::optional<Currency> Currency::fromWhole(qint64 whole) {
    qint64 units = 0;
    if (__builtin_mul_overflow(whole, kScale, &units))
        return std::nullopt;
    return Currency(units);
}

std::optional<Currency> Currency::fromText(const QString& text) {
    const QString t = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) {
        negative = t[i] == QLatin1Char('-');
        ++i;
    }
    // Accumulate the magnitude in ten-thousandths as unsigned, with room for
    // the most negative value.
    const quint64 limit = negative ? quint64(std::numeric_limits<qint64>::max()) + 1
                                   : quint64(std::numeric_limits<qint64>::max());
    quint64 magnitude = 0;
    int digits = 0;
    int decimals = -1; // -1 while before the full stop
    bool roundUp = false;
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c == QLatin1Char('.') && decimals < 0) {
            decimals = 0;
            continue;
        }
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        ++digits;
        const unsigned d = c.unicode() - u'0';
        if (decimals >= 4) {
            if (decimals == 4)
                roundUp = d >= 5;
            ++decimals;
            continue;
        }
        if (magnitude > (limit - d) / 10)
            return std::nullopt;
        magnitude = magnitude * 10 + d;
        if (decimals >= 0)
            ++decimals;
    }
    if (digits == 0)
        return std::nullopt;
    for (int k = decimals < 0 ? 0 : decimals; k < 4; ++k) {
        if (magnitude > limit / 10)
            return std::nullopt;
        magnitude *= 10;
    }
    if (roundUp) {
        if (magnitude == limit)
            return std::nullopt;
        ++magnitude;
    }
    const qint64 units =
        negative ? static_cast<qint64>(quint64(0) - magnitude) : static_cast<qint64>(magnitude);
    return Currency(units);
}

QString Currency::toCanonicalText() const {
    return (m_units < 0 ? QStringLiteral("-") : QString()) + magnitudeText(m_units);
}

QString Currency::toPlainText() const {
    QString text = toCanonicalText();
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}
