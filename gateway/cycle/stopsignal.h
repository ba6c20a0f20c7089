#pragma once

#include <atomic>

// The stop request of a cycle and the pauses it ends. Every pause and wait of
// the cycle sleeps on this object's file descriptor, so one request wakes
// them all at once. requestStop() and requestAbort() may be called from any
// thread and from a signal handler (they only store a flag and write to an
// eventfd).
class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    void requestStop();
    // A stop that also cuts short a post in progress (the program is ending).
    void requestAbort();
    bool isStopRequested() const { return m_stop.load(); }
    bool isAbortRequested() const { return m_abort.load(); }

    // Sleeps for the time unless a stop is requested first; returns false when
    // the pause was cut short by a stop.
    bool pause(int milliseconds) const;

    // Readable while a stop is requested; for waits that poll other descriptors too.
    int fd() const { return m_fd; }

private:
    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_abort{false};
};

// The length of the cycle's documented pauses (1 second before each file, 2
// seconds between retries) is multiplied by $KESTO_PAUSE_SCALE when it holds
// a number between 0 and 1000 (meant for tests and demos: 0.01 makes the
// 1-second pause 10 ms); otherwise by 1.
double pauseScaleFromEnvironment();
