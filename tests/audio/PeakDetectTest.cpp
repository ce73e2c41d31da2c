#include "audio/MMPeakDetect.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Event {
    int Index, Value;
};

// A detector opened on a PCM format, recording every OnPeakReady.
class PeakDetectTest : public ::testing::Test {
  protected:
    void Open(int bits, int channels) {
        TWaveFormatEx f;
        BuildPCMFormat(f, static_cast<std::uint16_t>(bits), static_cast<std::uint16_t>(channels), 48000);
        detect.SetPWaveFormat(&f);
        detect.Opened();
        detect.Started();
        detect.SetOnPeakReady([this](TObject *sender, int index, int value) {
            EXPECT_EQ(sender, &detect);
            events.push_back({index, value});
        });
    }
    void Push(std::vector<std::int16_t> samples) { Push(samples.data(), 2 * samples.size()); }
    void Push(void *data, std::size_t bytes) {
        WAVEHDR h;
        h.lpData = static_cast<char *>(data);
        h.dwBufferLength = h.dwBytesRecorded = static_cast<std::uint32_t>(bytes);
        detect.BufferReady(&h);
    }
    // A stereo 16-bit sine of `amplitude` completing `cycles` per 128 frames, in frames [from, to).
    static void AddSine(std::vector<std::int16_t> &v, int from, int to, double amplitude, int cycles) {
        for (int n = from; n < to; ++n)
            v[2 * n] = v[2 * n + 1] = static_cast<std::int16_t>(
                std::lround(amplitude * std::sin(2 * std::numbers::pi * cycles * n / 128.0)));
    }
    TMMPeakDetect detect;
    std::vector<Event> events;
};

} // namespace

TEST(PeakDetect, FFTLengthIsClampedTo8To16384AndRoundedDownToAPowerOfTwo) {
    TMMPeakDetect d;
    EXPECT_EQ(d.FFTLength(), 128);
    for (auto [request, stored] :
         {std::pair{100, 64}, {5, 8}, {0, 8}, {-7, 8}, {100000, 16384}, {16384, 16384}, {3000, 2048}}) {
        d.SetFFTLength(request);
        EXPECT_EQ(d.FFTLength(), stored) << request;
    }
}

TEST_F(PeakDetectTest, EveryBinOfEveryBlockIsReportedAndTheLargestPerBinKept) {
    Open(16, 2);
    detect.SetWindow(fwRectangular);
    // 8192 bytes = 16 blocks of 128 frames: a tone at bin 8 in block 0, at bin 16 in block 3, else silence.
    std::vector<std::int16_t> buffer(4096, 0);
    AddSine(buffer, 0, 128, 16384, 8);
    AddSine(buffer, 3 * 128, 4 * 128, 8000, 16);
    Push(buffer);

    ASSERT_EQ(events.size(), 16u * 64u);
    std::vector<int> largest(64, 0);
    for (std::size_t k = 0; k < events.size(); ++k) {
        ASSERT_EQ(events[k].Index, static_cast<int>(k % 64));
        largest[events[k].Index] = std::max(largest[events[k].Index], events[k].Value);
    }
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(detect.BinMaximum(i), largest[i]) << i;
    // A rectangular window reads a sine's amplitude in its bin; later silent blocks do not lower it.
    EXPECT_NEAR(detect.BinMaximum(8), 16384, 2);
    EXPECT_NEAR(detect.BinMaximum(16), 8000, 2);
    EXPECT_EQ(events[64 * 15 + 8].Value, 0);

    // The next buffer starts its maxima afresh.
    Push(std::vector<std::int16_t>(512, 0));
    EXPECT_EQ(detect.BinMaximum(8), 0);
}

TEST_F(PeakDetectTest, AShortBufferIsAnalysedOncePaddedWithSilence) {
    Open(16, 2);
    detect.SetWindow(fwRectangular);
    // A longer short buffer first, so stale block contents would show.
    Push(std::vector<std::int16_t>(100, 30000));
    events.clear();
    Push(std::vector<std::int16_t>(50, 1000)); // 25 frames of DC 1000
    ASSERT_EQ(events.size(), 64u);
    // 25 * Trunc(1000 * 32767 / 32768) / 64
    EXPECT_EQ(events[0].Value, 390);

    // 8-bit silence is 128: 25 bytes at +10 against the window of 128.
    events.clear();
    Open(8, 1);
    std::vector<std::uint8_t> bytes(25, 138);
    Push(bytes.data(), bytes.size());
    ASSERT_EQ(events.size(), 64u);
    EXPECT_EQ(events[0].Value, 25 * (10 * 32767 / 128) / 64);
    EXPECT_EQ(detect.LeftPeak(), 138);
    EXPECT_EQ(detect.RightPeak(), 138);
}

TEST_F(PeakDetectTest, ChannelPeaksAreMagnitudesOfTheFirstTwoChannels) {
    Open(16, 2);
    // 25 frames: the left peak in the middle, the right one in the last frame.
    std::vector<std::int16_t> v(50, 3);
    v[20] = -32768;
    v[49] = -2000;
    Push(v);
    EXPECT_EQ(detect.LeftPeak(), 32768);
    EXPECT_EQ(detect.RightPeak(), 2000);
    detect.SetDetectPeaks(false);
    Push(v);
    EXPECT_EQ(detect.LeftPeak(), 0);
    EXPECT_EQ(detect.RightPeak(), 0);

    detect.SetDetectPeaks(true);
    Open(16, 4);
    v.assign(20, 30000); // channels 2 and 3 are loud but not read
    for (int frame = 0; frame < 5; ++frame) {
        v[4 * frame] = frame == 1 ? -8 : 1;
        v[4 * frame + 1] = frame == 4 ? 9 : 1;
    }
    Push(v);
    EXPECT_EQ(detect.LeftPeak(), 8);
    EXPECT_EQ(detect.RightPeak(), 9);
}

TEST_F(PeakDetectTest, BuffersPassOnInChainOrderAndUnanalysedWhenDisabledOrClosed) {
    Open(16, 2);
    std::string log;
    detect.SetOnPeakReady([&](TObject *, int index, int) { log += index == 0 ? "peak " : ""; });
    detect.SetOnBufferReady(
        [&](TObject *, PWaveHdr h) { log += h->dwBytesRecorded == 512 ? "ready " : "?"; });
    detect.SetOnBufferLoad([&](TObject *, PWaveHdr, bool &) { log += "load "; });
    std::vector<std::int16_t> buffer(256, 1200);
    WAVEHDR h;
    h.lpData = reinterpret_cast<char *>(buffer.data());
    h.dwBytesRecorded = 512;
    bool more = true;
    detect.BufferReady(&h);
    detect.BufferLoad(&h, more);
    EXPECT_EQ(log, "peak ready load peak ");

    log.clear();
    buffer.assign(256, 5);
    detect.SetEnabled(false);
    detect.BufferReady(&h);
    EXPECT_EQ(detect.LeftPeak(), 1200); // the last analysed buffer's result stands
    detect.SetEnabled(true);
    detect.Closed();
    detect.BufferReady(&h);
    EXPECT_EQ(log, "ready ready ");
}

TEST_F(PeakDetectTest, AnInvalidFormatRaisesAndChangesNothing) {
    Open(16, 2);
    TMMPeakDetect next;
    detect.SetOutput(&next);
    TWaveFormatEx bad[2];
    BuildPCMFormat(bad[0], 24, 2, 48000);
    BuildPCMFormat(bad[1], 16, 2, 48000);
    bad[1].nBlockAlign = 0; // would step through buffers by nothing
    for (const TWaveFormatEx &f : bad) {
        try {
            detect.SetPWaveFormat(&f);
            ADD_FAILURE() << "accepted";
        } catch (const EMMPeakError &e) {
            EXPECT_STREQ(e.what(), "Invalid WaveFormat");
        }
        EXPECT_EQ(detect.PWaveFormat()->nBlockAlign, 4);
        EXPECT_EQ(next.PWaveFormat()->nBlockAlign, 4);
        EXPECT_TRUE(detect.IsAnalysisReady());
    }
}

TEST_F(PeakDetectTest, PropertiesChangeWhileAnotherThreadAnalyses) {
    Open(16, 2);
    detect.SetOnPeakReady(nullptr);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        std::vector<std::int16_t> v(4096, -1234);
        for (int k = 0; k < 300; ++k)
            Push(v);
        done = true;
    });
    for (int k = 0; !done; ++k) {
        detect.SetFFTLength(k % 2 ? 4096 : 128);
        detect.SetWindow(k % 3 ? fwHanning : fwBlackman);
        const int peak = detect.LeftPeak();
        // Either freshly reset by a property change (silence) or the buffer's peak.
        EXPECT_TRUE(peak == 0 || peak == 1234) << peak;
    }
    worker.join();
}
