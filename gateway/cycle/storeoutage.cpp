#include "storeoutage.h"

#include <algorithm>

namespace {
constexpr StoreOutage::Clock::duration kLongestPause = std::chrono::minutes(5);
} // namespace

StoreOutage::StoreOutage(Clock::duration firstRetry) : m_firstRetry(firstRetry) {}

bool StoreOutage::mayTry() const {
    return !isDown() || Clock::now() >= m_nextProbe;
}

void StoreOutage::failed(const QString& reason) {
    m_pause =
        isDown() ? std::min(m_pause * 2, std::max(kLongestPause, m_firstRetry)) : m_firstRetry;
    m_reason = reason;
    m_nextProbe = Clock::now() + m_pause;
}

bool StoreOutage::ended() {
    const bool wasDown = isDown();
    m_reason.clear();
    return wasDown;
}
