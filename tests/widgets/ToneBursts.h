#pragma once

// Synthetic programme for the meters' laws: stereo 16-bit frames at 48 kHz, appended piece by
// piece and handed out in blocks of any length, as the connector cuts them.

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

inline constexpr int kTestRate = 48000;

class TToneBursts {
  public:
    // A sine starting at a zero crossing, `peakDb` dBFS peak on the channels asked for.
    TToneBursts &Tone(double hz, double peakDb, double seconds, bool left = true, bool right = true) {
        const double amplitude = 32767.0 * std::pow(10.0, peakDb / 20.0);
        const int frames = Frames(seconds);
        for (int i = 0; i < frames; ++i) {
            const auto s = static_cast<std::int16_t>(
                std::lround(amplitude * std::sin(2.0 * std::numbers::pi * hz * i / kTestRate)));
            Push(left ? s : 0, right ? s : 0);
        }
        return *this;
    }
    TToneBursts &Silence(double seconds) {
        for (int i = Frames(seconds); i > 0; --i)
            Push(0, 0);
        return *this;
    }
    // Reproducible noise under a level that swells and fades, left and right apart.
    TToneBursts &Noise(double seconds) {
        const int frames = Frames(seconds);
        for (int i = 0; i < frames; ++i) {
            const double swell = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * 3.0 * i / frames);
            Push(Random(32767 * swell), Random(12000 * swell));
        }
        return *this;
    }
    // Held at full scale: the clip the read-outs latch on.
    TToneBursts &Clip(int frames) {
        for (int i = 0; i < frames; ++i)
            Push(i % 2 ? 32767 : -32768, 32767);
        return *this;
    }

    int FrameCount() const { return static_cast<int>(FData.size() / 2); }
    // Whole blocks of `frames` frames.
    int BlockCount(int frames) const { return FrameCount() / frames; }
    const std::int16_t *Block(int index, int frames) const { return At(index * frames); }
    // The stream from `frame` on, to cut blocks at any phase of the programme.
    const std::int16_t *At(int frame) const { return FData.data() + static_cast<std::size_t>(frame) * 2; }

  private:
    static int Frames(double seconds) { return static_cast<int>(std::lround(seconds * kTestRate)); }
    void Push(std::int16_t l, std::int16_t r) {
        FData.push_back(l);
        FData.push_back(r);
    }
    std::int16_t Random(double scale) {
        FSeed = FSeed * 1103515245u + 12345u;
        const double unit = static_cast<double>((FSeed >> 8) & 0xFFFF) / 32768.0 - 1.0;
        return static_cast<std::int16_t>(std::lround(unit * scale));
    }

    std::vector<std::int16_t> FData;
    std::uint32_t FSeed = 1;
};
