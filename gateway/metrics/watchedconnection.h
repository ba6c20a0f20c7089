#pragma once

#include "requestframing.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTcpSocket>

// One client connection of the bounded server, watched through the bytes it
// sends, before the HTTP server reads them: a request that grows past
// `maxRequestBytes` unanswered closes it, a request the HTTP server would
// take wrongly (see RequestFraming) is answered 400 here and closes it, and
// it knows whether a request of its own is waiting for its answer. A child
// of its socket, so deleted with it by the HTTP server.
class WatchedConnection : public QObject {
    Q_OBJECT

public:
    WatchedConnection(QTcpSocket* socket, qint64 maxRequestBytes);

    // Whether a request is complete and its answer not all sent yet. The
    // bytes the kernel holds that the HTTP server has not read count too:
    // the endpoint's thread runs at the idle priority, and under load it
    // accepts a burst of connections before it reads the earlier ones.
    bool hasRequestWaiting() const;
    // Since it was accepted, or since its last answer was all sent.
    qint64 msSinceAnswer() const { return m_sinceAnswer.elapsed(); }
    void close();

private:
    void takeArrivals();
    void answerSent();
    void refuse();
    void stopReading();

    QTcpSocket* m_socket;
    qint64 m_maxRequestBytes;
    qint64 m_unanswered = 0; // bytes received since the last answer
    RequestFraming m_framing;
    bool m_requestWaiting = false;
    QElapsedTimer m_sinceAnswer;
};
