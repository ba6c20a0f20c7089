#include "httpget.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace {

// The value of the header `name` in the head of an answer, or empty.
QByteArray headerValue(const QByteArray& head, const QByteArray& name) {
    for (const QByteArray& line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return QByteArray();
}

} // namespace

HttpAnswer httpRequest(const QByteArray& method, const QUrl& url, int timeoutMs) {
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    QNetworkReply* reply = manager.sendCustomRequest(request, method);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    HttpAnswer answer;
    if (reply->isFinished()) {
        answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        answer.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
        answer.allow = reply->rawHeader("Allow");
        answer.body = reply->readAll();
    }
    reply->abort();
    delete reply;
    return answer;
}

HttpAnswer rawHttpRequest(const QString& host, quint16 port, const QByteArray& request) {
    QTcpSocket socket;
    socket.connectToHost(host, port);
    if (!socket.waitForConnected(5000))
        return HttpAnswer();
    socket.write(request);
    return readHttpAnswer(socket);
}

HttpAnswer readHttpAnswer(QTcpSocket& socket, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    QByteArray bytes;
    qsizetype headEnd = -1;
    while (clock.elapsed() < timeoutMs) {
        bytes += socket.readAll();
        headEnd = bytes.indexOf("\r\n\r\n");
        if (headEnd >= 0 &&
            bytes.size() >=
                headEnd + 4 + headerValue(bytes.left(headEnd), "Content-Length").toLongLong())
            break;
        if (socket.state() != QAbstractSocket::ConnectedState)
            break;
        socket.waitForReadyRead(100);
    }
    HttpAnswer answer;
    if (headEnd < 0 || !bytes.startsWith("HTTP/1.1 "))
        return answer;
    const QByteArray head = bytes.left(headEnd);
    answer.status = bytes.mid(9, 3).toInt();
    answer.contentType = headerValue(head, "Content-Type");
    answer.allow = headerValue(head, "Allow");
    answer.body = bytes.mid(headEnd + 4);
    if (headerValue(head, "Connection").compare("close", Qt::CaseInsensitive) == 0 &&
        socket.state() != QAbstractSocket::UnconnectedState)
        socket.waitForDisconnected(int(std::max<qint64>(0, timeoutMs - clock.elapsed())));
    answer.closed = socket.state() == QAbstractSocket::UnconnectedState;
    return answer;
}

QMap<QString, double> exposedSamples(const QByteArray& text) {
    QMap<QString, double> samples;
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype space = line.lastIndexOf(' ');
        samples.insert(QString::fromUtf8(line.left(space)), line.mid(space + 1).toDouble());
    }
    return samples;
}
