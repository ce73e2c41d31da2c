// Real capture through the ALSA driver into a connector: a tone played into the
// test's PulseAudio null sink comes back from its monitor, and every block
// reaches the display at the pace of the sound.

#include "audio/ConnectorFakes.h"
#include "audio/MMConnector.h"
#include "audio/MMWaveIn.h"
#include "platform/AlsaWaveIn.h"
#include "platform/MicrosecondClock.h"

#include "common/PumpEventsUntil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

constexpr int W = 200; // 50 stereo frames

// Records, for every block, where it lay in its buffer, when it came relative to
// the buffer's arrival, and its loudest sample.
class TPacedLevel : public TMMBlockDisplay {
  public:
    struct Block {
        int pos;
        std::int64_t sinceArrival;
        int peak;
        bool carried; // left over from a buffer a newer one had followed
    };

    explicit TPacedLevel(const TMMConnector &c) : FConnector(c) {}
    ~TPacedLevel() override { DetachFromConnectors(); }
    void SetWaveFormat(const TWaveFormatEx *) override {}
    int BlockBytes() const override { return W; }
    void ResetData() override {}
    // Runs on the refreshing thread; intake may take the next buffer in meanwhile.
    void ProcessBlock(const void *data) override {
        std::int16_t s[W / 2];
        std::memcpy(s, data, sizeof s);
        int peak = 0;
        for (std::int16_t v : s)
            peak = std::max(peak, std::abs(int(v)));
        const int pos = FConnector.HandedPosition();
        const bool carried = FConnector.HandedArrival() != FConnector.ArrivalTime();
        std::lock_guard lock(FMutex);
        FBlocks.push_back({pos, MicrosecondClock() - FConnector.HandedArrival(), peak, carried});
    }
    std::vector<Block> Blocks() {
        std::lock_guard lock(FMutex);
        return FBlocks;
    }

  private:
    const TMMConnector &FConnector;
    std::mutex FMutex;
    std::vector<Block> FBlocks;
};

TEST(ConnectorCapture, LiveCaptureReachesTheDisplayAtThePaceOfTheSound) {
    if (std::getenv("VELMORA_PULSE") == nullptr) GTEST_SKIP() << "no PulseAudio server (VELMORA_PULSE unset)";

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString tone = dir.filePath("tone.wav");
    ASSERT_EQ(QProcess::execute("sox", {"-n", "-r", "48000", "-c", "2", "-b", "16", tone, "synth", "4",
                                        "sine", "1000", "vol", "0.1"}),
              0);

    TAlsaWaveInDriver driver;
    TMMWaveIn in(&driver);
    in.SetDeviceID(WAVE_MAPPER);
    in.SetCallBackMode(cmThread);
    in.SetMode(mStereo);
    in.SetBitLength(b16Bit);
    in.SetSampleRate(48000);
    in.SetBufferSize(8192);
    TMMConnector c;
    in.SetOutput(&c);
    ASSERT_EQ(c.Input(), &in);
    TPacedLevel level(c);
    c.SetLevel1(&level);

    QProcess player;
    player.start("paplay", {"--latency-msec=20", tone});
    ASSERT_TRUE(player.waitForStarted(5000));
    in.Start();
    ASSERT_TRUE(c.IsRunning());
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 2500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    in.Stop();
    in.Close();
    // A stop that meets a buffer being delivered completes on the main thread a moment later.
    EXPECT_TRUE(PumpEventsUntil([&] { return in.State() == TMMCustomWaveIn::wsClosed; }, 5000));
    EXPECT_FALSE(c.IsRunning());
    if (!player.waitForFinished(5000)) {
        player.kill();
        player.waitForFinished(1000);
    }

    const auto blocks = level.Blocks();
    // 2.5 s of sound is about 58 buffers of 40.96 blocks each; the server may be slow to
    // start delivering, so count the buffers that began (a block at a buffer's start, or
    // completed from the one before) rather than the time. A main thread that falls behind
    // catches up rather than skipping blocks, and a buffer that arrives early (the server
    // delivers in bursts) lets the rest of the one before go out first.
    const auto begun = std::count_if(blocks.begin(), blocks.end(), [](const auto &b) { return b.pos <= 0; });
    ASSERT_GT(begun, 10);
    ASSERT_GE(std::int64_t(blocks.size()), (begun - 1) * 40) << begun << " buffers";
    int loud = 0;
    for (const auto &b : blocks) {
        ASSERT_GT(b.pos, -W);
        ASSERT_LE(b.pos + W, 8192);
        // A block never before the time of its first frame after its buffer came, unless a
        // newer buffer came first: the sound after it was recorded by then.
        if (!b.carried) {
            EXPECT_GE(b.sinceArrival, std::int64_t(b.pos) * 1000000 / 192000) << "block at " << b.pos;
        }
        EXPECT_GE(b.sinceArrival, 0);
        if (b.peak > 3000 && b.peak < 3600) ++loud; // the tone's -20 dBFS peak is 3277
    }
    EXPECT_GT(loud, 500) << "the tone did not come through";
    std::printf("%zu blocks in 2.5 s, %d of them with the tone's peak\n", blocks.size(), loud);
    // Later blocks really wait for their time: the last ones of a buffer (from byte
    // 7800) come about 41 ms after the buffer, not at once.
    std::int64_t latest = 0;
    for (const auto &b : blocks)
        if (b.pos >= 7800) latest = std::max(latest, b.sinceArrival);
    EXPECT_GE(latest, 7800LL * 1000000 / 192000);
}

} // namespace
