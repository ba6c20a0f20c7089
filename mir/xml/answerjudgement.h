#pragma once

#include <QDateTime>
#include <QString>

// What one answer of the endpoint means: the log line, and the error to log
// (code 0 when none).
struct AnswerJudgement {
    QString listLine; // ends with CR LF
    qint32 errorCode = 0;
    QString errorText;
};

inline constexpr qint32 kXmlAnswerError = 9000;   // the endpoint reported "<ERROR>..."
inline constexpr qint32 kXmlAnswerUnknown = 9999; // an answer neither "RECLOC" nor "<ERROR>"

// Judges the answer by its start (case-sensitive): "<ERROR>" logs characters
// 9 to 263 under 9000; "RECLOC" is success; anything else, an empty answer
// included, logs its first 255 characters under 9999.
AnswerJudgement judgeXmlAnswer(const QString& answer, const QString& fileName,
                               const QDateTime& when);
