#include "testendpoint.h"

#include <QHostAddress>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

class EndpointWorker : public QObject {
public:
    EndpointWorker(TestEndpoint& owner, QTcpServer& server) : m_owner(owner) {
        connect(&server, &QTcpServer::newConnection, this, [this, &server] {
            while (QTcpSocket* socket = server.nextPendingConnection())
                serve(socket);
        });
    }

private:
    void serve(QTcpSocket* socket) {
        auto* buffer = new QByteArray;
        connect(socket, &QTcpSocket::disconnected, socket, [socket, buffer] {
            delete buffer;
            socket->deleteLater();
        });
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
            buffer->append(socket->readAll());
            const qsizetype headerEnd = buffer->indexOf("\r\n\r\n");
            if (headerEnd < 0)
                return;
            TestEndpoint::Request request;
            const QList<QByteArray> lines = buffer->left(headerEnd).split('\n');
            const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
            request.method = first.value(0);
            request.path = first.value(1);
            qsizetype length = 0;
            for (const QByteArray& line : lines.mid(1)) {
                const qsizetype colon = line.indexOf(':');
                const QByteArray name = line.left(colon).trimmed().toLower();
                const QByteArray value = line.mid(colon + 1).trimmed();
                if (name == "content-length")
                    length = value.toLongLong();
                else if (name == "content-type")
                    request.contentType = value;
            }
            if (buffer->size() < headerEnd + 4 + length)
                return;
            request.body = buffer->mid(headerEnd + 4, length);
            buffer->clear();
            m_owner.recordRequest(request);
            if (m_owner.trickles()) {
                socket->write("HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\nR");
                auto* drip = new QTimer(socket);
                QObject::connect(drip, &QTimer::timeout, socket, [socket] { socket->write("E"); });
                drip->start(100);
                return;
            }
            QByteArray answer;
            int delayMs = 0;
            if (!m_owner.answerFor(answer, delayMs))
                return;
            const QByteArray contentType = m_owner.contentType();
            const QByteArray status = m_owner.status();
            QTimer::singleShot(delayMs, socket, [socket, answer, contentType, status] {
                socket->write("HTTP/1.1 " + status + "\r\nContent-Type: " + contentType +
                              "\r\nContent-Length: " + QByteArray::number(answer.size()) +
                              "\r\nConnection: close\r\n\r\n" + answer);
                socket->disconnectFromHost();
            });
        });
    }

    TestEndpoint& m_owner;
};

TestEndpoint::TestEndpoint(const QString& address) {
    auto* server = new QTcpServer;
    m_listening = server->listen(QHostAddress(address), 8000);
    server->moveToThread(&m_thread);
    auto* worker = new EndpointWorker(*this, *server);
    worker->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, worker, &QObject::deleteLater);
    QObject::connect(&m_thread, &QThread::finished, server, &QObject::deleteLater);
    m_thread.start();
}

TestEndpoint::~TestEndpoint() {
    m_thread.quit();
    m_thread.wait();
}

void TestEndpoint::setAnswer(const QByteArray& answer, int delayMs) {
    QMutexLocker lock(&m_mutex);
    m_answer = answer;
    m_delayMs = delayMs;
    m_silent = false;
}

void TestEndpoint::setSilent() {
    QMutexLocker lock(&m_mutex);
    m_silent = true;
}

void TestEndpoint::setTrickle() {
    QMutexLocker lock(&m_mutex);
    m_trickle = true;
}

void TestEndpoint::setContentType(const QByteArray& contentType) {
    QMutexLocker lock(&m_mutex);
    m_contentType = contentType;
}

void TestEndpoint::setStatus(const QByteArray& status) {
    QMutexLocker lock(&m_mutex);
    m_status = status;
}

QByteArray TestEndpoint::status() const {
    QMutexLocker lock(&m_mutex);
    return m_status;
}

QByteArray TestEndpoint::contentType() const {
    QMutexLocker lock(&m_mutex);
    return m_contentType;
}

bool TestEndpoint::trickles() const {
    QMutexLocker lock(&m_mutex);
    return m_trickle;
}

QList<TestEndpoint::Request> TestEndpoint::requests() const {
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

void TestEndpoint::recordRequest(const Request& request) {
    QMutexLocker lock(&m_mutex);
    m_requests.append(request);
}

bool TestEndpoint::answerFor(QByteArray& answer, int& delayMs) const {
    QMutexLocker lock(&m_mutex);
    answer = m_answer;
    delayMs = m_delayMs;
    return !m_silent;
}

QStringList postedLocators(const QList<TestEndpoint::Request>& requests) {
    static const QRegularExpression locator(QStringLiteral("<RECLOC>([^<]*)</RECLOC>"));
    QStringList locators;
    for (const TestEndpoint::Request& request : requests)
        locators.append(locator.match(QString::fromUtf8(request.body)).captured(1));
    return locators;
}
