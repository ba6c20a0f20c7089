#include "clock.h"

#include <QMutexLocker>

#include <atomic>

namespace {
SystemClock g_systemClock;
std::atomic<Clock*> g_clock{&g_systemClock};
} // namespace

ManualClock::ManualClock(const QDateTime& start, qint64 stepMs) : m_time(start), m_stepMs(stepMs) {}

QDateTime ManualClock::now() const {
    QMutexLocker lock(&m_mutex);
    const QDateTime reading = m_time;
    m_time = m_time.addMSecs(m_stepMs);
    return reading;
}

void ManualClock::set(const QDateTime& time) {
    QMutexLocker lock(&m_mutex);
    m_time = time;
}

Clock& currentClock() {
    return *g_clock.load();
}

void setCurrentClock(Clock* clock) {
    g_clock.store(clock ? clock : &g_systemClock);
}
