#include "metricsendpoint.h"

#include "metricsserver.h"

#include <QMetaObject>

MetricsEndpoint::MetricsEndpoint(const GatewaySettings& settings) : m_settings(settings) {
    m_thread.setObjectName(QStringLiteral("metrics"));
}

MetricsEndpoint::~MetricsEndpoint() {
    if (!m_thread.isRunning())
        return;
    m_thread.quit();
    m_thread.wait();
}

QString MetricsEndpoint::start(const MetricsAddress& address) {
    // Made here, then handed to the thread before it runs: the server and
    // its sockets are deleted there as the thread ends.
    m_server = new MetricsServer(m_settings);
    m_server->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_server, &QObject::deleteLater);
    // Below the cycle: on a busy machine its clients get what the cycle leaves.
    m_thread.start(QThread::IdlePriority);
    QString failure;
    QMetaObject::invokeMethod(
        m_server, [&] { failure = m_server->listen(address.host, address.port); },
        Qt::BlockingQueuedConnection);
    return failure;
}
