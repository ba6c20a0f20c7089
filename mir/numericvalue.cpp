#include "numericvalue.h"

#include <limits>

namespace mir {

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}
bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Adds one to a text of decimal digits.
QString incremented(QString digits) {
    for (qsizetype i = digits.size() - 1; i >= 0; --i) {
        if (digits[i] != u'9') {
            digits[i] = QChar(digits[i].unicode() + 1);
            return digits;
        }
        digits[i] = u'0';
    }
    return QLatin1Char('1') + digits;
}

template <class T> std::optional<T> narrowed(std::optional<qint64> value) {
    if (!value || *value < std::numeric_limits<T>::min() || *value > std::numeric_limits<T>::max())
        return std::nullopt;
    return static_cast<T>(*value);
}

} // namespace

NumericValue NumericValue::of(QStringView text) {
    NumericValue value;
    qsizetype i = 0;
    const auto skipBlanks = [&] {
        while (i < text.size() && isBlank(text[i]))
            ++i;
    };
    skipBlanks();
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        value.m_negative = text[i] == u'-';
        ++i;
    }
    bool inFraction = false;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (isBlank(c))
            continue;
        if (c == u'.' && !inFraction) {
            inFraction = true;
        } else if (!isDigit(c)) {
            break;
        } else if (inFraction) {
            value.m_fractionDigits.append(c);
        } else if (c != u'0' || !value.m_integerDigits.isEmpty()) {
            value.m_integerDigits.append(c);
        }
    }
    while (value.m_fractionDigits.endsWith(u'0'))
        value.m_fractionDigits.chop(1);
    if (value.isZero())
        value.m_negative = false;
    return value;
}

QString NumericValue::roundedText() const {
    QString whole = m_integerDigits;
    if (!m_fractionDigits.isEmpty()) {
        const QChar first = m_fractionDigits.front();
        const bool beyondHalf = first > u'5' || (first == u'5' && m_fractionDigits.size() > 1);
        const bool exactlyHalf = first == u'5' && m_fractionDigits.size() == 1;
        const bool wholeIsOdd = !whole.isEmpty() && (whole.back().unicode() - u'0') % 2 == 1;
        if (beyondHalf || (exactlyHalf && wholeIsOdd))
            whole = incremented(whole);
    }
    if (whole.isEmpty())
        return QStringLiteral("0");
    return m_negative ? QLatin1Char('-') + whole : whole;
}

std::optional<qint64> NumericValue::rounded64() const {
    bool ok = false;
    const qint64 value = roundedText().toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

std::optional<qint32> NumericValue::rounded32() const {
    return narrowed<qint32>(rounded64());
}

std::optional<qint16> NumericValue::rounded16() const {
    return narrowed<qint16>(rounded64());
}

std::optional<qint64> NumericValue::scaled(int decimals) const {
    if (isZero())
        return 0;
    if (m_fractionDigits.size() > decimals)
        return std::nullopt;
    QString digits = m_integerDigits + m_fractionDigits +
                     QString(decimals - m_fractionDigits.size(), QLatin1Char('0'));
    if (m_negative)
        digits.prepend(QLatin1Char('-'));
    bool ok = false;
    const qint64 value = digits.toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

} // namespace mir
