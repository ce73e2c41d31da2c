// A display far slower than the sound, fed by real-time capture of the simulated
// counting signal: the capture side keeps its pace, loses, repeats and reorders
// nothing, and never queues behind the drawing for the connector's lock.

#include "audio/MMConnector.h"
#include "audio/MMHiTimer.h"
#include "audio/MMWaveIn.h"
#include "platform/SimWaveIn.h"

#include "common/ManualTimerSource.h"
#include "common/PumpEventsUntil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

constexpr int W = 200; // 50 stereo frames

// Both samples of frame n hold n modulo 2^16.
std::uint16_t Frame(const char *data, int frame, int channel) {
    std::uint16_t v;
    std::memcpy(&v, data + frame * 4 + channel * 2, 2);
    return v;
}

// Counts the frames after the connector that do not continue the count.
class TCounterCheck : public TMMDSPComponent {
  public:
    bool PublishesInput() const override { return true; }
    void BufferReady(PWaveHdr hdr) override {
        const int frames = static_cast<int>(hdr->dwBytesRecorded / 4);
        for (int i = 0; i < frames; ++i) {
            const std::uint16_t v = Frame(hdr->lpData, i, 0);
            if ((Frames > 0 && v != FNext) || Frame(hdr->lpData, i, 1) != v) ++Faults;
            FNext = static_cast<std::uint16_t>(v + 1);
            ++Frames;
        }
        ++Buffers;
        TMMDSPComponent::BufferReady(hdr);
    }
    std::atomic<long> Frames{0}, Buffers{0}, Faults{0};

  private:
    std::uint16_t FNext = 0;
};

// Takes 100 ms over each block, and checks the block is one run of the count.
class TSlowLevel : public TMMBlockDisplay {
  public:
    ~TSlowLevel() override { DetachFromConnectors(); }
    void SetWaveFormat(const TWaveFormatEx *) override {}
    int BlockBytes() const override { return W; }
    void ResetData() override {}
    void ProcessBlock(const void *data) override {
        const auto *p = static_cast<const char *>(data);
        const std::uint16_t first = Frame(p, 0, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        for (int i = 0; i < W / 4; ++i)
            if (Frame(p, i, 0) != static_cast<std::uint16_t>(first + i) || Frame(p, i, 1) != Frame(p, i, 0))
                ++Torn;
        ++Blocks;
    }
    std::atomic<int> Blocks{0}, Torn{0};
};

TEST(ConnectorSlowDisplay, CaptureKeepsItsPaceBehindADisplayTenTimesTooSlow) {
    TSimWaveInDriver sim; // device 3 counts, in real time
    TMMWaveIn in(&sim);
    in.SetDeviceID(3);
    in.SetCallBackMode(cmThread);
    in.SetMode(mStereo);
    in.SetBitLength(b16Bit);
    in.SetSampleRate(48000);
    in.SetBufferSize(8192);
    // The internal timer serves the timer trigger only; here it stays still.
    ManualTimerSource ticks;
    TMMConnector c;
    c.InternalTimer()->SetTimerSource(&ticks);
    in.SetOutput(&c);
    TCounterCheck check;
    c.SetOutput(&check);
    TSlowLevel level;
    c.SetLevel1(&level);

    in.Start();
    ASSERT_TRUE(c.IsRunning());
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const double seconds = t.elapsed() / 1000.0;
    in.Stop();
    in.Close();
    EXPECT_TRUE(PumpEventsUntil([&] { return in.State() == TMMCustomWaveIn::wsClosed; }, 5000));

    EXPECT_EQ(check.Faults, 0) << "frames lost, repeated or out of order";
    // All of the sound went through: at most the ring's ten buffers (427 ms) may
    // still have been queued when the stop came, and start-up takes a moment.
    EXPECT_GE(check.Frames, static_cast<long>((seconds - 1.0) * 48000)) << check.Buffers << " buffers";
    EXPECT_GE(level.Blocks, 30);
    EXPECT_EQ(level.Torn, 0) << "a display read memory intake was writing";
    EXPECT_LT(c.LongestIntakeWaitNs(), 1'000'000);
    std::printf("%ld buffers, %d blocks drawn, longest intake wait %lld ns\n", check.Buffers.load(),
                level.Blocks.load(), static_cast<long long>(c.LongestIntakeWaitNs()));
}

} // namespace
