#include "analysis/StereoCorrelation.h"

#include <algorithm>
#include <cmath>

void TStereoCorrelation::Add(const std::int16_t *frames, std::size_t count) {
    if (count == 0) return;
    TSums block;
    block.Frames = count;
    // Integer sums of a block are exact; the window adds up a handful of them.
    std::int64_t ll = 0, rr = 0, lr = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::int64_t l = frames[2 * i], r = frames[2 * i + 1];
        ll += l * l;
        rr += r * r;
        lr += l * r;
    }
    block.LL = static_cast<double>(ll);
    block.RR = static_cast<double>(rr);
    block.LR = static_cast<double>(lr);
    FBlocks.push_back(block);
    FTotal = {};
    for (auto it = FBlocks.rbegin(); it != FBlocks.rend(); ++it) {
        if (FTotal.Frames > 0 && FTotal.Frames + it->Frames > FWindowFrames) {
            FBlocks.erase(FBlocks.begin(), it.base());
            break;
        }
        FTotal.Frames += it->Frames;
        FTotal.LL += it->LL;
        FTotal.RR += it->RR;
        FTotal.LR += it->LR;
    }
}

void TStereoCorrelation::Reset() {
    FBlocks.clear();
    FTotal = {};
}

std::optional<double> TStereoCorrelation::Value() const {
    if (FTotal.Frames == 0) return std::nullopt;
    const double floor =
        std::pow(32768.0 * std::pow(10.0, SilenceDB / 20.0), 2) * static_cast<double>(FTotal.Frames);
    const bool silentL = FTotal.LL < floor, silentR = FTotal.RR < floor;
    if (silentL && silentR) return std::nullopt;
    if (silentL || silentR) return 0.0;
    return std::clamp(FTotal.LR / std::sqrt(FTotal.LL * FTotal.RR), -1.0, 1.0);
}
