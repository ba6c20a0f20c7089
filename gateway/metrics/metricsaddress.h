#pragma once

#include <QHostAddress>
#include <QString>

#include <optional>

// Where the metrics endpoint listens, as ADDR:PORT: an IPv4 address, or an
// IPv6 address in brackets ([::1]:9464), and a port from 1 to 65535.
struct MetricsAddress {
    QHostAddress host;
    quint16 port = 0;

    static std::optional<MetricsAddress> parse(const QString& text);
};
