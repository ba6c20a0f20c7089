#include "postbooking.h"

#include "answerjudgement.h"
#include "bookingxml.h"
#include "clock.h"
#include "errorlog.h"
#include "httppost.h"
#include "logstamp.h"

PostOutcome postBooking(FileContext& context, const QString& xmlDns, XmlHttpPost& http,
                        const std::function<void(const QString&)>& addLine) {
    context.XmlText = bookingXmlText(context, xmlDns);
    QString why;
    if (!bookingXmlLoads(context.XmlText, &why)) {
        // Never post an empty body in place of a document that does not load.
        const QString logged = logTrappedError(context.FileName, kXmlDocumentInvalid,
                                               QStringLiteral("Booking XML does not load: ") + why +
                                                   QStringLiteral("[XmlPost]"));
        addLine(QStringLiteral("Xml Invalid:") + context.FileName + QLatin1Char(':') +
                logStampText(currentClock().now()) + QStringLiteral("\r\n"));
        return {QString(), logged};
    }

    // The body is the booking XML text itself: it loaded, so it is what the
    // loaded document holds.
    const HttpPostResult result = http.post(bookingPostUrl(xmlDns), context.XmlText.toUtf8());
    if (!result.answered) {
        const QString logged = logTrappedError(context.FileName, kXmlPostFailed,
                                               result.failure + QStringLiteral("[XmlPost]"));
        addLine(QStringLiteral("Xml Post Failed:") + context.FileName + QLatin1Char(':') +
                logStampText(currentClock().now()) + QLatin1Char('-') + result.failure +
                QStringLiteral("\r\n"));
        return {QString(), logged};
    }

    const AnswerJudgement judgement =
        judgeXmlAnswer(result.answer, context.FileName, currentClock().now());
    addLine(judgement.listLine);
    if (judgement.errorCode == 0)
        return {result.answer, QString()};
    return {result.answer,
            logTrappedError(context.FileName, judgement.errorCode, judgement.errorText)};
}
