#include "requestframing.h"

#include <algorithm>

namespace {

bool isTokenChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool isToken(QByteArrayView text) {
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), isTokenChar);
}

// A count of bytes in `base` (10 or 16), digits only and short enough not to
// overflow.
bool readCount(QByteArrayView text, int base, qint64& count) {
    const QByteArrayView digits =
        QByteArrayView("0123456789abcdefABCDEF").first(base == 16 ? 22 : 10);
    if (text.isEmpty() || text.size() > 15 ||
        !std::all_of(text.begin(), text.end(), [digits](char c) { return digits.contains(c); }))
        return false;
    count = text.toLongLong(nullptr, base);
    return true;
}

bool isRequestLine(QByteArrayView line) {
    const qsizetype first = line.indexOf(' ');
    const qsizetype second = first < 0 ? -1 : line.indexOf(' ', first + 1);
    if (second < 0)
        return false;
    const QByteArrayView target = line.sliced(first + 1, second - first - 1);
    const QByteArrayView version = line.sliced(second + 1);
    return isToken(line.first(first)) && !target.isEmpty() &&
           std::none_of(target.begin(), target.end(),
                        [](char c) { return uchar(c) < 0x21 || uchar(c) == 0x7f; }) &&
           (version == "HTTP/1.1" || version == "HTTP/1.0");
}

} // namespace

void RequestFraming::append(QByteArrayView bytes) {
    while (!bytes.isEmpty() && !m_malformed) {
        if (m_expect == Expect::Body || m_expect == Expect::ChunkData) {
            const qint64 taken = std::min<qint64>(m_bodyLeft, bytes.size());
            bytes = bytes.sliced(taken);
            m_bodyLeft -= taken;
            if (m_bodyLeft > 0)
                return;
            if (m_expect == Expect::Body)
                endRequest();
            else
                m_expect = Expect::ChunkEnd;
            continue;
        }
        const qsizetype end = bytes.indexOf('\n');
        if (end < 0) {
            m_line += bytes;
            return;
        }
        m_line += bytes.first(end);
        bytes = bytes.sliced(end + 1);
        if (m_line.endsWith('\r'))
            m_line.chop(1);
        takeLine(m_line);
        m_line.clear();
    }
}

void RequestFraming::takeLine(QByteArrayView line) {
    switch (m_expect) {
    case Expect::RequestLine:
        if (line.isEmpty())
            return;
        m_malformed = !isRequestLine(line);
        m_contentLength = 0;
        m_chunked = false;
        m_expect = Expect::HeaderLine;
        return;
    case Expect::HeaderLine:
        if (line.isEmpty())
            startBody();
        else
            takeHeaderLine(line);
        return;
    case Expect::ChunkSize:
        takeChunkSize(line);
        return;
    case Expect::ChunkEnd:
        m_malformed = !line.isEmpty();
        m_expect = Expect::ChunkSize;
        return;
    case Expect::Trailer:
        if (line.isEmpty())
            endRequest();
        else
            takeHeaderLine(line);
        return;
    case Expect::Body:
    case Expect::ChunkData:
        break; // counted in bytes, not lines
    }
}

// A header line, or a trailer line after a chunked body. Content-Length and
// Transfer-Encoding say where the body ends, as they do for Qt's server, so
// that a body is skipped and not taken for the next request.
void RequestFraming::takeHeaderLine(QByteArrayView line) {
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0 || !isToken(line.first(colon))) {
        m_malformed = true;
        return;
    }
    const QByteArrayView name = line.first(colon);
    const QByteArrayView value = line.sliced(colon + 1).trimmed();
    if (m_expect != Expect::HeaderLine)
        return; // a trailer
    if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
        m_malformed = !readCount(value, 10, m_contentLength);
    } else if (name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0) {
        // A body whose last coding is not chunked has no end to find.
        m_chunked = value.sliced(value.lastIndexOf(',') + 1)
                        .trimmed()
                        .compare("chunked", Qt::CaseInsensitive) == 0;
        m_malformed = !m_chunked;
    }
}

void RequestFraming::startBody() {
    if (m_chunked) {
        m_expect = Expect::ChunkSize;
    } else if (m_contentLength > 0) {
        m_bodyLeft = m_contentLength;
        m_expect = Expect::Body;
    } else {
        endRequest();
    }
}

void RequestFraming::takeChunkSize(QByteArrayView line) {
    const qsizetype extension = line.indexOf(';');
    if (!readCount(line.first(extension < 0 ? line.size() : extension).trimmed(), 16, m_bodyLeft)) {
        m_malformed = true;
        return;
    }
    m_expect = m_bodyLeft == 0 ? Expect::Trailer : Expect::ChunkData;
}

void RequestFraming::endRequest() {
    ++m_complete;
    m_expect = Expect::RequestLine;
}
