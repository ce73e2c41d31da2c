// The console's VU meters on real capture: a private PulseAudio server whose null sink's
// monitor is ALSA's default source (tools/pulse-server.sh); a tone made by sox is played into
// the sink. Without the server (VELMORA_PULSE unset) these tests are skipped.
//
// Besides where the needles settle, the step from silence to the tone is measured as a user
// sees it (the needle's angle against the wall clock) and reported: the time to 99 % of the
// final reading and the overshoot, next to the 300 ms and 1 to 1.5 % a studio VU meter is
// built to. The ballistics are the meter's own (Decay 7 per 1000-frame block); the numbers are
// reported, and only checked against what those ballistics must give.

#include "AppTestSupport.h"

#include "app/MainFrm.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <signal.h>

namespace {

// A player started by this test, stopped by its PID.
class TPlayer {
  public:
    explicit TPlayer(const QString &file) {
        FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        FProcess.start("paplay", {"--latency-msec=20", file});
        FStarted = FProcess.waitForStarted(10000);
    }
    ~TPlayer() {
        const qint64 pid = FProcess.processId();
        if (pid > 0 && FProcess.state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(pid), SIGTERM);
            FProcess.waitForFinished(5000);
        }
    }
    bool Started() const { return FStarted; }

  private:
    QProcess FProcess;
    bool FStarted = false;
};

// A 1 kHz tone at -20 dBFS peak, 48 kHz stereo 16-bit; `remix` "1 0" keeps the left only.
bool MakeTone(const QString &path, double seconds, const QString &remix = {}) {
    QStringList args{"-n",   "-r",   "48000", "-c", "2", "-b", "16", path, "synth", QString::number(seconds),
                     "sine", "1000", "vol",   "0.1"};
    if (!remix.isEmpty()) args << "remix" << remix.split(' ');
    QProcess sox;
    sox.start("sox", args);
    return sox.waitForFinished(60000) && sox.exitCode() == 0;
}

// The needles' angles over time, in swings, read on the main thread while the connector feeds
// the meters.
struct TTrace {
    std::vector<double> Seconds;
    std::vector<double> Left;
    std::vector<double> Right;
    std::vector<std::int64_t> Blocks; // meter blocks the connector has handed out
};

TTrace Record(TMainForm &form, int milliseconds) {
    TTrace t;
    QElapsedTimer clock;
    clock.start();
    const double swing = form.PlayMeterL->State().Swing();
    PumpEventsUntil(
        [&] {
            t.Seconds.push_back(clock.nsecsElapsed() / 1e9);
            t.Left.push_back(form.PlayMeterL->State().NeedleAngle() / swing);
            t.Right.push_back(form.PlayMeterR->State().NeedleAngle() / swing);
            t.Blocks.push_back(form.MMConnector2->BlockCount(TMMConnector::dgMeters));
            return false;
        },
        milliseconds);
    return t;
}

// The median of the readings from `from` seconds on.
double Settled(const TTrace &t, const std::vector<double> &v, double from) {
    std::vector<double> tail;
    for (std::size_t i = 0; i < v.size(); ++i)
        if (t.Seconds[i] >= from) tail.push_back(v[i]);
    if (tail.empty()) return 0.0;
    std::nth_element(tail.begin(), tail.begin() + static_cast<std::ptrdiff_t>(tail.size() / 2), tail.end());
    return tail[tail.size() / 2];
}

// The angle of 0 VU, in swings.
const double kZeroVU = 1.0 / std::pow(10.0, 0.15);

class VUMetersLive : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::getenv("VELMORA_PULSE") == nullptr)
            GTEST_SKIP() << "no PulseAudio server (VELMORA_PULSE unset)";
        ASSERT_TRUE(FDir.isValid());
        FForm =
            std::make_unique<TTestForm>(TFormServices{SystemWaveInDriver(), FSettings.Dir(), &StartProgram});
        FForm->show();
        FForm->FormShow();
        ASSERT_TRUE(FForm->MMConnector2->IsRunning());
        // The stream of silence from the server's keep-alive reaches the meters first.
        Record(*FForm, 500);
        FForm->PlayMeterL->ResetData();
        FForm->PlayMeterR->ResetData();
    }
    void TearDown() override {
        if (FForm) FForm->MMWaveIn1->Close();
    }
    QString Path(const char *name) const { return FDir.filePath(name); }

    QTemporaryDir FDir;
    TTestSettings FSettings; // the defaults: reference -20 dBFS
    std::unique_ptr<TTestForm> FForm;
};

} // namespace

TEST_F(VUMetersLive, MinusTwentyDBFSToneSettlesBothNeedlesOnZeroVUAndTheStepIsMeasured) {
    ASSERT_EQ(FForm->PlayMeterL->RefLevel(), -20.0);
    ASSERT_TRUE(MakeTone(Path("tone.wav"), 5.0));
    TTrace t;
    {
        const TPlayer player(Path("tone.wav"));
        ASSERT_TRUE(player.Started());
        t = Record(*FForm, 4500);
    }
    // Onset: the first reading off the rest position.
    std::size_t onset = 0;
    while (onset < t.Left.size() && t.Left[onset] == 0.0)
        ++onset;
    ASSERT_LT(onset, t.Left.size()) << "the tone never reached the left meter";
    const double start = t.Seconds[onset];
    const double left = Settled(t, t.Left, start + 2.5);
    const double right = Settled(t, t.Right, start + 2.5);
    // 0 VU within a quarter of a dB.
    EXPECT_NEAR(20.0 * std::log10(left / kZeroVU), 0.0, 0.25) << left;
    EXPECT_NEAR(20.0 * std::log10(right / kZeroVU), 0.0, 0.25) << right;

    std::size_t at99 = onset;
    while (at99 < t.Left.size() && t.Left[at99] < 0.99 * left)
        ++at99;
    ASSERT_LT(at99, t.Left.size());
    // The first reading comes with the first block: 1/48 s of tone lies before it. On the
    // wall clock the capture's own hiccups count too; in blocks only the ballistics do.
    const double block = 1000.0 / 48000.0;
    const double rise = t.Seconds[at99] - start + block;
    const double riseInAudio = static_cast<double>(t.Blocks[at99] - t.Blocks[onset] + 1) * block;
    double peak = 0.0;
    for (std::size_t i = onset; i < t.Left.size(); ++i)
        peak = std::max(peak, t.Left[i]);
    const double overshoot = 100.0 * (peak - left) / left;
    std::printf("VU step, silence to -20 dBFS (0 VU): 99 %% of the final reading after %.0f ms on the "
                "clock, %.0f ms of audio (studio VU: 300 ms); overshoot %.2f %% (studio VU: 1 to 1.5 %%); "
                "settled at %+.2f VU left, %+.2f VU right; %zu readings\n",
                rise * 1000.0, riseInAudio * 1000.0, overshoot, 20.0 * std::log10(left / kZeroVU),
                20.0 * std::log10(right / kZeroVU), t.Seconds.size());
    RecordProperty("rise_to_99_percent_ms", static_cast<int>(std::lround(rise * 1000.0)));
    RecordProperty("rise_to_99_percent_audio_ms", static_cast<int>(std::lround(riseInAudio * 1000.0)));
    RecordProperty("overshoot_per_mille", static_cast<int>(std::lround(overshoot * 10.0)));
    // One pole of 0.9306 per 20.8 ms block: 64 blocks, 1.33 s, to 99 %, and no overshoot
    // beyond the block-to-block ripple of a tone that is not a whole number of cycles a block.
    EXPECT_GT(riseInAudio, 1.1);
    EXPECT_LT(riseInAudio, 1.6);
    EXPECT_LT(overshoot, 0.5);
}

TEST_F(VUMetersLive, ToneOnTheLeftChannelOnlyMovesOnlyTheLeftNeedle) {
    ASSERT_TRUE(MakeTone(Path("left.wav"), 3.0, "1 0"));
    TTrace t;
    {
        const TPlayer player(Path("left.wav"));
        ASSERT_TRUE(player.Started());
        t = Record(*FForm, 2500);
    }
    EXPECT_GT(*std::max_element(t.Left.begin(), t.Left.end()), 0.5);
    EXPECT_EQ(*std::max_element(t.Right.begin(), t.Right.end()), 0.0);
}
