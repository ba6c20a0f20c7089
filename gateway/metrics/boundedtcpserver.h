#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

// A listening socket that keeps what its clients can cost bounded: at most
// `maxConnections` open at once (one more closes the one that has waited
// longest for an answer, so that a scraper is served among idle or stuck
// clients), no more than `maxRequestBytes` buffered for a request not yet
// answered, and a connection that has had no answer for `answerWithinMs`
// (since it was accepted, or since its last answer) is closed. The HTTP
// server reads the sockets it hands out; the server keeps only weak
// pointers to them, since the HTTP server deletes them (and on a request it
// cannot parse, drops every signal connection of the socket).
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
    struct Connection {
        QPointer<QTcpSocket> socket;
        QElapsedTimer sinceAnswer;
    };
    int openConnections();
    void closeLongestUnanswered();
    void sweep();

    Limits m_limits;
    QList<Connection> m_connections;
    QTimer* m_sweep = new QTimer(this);
};
