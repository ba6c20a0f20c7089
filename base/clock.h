#pragma once

#include <QDateTime>
#include <QMutex>

// The wall clock as the store and the cycle read it. Production code asks
// currentClock(); tests install a ManualClock to fix the time.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0; // local time
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// A clock that shows what it is told; each reading can move it on by a step,
// so that code which reads the clock twice can be seen to do so. Readable
// from any thread (the cycle's worker reads while a test sets it).
class ManualClock final : public Clock {
public:
    explicit ManualClock(const QDateTime& start, qint64 stepMs = 0);
    QDateTime now() const override;
    void set(const QDateTime& time);

private:
    mutable QMutex m_mutex;
    mutable QDateTime m_time;
    qint64 m_stepMs;
};

// The clock in force (the system clock unless one was installed). Installing
// is meant for start-up and tests, not for switching while other threads read.
Clock& currentClock();
void setCurrentClock(Clock* clock); // nullptr restores the system clock

// Installs a clock for the lifetime of the object, then restores the one
// that was in force before.
class ScopedClock {
public:
    explicit ScopedClock(Clock& clock) : m_previous(&currentClock()) { setCurrentClock(&clock); }
    ~ScopedClock() { setCurrentClock(m_previous); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

private:
    Clock* m_previous;
};
