// The trigger loop sleeps while nothing is due, and intake never waits for a
// display that is drawing.

#include "audio/ConnectorFakes.h"
#include "audio/MMPeakTick.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

// A level whose first block stops until the test lets it go, and that checks the
// block's memory stayed as it was while it waited.
class TGateLevel : public TRecordingLevel {
  public:
    using TRecordingLevel::TRecordingLevel;
    void ProcessBlock(const void *data) override {
        Record(data);
        std::unique_lock lock(FGate);
        if (FHeld) return;
        FHeld = true;
        std::vector<char> before(static_cast<const char *>(data),
                                 static_cast<const char *>(data) + BlockBytes());
        FEntered.notify_all();
        FReleased.wait_for(lock, 5s, [this] { return FRelease; });
        Unchanged = std::memcmp(before.data(), data, before.size()) == 0;
    }
    // The test's worker: waits until a block is being drawn.
    bool WaitUntilHeld() {
        std::unique_lock lock(FGate);
        return FEntered.wait_for(lock, 5s, [this] { return FHeld; });
    }
    // True when the drawing was still held (nobody had waited for it).
    bool Release() {
        std::lock_guard lock(FGate);
        const bool held = !FRelease;
        FRelease = true;
        FReleased.notify_all();
        return held;
    }
    bool Unchanged = false;

  private:
    std::mutex FGate;
    std::condition_variable FEntered, FReleased;
    bool FHeld = false;
    bool FRelease = false;
};

// Frames counting on from `first`: a buffer that can be told from Signal's.
std::vector<char> SignalFrom(int first, int bytes) {
    std::vector<char> data = Signal(bytes);
    for (int i = 0; i + 4 <= bytes; i += 4) {
        const auto v = static_cast<std::int16_t>(first + i / 4);
        std::memcpy(data.data() + i, &v, 2);
    }
    return data;
}

TEST_F(ConnectorTest, IntakeTakesABufferInWhileADisplayDrawsTheOneBefore) {
    TGateLevel level(200);
    c->SetLevel1(&level);
    c->SetSynchronize(false);
    Start();
    Feed(8192);

    bool fedWhileHeld = false;
    std::thread worker([&] {
        if (!level.WaitUntilHeld()) return;
        Feed(SignalFrom(1000, 8192));
        fedWhileHeld = level.Release();
    });
    c->Refresh(); // draws block 0 until the worker lets it go
    level.Release();
    worker.join();
    EXPECT_TRUE(fedWhileHeld) << "intake waited for the drawing display";
    EXPECT_TRUE(level.Unchanged) << "intake wrote into the block being drawn";
    EXPECT_EQ(c->ValidBytes(), 8192);

    // The new buffer is shown from its start.
    c->Refresh();
    const auto blocks = level.Blocks();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].firstSample, 0);
    EXPECT_EQ(blocks[1].firstSample, 1000);
}

// Passes run only when a block falls due: none while the stream is idle, about one
// per block while a buffer is being shown (a loop that polled would make one a
// millisecond).
TEST_F(ConnectorTest, TheLoopRunsAPassOnlyWhenABlockFallsDue) {
    c->SetClock(nullptr);
    TRecordingLevel level(1920); // 10 ms per block, 4 blocks a buffer
    c->SetLevel1(&level);
    int passes = 0;
    c->SetOnTrigger([&](TObject *) { ++passes; });
    Start(false);
    ASSERT_TRUE(c->IsTriggering());
    PumpEventsUntil([] { return false; }, 40);
    EXPECT_LE(passes, 1); // the first pass after the start, then sleep

    passes = 0;
    Feed(8192);
    ASSERT_TRUE(WaitFor([&] { return level.BlockTotal() == 4 && !c->NewData(TMMConnector::dgLevels); }));
    PumpEventsUntil([] { return false; }, 30);
    // At most one pass for each block and one that finds the buffer used up (a pass
    // that came late hands out every block due by then); room for a block that fell
    // due while its pass was ending.
    EXPECT_LE(passes, 7);
    EXPECT_EQ(TMMConnector::RunningCount(), 1);
}

// Blocks a millisecond apart share a wake: about one pass for every two.
TEST_F(ConnectorTest, BlocksFallingDueWithinAMomentShareAPass) {
    c->SetClock(nullptr);
    TRecordingLevel level(200); // 1.04 ms per block, 40 blocks a buffer
    c->SetLevel1(&level);
    Start(false);
    int passes = 0;
    c->SetOnTrigger([&](TObject *) { ++passes; });
    Feed(8192);
    ASSERT_TRUE(WaitFor([&] { return level.BlockTotal() == 40 && !c->NewData(TMMConnector::dgLevels); }));
    EXPECT_LE(passes, 24);
}

TEST_F(ConnectorTest, ThePausedRefreshWakesTheSleepingLoop) {
    ManualTimerSource ticks;
    TMMPeakTickService service(&ticks);
    c->SetPeakTickService(&service);
    c->SetClock(nullptr);
    TRecordingLevel level(2048);
    c->SetLevel1(&level);
    Start(false);
    Feed(8192);
    ASSERT_TRUE(WaitFor([&] { return level.BlockTotal() == 4 && !c->NewData(TMMConnector::dgLevels); }));

    // Nothing is due any more: the loop sleeps, and only the tick can bring the
    // silent buffer back.
    c->Paused();
    ticks.Fire();
    ASSERT_TRUE(WaitFor([&] { return level.BlockTotal() == 5; }));
    EXPECT_TRUE(level.Blocks().back().silent);
    EXPECT_EQ(level.Blocks().back().firstSample, 0);
    c->Restarted();
}

} // namespace
