#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QThread>

class QTcpServer;

// A small HTTP endpoint on its own loopback address and port 8000, served on
// a thread of its own so that it answers while the test's thread is busy. It
// records every request and answers each with the text it was given, after a
// delay, or never.
class TestEndpoint {
public:
    struct Request {
        QByteArray method;
        QByteArray path;
        QByteArray contentType;
        QByteArray body;
    };

    // address: one of 127.0.0.2 to 127.0.0.254.
    explicit TestEndpoint(const QString& address);
    ~TestEndpoint();
    TestEndpoint(const TestEndpoint&) = delete;
    TestEndpoint& operator=(const TestEndpoint&) = delete;

    bool isListening() const { return m_listening; }
    void setAnswer(const QByteArray& answer, int delayMs = 0);
    void setSilent();  // read the request, never answer
    void setTrickle(); // answer one byte every 100 ms, never finishing
    void setContentType(const QByteArray& contentType);
    void setStatus(const QByteArray& status); // the status line's code and text, "200 OK" at first
    QList<Request> requests() const;

private:
    friend class EndpointWorker;
    void recordRequest(const Request& request);
    bool answerFor(QByteArray& answer, int& delayMs) const;
    bool trickles() const;
    QByteArray contentType() const;
    QByteArray status() const;

    QThread m_thread;
    mutable QMutex m_mutex;
    QList<Request> m_requests;
    QByteArray m_answer = "RECLOC OK";
    int m_delayMs = 0;
    bool m_silent = false;
    bool m_trickle = false;
    QByteArray m_contentType = "text/plain";
    QByteArray m_status = "200 OK";
    bool m_listening = false;
};

// The record locator of each request's booking, in the order they came.
QStringList postedLocators(const QList<TestEndpoint::Request>& requests);
