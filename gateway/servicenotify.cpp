#include "servicenotify.h"

#include <systemd/sd-daemon.h>

#include <ctime>

namespace {

unsigned long long monotonicUsec() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<unsigned long long>(now.tv_sec) * 1000000ULL +
           static_cast<unsigned long long>(now.tv_nsec) / 1000ULL;
}

} // namespace

ServiceNotifier::ServiceNotifier() {
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0)
        m_watchdogUsec = usec;
}

void ServiceNotifier::ready() {
    if (m_readySent)
        return;
    m_readySent = true;
    sd_notify(0, "READY=1\nSTATUS=Watching the download folder");
    m_lastPingUsec = monotonicUsec();
}

void ServiceNotifier::alive() {
    if (m_watchdogUsec == 0 || !m_readySent)
        return;
    const unsigned long long now = monotonicUsec();
    if (now - m_lastPingUsec < m_watchdogUsec / 2)
        return;
    m_lastPingUsec = now;
    sd_notify(0, "WATCHDOG=1");
}

void ServiceNotifier::stopping() {
    sd_notify(0, "STOPPING=1");
}
