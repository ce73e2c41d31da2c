#include "platform/CompositorFrames.h"

#include "common/PumpEventsUntil.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWindow>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

struct TCounts {
    int Frames = 0, Stalls = 0;
};

} // namespace

// The offscreen platform delivers update requests on a timer of its own, as X11 does: only
// Wayland's come on the compositor's frame callbacks.
TEST(CompositorFrames, OnlyWaylandPaces) {
    EXPECT_FALSE(TCompositorFrames::Paces());
}

// One frame an ask, however often asked; a window that never answers stalls once, and its
// late frame ends the stall.
TEST(CompositorFrames, AFrameAnswersOneAskAndASilentWindowStallsOnceUntilItsFrameComes) {
    TCounts n;
    TCompositorFrames frames([&] { ++n.Frames; }, [&] { ++n.Stalls; }, 30ms);

    QWindow shown;
    shown.resize(40, 30);
    shown.show();
    frames.Ask(&shown);
    frames.Ask(&shown);
    EXPECT_TRUE(frames.Asked());
    ASSERT_TRUE(PumpEventsUntil([&] { return n.Frames > 0; }, 2000));
    PumpEventsUntil([] { return false; }, 100);
    EXPECT_EQ(n.Frames, 1);
    EXPECT_EQ(n.Stalls, 0);
    EXPECT_FALSE(frames.Asked());
    EXPECT_FALSE(frames.Stalled());

    // Never shown, the window is asked nothing of the platform: as a minimised one, no frame.
    QWindow hidden;
    frames.Ask(&hidden);
    ASSERT_TRUE(PumpEventsUntil([&] { return n.Stalls > 0; }, 2000));
    EXPECT_TRUE(frames.Stalled());
    frames.Ask(&hidden);
    PumpEventsUntil([] { return false; }, 100);
    EXPECT_EQ(n.Stalls, 1) << "a stall is told once";
    EXPECT_EQ(n.Frames, 1);

    QEvent update(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(&hidden, &update);
    EXPECT_EQ(n.Frames, 2);
    EXPECT_FALSE(frames.Stalled());
    EXPECT_FALSE(frames.Asked());
    // An update the clock did not ask for (the toolkit's own) is no frame of its.
    QCoreApplication::sendEvent(&hidden, &update);
    EXPECT_EQ(n.Frames, 2);
}

// A window that goes while asked leaves nothing waiting: the next ask goes to another.
TEST(CompositorFrames, AWindowGoneWhileAskedIsNoLongerWaitedFor) {
    TCounts n;
    TCompositorFrames frames([&] { ++n.Frames; }, [&] { ++n.Stalls; }, 30ms);
    {
        QWindow gone;
        frames.Ask(&gone);
        EXPECT_TRUE(frames.Asked());
    }
    EXPECT_FALSE(frames.Asked());
    QWindow shown;
    shown.resize(40, 30);
    shown.show();
    frames.Ask(&shown);
    EXPECT_TRUE(PumpEventsUntil([&] { return n.Frames == 1; }, 2000));
}
