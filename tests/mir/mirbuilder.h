#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// Builds MIR texts in the interpreter's form for tests.

// A line with each text placed at its 1-based column, blanks between.
inline QString placed(const QMap<int, QString>& fields) {
    QString line;
    for (auto it = fields.begin(); it != fields.end(); ++it) {
        const qsizetype end = it.key() - 1 + it.value().size();
        if (line.size() < end)
            line = line.leftJustified(end, QLatin1Char(' '));
        line.replace(it.key() - 1, it.value().size(), it.value());
    }
    return line;
}

// The text declared complete: the declared length (columns 11-15) is set to
// the text's length minus 1.
inline QString declaredComplete(QString text) {
    text.replace(10, 5, QString::number(text.size() - 1).rightJustified(5, QLatin1Char('0')));
    return text;
}

// A complete text: a 343-character header starting "T5" with the given fields,
// its CR, then every line followed by a CR.
inline QString mirText(QMap<int, QString> headerFields, const QStringList& lines) {
    headerFields.insert(1, QStringLiteral("T5"));
    QString text =
        placed(headerFields).leftJustified(343, QLatin1Char(' ')).left(343) + QLatin1Char('\r');
    for (const QString& line : lines)
        text += line + QLatin1Char('\r');
    return declaredComplete(text);
}
