#include "storeoutage.h"

#include "backoff.h"

StoreOutage::StoreOutage(Clock::duration firstRetry) : m_firstRetry(firstRetry) {}

bool StoreOutage::mayTry() const {
    return !isDown() || Clock::now() >= m_nextProbe;
}

void StoreOutage::failed(WaitReason reason) {
    m_pause = nextBackoff(isDown() ? m_pause : Clock::duration::zero(), m_firstRetry);
    m_reason = reason;
    m_nextProbe = Clock::now() + m_pause;
}

bool StoreOutage::ended() {
    const bool wasDown = isDown();
    m_reason.reset();
    return wasDown;
}
