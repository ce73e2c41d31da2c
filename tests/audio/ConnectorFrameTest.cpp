// Blocks handed out at the pace of the screen: riding a 60 Hz frame tick while
// a window shows, one pass per arriving buffer while none does. Either way each
// display gets every block once, in order, never before it falls due.

#include "audio/ConnectorFakes.h"
#include "audio/MMFrameRide.h"

#include <algorithm>
#include <map>

namespace {

class TFakeScreen : public TMMFrameSource {
  public:
    TFakeScreen() { TMMFrameRide::SetSource(this); }
    ~TFakeScreen() override { TMMFrameRide::SetSource(nullptr); }
    bool Showing() const override { return Shows; }
    void RequestFrame() override { ++Requests; }
    bool Shows = true;
    int Requests = 0;
};

constexpr int kBufferBytes = 8192; // 2048 frames, 42 667 µs
constexpr int kBlockBytes = 200;   // 50 frames
constexpr std::int64_t kBufferUs = 42'667;
constexpr std::int64_t kFrameUs = 16'667;
constexpr int kBuffers = 6;

// The counting signal, buffer after buffer: frame i of buffer b is b * 2048 + i.
std::vector<char> Buffer(int b) {
    std::vector<char> data = Signal(kBufferBytes);
    for (int i = 0; i + 4 <= kBufferBytes; i += 4) {
        const auto v = static_cast<std::int16_t>(b * 2048 + i / 4);
        std::memcpy(data.data() + i, &v, 2);
    }
    return data;
}

struct ConnectorFrames : ConnectorTest {
    TFakeScreen screen;
    TRecordingLevel level{kBlockBytes};
    std::map<int, std::int64_t> due; // first sample -> when its block falls due

    void SetUp() override {
        ConnectorTest::SetUp();
        level.clock = [this] { return now; };
        c->SetLevel1(&level);
    }
    void TearDown() override {
        ConnectorTest::TearDown();
        TMMFrameRide::SetRiding(false);
    }
    void Arrive(int b) {
        for (int pos = 0; pos + kBlockBytes <= kBufferBytes; pos += kBlockBytes)
            due[b * 2048 + pos / 4] = now + std::int64_t(pos) * 1'000'000 / 192'000;
        Feed(Buffer(b));
    }
    // The blocks of the buffers Arrive fed come first, in order, each once, none
    // early, none later than `late` after it fell due.
    void ExpectEveryBlockOnce(std::int64_t late) {
        const std::vector<TRecordedBlock> blocks = level.Blocks();
        ASSERT_GE(blocks.size(), due.size());
        auto expected = due.begin();
        for (std::size_t i = 0; i < due.size(); ++i, ++expected) {
            const TRecordedBlock &b = blocks[i];
            ASSERT_EQ(b.firstSample, expected->first);
            EXPECT_GE(b.at, expected->second) << "block " << b.firstSample << " early";
            EXPECT_LE(b.at, expected->second + late) << "block " << b.firstSample << " late";
        }
    }
};

TEST_F(ConnectorFrames, WhileAWindowShowsPassesRideTheFramesAndBuffersWakeNobody) {
    Start(false);
    ASSERT_TRUE(WaitFor([] { return TMMFrameRide::Riding(); }));
    std::int64_t nextFrame = now + 5'000, nextBuffer = now;
    const std::int64_t end = now + kBuffers * kBufferUs + 3 * kFrameUs;
    int fed = 0;
    while (now < end) {
        now = std::min(nextFrame, fed < kBuffers ? nextBuffer : end);
        if (fed < kBuffers && now == nextBuffer) {
            const std::size_t before = level.BlockTotal();
            Arrive(fed++);
            nextBuffer += kBufferUs;
            QCoreApplication::processEvents();
            EXPECT_EQ(level.BlockTotal(), before) << "a buffer woke the main thread";
        }
        if (now == nextFrame) {
            const int requests = screen.Requests;
            TMMFrameRide::Frame();
            EXPECT_GT(screen.Requests, requests) << "the pass asked for no next frame";
            nextFrame += kFrameUs;
        }
    }
    EXPECT_EQ(level.BlockTotal(), due.size());
    ExpectEveryBlockOnce(kFrameUs);
}

TEST_F(ConnectorFrames, WithNothingShownEachBufferWakesOnePass) {
    screen.Shows = false;
    int passes = 0;
    c->SetOnTrigger([&](TObject *) { ++passes; });
    Start(false);
    PumpEventsUntil([] { return false; }, 20); // the start's own pass
    EXPECT_FALSE(TMMFrameRide::Riding());
    passes = 0;
    for (int b = 0; b <= kBuffers; ++b, now += kBufferUs) {
        const std::size_t before = level.BlockTotal();
        // The last buffer only ends the one before.
        b < kBuffers ? Arrive(b) : Feed(Buffer(b));
        ASSERT_TRUE(WaitFor([&] { return level.BlockTotal() > before; }));
        PumpEventsUntil([] { return false; }, 5);
    }
    ExpectEveryBlockOnce(kBufferUs);
    EXPECT_EQ(passes, kBuffers + 1);
    EXPECT_EQ(screen.Requests, 0);
}

} // namespace
