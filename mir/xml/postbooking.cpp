#include "postbooking.h"

#include "answerjudgement.h"
#include "bookingxml.h"
#include "clock.h"
#include "httppost.h"
#include "logstamp.h"

namespace {

const QLatin1String kTag(kXmlPostTag);

QString lineEnd(const QString& prefix, const QString& fileName, const QString& detail) {
    return prefix + fileName + QLatin1Char(':') + logStampText(currentClock().now()) + detail +
           QStringLiteral("\r\n");
}

} // namespace

QString postFailureKey(int pass) {
    return kTag + QString::number(pass);
}

// Which record a failure is about, so that the two posts of a booking of
// two records each show in the error log as their own.
QString recordKey(const FileContext& context) {
    return context.RecordLocator + QLatin1Char('/') + context.SerialNumber;
}

std::optional<PostOutcome> prepareBookingXml(FileContext& context, const QString& xmlDns,
                                             const std::function<void(const QString&)>& addLine) {
    context.XmlText = bookingXmlText(context, xmlDns);
    QString why;
    if (bookingXmlLoads(context.XmlText, &why))
        return std::nullopt;
    // Never post an empty body in place of a document that does not load.
    addLine(lineEnd(QStringLiteral("Xml Invalid:"), context.FileName, QString()));
    return PostOutcome{PostDelivery::Refused, QString(), kXmlDocumentInvalid,
                       QStringLiteral("Booking XML of %1 does not load: ").arg(recordKey(context)) +
                           why + kTag};
}

PostOutcome postBooking(FileContext& context, const QString& xmlDns, XmlHttpPost& http,
                        const std::function<void(const QString&)>& addLine) {
    if (std::optional<PostOutcome> invalid = prepareBookingXml(context, xmlDns, addLine))
        return *invalid;
    return sendBookingXml({context.XmlText, context.FileName, recordKey(context)}, xmlDns, http,
                          addLine);
}

PostOutcome sendBookingXml(const BookingPost& post, const QString& xmlDns, XmlHttpPost& http,
                           const std::function<void(const QString&)>& addLine) {
    // The body is the booking XML text itself: it loaded, so it is what the
    // loaded document holds.
    const HttpPostResult result = http.post(bookingPostUrl(xmlDns), post.xmlText.toUtf8());
    if (!result.answered) {
        addLine(lineEnd(QStringLiteral("Xml Post Failed:"), post.fileName,
                        QLatin1Char('-') + result.failure));
        return {result.aborted ? PostDelivery::Aborted : PostDelivery::Undelivered, QString(),
                kXmlPostFailed,
                QStringLiteral("Post of %1: ").arg(post.recordKey) + result.failure + kTag};
    }
    if (result.status < 200 || result.status > 299) {
        // Whatever the body says, the endpoint did not take the booking.
        const QString status = QStringLiteral("HTTP status %1").arg(result.status);
        addLine(
            lineEnd(QStringLiteral("Xml Post Failed:"), post.fileName, QLatin1Char('-') + status));
        const bool refused = result.status >= 400 && result.status <= 499;
        return {refused ? PostDelivery::Refused : PostDelivery::Undelivered, result.answer,
                kXmlHttpStatus,
                QStringLiteral("Post of %1: ").arg(post.recordKey) + status + QStringLiteral(": ") +
                    result.answer.left(160) + kTag};
    }

    const AnswerJudgement judgement =
        judgeXmlAnswer(result.answer, post.fileName, currentClock().now());
    addLine(judgement.listLine);
    if (judgement.errorCode == 0)
        return {PostDelivery::Acknowledged, result.answer, 0, QString()};
    return {PostDelivery::Refused, result.answer, judgement.errorCode, judgement.errorText};
}
