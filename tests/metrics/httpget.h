#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QUrl>

// A real HTTP client for the tests of the metrics endpoint: one request,
// waited for at most `timeoutMs`. status is 0 when nothing answered.
struct HttpAnswer {
    int status = 0;
    QByteArray contentType;
    QByteArray body;
};
HttpAnswer httpRequest(const QByteArray& method, const QUrl& url, int timeoutMs = 10000);
inline HttpAnswer httpGet(const QUrl& url) {
    return httpRequest("GET", url);
}

// The samples of a Prometheus text exposition, by name with their labels as
// written ("kesto_files_total{outcome=\"stored\"}"); comments left out.
QMap<QString, double> exposedSamples(const QByteArray& text);
