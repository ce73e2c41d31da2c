// Blocks handed out at the pace of the screen: riding a 60 Hz frame tick while
// a window shows, one pass per arriving buffer while none does. Either way each
// display gets every frame once, in order, in blocks of its own size, never before
// they fall due.

#include "audio/ConnectorFakes.h"
#include "audio/MMFrameRide.h"

#include <algorithm>
#include <map>
#include <numeric>

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
    // The blocks that end in buffer b fall due at their first frame's time, and not
    // before the buffer came: one begun in the buffer before comes at once.
    void Arrive(int b) {
        constexpr int frames = kBlockBytes / 4;
        for (int first = b * 2048 / frames * frames; first + frames <= (b + 1) * 2048; first += frames)
            due[first] = now + std::max<std::int64_t>(0, std::int64_t(first - b * 2048) * 1'000'000 / 48'000);
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

// Keeps every frame it is handed (the counting signal over both channels: low half left,
// high half right) and when each block came.
template <typename Base> class TFrameLog : public Base {
  public:
    TFrameLog(int frames, const std::int64_t &clock) : FFrames(frames), FClock(clock) {}
    ~TFrameLog() override { this->DetachFromConnectors(); }
    void SetWaveFormat(const TWaveFormatEx *) override {}
    int BlockBytes() const override { return FFrames * 4; }
    void ResetData() override {}
    std::vector<std::uint32_t> Frames;
    std::vector<std::int64_t> Came;

  protected:
    void Log(const void *data) {
        std::vector<std::uint16_t> s(FFrames * 2);
        std::memcpy(s.data(), data, s.size() * 2);
        for (int f = 0; f < FFrames; ++f)
            Frames.push_back(s[2 * f] | std::uint32_t(s[2 * f + 1]) << 16);
        Came.push_back(FClock);
    }

  private:
    int FFrames;
    const std::int64_t &FClock;
};
struct TBlockLog : TFrameLog<TMMBlockDisplay> {
    using TFrameLog::TFrameLog;
    void ProcessBlock(const void *data) override { Log(data); }
};
struct TSpectrumLog : TFrameLog<TMMSpectrumDisplay> {
    using TFrameLog::TFrameLog;
    void RefreshPCMData(const void *data) override { Log(data); }
};

std::vector<char> Counting(int b) {
    std::vector<char> data(kBufferBytes);
    for (int f = 0; f < 2048; ++f) {
        const std::uint32_t n = b * 2048u + f;
        const std::uint16_t halves[2] = {static_cast<std::uint16_t>(n), static_cast<std::uint16_t>(n >> 16)};
        std::memcpy(data.data() + f * 4, halves, 4);
    }
    return data;
}

TEST_F(ConnectorFrames, EveryFrameReachesEveryGroupOnceInOrderWhenItsTimeHasCome) {
    // 48 frames of each buffer are left over from the bars' and the needles' blocks; the
    // analyser's block spans two buffers and sometimes three.
    TBlockLog bar(50, now), needle(1000, now);
    TSpectrumLog analyser(3000, now);
    c->SetLevel1(&bar);
    c->SetMeter1(&needle);
    c->SetSpectrum1(&analyser);
    Start(false);
    ASSERT_TRUE(WaitFor([] { return TMMFrameRide::Riding(); }));
    constexpr int kCount = 300;
    std::vector<std::int64_t> arrival;
    for (std::int64_t nextFrame = now + 5'000; arrival.size() < kCount || now < arrival.back() + kBufferUs;) {
        const std::int64_t nextBuffer = arrival.empty() ? now : arrival.back() + kBufferUs;
        now = arrival.size() < kCount ? std::min(nextFrame, nextBuffer) : nextFrame;
        if (arrival.size() < kCount && now == nextBuffer) {
            arrival.push_back(now);
            Feed(Counting(static_cast<int>(arrival.size()) - 1));
        }
        if (now == nextFrame) {
            TMMFrameRide::Frame();
            nextFrame += kFrameUs;
        }
    }

    const auto check = [&](const auto &log, std::int64_t frames) {
        SCOPED_TRACE(frames);
        const std::size_t whole = kCount * 2048 / frames * frames;
        ASSERT_EQ(log.Frames.size(), whole);
        std::vector<std::uint32_t> expected(whole);
        std::iota(expected.begin(), expected.end(), 0u);
        EXPECT_TRUE(log.Frames == expected);
        // Each block at the first frame after its first frame's time, counted from the
        // buffer it ends in, and not before that buffer came.
        for (std::size_t k = 0; k < log.Came.size(); ++k) {
            const std::int64_t first = std::int64_t(k) * frames, in = (first + frames - 1) / 2048;
            const std::int64_t due =
                arrival[in] + std::max<std::int64_t>(0, (first - in * 2048) * 1'000'000 / 48'000);
            ASSERT_GE(log.Came[k], due) << "block " << k;
            ASSERT_LE(log.Came[k], due + kFrameUs) << "block " << k;
        }
    };
    check(bar, 50);
    check(needle, 1000);
    check(analyser, 3000);
}

} // namespace
