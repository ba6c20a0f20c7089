#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QUrl>

class QTcpSocket;

// A real HTTP client for the tests of the metrics endpoint: one request,
// waited for at most `timeoutMs`. status is 0 when nothing answered.
struct HttpAnswer {
    int status = 0;
    QByteArray contentType;
    QByteArray allow;
    QByteArray body;
    bool closed = false; // by the server after its answer (raw requests only)
};
HttpAnswer httpRequest(const QByteArray& method, const QUrl& url, int timeoutMs = 10000);
inline HttpAnswer httpGet(const QUrl& url) {
    return httpRequest("GET", url);
}

// The same with the request's bytes as given, which no HTTP client would
// send, on a connection of its own.
HttpAnswer rawHttpRequest(const QString& host, quint16 port, const QByteArray& request);
// The answer to a request sent on `socket`: read until it is whole, and with
// "Connection: close" until the server closes the connection too.
HttpAnswer readHttpAnswer(QTcpSocket& socket, int timeoutMs = 10000);

// The samples of a Prometheus text exposition, by name with their labels as
// written ("kesto_files_total{outcome=\"stored\"}"); comments left out.
QMap<QString, double> exposedSamples(const QByteArray& text);
