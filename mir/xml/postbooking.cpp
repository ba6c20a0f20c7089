#include "postbooking.h"

#include "answerjudgement.h"
#include "bookingxml.h"
#include "clock.h"
#include "errorlog.h"
#include "httppost.h"
#include "lasterror.h"
#include "logstamp.h"

namespace {

void logFailure(const FileContext& context, qint32 code, const QString& text) {
    setLastError(code, text);
    LogError(context.FileName, code, text);
}

} // namespace

QString postBooking(FileContext& context, const QString& xmlDns, XmlHttpPost& http,
                    const std::function<void(const QString&)>& addLine) {
    context.XmlText = bookingXmlText(context, xmlDns);
    QString why;
    if (!bookingXmlLoads(context.XmlText, &why)) {
        // Never post an empty body in place of a document that does not load.
        logFailure(context, kXmlDocumentInvalid,
                   QStringLiteral("Booking XML does not load: ") + why +
                       QStringLiteral("[XmlPost]"));
        addLine(QStringLiteral("Xml Invalid:") + context.FileName + QLatin1Char(':') +
                logStampText(currentClock().now()) + QStringLiteral("\r\n"));
        return {};
    }

    // The body is the booking XML text itself: it loaded, so it is what the
    // loaded document holds.
    const HttpPostResult result = http.post(bookingPostUrl(xmlDns), context.XmlText.toUtf8());
    if (!result.answered) {
        logFailure(context, kXmlPostFailed, result.failure + QStringLiteral("[XmlPost]"));
        addLine(QStringLiteral("Xml Post Failed:") + context.FileName + QLatin1Char(':') +
                logStampText(currentClock().now()) + QLatin1Char('-') + result.failure +
                QStringLiteral("\r\n"));
        return {};
    }

    const AnswerJudgement judgement =
        judgeXmlAnswer(result.answer, context.FileName, currentClock().now());
    addLine(judgement.listLine);
    if (judgement.errorCode != 0)
        logFailure(context, judgement.errorCode, judgement.errorText);
    return result.answer;
}
