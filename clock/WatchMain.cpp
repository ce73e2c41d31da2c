#include "clock/WatchMain.h"

#include "clock/JpegImage.h"
#include "clock/TransparentPicture.h"
#include "widgets/MMFormHelpers.h"
#include "widgets/MMLoadingBracket.h"

#include <QCoreApplication>
#include <QScreen>
#include <QTime>

namespace {

TMMLEDPanel *AddLedPanel(QWidget *parent, const QString &name, QPoint at, TMMLEDSize size, TColor led,
                         TColor inactive) {
    auto *panel = new TMMLEDPanel(parent);
    panel->setObjectName(name);
    panel->Bevel().SetBevelOuter(bvNone); // the panel is exactly its digits
    panel->SetDigitSize(size);
    panel->SetLEDSpace(3);
    panel->SetMinValue(0);
    panel->SetMaxValue(100);
    panel->SetLEDColor(led);
    panel->SetInactiveColor(inactive);
    panel->move(at);
    return panel;
}

TMMLED *AddLamp(QWidget *parent, const QString &name, QPoint at, int width, TColor led) {
    auto *lamp = new TMMLED(parent);
    lamp->setObjectName(name);
    lamp->SetColor(kLedBody);
    lamp->SetLEDColor(led);
    lamp->SetBounds(at.x(), at.y(), width, lamp->Height());
    return lamp;
}

QLabel *AddClockLabel(QWidget *parent, const QString &name, QPoint at, const QString &text) {
    return AddLabel(parent, name, at, text, kClockTextBlue, ArialFont(11, true));
}

// A dot picture, its ground keyed out: the pictures overlap their neighbours on the ring.
QPixmap ReadDot(const char *name) {
    QString error;
    const QImage image = ReadJpeg(QString(":/clock/%1.jpg").arg(name), &error);
    if (image.isNull()) qWarning("Studio clock: no dot picture (%s)", qPrintable(error));
    return QPixmap::fromImage(TransparentPicture(image, kDotKeyTolerance));
}

TWatchFrm::TClockTime LocalTime() {
    const QTime now = QTime::currentTime();
    return {now.hour(), now.minute(), now.second()};
}

} // namespace

TWatchFrm::TWatchFrm(QWidget *parent)
    : QWidget(parent, Qt::Window), FClockReader(&LocalTime), FMainTick(this, [this] { MainTimerTimer(); }),
      FSleepTick(this, [this] { SleepTimmerTimer(); }) {
    Q_INIT_RESOURCE(clock);
    setObjectName("WatchFrm");
    setWindowTitle("WatchFrm");
    // The client area; with the window system's frame the window is 268 x 288.
    resize(260, 261);
    SetBackground(this, kWindowColor);
    BuildControls();

    for (TMMHiTimer *timer : {&MainTimer, &SleepTimmer}) {
        timer->SetEnabled(false);
        timer->SetCallBackMode(cmThread);
        timer->SetSynchronize(false);
        // Stopping a timer waits for its worker, so none is left handing a tick to this window
        // once the timer is off.
        timer->SetWaitForTerminate(true);
    }
    MainTimer.SetInterval(10);
    MainTimer.SetOnTimer(FMainTick.Event());
    SleepTimmer.SetOnTimer(FSleepTick.Event());
    FormCreate();
}

TWatchFrm::~TWatchFrm() {
    MainTimer.SetEnabled(false);
    SleepTimmer.SetEnabled(false);
}

void TWatchFrm::BuildControls() {
    TMMLoadingBracket loading;
    FDotPixmaps = {ReadDot("Geo_small_white"), ReadDot("Geo_small_blue"), ReadDot("Geo_small_yellow"),
                   ReadDot("Geo_small_red")};
    const auto addDotPicture = [this](const char *name, QPoint at, TDotPicture picture) {
        QLabel *label = AddPicture(this, name, {at, QSize(25, 17)});
        label->setPixmap(FDotPixmaps[picture]);
        label->hide();
        return label;
    };
    Geo_small_white = addDotPicture("Geo_small_white", {152, 32}, dpWhite);
    Geo_small_blue = addDotPicture("Geo_small_blue", {152, 56}, dpBlue);
    Geo_small_yellow = addDotPicture("Geo_small_yellow", {192, 32}, dpYellow);
    Geo_small_red = addDotPicture("Geo_small_red", {192, 56}, dpRed);

    BkPanel = new TWatchFace(this);
    BkPanel->setObjectName("BkPanel");
    BkPanel->SetBounds(0, 0, 260, 261);
    BkPanel->SetColor(kWindowColor);
    BkPanel->SetAlign(alClient);
    LedSec = AddLedPanel(BkPanel, "LedSec", {112, 56}, ls17x29, kLedBlue, kLedBlueDark);

    hedpanel = AddMMPanel(this, "hedpanel", {40, 90, 153, 17}, clBlack);
    HedLabel = AddClockLabel(hedpanel, "HedLabel", {4, 1}, "digital tikkora meter");

    LedTimePanel = AddMMPanel(this, "LedTimePanel", {40, 107, 153, 33}, clBlack);
    LedHour = AddLedPanel(LedTimePanel, "LedHour", {41, 5}, ls15x25, kLedBlue, kLedBlueDark);
    // The hour that goes with LastHour, so the display agrees with it from the start.
    LedHour->SetValue(BroadcastHour(LastHour));
    LedMin = AddLedPanel(LedTimePanel, "LedMin", {85, 5}, ls15x25, kLedBlue, kLedBlueDark);
    MMLEDDigit1 = new TMMLEDDigit(LedTimePanel);
    MMLEDDigit1->setObjectName("MMLEDDigit1");
    MMLEDDigit1->SetDisplayType(ltColon);
    MMLEDDigit1->SetDigitSize(ls15x25);
    MMLEDDigit1->SetLEDColor(kLedBlue); // in the digits' colours
    MMLEDDigit1->SetInactiveColor(kLedBlueDark);
    MMLEDDigit1->move(71, 5);
    Label1 = AddLabel(LedTimePanel, "Label1", {121, 16}, ".", clRed, ArialFont(11, true));

    SigPanel = AddMMPanel(this, "SigPanel", {40, 139, 153, 17}, clBlack);
    SigLabel = AddClockLabel(SigPanel, "SigLabel", {4, 1}, "signal");
    SigLed1 = AddLamp(SigPanel, "SigLed1", {43, 4}, 16, kLedBlue);
    SigLed2 = AddLamp(SigPanel, "SigLed2", {65, 4}, 16, kLedBlue);
    SigLed3 = AddLamp(SigPanel, "SigLed3", {87, 4}, 16, kLedBlue);
    SigLed4 = AddLamp(SigPanel, "SigLed4", {109, 4}, 16, kLedBlue);
    SigLed5 = AddLamp(SigPanel, "SigLed5", {132, 4}, 16, clRed);

    EmgRemPanel = AddMMPanel(this, "EmgRemPanel", {42, 157, 151, 47}, clBlack);
    MMLED1 = AddLamp(EmgRemPanel, "MMLED1", {40, 4}, 17, clYellow);
    MMLED2 = AddLamp(EmgRemPanel, "MMLED2", {62, 4}, 17, clYellow);
    MMLED3 = AddLamp(EmgRemPanel, "MMLED3", {85, 4}, 17, clYellow);
    MMLED4 = AddLamp(EmgRemPanel, "MMLED4", {107, 4}, 17, clYellow);
    MMLED5 = AddLamp(EmgRemPanel, "MMLED5", {130, 4}, 17, clYellow);
    for (TMMLED *lamp : CountdownLeds())
        lamp->SetEnabled(false);
    RemLed = AddLedPanel(EmgRemPanel, "RemLed", {60, 17}, ls17x29, clWhite, 6250335);
    RemLed->hide();
    remlabel = AddClockLabel(EmgRemPanel, "remlabel", {9, 23}, "rem");
    remlabel->hide();
    loading.Done();
}

const QPixmap &TWatchFrm::DotPixmap(TDotPicture picture) const {
    return FDotPixmaps.at(static_cast<std::size_t>(picture));
}

void TWatchFrm::FormCreate() {
    LastHour = 4;
    // Centred on the ring's x = 129.
    LedTimePanel->move(125 - LedTimePanel->width() / 2 + 4, LedTimePanel->y());
    EmgRemPanel->move(125 - EmgRemPanel->width() / 2 + 4, EmgRemPanel->y());
    SigPanel->move(LedTimePanel->x(), SigPanel->y());
    hedpanel->move(LedTimePanel->x(), hedpanel->y());
    for (TMMLED *lamp : SigLeds())
        lamp->SetEnabled(false);
    BuildDotRing();
}

void TWatchFrm::BuildDotRing() {
    for (int s = 1; s <= kDotCount; ++s) {
        QLabel *dot = AddPicture(BkPanel, QString("Dot%1").arg(s), {DotPlace(s), QSize()});
        dot->setPixmap(DotPixmap(TDotRing::RestingPicture(s)));
        dot->adjustSize(); // auto-size: as large as its picture
        dot->show();
        FDots[static_cast<std::size_t>(s - 1)] = dot;
        ShowAtOnce(dot);
    }
}

void TWatchFrm::ShowAtOnce(QWidget *control) {
    // A hidden window has nothing to show, and its creation is no place to run other work.
    if (!OnScreen(*this)) return;
    control->repaint();
    QCoreApplication::processEvents();
}

void TWatchFrm::MainTimerTimer() {
    if (!MainTimer.Enabled()) return; // a tick handed over before the stop
    const TClockTime now = FClockReader();
    if (now.Hour != LastHour) {
        LastHour = now.Hour;
        LedHour->SetValue(BroadcastHour(now.Hour));
    }
    if (now.Minute != LastMinute) {
        LastMinute = now.Minute;
        LedMin->SetValue(now.Minute);
    }
    if (now.Second == LastSecond) return;
    LastSecond = now.Second;
    LedSec->SetValue(now.Second);
    const TRemStep rem = RemStepFor(now.Second);
    switch (rem.Change) {
    case TRemChange::Show:
        RemLed->show();
        remlabel->show();
        RemLed->SetValue(rem.Value);
        break;
    case TRemChange::Zero:
        RemLed->SetValue(0);
        break;
    case TRemChange::Hide:
        RemLed->hide();
        remlabel->hide();
        break;
    case TRemChange::None:
        break;
    }
    UpdateSignalLeds(now.Second);
    MarkSecondDot(now.Second);
    AnimateRing();
}

void TWatchFrm::UpdateSignalLeds(int s) {
    try {
        TLampRow bar;
        const auto sig = SigLeds();
        for (std::size_t i = 0; i < bar.size(); ++i)
            bar[i] = sig[i]->Enabled();
        StepSignalBar(bar, s);
        for (std::size_t i = 0; i < bar.size(); ++i)
            sig[i]->SetEnabled(bar[i]);

        if (RemLed->isHidden()) return;
        const auto leds = CountdownLeds();
        TCountdownLamps lamps;
        lamps.Color = leds[0]->LEDColor();
        for (std::size_t i = 0; i < leds.size(); ++i)
            lamps.Lit[i] = leds[i]->Enabled();
        StepCountdownLamps(lamps, RemLed->Value());
        for (std::size_t i = 0; i < leds.size(); ++i) {
            leds[i]->SetLEDColor(lamps.Color);
            leds[i]->SetEnabled(lamps.Lit[i]);
        }
    } catch (...) {
        // A lamp that cannot be set waits for the next second.
    }
}

void TWatchFrm::MarkSecondDot(int s) {
    ShowDots(FRing.MarkSecond(s));
}

void TWatchFrm::ShowDots(const std::vector<TDotRing::TChange> &changes) {
    const bool wholeRing = changes.size() > 1;
    for (const TDotRing::TChange &change : changes) {
        Dot(change.Dot)->setPixmap(DotPixmap(change.Picture));
        if (wholeRing) ShowAtOnce(Dot(change.Dot));
    }
}

void TWatchFrm::AnimateRing() {
    for (const TRingCircle &circle : RingPulse()) {
        BkPanel->SetBrushColor(circle.Brush);
        DrawRingCircle(circle.Pen, circle.Radius);
        QCoreApplication::processEvents();
        PauseMs(kRingPulsePauseMs);
    }
}

void TWatchFrm::DrawRingCircle(TColor color, int r) {
    try {
        BkPanel->DrawRingCircle(color, r);
    } catch (...) {
        // The pulse goes on with its next circle.
    }
}

void TWatchFrm::PauseMs(int ms) {
    SleepTimmer.SetInterval(ms);
    Sleeping.store(true);
    try {
        SleepTimmer.SetEnabled(true);
    } catch (...) {
        Sleeping.store(false);
        throw;
    }
    // The sleep timer's tick arrives as an event, which ends the wait; nothing spins.
    while (Sleeping.load())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void TWatchFrm::SleepTimmerTimer() {
    SleepTimmer.SetEnabled(false);
    Sleeping.store(false);
}

void TWatchFrm::ShowBeside(const QRect &console) {
    const QScreen *s = screen();
    const QRect available = s != nullptr ? s->availableGeometry() : console;
    move(PlaceBeside(console, frameGeometry().size(), available));
    show();
    MainTimer.SetEnabled(true);
}

void TWatchFrm::StopMainTimer() {
    // Turning the timer off tears it down and waits for its worker (WaitForTerminate), so the
    // timer reports itself stopped as soon as this returns; there is nothing left to wait for.
    MainTimer.SetEnabled(false);
}
