#include "metricsserver.h"

#include "cyclemetrics.h"
#include "exposition.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHttpServerRequest>
#include <QHttpServerResponder>

namespace {

constexpr qint64 kHealthReuseMs = 1000;
constexpr int kListenBacklog = 1024;

using Status = QHttpServerResponder::StatusCode;

} // namespace

MetricsServer::MetricsServer(const GatewaySettings& settings, QObject* parent)
    : QAbstractHttpServer(parent), m_settings(settings),
      m_tcp(new BoundedTcpServer(BoundedTcpServer::Limits{}, this)) {}

MetricsServer::~MetricsServer() = default;

QString MetricsServer::listen(const QHostAddress& address, quint16 port) {
    // Connections wait in the kernel while the idle-priority thread takes a
    // burst: with Qt's 50 a scraper among churning clients was dropped and
    // tried again by its kernel a second later.
    m_tcp->setListenBacklogSize(kListenBacklog);
    if (!m_tcp->listen(address, port))
        return m_tcp->errorString();
    bind(m_tcp);
    return QString();
}

const Health& MetricsServer::health(CachedHealth& cached, HealthDepth depth) {
    if (!cached.age.isValid() || cached.age.elapsed() >= kHealthReuseMs) {
        cached.health = checkHealth(m_settings, QDateTime::currentDateTime(), depth);
        cached.age.start();
    }
    return cached.health;
}

bool MetricsServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    QHttpServerResponder responder = makeResponder(request, socket);
    const QString path = request.url().path();
    const bool served = path == QLatin1String("/metrics") || path == QLatin1String("/healthz");
    // A method HTTP does not define (Unknown to Qt) is one no path takes.
    const QHttpServerRequest::Method method = request.method();
    if (method == QHttpServerRequest::Method::Unknown ||
        (served && method != QHttpServerRequest::Method::Get)) {
        responder.write(QByteArray("only GET\n"),
                        {{"Content-Type", "text/plain"}, {"Allow", "GET"}},
                        Status::MethodNotAllowed);
        return true;
    }
    if (!served) {
        responder.write(QByteArray("not found\n"), "text/plain", Status::NotFound);
        return true;
    }
    if (path == QLatin1String("/metrics")) {
        responder.write(expositionText(CycleMetrics::instance(),
                                       health(m_forMetrics, HealthDepth::Gauges),
                                       QCoreApplication::applicationVersion()),
                        kExpositionContentType);
        return true;
    }
    const Health& state = health(m_forHealthz, HealthDepth::Full);
    responder.write(state.json().toUtf8() + '\n', "application/json",
                    state.state() == Health::State::Down ? Status::ServiceUnavailable : Status::Ok);
    return true;
}

// Every request is answered by handleRequest.
void MetricsServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    makeResponder(request, socket).write(Status::NotFound);
}
