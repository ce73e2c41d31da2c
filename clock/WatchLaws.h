#pragma once

// The studio clock's rules as numbers: the broadcast-day hour, the countdown of the last ten
// seconds, the five-step signal bar, the ring of sixty second-dots (where each sits and which
// picture it shows) and the ring pulse drawn every second. No toolkit needed; any thread.

#include "widgets/MMColors.h"

#include <QPoint>
#include <QRect>
#include <QSize>

#include <array>
#include <vector>

namespace WatchGeometry {
constexpr double Pi = 3.1415; // the ring's own value of pi; the dots sit where it puts them
constexpr double DotStep = 2 * Pi / 60;
constexpr double FirstDotAngle = 14 * DotStep; // dot 1 at 84 degrees, so dot 15 lands on 0
constexpr int RingOrigin = 125;                // where the dots' top-left corners circle
constexpr int DotRadius = 120;
constexpr int CircleCentre = 129; // the ring pulse's centre
} // namespace WatchGeometry

constexpr TColor kLedBlue = 16732497;       // the clock's digits and signal lamps
constexpr TColor kLedBlueDark = 6172416;    // their unlit segments
constexpr TColor kLedBody = 2170653;        // a dark lamp
constexpr TColor kClockTextBlue = 16721446; // the labels, and the pulse's first colour

// The hour as the broadcast day counts it: 0 ... 4 after midnight are 24 ... 28.
constexpr int BroadcastHour(int hour) {
    return hour >= 0 && hour <= 4 ? hour + 24 : hour;
}

// What a new second does to the countdown number and its "rem" label.
enum class TRemChange { None, Show, Zero, Hide };
struct TRemStep {
    TRemChange Change;
    int Value; // the number shown, for Show (10 ... 1) and Zero
};
constexpr TRemStep RemStepFor(int second) {
    if (second >= 50) return {TRemChange::Show, 60 - second};
    if (second == 0) return {TRemChange::Zero, 0}; // stays up one second more
    if (second == 1) return {TRemChange::Hide, 0};
    return {TRemChange::None, 0};
}

// A row of five lamps, lit or dark; index 0 is the leftmost.
using TLampRow = std::array<bool, 5>;

// The signal bar at a new second: it grows from the left over five seconds and its fifth,
// red lamp lights on every multiple of five.
void StepSignalBar(TLampRow &lit, int second);

// The countdown lamps, all five in one colour.
struct TCountdownLamps {
    TLampRow Lit{};
    TColor Color = clYellow;
    bool operator==(const TCountdownLamps &) const = default;
};
// The lamps at a new value of the countdown number (10 ... 0): five yellow at 10, going out
// from the right; five red again at 5, going out from the right; the last one out at 0.
void StepCountdownLamps(TCountdownLamps &lamps, int remaining);

// The four dot pictures.
enum TDotPicture { dpWhite = 0, dpBlue = 1, dpYellow = 2, dpRed = 3 };
constexpr int kDotCount = 60;

// Dot s (1 ... 60) stands for second s, dot 60 for second 0. Its top-left corner lies on the
// circle of radius 120 around (125, 125), dot 15 at three o'clock and dot 60 at twelve,
// computed as the dots were always placed: the angle stepped down one dot at a time, the
// offsets rounded half to even.
QPoint DotPlace(int dot);

// The pictures of the ring as the minute runs.
class TDotRing {
  public:
    struct TChange {
        int Dot;
        TDotPicture Picture;
        bool operator==(const TChange &) const = default;
    };

    TDotRing(); // at rest: yellow every five dots, white elsewhere

    // Yellow for the five-second marks, white elsewhere.
    static TDotPicture RestingPicture(int dot);

    TDotPicture Picture(int dot) const { return FPictures.at(static_cast<std::size_t>(dot - 1)); }
    // Every dot at rest again; the changes in dot order.
    std::vector<TChange> Reset();
    // The pictures a new second gives, in the order they are shown, already taken over:
    // second 0 turns the whole ring red; second 1 sets it at rest (Reset) and dot 1 blue; a
    // five-second mark turns red, any other second blue.
    std::vector<TChange> MarkSecond(int second);

  private:
    void Take(const std::vector<TChange> &changes);

    std::array<TDotPicture, kDotCount> FPictures{};
};

// One circle of the ring pulse: outline in Pen, filled with Brush.
struct TRingCircle {
    TColor Pen;
    TColor Brush;
    int Radius;
    bool operator==(const TRingCircle &) const = default;
    // The box it is drawn in, around the pulse's centre.
    QRect Box() const;
};

// The pulse of every second: five circles closing in from radius 111 to 107 in brightening
// blues, then four opening out again from 108 to 111 in the dark lamp colour, 50 ms apart.
std::array<TRingCircle, 9> RingPulse();
constexpr int kRingPulsePauseMs = 50;

// What the circles drawn so far leave to be seen. A filled circle covers every circle of its
// radius or less, so what remains are circles of growing size, to be drawn largest first.
class TRingPicture {
  public:
    void Draw(const TRingCircle &circle);
    const std::vector<TRingCircle> &Circles() const { return FCircles; }

  private:
    std::vector<TRingCircle> FCircles; // largest first
};

// Where a window of `size` (with its frame) goes beside the console's frame on `screen`: to
// its right when it fits there, else to its left, else in the screen's top-right corner.
// Both tops aligned, kept on the screen.
QPoint PlaceBeside(const QRect &console, const QSize &size, const QRect &screen);
