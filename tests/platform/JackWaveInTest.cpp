#include "JackTestServer.h"

#include "core/PCM.h"
#include "platform/CaptureErrorText.h"
#include "platform/JackWaveIn.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// One JACK stream of 16-bit stereo frames, its buffers queued again as they come back.
class TJackCapture {
  public:
    TJackCapture(TJackWaveInDriver &driver, std::uint32_t rate) : FDriver(driver) {
        TWaveFormatEx format;
        BuildPCMFormat(format, 16, 2, rate);
        FOpen = FDriver.Open(&FHandle, 0, &format, Callback, this, CALLBACK_FUNCTION);
        if (FOpen != MMSYSERR_NOERROR) return;
        for (auto &buffer : FBuffers) {
            buffer.data.resize(2048 * 4);
            buffer.hdr.lpData = buffer.data.data();
            buffer.hdr.dwBufferLength = static_cast<std::uint32_t>(buffer.data.size());
            FDriver.PrepareHeader(FHandle, &buffer.hdr, sizeof buffer.hdr);
            FDriver.AddBuffer(FHandle, &buffer.hdr, sizeof buffer.hdr);
        }
        FDriver.Start(FHandle);
    }
    ~TJackCapture() {
        if (FOpen != MMSYSERR_NOERROR) return;
        FStopping = true;
        FDriver.Reset(FHandle);
        FDriver.Close(FHandle);
    }

    MMRESULT Opened() const { return FOpen; }
    // Waits until `frames` frames came in (or the stream failed); the samples, interleaved.
    std::vector<std::int16_t> Take(std::size_t frames) {
        std::unique_lock lock(FMutex);
        FChanged.wait_for(lock, std::chrono::seconds(10) + std::chrono::milliseconds(frames / 48),
                          [&] { return FSamples.size() >= frames * 2 || FFailure != MMSYSERR_NOERROR; });
        std::vector<std::int16_t> taken;
        taken.swap(FSamples);
        return taken;
    }
    MMRESULT Failure() {
        std::lock_guard lock(FMutex);
        return FFailure;
    }

  private:
    static void Callback(HWAVEIN handle, unsigned message, void *instance, PWaveHdr hdr) {
        auto *self = static_cast<TJackCapture *>(instance);
        if (message != MM_WIM_DATA || self->FStopping) return;
        {
            std::lock_guard lock(self->FMutex);
            const auto *samples = reinterpret_cast<const std::int16_t *>(hdr->lpData);
            self->FSamples.insert(self->FSamples.end(), samples, samples + hdr->dwBytesRecorded / 2);
        }
        const MMRESULT queued = self->FDriver.AddBuffer(handle, hdr, sizeof *hdr);
        std::lock_guard lock(self->FMutex);
        if (queued != MMSYSERR_NOERROR) self->FFailure = queued;
        self->FChanged.notify_all();
    }

    struct TBuffer {
        std::vector<char> data;
        WAVEHDR hdr;
    };
    TJackWaveInDriver &FDriver;
    HWAVEIN FHandle = nullptr;
    MMRESULT FOpen = MMSYSERR_ERROR;
    std::array<TBuffer, 4> FBuffers;
    std::atomic<bool> FStopping{false};
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::vector<std::int16_t> FSamples;
    MMRESULT FFailure = MMSYSERR_NOERROR;
};

// The largest magnitude of one channel (0 left, 1 right) in dBFS.
double PeakDb(const std::vector<std::int16_t> &samples, int channel) {
    int peak = 0;
    for (std::size_t i = static_cast<std::size_t>(channel); i < samples.size(); i += 2)
        peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
    return 20 * std::log10(peak / 32768.0);
}

// The left channel's frequency from its rising zero crossings.
double LeftFrequency(const std::vector<std::int16_t> &samples, double rate) {
    std::size_t first = 0, last = 0, crossings = 0;
    for (std::size_t i = 2; i < samples.size(); i += 2)
        if (samples[i - 2] < 0 && samples[i] >= 0) {
            if (crossings++ == 0) first = i / 2;
            last = i / 2;
        }
    return crossings < 2 ? 0 : static_cast<double>(crossings - 1) * rate / static_cast<double>(last - first);
}

// libjack is not instrumented, and its threads (cancelled as a client closes) confuse
// ThreadSanitizer's view of the process; under it the ring alone is checked, below.
#if defined(__SANITIZE_THREAD__)
constexpr bool kThreadSanitizer = true;
#else
constexpr bool kThreadSanitizer = false;
#endif

#define SKIP_WITHOUT_JACKD()                                                                                 \
    if (!TJackTestServer::Installed()) GTEST_SKIP() << "jackd is not installed";                             \
    if (kThreadSanitizer) GTEST_SKIP() << "libjack under ThreadSanitizer"

} // namespace

TEST(JackWaveIn, SamplesAreRoundedAndClippedTo16Bits) {
    EXPECT_EQ(JackSampleToPcm16(0.1f), 3277); // 3276.8
    EXPECT_EQ(JackSampleToPcm16(-0.1f), -3277);
    EXPECT_EQ(JackSampleToPcm16(1.0f), 32767);
    EXPECT_EQ(JackSampleToPcm16(-1.0f), -32768);
    EXPECT_EQ(JackSampleToPcm16(7.5f), 32767);
    EXPECT_EQ(JackSampleToPcm16(-1e30f), -32768);
    EXPECT_EQ(JackSampleToPcm16(std::nanf("")), 0);
}

// A period goes into the ring interleaved and whole, or not at all when the reader lags.
TEST(JackWaveIn, APeriodIsCopiedWholeOrDropped) {
    TSampleRing<float> ring(2048);
    std::atomic<std::uint32_t> dropped{0};
    std::vector<float> left(700), right(700);
    for (std::size_t i = 0; i < left.size(); ++i) {
        left[i] = static_cast<float>(i);
        right[i] = -static_cast<float>(i);
    }
    CopyJackPeriod(left.data(), right.data(), 700, ring, dropped);
    CopyJackPeriod(left.data(), right.data(), 700, ring, dropped); // 2800 > 2048: refused
    EXPECT_EQ(dropped, 1u);
    std::vector<float> out(2048);
    ASSERT_EQ(ring.Read(out.data(), out.size()), 1400u);
    EXPECT_EQ(out[2 * 699], 699.0f);
    EXPECT_EQ(out[2 * 699 + 1], -699.0f);
}

// The ring between two threads delivers every sample in order (also run under ThreadSanitizer).
TEST(JackWaveIn, TheRingCarriesACountAcrossThreadsIntact) {
    TSampleRing<float> ring(1024);
    constexpr int kTotal = 400000;
    std::thread writer([&] {
        std::vector<float> piece(97);
        for (int next = 0; next < kTotal;) {
            const int n = std::min<int>(static_cast<int>(piece.size()), kTotal - next);
            for (int i = 0; i < n; ++i)
                piece[static_cast<std::size_t>(i)] = static_cast<float>(next + i);
            if (ring.Write(piece.data(), static_cast<std::size_t>(n)))
                next += n;
            else
                std::this_thread::yield();
        }
    });
    std::vector<float> got(61);
    int expected = 0;
    bool inOrder = true;
    while (expected < kTotal) {
        const std::size_t n = ring.Read(got.data(), got.size());
        for (std::size_t i = 0; i < n; ++i)
            inOrder &= got[i] == static_cast<float>(expected++);
        if (n == 0) std::this_thread::yield();
    }
    writer.join();
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(ring.Available(), 0u);
}

TEST(JackWaveIn, WithoutAServerThereIsNoDeviceAndOpeningSaysWhy) {
    setenv("JACK_DEFAULT_SERVER", "velmora-test-nobody", 1);
    TJackWaveInDriver driver;
    EXPECT_EQ(driver.GetNumDevs(), 0u);
    TWaveFormatEx format;
    BuildPCMFormat(format, 16, 2, 48000);
    MMRESULT result = MMSYSERR_NOERROR;
    EXPECT_EQ(driver.MakeSource(0, format, &result), nullptr);
    ASSERT_EQ(result, ALSAERR_BASE + ECONNREFUSED);
    EXPECT_NE(CaptureErrorText(ECONNREFUSED, "JACK", true).find("JACK server is not running"),
              std::string::npos);
}

// A -20 dBFS 1 kHz tone into in_L only: the left channel peaks at -20 dBFS, the right is silent.
// The ports start joined to the first two physical capture ports (silent on the dummy driver).
TEST(JackWaveIn, AToneIntoTheLeftPortReadsOnTheLeftOnly) {
    SKIP_WITHOUT_JACKD();
    TJackTestServer server(48000);
    TJackWaveInDriver driver;
    ASSERT_EQ(driver.GetNumDevs(), 1u);
    TJackCapture capture(driver, 48000);
    ASSERT_EQ(capture.Opened(), MMSYSERR_NOERROR);
    TJackPlayer player(TJackPlayer::TSignal::Sine, 1000, -20, "VelmoraPro:in_L");
    ASSERT_TRUE(player.Playing());
    capture.Take(48000);
    const std::vector<std::int16_t> samples = capture.Take(48000);
    ASSERT_GE(samples.size(), 96000u);
    EXPECT_NEAR(PeakDb(samples, 0), -20.0, 0.05);
    EXPECT_EQ(PeakDb(samples, 1), -INFINITY) << "the right channel is silent";

    jack_status_t status{};
    jack_client_t *look = jack_client_open("look", JackNoStartServer, &status);
    ASSERT_NE(look, nullptr);
    for (const char *port : {"VelmoraPro:in_L", "VelmoraPro:in_R"}) {
        const char **sources = jack_port_get_all_connections(look, jack_port_by_name(look, port));
        ASSERT_NE(sources, nullptr) << port;
        EXPECT_STREQ(sources[0], port[14] == 'L' ? "system:capture_1" : "system:capture_2");
        jack_free(static_cast<void *>(sources));
    }
    jack_client_close(look);
}

// A counting signal loses, repeats and reorders nothing (VELMORA_JACK_SECONDS long, 3 s unless set).
TEST(JackWaveIn, ACountingSignalArrivesWhole) {
    SKIP_WITHOUT_JACKD();
    const char *seconds = std::getenv("VELMORA_JACK_SECONDS");
    const std::size_t frames = 48000u * static_cast<std::size_t>(seconds != nullptr ? std::atoi(seconds) : 3);
    TJackTestServer server(48000);
    TJackWaveInDriver driver;
    driver.SetAutoConnect(false);
    TJackCapture capture(driver, 48000);
    ASSERT_EQ(capture.Opened(), MMSYSERR_NOERROR);
    TJackPlayer player(TJackPlayer::TSignal::Counter, 0, 0, "VelmoraPro:in_L");
    ASSERT_TRUE(player.Playing());
    std::vector<std::int16_t> samples;
    // Skip what came before the player joined: the count starts at its first non-zero sample.
    while (samples.empty() && capture.Failure() == MMSYSERR_NOERROR) {
        samples = capture.Take(2048);
        const auto start =
            std::find_if(samples.begin(), samples.end(), [](std::int16_t s) { return s != 0; });
        samples.erase(samples.begin(), start - (start - samples.begin()) % 2);
    }
    while (samples.size() < frames * 2 && capture.Failure() == MMSYSERR_NOERROR) {
        const std::vector<std::int16_t> more = capture.Take(48000);
        samples.insert(samples.end(), more.begin(), more.end());
    }
    ASSERT_GE(samples.size(), frames * 2);
    std::size_t breaks = 0;
    for (std::size_t i = 2; i < samples.size(); i += 2)
        if (static_cast<std::int16_t>(samples[i - 2] + 1) != samples[i] && breaks++ < 5)
            ADD_FAILURE() << "frame " << i / 2 << ": " << samples[i - 2] << " then " << samples[i];
    EXPECT_EQ(breaks, 0u) << "of " << samples.size() / 2 << " frames";
}

// At 44.1 kHz the stream is resampled to 48 kHz: level and frequency hold.
TEST(JackWaveIn, AServerAtAnotherRateIsResampled) {
    SKIP_WITHOUT_JACKD();
    TJackTestServer server(44100);
    TJackWaveInDriver driver;
    ASSERT_EQ(driver.GetNumDevs(), 1u);
    EXPECT_EQ(driver.ServerRate(), 44100u);
    driver.SetAutoConnect(false);
    TJackCapture capture(driver, 48000);
    ASSERT_EQ(capture.Opened(), MMSYSERR_NOERROR);
    TJackPlayer player(TJackPlayer::TSignal::Sine, 1000, -20, "VelmoraPro:in_L");
    ASSERT_TRUE(player.Playing());
    capture.Take(48000);
    const std::vector<std::int16_t> samples = capture.Take(48000);
    ASSERT_GE(samples.size(), 96000u);
    EXPECT_NEAR(PeakDb(samples, 0), -20.0, 0.1);
    EXPECT_NEAR(LeftFrequency(samples, 48000), 1000.0, 1.0);
}

// The server killed mid-stream: the stream refuses its buffers with the operator's words; a
// new stream once the server is back captures again.
TEST(JackWaveIn, AServerThatStopsIsReportedAndAStreamAfterItsRestartCaptures) {
    SKIP_WITHOUT_JACKD();
    TJackTestServer server(48000);
    TJackWaveInDriver driver;
    {
        TJackCapture capture(driver, 48000);
        ASSERT_EQ(capture.Opened(), MMSYSERR_NOERROR);
        EXPECT_FALSE(capture.Take(4096).empty());
        server.Kill();
        const auto killed = std::chrono::steady_clock::now();
        while (capture.Failure() == MMSYSERR_NOERROR &&
               std::chrono::steady_clock::now() - killed < std::chrono::seconds(5))
            capture.Take(1 << 20);
        EXPECT_LT(std::chrono::steady_clock::now() - killed, std::chrono::seconds(4)) << "no hang";
        ASSERT_NE(capture.Failure(), MMSYSERR_NOERROR);
        char text[256];
        driver.GetErrorText(capture.Failure(), text, sizeof text);
        EXPECT_NE(std::string(text).find("The JACK server stopped"), std::string::npos) << text;
    }
    ASSERT_TRUE(server.Start(48000));
    TJackCapture again(driver, 48000);
    ASSERT_EQ(again.Opened(), MMSYSERR_NOERROR);
    EXPECT_GE(again.Take(4096).size(), 4096u * 2);
    EXPECT_EQ(again.Failure(), MMSYSERR_NOERROR);
}
