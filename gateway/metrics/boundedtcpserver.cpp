#include "boundedtcpserver.h"

#include "watchedconnection.h"

#include <QTcpSocket>

#include <algorithm>
#include <unistd.h>
#include <utility>
#include <vector>

BoundedTcpServer::BoundedTcpServer(const Limits& limits, QObject* parent)
    : QTcpServer(parent), m_limits(limits) {
    m_sweep->setInterval(std::max(100, m_limits.answerWithinMs / 10));
    connect(m_sweep, &QTimer::timeout, this, &BoundedTcpServer::sweep);
}

void BoundedTcpServer::incomingConnection(qintptr descriptor) {
    if (!m_sweep->isActive())
        m_sweep->start();
    sweep();
    if (m_connections.size() >= m_limits.maxConnections && !closeLongestIdle()) {
        ::close(int(descriptor));
        return;
    }
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        ::close(int(descriptor));
        return;
    }
    m_connections.append(new WatchedConnection(socket, m_limits.maxRequestBytes));
    addPendingConnection(socket);
}

// Closes the connection that has gone longest without an answer among those
// with no request waiting for one; false when every one has a request waiting.
bool BoundedTcpServer::closeLongestIdle() {
    std::vector<std::pair<qint64, WatchedConnection*>> longestFirst;
    for (WatchedConnection* connection : std::as_const(m_connections))
        longestFirst.emplace_back(connection->msSinceAnswer(), connection);
    std::stable_sort(longestFirst.begin(), longestFirst.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& [ms, connection] : longestFirst) {
        if (connection->hasRequestWaiting())
            continue;
        connection->close();
        m_connections.removeOne(connection);
        return true;
    }
    return false;
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
