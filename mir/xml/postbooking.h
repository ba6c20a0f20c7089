#pragma once

#include "filecontext.h"

#include <QString>

#include <functional>
#include <optional>

class XmlHttpPost;

// The tag of a post's error rows.
inline constexpr char kXmlPostTag[] = "[XmlPost]";

// The failure key of the post of one record of a booking ("[XmlPost]2"), so
// that the two posts of a booking of two records are told apart.
QString postFailureKey(int pass);

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

// Builds the booking XML text of one record pass into context.XmlText and
// checks that it loads. When it does not, the outcome of its post (refused
// with 9997, never sent) comes back, and its log line went to `addLine`.
std::optional<PostOutcome> prepareBookingXml(FileContext& context, const QString& xmlDns,
                                             const std::function<void(const QString&)>& addLine);

// What a post needs once its text is made: the text, the file it came from
// (for the log line) and its record ("TPEK4T/001", for the error rows).
struct BookingPost {
    QString xmlText;
    QString fileName;
    QString recordKey;
};

// POSTs a booking XML text that loads, judges the answer and hands the log
// line to `addLine`. The error row is the caller's to write. Never throws:
// every failure ends only this post.
PostOutcome sendBookingXml(const BookingPost& post, const QString& xmlDns, XmlHttpPost& http,
                           const std::function<void(const QString&)>& addLine);

// Both of the above for one record pass.
PostOutcome postBooking(FileContext& context, const QString& xmlDns, XmlHttpPost& http,
                        const std::function<void(const QString&)>& addLine);

// "TPEK4T/001": which record a post is about.
QString recordKey(const FileContext& context);
