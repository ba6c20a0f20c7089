#include "histogram.h"

#include <algorithm>
#include <cassert>
#include <cmath>

Histogram::Histogram(std::span<const double> bounds) : m_bounds(bounds.begin(), bounds.end()) {
    assert(m_bounds.size() <= kMaxBuckets);
}

void Histogram::observe(double seconds) {
    seconds = std::max(seconds, 0.0);
    // Prometheus buckets are "less than or equal to" their bound.
    const auto bucket = std::lower_bound(m_bounds.begin(), m_bounds.end(), seconds);
    m_counts[std::size_t(bucket - m_bounds.begin())].fetch_add(1, std::memory_order_relaxed);
    m_sumNanoseconds.fetch_add(std::uint64_t(std::llround(seconds * 1e9)),
                               std::memory_order_relaxed);
}

Histogram::Snapshot Histogram::snapshot() const {
    Snapshot snapshot;
    snapshot.bounds = m_bounds;
    std::uint64_t total = 0;
    for (std::size_t i = 0; i <= m_bounds.size(); ++i) {
        total += m_counts[i].load(std::memory_order_relaxed);
        snapshot.cumulative.push_back(total);
    }
    snapshot.sum = double(m_sumNanoseconds.load(std::memory_order_relaxed)) / 1e9;
    return snapshot;
}
