#pragma once

#include "filecontext.h"

#include <QString>

#include <functional>

class XmlHttpPost;

// Codes of the error log for posts that never got an answer to judge.
inline constexpr qint32 kXmlPostFailed = 9998;      // no connection, refused, timed out, aborted
inline constexpr qint32 kXmlDocumentInvalid = 9997; // the booking XML text does not load

struct PostOutcome {
    QString answer;        // the answer text ("" when none came)
    QString loggedMessage; // the error log's MESSAGE when the post wrote a row
};

// Posts the booking of one record pass: builds the booking XML text into
// context.XmlText, checks that it loads, POSTs it, judges the answer, hands
// the List1 line to `addLine` and writes the error row. Never throws: every
// failure ends only this post.
PostOutcome postBooking(FileContext& context, const QString& xmlDns, XmlHttpPost& http,
                        const std::function<void(const QString&)>& addLine);
