#include "analysis/LoudnessHistory.h"

#include <algorithm>

void TLoudnessHistory::Add(double shortTerm) {
    FReadings[FCount % Capacity] = shortTerm;
    ++FCount;
}

void TLoudnessHistory::Clear() {
    std::fill(FReadings.begin(), FReadings.end(), kNoLoudness);
    FCount = 0;
}

std::vector<double> TLoudnessHistory::Points(int spanSeconds, int points) const {
    std::vector<double> out(static_cast<std::size_t>(std::max(points, 0)), kNoLoudness);
    const auto span = static_cast<std::int64_t>(std::clamp(spanSeconds, 1, Capacity));
    const auto end = static_cast<std::int64_t>(FCount);
    // Reading k (counted from the first ever) lies in point (k - (end - span)) * points / span.
    for (std::int64_t k = std::max<std::int64_t>(0, end - span); k < end; ++k) {
        const auto p = static_cast<std::size_t>((k - (end - span)) * points / span);
        out[p] = std::max(out[p], FReadings[static_cast<std::size_t>(k % Capacity)]);
    }
    return out;
}
