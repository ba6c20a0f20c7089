#include "decimaltext.h"

#include <QList>

namespace mir::documents {

namespace {

constexpr int kMostDecimals = 4;
constexpr qsizetype kMostDigits = 18; // the sum of a few such values fits 64 bits

int decimalsOf(const QString& text) {
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    return point < 0 ? 0 : static_cast<int>(text.size() - point - 1);
}

// The value times 10^decimals as a whole number.
std::optional<qint64> scaled(const QString& text, int decimals) {
    QString digits = text;
    const bool negative = digits.startsWith(QLatin1Char('-'));
    if (negative)
        digits.remove(0, 1);
    const int own = decimalsOf(digits);
    digits.remove(QLatin1Char('.'));
    digits.append(QString(decimals - own, QLatin1Char('0')));
    if (digits.size() > kMostDigits)
        return std::nullopt;
    bool ok = false;
    const qint64 value = digits.toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return negative ? -value : value;
}

} // namespace

std::optional<QString> decimalField(QStringView field) {
    const QStringView text = field.trimmed();
    if (text.isEmpty())
        return QString();
    qsizetype i = 0;
    if (text[0] == u'-')
        ++i;
    const qsizetype firstDigit = i;
    while (i < text.size() && text[i].isDigit() && text[i].unicode() < 128)
        ++i;
    if (i == firstDigit)
        return std::nullopt;
    if (i < text.size() && text[i] == u'.') {
        const qsizetype point = i++;
        while (i < text.size() && text[i].isDigit() && text[i].unicode() < 128)
            ++i;
        if (i == point + 1 || i - point - 1 > kMostDecimals)
            return std::nullopt;
    }
    if (i != text.size() || text.size() > kMostDigits + 2)
        return std::nullopt;
    return text.toString();
}

std::optional<QString> impliedDecimalField(QStringView field, int decimals) {
    const QStringView text = field.trimmed();
    if (text.isEmpty())
        return QString();
    if (decimals < 0 || decimals > kMostDecimals || text.size() > kMostDigits)
        return std::nullopt;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    QString digits = text.toString().rightJustified(decimals + 1, u'0');
    if (decimals > 0)
        digits.insert(digits.size() - decimals, QLatin1Char('.'));
    // Leading zeros of the whole part go; one stays before the point.
    while (digits.size() > 1 && digits[0] == u'0' && digits[1] != u'.')
        digits.remove(0, 1);
    return digits;
}

std::optional<QString> decimalSum(const QList<QString>& amounts) {
    int decimals = 0;
    for (const QString& amount : amounts)
        decimals = qMax(decimals, decimalsOf(amount));
    qint64 sum = 0;
    for (const QString& amount : amounts) {
        const std::optional<qint64> value = scaled(amount, decimals);
        if (!value || qAddOverflow(sum, *value, &sum))
            return std::nullopt;
    }
    const bool negative = sum < 0;
    QString digits = QString::number(negative ? -sum : sum).rightJustified(decimals + 1, u'0');
    if (decimals > 0)
        digits.insert(digits.size() - decimals, QLatin1Char('.'));
    return negative ? QLatin1Char('-') + digits : digits;
}

} // namespace mir::documents
