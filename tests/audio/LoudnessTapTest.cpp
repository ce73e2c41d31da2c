#include "audio/MMLoudnessTap.h"
#include "common/ToneSamples.h"
#include "core/SampleRing.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

// Hands the samples over as capture does, in 8192-byte buffers, waiting for the measuring
// thread after every second or so, as capture at its own pace would.
void Deliver(TMMLoudnessTap &tap, std::vector<std::int16_t> &samples) {
    for (std::size_t at = 0; at < samples.size(); at += 4096) {
        if (at % (4096 * 24) == 0) tap.Flush();
        WAVEHDR header;
        header.lpData = reinterpret_cast<char *>(&samples[at]);
        header.dwBytesRecorded =
            static_cast<std::uint32_t>(std::min<std::size_t>(4096, samples.size() - at) * 2);
        tap.BufferReady(&header);
    }
}

void SetFormat(TMMLoudnessTap &tap, std::uint16_t bits) {
    TWaveFormatEx format;
    BuildPCMFormat(format, bits, 2, 48000);
    tap.SetPWaveFormat(&format);
}

} // namespace

// The ring refuses a write whole when it lacks room and carries samples across its end.
TEST(LoudnessTap, RingRefusesWhatDoesNotFitAndWrapsAround) {
    TMMSampleRing ring(6);
    ASSERT_EQ(ring.Capacity(), 8u);
    std::vector<std::int16_t> in(8), out(8);
    std::iota(in.begin(), in.end(), 1);
    EXPECT_TRUE(ring.Write(in.data(), 6));
    EXPECT_FALSE(ring.Write(in.data(), 3));
    EXPECT_EQ(ring.Read(out.data(), 4), 4u);
    EXPECT_TRUE(ring.Write(in.data(), 6)); // crosses the end
    EXPECT_EQ(ring.Read(out.data(), 8), 8u);
    EXPECT_EQ(out, (std::vector<std::int16_t>{5, 6, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(ring.Read(out.data(), 8), 0u);
}

// The measuring thread takes every buffer in order and the commands between them; a pause
// given before any stream still holds once one comes.
TEST(LoudnessTap, MeasuresTheBuffersOnItsOwnThreadAndTakesCommandsInOrder) {
    TMMLoudnessTap tap;
    tap.Pause();
    SetFormat(tap, 16);
    std::vector<std::int16_t> loud = ToneSamples({{-13, 5}}),
                              tone = ToneSamples({{-36, 10}, {-23, 60}, {-36, 10}});
    Deliver(tap, loud);
    tap.Flush();
    EXPECT_FALSE(tap.Reading().Running);
    EXPECT_EQ(tap.Reading().Seconds, 0.0);
    EXPECT_NEAR(tap.Reading().Momentary, -13.0, 0.1);

    tap.Start();
    Deliver(tap, tone);
    tap.Flush();
    const TLoudnessReading reading = tap.Reading();
    EXPECT_TRUE(reading.Measuring && reading.Running);
    EXPECT_NEAR(reading.Integrated, -23.0, 0.1);
    EXPECT_NEAR(reading.Seconds, 80.0, 1e-9);
    EXPECT_NEAR(reading.TruePeakR, -23.0, 0.2);
    EXPECT_NEAR(tap.History(60, 60)[20], -23.0, 0.1);
    EXPECT_EQ(tap.DroppedBuffers(), 0u);
    EXPECT_EQ(tap.TakeMinutes().size(), 1u);

    tap.Reset();
    tap.Flush();
    EXPECT_EQ(tap.Reading().Integrated, kNoLoudness);
    // An 8-bit stream is not measured; its buffers pass on untouched.
    SetFormat(tap, 8);
    Deliver(tap, tone);
    tap.Flush();
    EXPECT_FALSE(tap.Reading().Measuring);
}
