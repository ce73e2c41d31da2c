#include "clock/WatchLaws.h"

#include "widgets/MMLevelLaws.h"

#include <algorithm>
#include <cmath>

void StepSignalBar(TLampRow &lit, int second) {
    const int step = second % 5;
    if (step == 1) {
        lit = {true, false, false, false, false};
        return;
    }
    lit[static_cast<std::size_t>(step == 0 ? 4 : step - 1)] = true;
}

void StepCountdownLamps(TCountdownLamps &lamps, int remaining) {
    if (remaining == 10 || remaining == 5) {
        lamps.Color = remaining == 10 ? clYellow : clRed;
        lamps.Lit.fill(true);
    } else if (remaining >= 6 && remaining <= 9) {
        lamps.Lit[static_cast<std::size_t>(remaining - 5)] = false; // 9 puts out the fifth
    } else if (remaining >= 1 && remaining <= 4) {
        lamps.Lit[static_cast<std::size_t>(remaining)] = false; // 4 puts out the fifth
    } else if (remaining == 0) {
        lamps.Lit[0] = false;
    }
}

QPoint DotPlace(int dot) {
    using namespace WatchGeometry;
    // Stepped, not multiplied: the places follow the sums as they always came out.
    double angle = FirstDotAngle;
    for (int s = 1; s < dot; ++s)
        angle -= DotStep;
    const double x = std::cos(angle) * DotRadius;
    const double y = std::sin(angle) * DotRadius;
    return {static_cast<int>(RoundHalfEven(x)) + RingOrigin, RingOrigin - static_cast<int>(RoundHalfEven(y))};
}

TDotRing::TDotRing() {
    Reset();
}

TDotPicture TDotRing::RestingPicture(int dot) {
    return dot % 5 == 0 ? dpYellow : dpWhite;
}

std::vector<TDotRing::TChange> TDotRing::Reset() {
    std::vector<TChange> changes;
    for (int dot = 1; dot <= kDotCount; ++dot)
        changes.push_back({dot, RestingPicture(dot)});
    Take(changes);
    return changes;
}

std::vector<TDotRing::TChange> TDotRing::MarkSecond(int second) {
    const int dot = second == 0 ? kDotCount : second;
    std::vector<TChange> changes;
    if (dot == 1) {
        changes = Reset();
        changes.push_back({1, dpBlue});
    } else if (dot == kDotCount) {
        for (int d = 1; d <= kDotCount; ++d)
            changes.push_back({d, dpRed});
    } else if (dot > 1 && dot < kDotCount) {
        changes.push_back({dot, dot % 5 == 0 ? dpRed : dpBlue});
    }
    Take(changes);
    return changes;
}

void TDotRing::Take(const std::vector<TChange> &changes) {
    for (const TChange &c : changes)
        FPictures[static_cast<std::size_t>(c.Dot - 1)] = c.Picture;
}

QRect TRingCircle::Box() const {
    const int c = WatchGeometry::CircleCentre;
    return QRect(c - Radius, c - Radius, 2 * Radius, 2 * Radius);
}

std::array<TRingCircle, 9> RingPulse() {
    std::array<TRingCircle, 9> pulse{};
    std::size_t k = 0;
    for (int i = 1; i <= 5; ++i)
        pulse[k++] = {kClockTextBlue + 20 * i, clBlack, 112 - i};
    for (int n = 4; n >= 1; --n)
        pulse[k++] = {kLedBody, clBlack, 112 - n};
    return pulse;
}

void TRingPicture::Draw(const TRingCircle &circle) {
    std::erase_if(FCircles, [&](const TRingCircle &c) { return c.Radius <= circle.Radius; });
    FCircles.push_back(circle);
}

QPoint PlaceBeside(const QRect &console, const QSize &size, const QRect &screen) {
    QPoint at;
    if (console.right() + size.width() <= screen.right())
        at = {console.right() + 1, console.top()};
    else if (console.left() - size.width() >= screen.left())
        at = {console.left() - size.width(), console.top()};
    else
        at = {screen.right() + 1 - size.width(), screen.top()};
    at.setX(std::clamp(at.x(), screen.left(), std::max(screen.left(), screen.right() + 1 - size.width())));
    at.setY(std::clamp(at.y(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - size.height())));
    return at;
}
