#include "inlinedvalues.h"

namespace {

bool appendLiteral(QString& text, const QVariant& value) {
    if (value.isNull()) {
        text += QLatin1String("NULL");
        return true;
    }
    switch (value.typeId()) {
    case QMetaType::QString: {
        const QString& string = *static_cast<const QString*>(value.constData());
        if (string.isNull()) {
            text += QLatin1String("NULL");
            return true;
        }
        if (string.contains(QLatin1Char('\\')) || string.contains(QChar(0)))
            return false;
        text += QLatin1Char('\'');
        if (string.contains(QLatin1Char('\'')))
            text += QString(string).replace(QLatin1Char('\''), QLatin1String("''"));
        else
            text += string;
        text += QLatin1Char('\'');
        return true;
    }
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: {
        const QString digits = value.toString();
        // In parentheses, a negative number never joins a '-' before it
        // into the start of a comment.
        if (digits.startsWith(QLatin1Char('-')))
            text += QLatin1Char('(') + digits + QLatin1Char(')');
        else
            text += digits;
        return true;
    }
    default:
        return false;
    }
}

} // namespace

std::optional<QString> withValuesInlined(const QString& sql, const QVariantList& values) {
    QString text;
    text.reserve(sql.size() + values.size() * 12);
    qsizetype next = 0;
    qsizetype copiedTo = 0;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        if (sql[i] != QLatin1Char('?'))
            continue;
        text += QStringView(sql).sliced(copiedTo, i - copiedTo);
        copiedTo = i + 1;
        if (next == values.size() || !appendLiteral(text, values[next++]))
            return std::nullopt;
    }
    if (next != values.size())
        return std::nullopt;
    text += QStringView(sql).sliced(copiedTo);
    return text;
}
