#include "ClockTestSupport.h"
#include "app/AppTestSupport.h"
#include "app/CommandLine.h"
#include "app/Forms.h"
#include "platform/X11Windows.h"

#include <QProcess>
#include <QScreen>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>

TEST(ClockStartTest, OptionAsksForTheClockAndIsInTheHelp) {
    const auto read = [](const QStringList &args) {
        QCommandLineParser parser;
        DeclareOptions(parser);
        return ReadOptions(parser, QStringList{"VelmoraPro"} + args);
    };
    EXPECT_TRUE(read({"--studio-clock"}).StudioClock);
    EXPECT_FALSE(read({}).StudioClock);
    QCommandLineParser parser;
    DeclareOptions(parser);
    EXPECT_TRUE(parser.helpText().contains("--studio-clock"));
}

TEST(ClockStartTest, ShownBesideTheConsoleItRuns) {
    ManualTimerSource source;
    TWatchFrm clock;
    clock.MainTimer.SetTimerSource(&source);
    const QRect console(10, 20, 300, 200);
    clock.ShowBeside(console);
    EXPECT_TRUE(clock.isVisible());
    EXPECT_TRUE(clock.MainTimer.Enabled());
    EXPECT_EQ(source.Live(), 1u);
    EXPECT_EQ(clock.frameGeometry().topLeft(),
              PlaceBeside(console, clock.frameGeometry().size(), clock.screen()->availableGeometry()));
    clock.StopMainTimer();
    EXPECT_EQ(source.Live(), 0u);
}

TEST(ClockStartTest, ConsolesCloseStopsTheClockBeforeTheEnd) {
    ManualTimerSource source;
    TWatchFrm clock;
    clock.MainTimer.SetTimerSource(&source);
    clock.MainTimer.SetEnabled(true);
    TWatchFrm *const before = WatchFrm;
    WatchFrm = &clock;
    {
        TSimConsole console;
        console.close();
        EXPECT_EQ(console.Ended, 1);
    }
    WatchFrm = before;
    EXPECT_FALSE(clock.MainTimer.Enabled());
    EXPECT_EQ(source.Live(), 0u);
}

namespace {

// The window's pixels as the X server has them.
QByteArray WindowPixels(xcb_connection_t *c, std::uint32_t window) {
    xcb_get_image_reply_t *image = xcb_get_image_reply(
        c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, 260, 261, ~0u), nullptr);
    if (image == nullptr) return {};
    const QByteArray pixels(reinterpret_cast<const char *>(xcb_get_image_data(image)),
                            xcb_get_image_data_length(image));
    std::free(image);
    return pixels;
}

bool Viewable(xcb_connection_t *c, std::uint32_t window) {
    xcb_get_window_attributes_reply_t *a =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
    const bool viewable = a != nullptr && a->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(a);
    return viewable;
}

// The shown clock window of the program, or 0.
std::uint32_t ShownClock(xcb_connection_t *c) {
    for (std::uint32_t w : X11FindWindowsByTitle(c, "WatchFrm"))
        if (Viewable(c, w)) return w;
    return 0;
}

} // namespace

// The program itself: the clock comes up and runs only when asked for.
TEST(ClockStartTest, ProgramShowsTheRunningClockOnlyWithTheOption) {
    if (std::getenv("DISPLAY") == nullptr)
        GTEST_SKIP() << "needs an X display (tools/run-tests.sh starts Xvfb)";
    const QString program = QCoreApplication::applicationDirPath() + "/../VelmoraPro";
    ASSERT_TRUE(QFileInfo::exists(program)) << "build the VelmoraPro target first";
    xcb_connection_t *c = ConnectX();
    ASSERT_EQ(xcb_connection_has_error(c), 0);

    for (const bool withClock : {false, true}) {
        SCOPED_TRACE(withClock ? "with --studio-clock" : "without");
        QTemporaryDir dir;
        QProcess console;
        console.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM");
        console.setProcessEnvironment(env);
        QStringList args{"-platform", "xcb", "--simulated-devices"};
        if (withClock) args << "--studio-clock";
        console.start(program, args);
        ASSERT_TRUE(console.waitForStarted());
        EXPECT_TRUE(WaitFor([&] { return !X11FindWindowsByTitle(c, "Sound Tikkora Meter").empty(); }));
        if (withClock) {
            std::uint32_t window = 0;
            EXPECT_TRUE(WaitFor([&] { return (window = ShownClock(c)) != 0; }));
            // Running: within two seconds the seconds digits and the ring change.
            const QByteArray first = WindowPixels(c, window);
            EXPECT_FALSE(first.isEmpty());
            EXPECT_TRUE(WaitFor([&] { return WindowPixels(c, window) != first; }, 2500));
        } else {
            WaitFor([] { return false; }, 1000); // time enough to come up, were it shown
            EXPECT_EQ(ShownClock(c), 0u);
        }
        console.kill();
        console.waitForFinished();
    }
    xcb_disconnect(c);
}
