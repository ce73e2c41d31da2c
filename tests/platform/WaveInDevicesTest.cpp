#include "platform/WaveInDevices.h"
#include "platform/SimWaveIn.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace {

TSimDevice Named(const std::string &name, std::uint32_t formats = 0xFFF) {
    TSimDevice d;
    d.Name = name;
    d.Formats = formats;
    return d;
}

TWaveFormatEx Pcm(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits) {
    TWaveFormatEx f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

} // namespace

TEST(WaveInDevices, AnIdIsOneOfTheListOrThePreferredDevice) {
    EXPECT_TRUE(IsWaveInDeviceId(WAVE_MAPPER, 2));
    EXPECT_TRUE(IsWaveInDeviceId(1, 2));
    EXPECT_FALSE(IsWaveInDeviceId(2, 2));
    EXPECT_FALSE(IsWaveInDeviceId(-2, 2));
}

TEST(WaveInDevices, TheNameComesFromTheCapabilitiesCutToTheirField) {
    TSimWaveInDriver sim({Named("mic"), Named(std::string(40, 'n'))});
    EXPECT_EQ(WaveInDeviceName(sim, 0, 2), "mic");
    EXPECT_EQ(WaveInDeviceName(sim, 1, 2), std::string(31, 'n'));
    EXPECT_EQ(WaveInDeviceName(sim, 2, 2), std::nullopt);
    EXPECT_EQ(WaveInDeviceName(sim, 0, 0), std::nullopt) << "an empty list names nothing";
    sim.Fail(TSimOp::GetDevCaps, MMSYSERR_NODRIVER);
    EXPECT_EQ(WaveInDeviceName(sim, 0, 2), std::nullopt);
}

TEST(WaveInDevices, AFormatIsRecordableWhenQueriedAndCoveredByTheDevicesBits) {
    TSimWaveInDriver sim({Named("mono 16 bit only", WAVE_FORMAT_4M16)});
    const TWaveFormatEx mono = Pcm(48000, 1, 16), stereo = Pcm(48000, 2, 16), odd = Pcm(96000, 2, 16);
    EXPECT_TRUE(WaveInDeviceCanRecord(sim, 0, 1, &mono));
    EXPECT_FALSE(WaveInDeviceCanRecord(sim, 0, 1, &stereo)) << "its standard bit is missing";
    EXPECT_TRUE(WaveInDeviceCanRecord(sim, 0, 1, &odd)) << "no standard bit covers the rate";
    EXPECT_FALSE(WaveInDeviceCanRecord(sim, 1, 1, &mono));
    EXPECT_FALSE(WaveInDeviceCanRecord(sim, 0, 1, nullptr));
    sim.Fail(TSimOp::Query, WAVERR_BADFORMAT);
    EXPECT_FALSE(WaveInDeviceCanRecord(sim, 0, 1, &mono));
}

// A device that refuses its first open (as a PCM behind a sound server can, right after another
// was closed) is kept after one more try; one that always refuses is dropped; one pause for all.
TEST(WaveInDevices, TheProbeTriesARefusedDeviceOnceMoreAfterAPause) {
    std::map<std::string, int> opens;
    const auto driver = [&](const std::string &name) {
        return ++opens[name] > 1 ? name != "gone" : name == "hw:0";
    };
    const auto started = std::chrono::steady_clock::now();
    const std::vector<std::string> kept =
        KeepOpenable({"default", "gone", "hw:0"}, driver, std::chrono::milliseconds(50));
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(50));
    EXPECT_EQ(kept, (std::vector<std::string>{"default", "hw:0"}));
    EXPECT_EQ(opens, (std::map<std::string, int>{{"default", 2}, {"gone", 2}, {"hw:0", 1}}));
}
