#pragma once

#include "filecontext.h"

#include <QString>

#include <functional>

class XmlHttpPost;

// Codes of the error log for posts that never got an answer to judge.
inline constexpr qint32 kXmlPostFailed = 9998;      // no connection, refused, timed out, aborted
inline constexpr qint32 kXmlDocumentInvalid = 9997; // the booking XML text does not load
inline constexpr qint32 kXmlHttpStatus = 9996;      // an answer whose HTTP status is not 2xx

// Whether the booking reached the endpoint.
enum class PostDelivery {
    Acknowledged, // a 2xx answer starting "RECLOC"
    Refused,      // the endpoint refused it (a 4xx status, "<ERROR>...", an answer not
                  // understood) or the document cannot be sent: posting again cannot help
    Undelivered,  // no answer, or a status that says the endpoint could not take it now
                  // (5xx and the rest): posting again later may succeed
    Aborted,      // cut short by a stop request
};

struct PostOutcome {
    PostDelivery delivery = PostDelivery::Acknowledged;
    QString answer;         // the answer text ("" when none came)
    qint32 errorNumber = 0; // the error to log, 0 for none
    QString errorText;      // its text, the step's tag included
};

// Posts the booking of one record pass: builds the booking XML text into
// context.XmlText, checks that it loads, POSTs it, judges the answer and
// hands the List1 line to `addLine`. The error row is the caller's to write.
// Never throws: every failure ends only this post.
PostOutcome postBooking(FileContext& context, const QString& xmlDns, XmlHttpPost& http,
                        const std::function<void(const QString&)>& addLine);
