// The console's PEAK bars and VU needles in their classic ballistics, pinned: a recorded
// programme's bar, marker and needle positions, block by block, must come out as they always
// did, whatever the standard modes beside them add.

#include "ConsoleMeters.h"
#include "ToneBursts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>

namespace {

// FNV-1a over every reading, so one changed position anywhere changes the sum.
class TReadings {
  public:
    void Add(std::uint64_t v) {
        for (int i = 0; i < 8; ++i, v >>= 8)
            FHash = (FHash ^ (v & 0xFF)) * 0x100000001B3ull;
        ++FCount;
    }
    std::uint64_t Hash() const { return FHash; }
    int Count() const { return FCount; }

  private:
    std::uint64_t FHash = 0xCBF29CE484222325ull;
    int FCount = 0;
};

// Tone, silence, a short burst, swelling noise and a clip: every ballistic path.
TToneBursts Programme() {
    TToneBursts p;
    p.Tone(1000, -20, 0.3, true, false).Silence(0.2).Tone(5000, 0, 0.005).Silence(0.3).Noise(1.0);
    p.Tone(1000, -6, 0.25, false, true).Clip(600).Silence(0.7);
    return p;
}

} // namespace

TEST(ClassicLaws, RecordedProgrammeReadsAsBefore) {
    const TToneBursts programme = Programme();
    TMMLevelState bars[2];
    TMMMeterState needles[2];
    for (int c = 0; c < 2; ++c) {
        ConsoleBar(bars[c], c == 0 ? chLeft : chRight);
        ConsoleNeedle(needles[c], c == 0 ? chLeft : chRight);
    }

    TReadings bar, needle;
    int highestBar = 0;
    double widestAngle = 0.0;
    constexpr int kBarFrames = 50, kTickBlocks = 24; // the peak tick every 25 ms
    for (int b = 0; b < programme.BlockCount(kBarFrames); ++b) {
        for (TMMLevelState &s : bars) {
            s.ProcessBlock(programme.Block(b, kBarFrames));
            if (b % kTickBlocks == kTickBlocks - 1) s.PeakTick();
            bar.Add(static_cast<std::uint64_t>(s.BarPosition()) << 32 |
                    static_cast<std::uint32_t>(s.PeakPosition()));
            bar.Add(static_cast<std::uint64_t>(s.CurrentPeak()));
            highestBar = std::max(highestBar, s.BarPosition());
        }
    }
    for (int b = 0; b < programme.BlockCount(1000); ++b)
        for (TMMMeterState &s : needles) {
            s.ProcessBlock(programme.Block(b, 1000));
            needle.Add(std::bit_cast<std::uint64_t>(s.NeedleAngle()));
            widestAngle = std::max(widestAngle, s.NeedleAngle());
        }

    // The programme drives the bars to the top and the needles past 0 VU.
    EXPECT_EQ(highestBar, bars[0].Geometry().BarSpots);
    EXPECT_GT(widestAngle, VUAngle(0.0, needles[0].Swing()));
    // Recorded from the laws before the standard modes came.
    EXPECT_EQ(bar.Count(), 10624);
    EXPECT_EQ(bar.Hash(), 0xa4f1d0a22485cbc1ull) << std::hex << bar.Hash();
    EXPECT_EQ(needle.Count(), 264);
    EXPECT_EQ(needle.Hash(), 0x75172def2c14959dull) << std::hex << needle.Hash();
}
