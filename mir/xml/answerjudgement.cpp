#include "answerjudgement.h"

#include "logstamp.h"

namespace {
const QString kCrLf = QStringLiteral("\r\n");
} // namespace

AnswerJudgement judgeXmlAnswer(const QString& answer, const QString& fileName,
                               const QDateTime& when) {
    const QString stamp = logStampText(when);
    AnswerJudgement judgement;
    if (answer.startsWith(QLatin1String("<ERROR>"))) {
        judgement.listLine = QStringLiteral("Xml Error:") + fileName + QLatin1Char(':') + stamp +
                             QLatin1Char('-') + answer + kCrLf;
        judgement.errorCode = kXmlAnswerError;
        // The marker and the one character after it are not part of the message.
        judgement.errorText = answer.mid(8, 255);
    } else if (answer.startsWith(QLatin1String("RECLOC"))) {
        judgement.listLine =
            QStringLiteral("Xml OK:") + fileName + QLatin1Char(':') + stamp + kCrLf;
    } else {
        judgement.listLine =
            QStringLiteral("Xml Unknown Error:") + fileName + QLatin1Char(':') + stamp + kCrLf;
        judgement.errorCode = kXmlAnswerUnknown;
        judgement.errorText = answer.left(255);
    }
    return judgement;
}
