#pragma once

#include "runsummary.h"

#include <chrono>
#include <optional>

// One state for the whole cycle while the database cannot take bookings:
// unreachable, or its ledger of recorded files refusing. Files that need the
// database do not each try (and each pay the login time-out): they wait
// behind the outage, and one file at a time probes it once per back-off
// step, the pause doubling from the first retry delay up to five minutes.
class StoreOutage {
public:
    using Clock = std::chrono::steady_clock;

    explicit StoreOutage(Clock::duration firstRetry);

    // Whether a file that needs the database may try now: always while there
    // is no outage; during one, when the next probe is due (the try is the probe).
    bool mayTry() const;
    // A try failed for `reason` (the database or its ledger); starts the
    // outage or moves its next probe a back-off step further.
    void failed(WaitReason reason);
    // The database took a booking, or refused it as a booking: the outage is over.
    // Whether there was one.
    bool ended();

    bool isDown() const { return m_reason.has_value(); }
    // What the files behind it wait for; only while it is down.
    WaitReason reason() const { return m_reason.value_or(WaitReason::Database); }
    Clock::time_point nextProbe() const { return m_nextProbe; }

private:
    Clock::duration m_firstRetry;
    Clock::duration m_pause{};
    std::optional<WaitReason> m_reason;
    Clock::time_point m_nextProbe;
};
