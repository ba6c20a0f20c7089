#include "watchedconnection.h"

#include <sys/socket.h>

namespace {

const QByteArray kBadRequest = "HTTP/1.1 400 Bad Request\r\n"
                               "Content-Type: text/plain\r\n"
                               "Content-Length: 12\r\n"
                               "Connection: close\r\n"
                               "\r\n"
                               "bad request\n";

} // namespace

WatchedConnection::WatchedConnection(QTcpSocket* socket, qint64 maxRequestBytes)
    : QObject(socket), m_socket(socket), m_maxRequestBytes(maxRequestBytes) {
    m_sinceAnswer.start();
    // Qt stops reading from the kernel at the limit, which bounds the buffer
    // whatever the HTTP server does with it.
    socket->setReadBufferSize(maxRequestBytes + 1);
    // Connected before the HTTP server reads at the same signal, and it reads
    // all there is each time: each byte is seen here once, before it.
    connect(socket, &QTcpSocket::readyRead, this, &WatchedConnection::takeArrivals);
    connect(socket, &QTcpSocket::bytesWritten, this, &WatchedConnection::answerSent);
}

bool WatchedConnection::hasRequestWaiting() const {
    if (m_requestWaiting)
        return true;
    const qintptr descriptor = m_socket->socketDescriptor();
    if (descriptor < 0)
        return false;
    QByteArray unread(m_maxRequestBytes + 1, Qt::Uninitialized);
    const ssize_t peeked =
        ::recv(int(descriptor), unread.data(), size_t(unread.size()), MSG_PEEK | MSG_DONTWAIT);
    if (peeked <= 0)
        return false;
    RequestFraming ahead = m_framing;
    ahead.append(QByteArrayView(unread.constData(), peeked));
    return ahead.completeRequests() > m_framing.completeRequests();
}

void WatchedConnection::close() {
    m_socket->abort();
    m_socket->deleteLater();
}

// Past the limit the HTTP server is not called to read (which would log a
// warning for each such request), and the connection is closed.
void WatchedConnection::takeArrivals() {
    const qint64 arrived = m_socket->bytesAvailable();
    m_unanswered += arrived;
    if (m_unanswered > m_maxRequestBytes) {
        stopReading();
        m_socket->abort();
        return;
    }
    const qint64 complete = m_framing.completeRequests();
    m_framing.append(m_socket->peek(arrived));
    if (m_framing.malformed())
        refuse();
    else if (m_framing.completeRequests() > complete)
        m_requestWaiting = true;
}

// The HTTP server answers each request as soon as it has read it whole, so
// once all that was written is sent, no request is waiting.
void WatchedConnection::answerSent() {
    if (m_socket->bytesToWrite() > 0)
        return;
    m_requestWaiting = false;
    m_unanswered = 0;
    m_sinceAnswer.restart();
}

// A minimal answer of its own, since the HTTP server is not to read the
// request; the connection closes once it is sent.
void WatchedConnection::refuse() {
    stopReading();
    m_socket->write(kBadRequest);
    m_socket->disconnectFromHost();
}

void WatchedConnection::stopReading() {
    QObject::disconnect(m_socket, &QTcpSocket::readyRead, nullptr, nullptr);
}
