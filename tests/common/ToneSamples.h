#pragma once

// A tone programme as the console captures it: interleaved 16-bit stereo samples.

#include "common/ToneProgramme.h"

#include <cmath>
#include <cstdint>
#include <vector>

inline std::vector<std::int16_t> ToneSamples(std::initializer_list<TToneSegment> segments) {
    std::vector<std::int16_t> samples;
    TToneProgramme(segments).Play([&](const float *f, std::size_t n) {
        for (std::size_t i = 0; i < 2 * n; ++i)
            samples.push_back(static_cast<std::int16_t>(std::lround(f[i] * 32767.0)));
    });
    return samples;
}
