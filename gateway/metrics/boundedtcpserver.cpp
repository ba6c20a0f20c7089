#include "boundedtcpserver.h"

#include "watchedconnection.h"

#include <QTcpSocket>

#include <algorithm>
#include <unistd.h>

BoundedTcpServer::BoundedTcpServer(const Limits& limits, QObject* parent)
    : QTcpServer(parent), m_limits(limits) {
    m_sweep->setInterval(std::max(100, m_limits.answerWithinMs / 10));
    connect(m_sweep, &QTimer::timeout, this, &BoundedTcpServer::sweep);
}

void BoundedTcpServer::incomingConnection(qintptr descriptor) {
    if (!m_sweep->isActive())
        m_sweep->start();
    sweep();
    if (m_connections.size() >= m_limits.maxConnections)
        closeLongestUnanswered();
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        ::close(int(descriptor));
        return;
    }
    m_connections.append(new WatchedConnection(socket, m_limits.maxRequestBytes));
    addPendingConnection(socket);
}

// Makes room for a new connection: the one that has gone longest without an
// answer is most likely idle or stuck, and a scraper that comes now is served.
void BoundedTcpServer::closeLongestUnanswered() {
    const auto longest = std::max_element(
        m_connections.cbegin(), m_connections.cend(),
        [](const auto& a, const auto& b) { return a->msSinceAnswer() < b->msSinceAnswer(); });
    if (longest == m_connections.cend())
        return;
    (*longest)->close();
    m_connections.removeAt(longest - m_connections.cbegin());
}

// Forgets the connections the HTTP server deleted, and closes the ones that
// waited too long for an answer.
void BoundedTcpServer::sweep() {
    m_connections.removeIf([this](const QPointer<WatchedConnection>& connection) {
        if (!connection)
            return true;
        if (connection->msSinceAnswer() <= m_limits.answerWithinMs)
            return false;
        connection->close();
        return true;
    });
}
