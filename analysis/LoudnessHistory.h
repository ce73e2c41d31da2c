#pragma once

// Short-term loudness one reading a second over the last hour, and its picture over a
// shorter span. Pure numbers; one thread at a time.

#include "analysis/LoudnessMeter.h"

#include <cstdint>
#include <vector>

class TLoudnessHistory {
  public:
    static constexpr int Capacity = 3600;

    // One reading for each second of audio.
    void Add(double shortTerm);
    void Clear();
    // Readings ever added.
    std::uint64_t Count() const { return FCount; }

    // `points` values over the last `spanSeconds` (1..Capacity), oldest first: each the
    // loudest reading of its share of the span, kNoLoudness where none was read.
    std::vector<double> Points(int spanSeconds, int points) const;

  private:
    std::vector<double> FReadings = std::vector<double>(Capacity, kNoLoudness);
    std::uint64_t FCount = 0;
};
