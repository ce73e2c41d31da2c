#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QRegion>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include "audio/MMFrameRide.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

class TCompositorFrames;
class TX11SharedPictures;

// A widget whose scheduled parts the clock may put on an X11 window itself, through
// memory shared with the server, past the toolkit's paint and backing store: the parts it
// can copy out as a paint would draw them, opaque, with nothing lying over them.
class TMMDirectPresent {
  public:
    // Whether CopyPicture gives `part` (widget coordinates) as a paint would, with
    // nothing of what lies beneath the widget showing through.
    virtual bool Presentable(const QRect &part) const = 0;
    // Writes `part` as 32-bit pixels, 0xffRRGGBB (QImage::Format_RGB32), to `bits`,
    // whose rows lie `stride` bytes apart.
    virtual void CopyPicture(const QRect &part, std::uint8_t *bits, int stride) = 0;

  protected:
    ~TMMDirectPresent() = default;
};

// Puts what controls drew off-screen on the screen, at the pace of the display.
//
// A control that changed part of its picture schedules that region; on the
// next display frame (60 Hz) the clock asks each scheduled widget to update
// the union of its regions, once. So a widget is presented at most once per
// frame, however often it draws, and never later than one frame after it drew.
// The timer runs only while something is scheduled or a frame was requested.
//
// The process-wide clock is the audio side's frame source: each tick first runs
// the work that rides the frame (the trigger loop's pass, whose blocks draw and
// schedule, then the flagged read-out and peak jobs), then presents.
//
// On an X11 display that shares memory with the process, the parts a TMMDirectPresent
// widget paints opaque go to the window directly ("VELMORA_SHARED_PICTURES=off" turns this
// off): no picture passes through the connection, and the toolkit's backing store keeps the
// older picture, which the widget repaints into it when its window is next exposed.
//
// On Wayland the compositor paces the ticks instead of the timer: a tick waits for the frame
// callback of the window it draws in (TCompositorFrames), so the wake the callback brings is the
// tick's own. A window the compositor stops asking frames of gets no tick and no drawing, and
// Showing() is false then, so that the laws run on the buffers' passes as for a minimised X11
// window; the window's next callback brings the frames back.
//
// Frames are slots of one sixtieth of a second on a steady clock; a tick
// always lands in a later slot than the one before, so early or late timer
// wake-ups never present a widget twice within one frame.
//
// With the logging rule "velmora.presents.debug=true" the clock writes, every ten
// seconds, how often each widget (by object name) was presented per second, and
// how many thousand pixels a second those presents asked for.
//
// Thread contract: main thread only (the thread of the QCoreApplication),
// every method.
class TMMFrameClock : public QObject, public TMMFrameSource {
    Q_OBJECT
  public:
    static constexpr int kFramesPerSecond = 60;

    explicit TMMFrameClock(QObject *parent = nullptr);
    ~TMMFrameClock() override;

    // The process-wide clock every control presents through, created with (and
    // owned by) the application object.
    static TMMFrameClock &Screen();
    // The process-wide clock if it exists: for destructors, which must not create one.
    static TMMFrameClock *ExistingScreen();

    // Marks `region` (widget coordinates) of `widget` for the next frame. Empty
    // regions are ignored.
    void Schedule(QWidget *widget, const QRegion &region);
    // The same for a rectangle; rectangles of a widget gather into their bounds.
    void Schedule(QWidget *widget, const QRect &rect);
    // Forgets what `widget` had scheduled; a widget calls it when destroyed.
    void Cancel(QWidget *widget);
    // What `widget` has scheduled for the next frame (empty when nothing).
    QRegion PendingRegion(const QWidget *widget) const;
    QRect Pending(const QWidget *widget) const { return PendingRegion(widget).boundingRect(); }
    bool HasPending() const { return !FPending.empty(); }
    // True while the frame timer is armed.
    bool IsRunning() const { return FTimer.isActive(); }

    // One frame: the riding work, then every scheduled widget gets update(union
    // of its regions). The timer calls it; tests may call it themselves.
    void Tick();

    // A window of the process is exposed (mapped, not minimised), and the ticks
    // are not driven by hand.
    bool Showing() const override;
    // A tick on the next frame even with nothing scheduled.
    void RequestFrame() override;
    // Tests drive the frames by hand: no timer runs while this is set.
    void SetManualTicks(bool value);
    bool ManualTicks() const { return FManualTicks; }

  signals:
    // What `widget` scheduled went to its window directly: no paint event shows it.
    void PutOnWindow(QWidget *widget);

  private:
    struct TEntry {
        QWidget *Key;
        QPointer<QWidget> Widget; // a widget freed without Cancel is skipped
        QRect Rect;               // the bounds of the rectangles scheduled
        QRegion Region;           // the regions scheduled
    };

    TEntry &EntryFor(QWidget *widget);

    std::int64_t SlotNow() const;
    void Arm();
    void ArmTimer();
    // The compositor that paces the ticks, or none where the timer does.
    TCompositorFrames *Compositor();
    // The window whose frame the next tick waits for: the first scheduled widget's, or any
    // exposed one.
    QWindow *PacingWindow() const;
    struct TDirectPart {
        QWidget *Widget;
        TMMDirectPresent *Present; // the same widget
        QRegion Region;
    };
    // The widget, when its scheduled `region` may go to its window directly.
    TMMDirectPresent *Direct(QWidget &widget, const QRegion &region);
    // Puts the parts on their windows; false when none went.
    bool PutDirect(const std::vector<TDirectPart> &parts);
    bool eventFilter(QObject *watched, QEvent *event) override;
    void CountPresent(const QWidget &widget, const QRegion &region);

    std::vector<TEntry> FPending;
    QTimer FTimer;
    std::unique_ptr<TCompositorFrames> FCompositor;
    bool FCompositorTried = false;
    bool FManualTicks = false;
    bool FFrameWanted = false;
    bool FInTick = false;
    std::chrono::steady_clock::time_point FEpoch;
    std::int64_t FLastSlot = -1;  // the frame slot of the last tick
    std::int64_t FTargetSlot = 0; // the slot the armed timer aims at
    struct TPresents {
        int Count = 0;
        std::int64_t Pixels = 0;
    };
    std::unique_ptr<TX11SharedPictures> FPictures;
    bool FPicturesTried = false;
    // Widgets put directly since their window was last exposed, and the windows watched.
    std::vector<QPointer<QWidget>> FDirectlyPut;
    std::vector<QPointer<QWindow>> FWatched;
    std::map<QString, TPresents> FPresents; // since FPresentsSince, when logged
    std::chrono::steady_clock::time_point FPresentsSince;
};
