#include "platform/CaptureTiming.h"

#include <algorithm>

namespace {
long CeilDiv(long a, long b) {
    return (a + b - 1) / b;
}
} // namespace

TCapturePeriods ChooseCapturePeriods(long bufferFrames, unsigned rate) {
    const long perSecond = static_cast<long>(std::max(rate, 1000u));
    const long shortest = perSecond / 100;
    const long longest = perSecond / 10;
    long period = bufferFrames;
    if (bufferFrames <= 0) {
        period = shortest;
    } else if (bufferFrames < shortest) {
        period = bufferFrames * CeilDiv(shortest, bufferFrames);
    } else if (bufferFrames > longest) {
        // Periods that divide the buffer end where it ends, so its hand-over is not held
        // back to the next period; without a divisor close by, the even split will do.
        const long fewest = CeilDiv(bufferFrames, longest);
        long parts = fewest;
        while (parts <= 2 * fewest && bufferFrames % parts != 0)
            ++parts;
        period = parts <= 2 * fewest ? bufferFrames / parts : CeilDiv(bufferFrames, fewest);
    }
    return {period, period * CeilDiv(perSecond, period)};
}

long TRestWait::FirstSleepUs(long missingUs) const {
    const long due = std::max(missingUs, kStepUs);
    if (FCount == 0) return due;
    const long fastest = *std::min_element(FSeen.begin(), FSeen.begin() + FCount);
    // One step early: a rest found one step late must not make the next look late.
    return std::max(due, fastest - kStepUs);
}

long TRestWait::StepUs(int steps) {
    return kStepUs << std::clamp(steps - 4, 0, 5);
}

void TRestWait::Add(long restUs) {
    FSeen[static_cast<std::size_t>(FNext)] = restUs;
    FNext = (FNext + 1) % static_cast<int>(FSeen.size());
    FCount = std::min(FCount + 1, static_cast<int>(FSeen.size()));
}

void TRestWait::Clear() {
    FCount = 0;
    FNext = 0;
}

void TCapturePacer::Reset() {
    FPlanned = false;
    FCatchingUp = false;
    FLooks = 0;
}

void TCapturePacer::HandedOver(std::int64_t nowUs, std::int64_t spanUs, bool late, std::int64_t surplusUs) {
    const bool onGrid = FPlanned && !late && !FCatchingUp && surplusUs < spanUs;
    if (surplusUs >= spanUs) {
        // The next buffer is complete already (the reader was held up): at once, and the ones
        // after it, until the reader has caught up.
        FNextUs = nowUs;
        FCatchingUp = true;
    } else if (!FPlanned || late) {
        FNextUs = nowUs + spanUs + kMarginUs;
    } else if (FCatchingUp) {
        // Caught up: the next buffer is due when the frames it still lacks have come.
        FNextUs = nowUs + spanUs - surplusUs + kMarginUs;
        FCatchingUp = false;
    } else {
        // On the grid, not from now: a look woken late does not push the ones after it.
        FNextUs += spanUs;
        FLeastSurplusUs = FLooks == 0 ? surplusUs : std::min(FLeastSurplusUs, surplusUs);
        if (++FLooks == kWindow) {
            FNextUs -= FLeastSurplusUs > kSlackUs ? FLeastSurplusUs - kSlackUs / 2 : kProbeUs;
            FLooks = 0;
        }
    }
    if (!onGrid) FLooks = 0;
    FPlanned = true;
}
