#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include <chrono>
#include <functional>

// Frames paced by a compositor that tells its clients when to draw (Wayland): a frame asked of
// a window comes as that window's QEvent::UpdateRequest, which Qt's Wayland platform delivers
// when the compositor's frame callback for the last committed buffer arrives, so a client
// woken by that callback draws in the same wake instead of in a second one of its own timer.
// A window the compositor shows nowhere (minimised, hidden, on another workspace) gets no
// callback: after `stall` without one the frames count as stalled, and the owner is told once,
// so that it stops waiting for them; the next callback ends the stall.
//
// The update requests are watched on the application, ahead of any filter on the window that
// might take them for itself (the latency bench times their delivery that way).
//
// On X11 there are no frame callbacks: Paces() is false and the owner keeps its own timer.
//
// Thread contract: main thread only (the thread of the QGuiApplication), every method.
class TCompositorFrames : public QObject {
  public:
    // onFrame runs on each asked-for frame, onStall once when the frames stall.
    TCompositorFrames(std::function<void()> onFrame, std::function<void()> onStall,
                      std::chrono::milliseconds stall = std::chrono::milliseconds(100));

    // Whether the platform delivers update requests on the compositor's frame callbacks
    // ("VELMORA_FRAME_CALLBACKS=off" says no, and the owner's timer paces).
    static bool Paces();

    // Asks `window` for its next frame; once asked, more asks wait for that frame.
    void Ask(QWindow *window);
    // A frame was asked for and has not come, on a window that still exists.
    bool Asked() const { return FAsked && !FWindow.isNull(); }
    bool Stalled() const { return FStalled; }

  private:
    bool eventFilter(QObject *watched, QEvent *event) override;

    const std::function<void()> FOnFrame, FOnStall;
    QPointer<QWindow> FWindow; // the window last asked
    QTimer FStall;
    bool FAsked = false;
    bool FStalled = false;
};
