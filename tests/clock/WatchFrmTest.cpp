#include "ClockTestSupport.h"
#include "common/PumpEventsUntil.h"
#include "widgets/MMFormHelpers.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

namespace {

int LitCount(const std::array<TMMLED *, 5> &lamps) {
    return static_cast<int>(
        std::count_if(lamps.begin(), lamps.end(), [](TMMLED *l) { return l->Enabled(); }));
}

std::array<bool, 5> Lit(const std::array<TMMLED *, 5> &lamps) {
    std::array<bool, 5> lit{};
    std::transform(lamps.begin(), lamps.end(), lit.begin(), [](TMMLED *l) { return l->Enabled(); });
    return lit;
}

bool Shows(const TWatchFrm &clock, int dot, TDotPicture picture) {
    return clock.Dot(dot)->pixmap().cacheKey() == clock.DotPixmap(picture).cacheKey();
}

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

} // namespace

TEST(WatchFrmTest, CreatedHiddenAndStoppedWithItsPanelsCentredOnTheRing) {
    TWatchFrm clock;
    EXPECT_EQ(clock.windowTitle(), "WatchFrm");
    EXPECT_TRUE(clock.isHidden());
    EXPECT_EQ(clock.size(), QSize(260, 261));
    EXPECT_FALSE(clock.MainTimer.Enabled());
    EXPECT_EQ(clock.MainTimer.Interval(), 10);
    for (const TMMHiTimer *timer : {&clock.MainTimer, &clock.SleepTimmer}) {
        EXPECT_EQ(timer->CallBackMode(), cmThread);
        EXPECT_FALSE(timer->Synchronize());
        EXPECT_FALSE(timer->Enabled());
    }

    EXPECT_EQ(clock.LedTimePanel->geometry(), QRect(53, 107, 153, 33));
    EXPECT_EQ(clock.EmgRemPanel->geometry(), QRect(54, 157, 151, 47));
    EXPECT_EQ(clock.SigPanel->pos(), QPoint(53, 139));
    EXPECT_EQ(clock.hedpanel->pos(), QPoint(53, 90));
    EXPECT_EQ(clock.BkPanel->geometry(), QRect(0, 0, 260, 261));
    EXPECT_EQ(clock.LedSec->geometry(), QRect(112, 56, 33, 29));
    EXPECT_EQ(clock.LedSec->parentWidget(), clock.BkPanel);
    EXPECT_EQ(clock.LedHour->geometry(), QRect(41, 5, 29, 25));
    EXPECT_EQ(clock.LedMin->geometry(), QRect(85, 5, 29, 25));
    EXPECT_EQ(clock.MMLEDDigit1->geometry(), QRect(71, 5, 13, 25));
    EXPECT_EQ(clock.RemLed->geometry(), QRect(60, 17, 33, 29));
    EXPECT_TRUE(clock.RemLed->isHidden());
    EXPECT_TRUE(clock.remlabel->isHidden());
    EXPECT_EQ(clock.HedLabel->text(), "digital tikkora meter");
    EXPECT_EQ(clock.LedHour->Value(), 28) << "the hour that goes with the clock's first LastHour, 4";

    EXPECT_EQ(LitCount(clock.SigLeds()), 0);
    EXPECT_EQ(clock.SigLed4->LEDColor(), 16732497);
    EXPECT_EQ(clock.SigLed5->LEDColor(), clRed);
    EXPECT_EQ(LitCount(clock.CountdownLeds()), 0);

    EXPECT_EQ(clock.Dot(15)->geometry(), QRect(245, 125, 25, 17));
    EXPECT_EQ(clock.Dot(30)->geometry(), QRect(125, 245, 25, 17));
    EXPECT_EQ(clock.Dot(45)->geometry(), QRect(5, 125, 25, 17));
    EXPECT_EQ(clock.Dot(60)->geometry(), QRect(125, 5, 25, 17));
    EXPECT_EQ(clock.Dot(60)->parentWidget(), clock.BkPanel);
    EXPECT_TRUE(Shows(clock, 5, dpYellow));
    EXPECT_TRUE(Shows(clock, 7, dpWhite));
    EXPECT_FALSE(clock.DotPixmap(dpRed).isNull());
}

TEST(WatchFrmTest, SmallHoursShowAsTheBroadcastDaysLateHours) {
    TClockRig rig;
    rig.At(0, 15, 7);
    EXPECT_EQ(rig.Clock.LedHour->Value(), 24);
    EXPECT_EQ(rig.Clock.LedMin->Value(), 15);
    EXPECT_EQ(rig.Clock.LedSec->Value(), 7);
    rig.At(4, 59, 59);
    EXPECT_EQ(rig.Clock.LedHour->Value(), 28);
    rig.At(5, 0, 0);
    EXPECT_EQ(rig.Clock.LedHour->Value(), 5);
    EXPECT_EQ(rig.Clock.LedMin->Value(), 0);
}

TEST(WatchFrmTest, LastTenSecondsCountDownWithRemAndTheirLamps) {
    TClockRig rig;
    TWatchFrm &c = rig.Clock;
    rig.At(12, 0, 49);
    EXPECT_TRUE(c.RemLed->isHidden());
    for (int s = 50; s <= 59; ++s) {
        rig.At(12, 0, s);
        EXPECT_FALSE(c.RemLed->isHidden()) << s;
        EXPECT_FALSE(c.remlabel->isHidden()) << s;
        EXPECT_EQ(c.RemLed->Value(), 60 - s);
        if (s == 50 || s == 55) {
            EXPECT_EQ(LitCount(c.CountdownLeds()), 5) << s;
            EXPECT_EQ(c.MMLED3->LEDColor(), s == 50 ? clYellow : clRed) << s;
        }
    }
    EXPECT_EQ(Lit(c.CountdownLeds()), (std::array<bool, 5>{true, false, false, false, false}));
    rig.At(12, 1, 0);
    EXPECT_FALSE(c.RemLed->isHidden()) << "zero stays up for its second";
    EXPECT_EQ(c.RemLed->Value(), 0);
    EXPECT_EQ(LitCount(c.CountdownLeds()), 0);
    rig.At(12, 1, 1);
    EXPECT_TRUE(c.RemLed->isHidden());
    EXPECT_TRUE(c.remlabel->isHidden());
}

TEST(WatchFrmTest, DotRingFillsRedsOutAndStartsAfresh) {
    TClockRig rig;
    TWatchFrm &c = rig.Clock;
    rig.At(12, 0, 59);
    rig.At(12, 1, 0);
    for (int d = 1; d <= 60; ++d)
        EXPECT_TRUE(Shows(c, d, dpRed)) << d;
    rig.At(12, 1, 1);
    EXPECT_TRUE(Shows(c, 1, dpBlue));
    for (int d = 2; d <= 60; ++d)
        EXPECT_TRUE(Shows(c, d, d % 5 == 0 ? dpYellow : dpWhite)) << d;
    rig.At(12, 1, 25);
    EXPECT_TRUE(Shows(c, 25, dpRed));
    rig.At(12, 1, 26);
    EXPECT_TRUE(Shows(c, 26, dpBlue));
    EXPECT_TRUE(Shows(c, 24, dpWhite)) << "seconds not shown leave their dots alone";

    // On screen: the lamp of dot 25, four pixels in from its corner, is red.
    const QImage face = c.BkPanel->grab().toImage();
    const QColor lamp = face.pixelColor(c.Dot(25)->pos() + QPoint(4, 4));
    EXPECT_GT(lamp.red(), 200);
    EXPECT_LT(lamp.green(), 100);
}

TEST(WatchFrmTest, SignalBarShowsOneLampAfterAFiveAndAllFiveOnIt) {
    TClockRig rig;
    for (int k = 0; k < 16; ++k) {
        const int s = (56 + k) % 60; // from 12:00:56 to 12:01:11
        rig.At(12, k < 4 ? 0 : 1, s);
        if (s % 5 == 1) {
            EXPECT_EQ(Lit(rig.Clock.SigLeds()), (std::array<bool, 5>{true, false, false, false, false})) << s;
        }
        if (s % 5 == 0) {
            EXPECT_EQ(LitCount(rig.Clock.SigLeds()), 5) << s;
        }
    }
}

TEST(WatchFrmTest, EverySecondPulsesTheRingInNinePausesOf50Ms) {
    TClockRig rig;
    rig.At(12, 0, 7);
    EXPECT_EQ(rig.SleepSource.Arms, 9);
    EXPECT_EQ(rig.SleepSource.LastDelay, 50u);
    EXPECT_FALSE(rig.Clock.SleepTimmer.Enabled());
    EXPECT_EQ(rig.Clock.BkPanel->Ring().Circles(), (std::vector<TRingCircle>{{kLedBody, clBlack, 111}}));

    const QImage face = rig.Clock.BkPanel->grab().toImage();
    EXPECT_EQ(face.pixelColor(129 + 111, 129), ToQColor(kLedBody)) << "the ring's right-hand edge";
    EXPECT_EQ(face.pixelColor(200, 129), ToQColor(clBlack)) << "inside the ring";
    EXPECT_EQ(face.pixelColor(3, 3), ToQColor(kWindowColor)) << "outside it";

    // Within the same second the tick only compares: no pulse.
    rig.At(12, 0, 7);
    EXPECT_EQ(rig.SleepSource.Arms, 9);
}

TEST(WatchFrmTest, TickHandedOverBeforeTheStopDoesNothing) {
    TClockRig rig;
    rig.Clock.StopMainTimer();
    EXPECT_FALSE(rig.Clock.MainTimer.Enabled());
    rig.At(3, 30, 30);
    EXPECT_EQ(rig.Clock.LedSec->Value(), 0);
    EXPECT_EQ(rig.Clock.LedHour->Value(), 28);
    EXPECT_EQ(rig.SleepSource.Arms, 0);
}

// The timers tick on threads of their own; the clock's work must still be done where the
// controls live, and one second's work must end before the next begins.
TEST(WatchFrmTest, HandlersRunOnTheGuiThreadOneAtATime) {
    TWatchFrm clock;
    QThread *const gui = QThread::currentThread();
    std::vector<QThread *> threads;
    std::vector<qint64> calls;
    QElapsedTimer since;
    since.start();
    int second = 0;
    clock.SetClockReader([&] {
        threads.push_back(QThread::currentThread());
        calls.push_back(since.elapsed());
        second = (second + 1) % 60; // every tick a new second: each runs the whole pulse
        return TWatchFrm::TClockTime{12, 0, second};
    });
    clock.show();
    clock.MainTimer.SetEnabled(true);
    EXPECT_TRUE(PumpEventsUntil([&] { return calls.size() >= 3; }, 10000));
    clock.StopMainTimer();
    ASSERT_GE(calls.size(), 3u);
    for (QThread *t : threads)
        EXPECT_EQ(t, gui);
    for (std::size_t k = 1; k < calls.size(); ++k)
        EXPECT_GE(calls[k] - calls[k - 1], 9 * 50 - 5) << "a tick ran inside the previous second's pulse";
}

TEST(WatchFrmTest, PauseKeepsItsLengthAndTheWindowAnsweringWithoutSpinning) {
    TWatchFrm clock;
    clock.show();
    QElapsedTimer elapsed;
    qint64 handledAt = -1;
    QTimer::singleShot(30, [&] { handledAt = elapsed.elapsed(); });
    elapsed.start();
    const double cpu0 = ThreadCpuMs();
    clock.PauseMs(300);
    const double cpu = ThreadCpuMs() - cpu0;
    const qint64 took = elapsed.elapsed();
    EXPECT_GE(took, 299);
    EXPECT_GE(handledAt, 0) << "events are handled during the pause";
    EXPECT_LT(handledAt, took);
    // Waiting on a busy loop would take the whole 300 ms of processor time.
    EXPECT_LT(cpu, 75.0);
    EXPECT_FALSE(clock.SleepTimmer.Enabled());
}
