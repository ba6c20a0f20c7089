#pragma once

// What `kesto run` tells the service manager when it runs as a systemd
// service of Type=notify (through libsystemd; nothing is sent when it does
// not run under one): ready once the download folder has been listed, a
// watchdog ping whenever the cycle shows it is alive, and stopping.
class ServiceNotifier {
public:
    ServiceNotifier();

    void ready();
    // Sends a watchdog ping when the service has a watchdog, is ready, and
    // half the watchdog's interval has passed since the last one.
    void alive();
    void stopping();

private:
    bool m_readySent = false;
    unsigned long long m_watchdogUsec = 0; // 0: no watchdog
    unsigned long long m_lastPingUsec = 0;
};
