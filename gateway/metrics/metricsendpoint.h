#pragma once

#include "gatewaysettings.h"
#include "metricsaddress.h"

#include <QString>
#include <QThread>

class MetricsServer;

// The metrics endpoint of a running cycle, served on a thread of its own at
// the idle scheduling priority, so that its clients never hold up the cycle:
// GET /metrics (the Prometheus text format) and GET /healthz (what `kesto
// status --json` prints; 200 when healthy or degraded, 503 when down). Any
// other path gets 404, another method 405, and so does, on any path, a method
// HTTP does not define; a request of another version than HTTP/1.0 or 1.1, or
// with a malformed header line, gets 400.
class MetricsEndpoint {
public:
    explicit MetricsEndpoint(const GatewaySettings& settings);
    ~MetricsEndpoint();
    MetricsEndpoint(const MetricsEndpoint&) = delete;
    MetricsEndpoint& operator=(const MetricsEndpoint&) = delete;

    // Listens on `address`. Empty when it does; otherwise why not.
    QString start(const MetricsAddress& address);

private:
    GatewaySettings m_settings;
    QThread m_thread;
    MetricsServer* m_server = nullptr; // lives on m_thread
};
