#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Follows the HTTP/1.x requests of one connection in its bytes as they
// arrive: where each ends (the blank line after its head, then a body of
// Content-Length bytes or of chunks), and whether its head is one this
// endpoint takes: a request line "METHOD TARGET HTTP/1.0" (or 1.1) with a
// method of token characters, and header lines "Name: value" with a token
// for a name. Qt's HTTP server takes any version and silently drops a
// malformed header line with the others, so such requests are caught here,
// before it reads them. Blank lines between requests are ignored.
class RequestFraming {
public:
    // Takes the next bytes; after a malformed request, none.
    void append(QByteArrayView bytes);

    // Requests received whole, since the connection began.
    qint64 completeRequests() const { return m_complete; }
    bool malformed() const { return m_malformed; }

private:
    enum class Expect { RequestLine, HeaderLine, Body, ChunkSize, ChunkData, ChunkEnd, Trailer };

    void takeLine(QByteArrayView line);
    void takeHeaderLine(QByteArrayView line);
    void startBody();
    void takeChunkSize(QByteArrayView line);
    void endRequest();

    Expect m_expect = Expect::RequestLine;
    QByteArray m_line;          // the start of a line not yet ended
    qint64 m_contentLength = 0; // of the request whose head is being read
    bool m_chunked = false;     // likewise
    qint64 m_bodyLeft = 0;      // bytes of the body or chunk still to come
    qint64 m_complete = 0;
    bool m_malformed = false;
};
