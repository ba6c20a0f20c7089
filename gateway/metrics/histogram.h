#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

// A Prometheus histogram of durations, written by one thread and read by
// another without locks: each observation adds to one bucket (not
// cumulative) and to the sum, each with a relaxed atomic.
class Histogram {
public:
    // `bounds`: the buckets' upper bounds in seconds, ascending.
    explicit Histogram(std::span<const double> bounds);

    void observe(double seconds);

    struct Snapshot {
        std::vector<double> bounds;
        std::vector<std::uint64_t> cumulative; // one per bound, then the +Inf bucket
        double sum = 0;
        std::uint64_t count() const { return cumulative.back(); }
    };
    Snapshot snapshot() const;

private:
    static constexpr std::size_t kMaxBuckets = 16;
    std::vector<double> m_bounds;
    std::array<std::atomic<std::uint64_t>, kMaxBuckets + 1> m_counts{};
    std::atomic<std::uint64_t> m_sumNanoseconds{0};
};
