#pragma once

#include "boundedtcpserver.h"
#include "gatewaysettings.h"
#include "healthcheck.h"

#include <QAbstractHttpServer>
#include <QElapsedTimer>

// The HTTP side of the metrics endpoint: its two paths, on whichever thread
// it was made on. A health check (a few queries and a listing of the
// download folder) is reused for a second, so that a flood of requests
// does not turn into a flood of queries on the cycle's database.
class MetricsServer : public QAbstractHttpServer {
    Q_OBJECT

public:
    explicit MetricsServer(const GatewaySettings& settings, QObject* parent = nullptr);
    ~MetricsServer() override;

    // Empty when it listens; otherwise why not.
    QString listen(const QHostAddress& address, quint16 port);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    // A health check no older than a second.
    struct CachedHealth {
        Health health;
        QElapsedTimer age;
    };
    const Health& health(CachedHealth& cached, HealthDepth depth);

    GatewaySettings m_settings;
    BoundedTcpServer* m_tcp;
    CachedHealth m_forHealthz; // all of `kesto status`
    CachedHealth m_forMetrics; // its gauges only
};
