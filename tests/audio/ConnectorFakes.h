#pragma once

// A display that records what a connector hands it, and a fixture with a
// connector on a clock the test moves.

#include "audio/MMConnector.h"
#include "audio/MMConnectorDisplay.h"
#include "audio/MMHiTimer.h"
#include "common/ManualTimerSource.h"
#include "common/PumpEventsUntil.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// One block as received: where it started in the stream (the first 16-bit sample
// of the block is the test signal's frame index) and whether it was all silence.
struct TRecordedBlock {
    int firstSample = 0;
    bool silent = false;
    bool run = true;     // each left sample is the one before plus 1, or 0 after 2047 (Signal's buffers)
    std::int64_t at = 0; // the test clock when the block came
};

template <typename Base> class TRecordingDisplayOf : public Base {
  public:
    explicit TRecordingDisplayOf(int blockBytes) : FBlockBytes(blockBytes) {}
    ~TRecordingDisplayOf() override { this->DetachFromConnectors(); }

    void SetWaveFormat(const TWaveFormatEx *format) override {
        std::lock_guard lock(FMutex);
        formats.push_back(*format);
        if (order != nullptr) order->push_back(this);
    }
    int BlockBytes() const override { return FBlockBytes; }
    void ResetData() override {
        std::lock_guard lock(FMutex);
        ++resets;
    }

    void SetBlockBytes(int bytes) { FBlockBytes = bytes; }
    std::vector<TRecordedBlock> Blocks() const {
        std::lock_guard lock(FMutex);
        return blocks;
    }
    std::size_t BlockTotal() const {
        std::lock_guard lock(FMutex);
        return blocks.size();
    }
    int Resets() const {
        std::lock_guard lock(FMutex);
        return resets;
    }

    std::vector<TWaveFormatEx> formats;
    std::vector<const void *> *order = nullptr; // shared log of SetWaveFormat calls
    std::function<std::int64_t()> clock;        // stamps each block

  protected:
    void Record(const void *data) {
        TRecordedBlock b;
        std::int16_t first;
        std::memcpy(&first, data, 2);
        b.firstSample = first;
        b.silent = true;
        const auto *bytes = static_cast<const unsigned char *>(data);
        for (int i = 0; i < FBlockBytes; ++i)
            if (bytes[i] != 0) b.silent = false;
        for (int i = 4, previous = first; i + 4 <= FBlockBytes; i += 4) {
            std::int16_t v;
            std::memcpy(&v, bytes + i, 2);
            if (v != previous + 1 && !(previous == 2047 && v == 0)) b.run = false;
            previous = v;
        }
        b.at = clock ? clock() : 0;
        std::lock_guard lock(FMutex);
        blocks.push_back(b);
    }

  private:
    std::atomic<int> FBlockBytes;
    mutable std::mutex FMutex;
    std::vector<TRecordedBlock> blocks;
    int resets = 0;
};

class TRecordingLevel : public TRecordingDisplayOf<TMMBlockDisplay> {
  public:
    using TRecordingDisplayOf::TRecordingDisplayOf;
    void ProcessBlock(const void *data) override { Record(data); }
};

class TRecordingSpectrum : public TRecordingDisplayOf<TMMSpectrumDisplay> {
  public:
    using TRecordingDisplayOf::TRecordingDisplayOf;
    void RefreshPCMData(const void *data) override { Record(data); }
};

// 16-bit stereo: the left sample of frame i is i, the right one 1, so a block's
// first sample tells where in the buffer it began and no frame is silent.
inline std::vector<char> Signal(int bytes) {
    std::vector<char> data(bytes);
    for (int i = 0; i + 4 <= bytes; i += 4) {
        const std::int16_t frame[2] = {static_cast<std::int16_t>(i / 4), 1};
        std::memcpy(data.data() + i, frame, 4);
    }
    return data;
}

// Pumps the main loop until the condition holds or the time is up.
template <typename F> bool WaitFor(F &&condition, int ms = 2000) {
    return PumpEventsUntil(condition, ms);
}

class ConnectorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        BuildPCMFormat(format, 16, 2, 48000);
        c = std::make_unique<TMMConnector>();
        c->SetClock([this] { return now; });
        // The internal timer ticks from creation; here only when a test fires it.
        c->InternalTimer()->SetTimerSource(&timerTicks);
    }
    void TearDown() override {
        c.reset();
        QCoreApplication::processEvents();
    }

    // Opens and starts the connector on 8192-byte buffers. By default the test
    // drives Refresh itself (AutoTrigger off); the start-trigger event still
    // makes the connector a triggering one.
    void Start(bool manual = true) {
        if (manual) c->SetAutoTrigger(false);
        c->SetPWaveFormat(&format);
        c->SetBufferSize(8192);
        c->Opened();
        c->Started();
        QCoreApplication::processEvents();
    }

    void Feed(int bytes) { Feed(Signal(bytes)); }
    void Feed(std::vector<char> data) {
        WAVEHDR h;
        h.lpData = data.data();
        h.dwBufferLength = static_cast<std::uint32_t>(data.size());
        h.dwBytesRecorded = static_cast<std::uint32_t>(data.size());
        c->BufferReady(&h);
    }

    ManualTimerSource timerTicks;
    TWaveFormatEx format;
    std::int64_t now = 5'000'000;
    std::unique_ptr<TMMConnector> c;
};
