#include "boundedtcpserver.h"

#include <algorithm>
#include <memory>
#include <unistd.h>

BoundedTcpServer::BoundedTcpServer(const Limits& limits, QObject* parent)
    : QTcpServer(parent), m_limits(limits) {
    m_sweep->setInterval(std::max(100, m_limits.answerWithinMs / 10));
    connect(m_sweep, &QTimer::timeout, this, &BoundedTcpServer::sweep);
}

int BoundedTcpServer::openConnections() {
    sweep();
    return int(m_connections.size());
}

void BoundedTcpServer::incomingConnection(qintptr descriptor) {
    if (!m_sweep->isActive())
        m_sweep->start();
    if (openConnections() >= m_limits.maxConnections)
        closeLongestUnanswered();
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        ::close(int(descriptor));
        return;
    }
    // The bytes received since the last answer. The HTTP server reads
    // whatever arrives at each signal, so this reader, connected before it,
    // sees each byte once. Qt also stops reading from the kernel at the
    // limit, which bounds the buffer whatever the HTTP server does with it.
    // Past the limit the HTTP server is not called to read (which would log
    // a warning for each such request) and the connection is closed.
    auto unanswered = std::make_shared<qint64>(0);
    socket->setReadBufferSize(m_limits.maxRequestBytes + 1);
    connect(socket, &QTcpSocket::readyRead, socket,
            [socket, unanswered, limit = m_limits.maxRequestBytes] {
                *unanswered += socket->bytesAvailable();
                if (*unanswered <= limit)
                    return;
                QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
                socket->abort();
            });
    Connection connection{socket, {}};
    connection.sinceAnswer.start();
    m_connections.append(connection);
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket, unanswered] {
        *unanswered = 0;
        for (Connection& open : m_connections) {
            if (open.socket == socket)
                open.sinceAnswer.restart();
        }
    });
    addPendingConnection(socket);
}

// Makes room for a new connection: the one that has waited longest for an
// answer is most likely idle or stuck, and a scraper that comes now is served.
void BoundedTcpServer::closeLongestUnanswered() {
    const auto longest = std::max_element(
        m_connections.begin(), m_connections.end(), [](const Connection& a, const Connection& b) {
            return a.sinceAnswer.elapsed() < b.sinceAnswer.elapsed();
        });
    if (longest == m_connections.end())
        return;
    longest->socket->abort();
    longest->socket->deleteLater();
    m_connections.erase(longest);
}

// Forgets the connections the HTTP server deleted, and closes the ones that
// waited too long for an answer.
void BoundedTcpServer::sweep() {
    for (qsizetype i = m_connections.size() - 1; i >= 0; --i) {
        Connection& connection = m_connections[i];
        if (connection.socket && connection.sinceAnswer.elapsed() > m_limits.answerWithinMs) {
            connection.socket->abort();
            connection.socket->deleteLater();
            connection.socket.clear();
        }
        if (!connection.socket)
            m_connections.removeAt(i);
    }
}
