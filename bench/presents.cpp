#include "BenchMain.h"
#include "app/Forms.h"
#include "app/MainFrm.h"
#include "app/MeterPnl.h"
#include "platform/SimWaveIn.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

// How often each instrument of the running console reaches the screen: the console on the
// simulated stereo programme at the pace of the sound, shown, first on the VU page and then
// on the "SPECTRUM" page, counting each instrument's paints (a paint is one present of the
// parts its drawing changed). No instrument should be presented more often than the display's
// 60 frames a second, nor more often than its blocks come.
// Usage: bench_presents [seconds per page] [programme.wav]
// A steady tone moves nothing after the meters have risen; a music-like programme (e.g.
// `sox -n -r 48000 -c 2 -b 16 prog.wav synth 30 pinknoise vol 0.5 tremolo 3 90`) keeps every
// instrument busy.

namespace {

class TPaintCounter : public QObject {
  public:
    void Watch(QWidget *widget) {
        widget->installEventFilter(this);
        FCounts[widget] = 0;
    }
    void Reset() {
        for (auto &entry : FCounts)
            entry.second = 0;
    }
    void Print(const char *page, double seconds) const {
        for (const auto &[widget, count] : FCounts)
            std::printf("%-9s %-15s presents_per_s=%6.1f\n", page, qPrintable(widget->objectName()),
                        count / seconds);
    }

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Paint) ++FCounts[static_cast<QWidget *>(watched)];
        return false;
    }

  private:
    std::map<QWidget *, long> FCounts;
};

void Run(double seconds) {
    const QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    while (clock.elapsed() < seconds * 1000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

} // namespace

int main(int argc, char **argv) {
    DefaultToOffscreen();
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;

    TSimDevice programme;
    programme.Name = "stereo programme";
    programme.Signal = TSimSignal::StereoProgramme;
    if (argc > 2) {
        programme.Signal = TSimSignal::WavFile;
        programme.File = argv[2];
    }
    TSimWaveInDriver driver({programme});
    QTemporaryDir settings;
    TMeterPanel panel;
    RegisterForm(&panel);
    TMainForm form({driver, settings.path(), {}});
    panel.show();
    form.show();

    TPaintCounter counter;
    for (QWidget *w : std::vector<QWidget *>{form.PhaseMeter, form.MMSpectrum1, form.MMSpectrum2,
                                             form.PlayMeterL, form.PlayMeterR, panel.MMLevel1, panel.MMLevel2,
                                             form.Trend7, form.MarginLedLeft, form.MarginLedRight})
        counter.Watch(w);

    Run(2); // capture started, meters risen
    counter.Reset();
    Run(seconds);
    counter.Print("vu-page", seconds);

    form.SpcChgBtnPanelClick();
    Run(1);
    counter.Reset();
    Run(seconds);
    counter.Print("spectrum", seconds);
    return 0;
}
