#pragma once

// The test programmes of EBU Tech 3341 / 3342: stereo sines (at 48 kHz unless told), the same on both
// channels, each segment's level given as the sine's peak in dBFS. Made a chunk at a time
// with the phase running on across segments, so no programme is ever held whole.

#include <cmath>
#include <cstddef>
#include <initializer_list>
#include <vector>

struct TToneSegment {
    double PeakDBFS;
    double Seconds;
};

class TToneProgramme {
  public:
    static constexpr int Rate = 48000;

    // The frequency must divide the rate: one period is tabled and repeated.
    explicit TToneProgramme(std::initializer_list<TToneSegment> segments, int hz = 1000,
                            double startDegrees = 0.0, int rate = Rate)
        : FSegments(segments), FRate(rate) {
        const int period = rate / hz;
        for (int i = 0; i < period; ++i)
            FPeriod.push_back(std::sin(2 * M_PI * (i / double(period) + startDegrees / 360.0)));
    }

    // Calls sink(frames, count) with interleaved stereo floats, `chunk` frames at most a call.
    template <typename Sink> void Play(Sink &&sink, std::size_t chunk = 1000) {
        std::vector<float> buffer(chunk * 2);
        for (const TToneSegment &s : FSegments) {
            const double gain = std::pow(10.0, s.PeakDBFS / 20.0);
            auto left = static_cast<std::size_t>(std::llround(s.Seconds * FRate));
            while (left > 0) {
                const std::size_t n = left < chunk ? left : chunk;
                for (std::size_t i = 0; i < n; ++i) {
                    const auto v = static_cast<float>(gain * FPeriod[FPhase]);
                    buffer[2 * i] = buffer[2 * i + 1] = v;
                    FPhase = (FPhase + 1) % FPeriod.size();
                }
                sink(buffer.data(), n);
                left -= n;
            }
        }
    }

  private:
    std::vector<TToneSegment> FSegments;
    int FRate;
    std::vector<double> FPeriod;
    std::size_t FPhase = 0;
};
