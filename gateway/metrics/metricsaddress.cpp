#include "metricsaddress.h"

std::optional<MetricsAddress> MetricsAddress::parse(const QString& text) {
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return std::nullopt;
    QString host = text.left(colon);
    const bool bracketed = host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'));
    if (bracketed)
        host = host.mid(1, host.size() - 2);
    bool numeric = false;
    const uint port = text.mid(colon + 1).toUInt(&numeric);
    MetricsAddress address;
    if (!numeric || port == 0 || port > 65535 || !address.host.setAddress(host))
        return std::nullopt;
    // An IPv6 address must be bracketed, so that its last group is not read as the port.
    if ((address.host.protocol() == QAbstractSocket::IPv6Protocol) != bracketed)
        return std::nullopt;
    address.port = quint16(port);
    return address;
}
