#include "cyclemetrics.h"

namespace {

// A file's life runs from milliseconds to a post's 30-second time-out; a
// commit from a local file's fsync to a distant server's round trips.
constexpr double kFileBounds[] = {0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10, 30, 60};
constexpr double kCommitBounds[] = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                    0.1,   0.25,   0.5,   1,    2.5,   5};

} // namespace

CycleMetrics::CycleMetrics() : m_fileSeconds(kFileBounds), m_commitSeconds(kCommitBounds) {}

CycleMetrics& CycleMetrics::instance() {
    static CycleMetrics metrics;
    return metrics;
}

void CycleMetrics::versionStored(double seconds, std::int64_t unixSeconds) {
    m_commitSeconds.observe(seconds);
    add(m_versions);
    m_lastStored.store(unixSeconds, std::memory_order_relaxed);
}

const char* outcomeLabel(CycleMetrics::FileOutcome outcome) {
    using Outcome = CycleMetrics::FileOutcome;
    switch (outcome) {
    case Outcome::Stored:
        return "stored";
    case Outcome::Refused:
        return "refused";
    case Outcome::Uninterpreted:
        return "uninterpreted";
    case Outcome::NotAFile:
    case Outcome::Count:
        break;
    }
    return "not_a_file";
}

const char* resultLabel(CycleMetrics::PostResult result) {
    using Result = CycleMetrics::PostResult;
    switch (result) {
    case Result::Acknowledged:
        return "acknowledged";
    case Result::Refused:
        return "refused";
    case Result::Failed:
    case Result::Count:
        break;
    }
    return "failed";
}
