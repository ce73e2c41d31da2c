#pragma once

#include "audio/MMHiTimer.h"
#include "clock/GuiThreadTick.h"
#include "clock/WatchFace.h"
#include "clock/WatchLaws.h"
#include "widgets/MMLED.h"
#include "widgets/MMLEDDigit.h"
#include "widgets/MMLEDPanel.h"
#include "widgets/MMPanel.h"

#include <QLabel>
#include <QPixmap>

#include <array>
#include <atomic>
#include <functional>

// The studio clock: hours and minutes on LED digits (the hours 0 to 4 after midnight shown as
// 24 to 28), seconds on a larger pair, a ring of sixty second-dots that fills as the minute
// runs, a five-step signal bar, a countdown of the last ten seconds of each minute, and a ring
// pulse every second. The console creates it hidden with MainTimer stopped; it runs once shown
// with MainTimer enabled (ShowBeside).
//
// Thread contract: everything here runs on the GUI thread. The two timers tick on workers of
// their own (thread mode, not synchronised), and their handlers are handed over to the GUI
// thread (TGuiThreadTick), since they change controls; a pause waits there without blocking.
class TWatchFrm : public QWidget {
    Q_OBJECT
  public:
    struct TClockTime {
        int Hour;
        int Minute;
        int Second;
    };
    // Where the clock reads the local time.
    using TClockReader = std::function<TClockTime()>;

    explicit TWatchFrm(QWidget *parent = nullptr);
    ~TWatchFrm() override;

    // The controls, named as on the clock's drawings.
    QLabel *Geo_small_white;
    QLabel *Geo_small_blue;
    QLabel *Geo_small_yellow;
    QLabel *Geo_small_red;
    TWatchFace *BkPanel;
    TMMLEDPanel *LedSec;
    TMMPanel *hedpanel;
    QLabel *HedLabel;
    TMMPanel *LedTimePanel;
    TMMLEDPanel *LedHour;
    TMMLEDPanel *LedMin;
    TMMLEDDigit *MMLEDDigit1; // the colon
    QLabel *Label1;           // the red "."
    TMMPanel *SigPanel;
    QLabel *SigLabel;
    TMMLED *SigLed1;
    TMMLED *SigLed2;
    TMMLED *SigLed3;
    TMMLED *SigLed4;
    TMMLED *SigLed5;
    TMMPanel *EmgRemPanel;
    TMMLED *MMLED1;
    TMMLED *MMLED2;
    TMMLED *MMLED3;
    TMMLED *MMLED4;
    TMMLED *MMLED5;
    TMMLEDPanel *RemLed;
    QLabel *remlabel;

    TMMHiTimer MainTimer;   // 10 ms; the clock runs while it is enabled
    TMMHiTimer SleepTimmer; // ends a pause

    // Dot s (1 ... 60) of the ring; dot 60 stands for second 0.
    QLabel *Dot(int s) const { return FDots.at(static_cast<std::size_t>(s - 1)); }
    TDotPicture DotPicture(int s) const { return FRing.Picture(s); }
    // The picture each dot picture stands for, as read from its JPEG.
    const QPixmap &DotPixmap(TDotPicture picture) const;
    std::array<TMMLED *, 5> SigLeds() const { return {SigLed1, SigLed2, SigLed3, SigLed4, SigLed5}; }
    std::array<TMMLED *, 5> CountdownLeds() const { return {MMLED1, MMLED2, MMLED3, MMLED4, MMLED5}; }

    // The local time by default.
    void SetClockReader(TClockReader reader) { FClockReader = std::move(reader); }

    // Brings the clock on screen beside the console's frame and starts it.
    void ShowBeside(const QRect &console);
    // Stops MainTimer; when this returns no tick of it is running or will run (a tick already
    // handed to the GUI thread finds the timer off and does nothing).
    void StopMainTimer();

    // The handlers and the window's own steps.
    void FormCreate();
    void MainTimerTimer();
    void SleepTimmerTimer();
    void BuildDotRing();
    void MarkSecondDot(int s);
    void UpdateSignalLeds(int s);
    void AnimateRing();
    void DrawRingCircle(TColor color, int r);
    // Waits ms milliseconds for SleepTimmer, handling the GUI thread's events meanwhile.
    void PauseMs(int ms);

  private:
    void BuildControls();
    // Second 0 and second 1 change the whole ring, each dot shown at once.
    void ShowDots(const std::vector<TDotRing::TChange> &changes);
    // On screen at once, and the events that came meanwhile handled.
    void ShowAtOnce(QWidget *control);

    std::array<QPixmap, 4> FDotPixmaps;
    std::array<QLabel *, kDotCount> FDots{};
    TDotRing FRing;
    int LastHour = 4;
    int LastMinute = 0;
    int LastSecond = 0;
    std::atomic<bool> Sleeping{false}; // GUI thread only since the hand-over; atomic all the same
    TClockReader FClockReader;
    TGuiThreadTick FMainTick;
    TGuiThreadTick FSleepTick;
};
