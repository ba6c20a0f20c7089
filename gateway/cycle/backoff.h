#pragma once

#include <algorithm>
#include <chrono>

// The pause before the next try after one more failure in a row: the first
// retry delay after the first failure, then twice the last pause, up to five
// minutes (or the first delay, when that is longer). `last` is zero before
// any failure.
inline std::chrono::steady_clock::duration nextBackoff(std::chrono::steady_clock::duration last,
                                                       std::chrono::steady_clock::duration first) {
    if (last <= std::chrono::steady_clock::duration::zero())
        return first;
    return std::min(last * 2,
                    std::max<std::chrono::steady_clock::duration>(std::chrono::minutes(5), first));
}
