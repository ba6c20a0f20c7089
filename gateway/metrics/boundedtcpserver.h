#pragma once

#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>

class WatchedConnection;

// A listening socket that keeps what its clients can cost bounded: at most
// `maxConnections` open at once, no more than `maxRequestBytes` buffered for
// a request not yet answered, and a connection that has had no answer for
// `answerWithinMs` (since it was accepted, or since its last answer) is
// closed. One connection more closes the one that has gone longest without
// an answer among those with no request waiting for one (see
// WatchedConnection): idle or stuck clients make room, and a scraper whose
// request is in is served. When every one has a request waiting, the new
// connection is closed instead. The HTTP server reads the sockets it hands
// out and deletes them, so the server keeps only weak pointers to them.
class BoundedTcpServer : public QTcpServer {
    Q_OBJECT

public:
    struct Limits {
        int maxConnections = 64;
        qint64 maxRequestBytes = 16 * 1024;
        int answerWithinMs = 10000;
    };

    explicit BoundedTcpServer(const Limits& limits, QObject* parent = nullptr);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    bool closeLongestIdle();
    void sweep();

    Limits m_limits;
    QList<QPointer<WatchedConnection>> m_connections;
    QTimer* m_sweep = new QTimer(this);
};
