#include "stopsignal.h"

#include <QString>
#include <QtGlobal>

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

StopSignal::StopSignal() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_fd < 0)
        qFatal("eventfd failed: errno %d", errno);
}

StopSignal::~StopSignal() {
    ::close(m_fd);
}

void StopSignal::requestStop() {
    m_stop.store(true);
    const std::uint64_t one = 1;
    // The counter only has to become non-zero; a full counter is as good.
    [[maybe_unused]] const auto written = ::write(m_fd, &one, sizeof one);
}

void StopSignal::requestAbort() {
    m_abort.store(true);
    requestStop();
}

bool StopSignal::pause(int milliseconds) const {
    if (isStopRequested())
        return false;
    if (milliseconds <= 0)
        return true;
    pollfd wake{m_fd, POLLIN, 0};
    int result;
    do {
        result = ::poll(&wake, 1, milliseconds);
    } while (result < 0 && errno == EINTR && !isStopRequested());
    return !isStopRequested();
}

double pauseScaleFromEnvironment() {
    bool ok = false;
    const double scale = qEnvironmentVariable("KESTO_PAUSE_SCALE").toDouble(&ok);
    return ok && scale >= 0 && scale <= 1000 ? scale : 1.0;
}
