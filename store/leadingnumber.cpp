#include "leadingnumber.h"

#include "storeerror.h"

using namespace Qt::StringLiterals;

QString numericPrefix(QStringView text) {
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    bool point = false;
    qsizetype end = 0; // the prefix ends after the last digit read
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'.' && !point) {
            point = true;
            continue;
        }
        if (c < u'0' || c > u'9')
            break;
        end = i + 1;
    }
    return text.left(end).toString();
}

QString leadingNumberText(const QString& text) {
    QString compact = text;
    compact.remove(u' ');
    compact.remove(u'\t');
    compact.remove(u'\n');
    return numericPrefix(compact);
}

double numericPrefixValue(const QString& prefix) {
    // QString::toDouble reads the C form whatever the locale.
    return prefix.isEmpty() ? 0.0 : prefix.toDouble();
}

double leadingNumber(const QString& text) {
    return numericPrefixValue(leadingNumberText(text));
}

Currency leadingNumberCurrency(const QString& text) {
    const QString prefix = leadingNumberText(text);
    if (prefix.isEmpty())
        return Currency();
    const std::optional<Currency> amount = Currency::fromText(prefix);
    if (!amount)
        throw StoreError(StoreError::kOverflow, "Overflow"_L1);
    return *amount;
}

QString plainDecimal(double value) {
    QString text = QString::number(value, 'f', 15);
    if (text.contains(u'.')) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
    }
    if (text == "-0"_L1)
        return u"0"_s;
    return text;
}
