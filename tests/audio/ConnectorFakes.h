#pragma once

// A display that records what a connector hands it, and a clock the test moves.

#include "audio/MMConnectorDisplay.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

// One block as received: where it started in the stream (the first 16-bit sample
// of the block is the test signal's frame index) and whether it was all silence.
struct TRecordedBlock {
    int firstSample = 0;
    bool silent = false;
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
