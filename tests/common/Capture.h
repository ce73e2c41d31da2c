#pragma once

// The buffers a wave input delivered, gathered on the thread that delivers them.

#include "audio/MMWaveIn.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <vector>

// What reached the end of the chain, kept on the worker thread.
struct TCapture {
    std::mutex mutex;
    std::vector<std::int16_t> samples;
    std::vector<std::uint32_t> sizes;
    std::atomic<int> buffers{0};
    std::atomic<bool> keep{true};
    void Attach(TMMWaveIn &w) {
        w.SetOnBufferReady([this](TObject *, PWaveHdr h) {
            if (keep) {
                std::lock_guard lock(mutex);
                const auto *s = reinterpret_cast<const std::int16_t *>(h->lpData);
                samples.insert(samples.end(), s, s + h->dwBytesRecorded / 2);
                sizes.push_back(h->dwBytesRecorded);
            }
            ++buffers;
        });
    }
    // The peak of one channel since the last Clear.
    int Peak(int channel) {
        std::lock_guard lock(mutex);
        int peak = 0;
        for (std::size_t i = static_cast<std::size_t>(channel); i < samples.size(); i += 2)
            peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
        return peak;
    }
    void Clear() {
        std::lock_guard lock(mutex);
        samples.clear();
        sizes.clear();
    }
};
