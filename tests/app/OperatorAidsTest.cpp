#include "AppTestSupport.h"
#include "app/AidsMenu.h"
#include "app/EventLogWindow.h"
#include "app/Forms.h"
#include "app/MeterPnl.h"

#include <QCheckBox>
#include <QDateTime>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <atomic>
#include <cmath>
#include <memory>

namespace {

constexpr int kRate = 48000, kBuffer = 2048;

// A stereo 16-bit WAV file of `frames` (interleaved).
void WriteWav(const QString &path, const std::vector<std::int16_t> &frames) {
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE *file = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    sf_writef_short(file, frames.data(), static_cast<sf_count_t>(frames.size() / 2));
    sf_close(file);
}

std::size_t Frame(double seconds) {
    return static_cast<std::size_t>(std::lround(seconds * kRate));
}

// The console capturing a WAV file, as far as the test steps it, from a folder of its own
// with the settings given. The aids' timer runs when the test calls it.
class OperatorAids : public ::testing::Test {
  protected:
    void Start(const std::vector<std::int16_t> &frames, const QByteArray &settings) {
        WriteWav(Dir.filePath("signal.wav"), frames);
        std::vector<TSimDevice> devices(1);
        devices[0].Name = "Signal";
        devices[0].Signal = TSimSignal::WavFile;
        devices[0].File = Dir.filePath("signal.wav").toStdString();
        devices[0].RealTime = false;
        Driver = std::make_unique<TSimWaveInDriver>(devices);
        Settings.Put(settings);
        RegisterForm(&Panel);
        Form = std::make_unique<TTestForm>(TFormServices{*Driver, Settings.Dir(), {}});
        Form->AidsTicks.SetEnabled(false);
        Form->show();
        ASSERT_TRUE(WaitFor([&] { return Form->MMWaveIn1->IsStarted(); }));
    }
    void TearDown() override {
        if (!Form) return;
        Form->MMWaveIn1->Close();
        Form->hide();
    }
    // Lets capture run to `seconds` into the file (in whole buffers) and, unless told not to,
    // takes the events.
    void PlayTo(double seconds, bool take = true) {
        const auto buffers = static_cast<long>(std::ceil(seconds * kRate / kBuffer));
        Driver->Step((buffers - Played) * kBuffer);
        Played = buffers;
        ASSERT_TRUE(WaitFor([&] { return Form->MMEventTap1->FramesSeen() >= Played * kBuffer; }));
        if (take) Form->AidsTimerTimer();
    }

    QTemporaryDir Dir;
    TTestSettings Settings;
    TMeterPanel Panel; // its CLIP lamps open the log
    std::unique_ptr<TSimWaveInDriver> Driver;
    std::unique_ptr<TTestForm> Form;
    long Played = 0;
};

using Kind = TProgrammeEventKind;

} // namespace

// Through the live chain, on the phase display's blocks: a second each of mono, one channel
// inverted, unrelated tones (1 kHz and 500 Hz) and silence.
TEST_F(OperatorAids, CorrelationMeterReadsTheStereoPicture) {
    std::vector<std::int16_t> s(2 * Frame(4), 0);
    for (std::size_t f = 0; f < Frame(3); ++f) {
        const double v = 10000 * std::sin(2 * M_PI * 1000.0 * f / kRate);
        s[2 * f] = static_cast<std::int16_t>(std::lround(v));
        s[2 * f + 1] = static_cast<std::int16_t>(
            std::lround(f < Frame(1)   ? v
                        : f < Frame(2) ? -v
                                       : 10000 * std::sin(M_PI * 1000.0 * f / kRate)));
    }
    Start(s, {});
    // A buffer at a time, each handed to the displays before the next comes, as in real time.
    const auto reads = [&](double seconds) {
        for (; Played < static_cast<long>(seconds * kRate / kBuffer); ++Played) {
            Driver->Step(kBuffer);
            if (!WaitFor([&] { return Form->MMConnector2->BlockCount(TMMConnector::dgSpectra) > Played; }))
                return QString("stalled");
        }
        return Form->CorrelationMeter->Text();
    };
    EXPECT_EQ(reads(1), "+1.00");
    EXPECT_EQ(reads(2), "-1.00");
    EXPECT_EQ(reads(3), "0.00");
    EXPECT_EQ(reads(4), "--");
}

// The aids' refresh wakes nobody of its own: it runs on every twelfth read-out tick.
TEST_F(OperatorAids, TheEventsAreTakenOnEveryTwelfthReadOutTick) {
    std::vector<std::int16_t> s(2 * Frame(0.5), 0);
    for (std::size_t f = 0; f < 95; ++f)
        s[2 * (Frame(0.1) + f)] = static_cast<std::int16_t>(f % 2 == 0 ? -32100 : 1000);
    Start(s, {});
    Form->MMHiTimer1->SetEnabled(false); // its ticks come from the test
    Form->AidsTicks.SetEnabled(true);
    PlayTo(0.5, false);
    for (int i = 0; i < 11; ++i)
        Form->MMHiTimer1Timer(nullptr);
    EXPECT_TRUE(Form->EventLog.Rows().empty());
    Form->MMHiTimer1Timer(nullptr);
    EXPECT_EQ(Form->EventLog.Rows().size(), 1u);
}

// Through the live chain: three clipped bursts on the left and an over of five full-scale
// samples on the right are four rows, newest first, with the count per channel; the export
// reads back to the same rows; the log's daily file, on a clock set just before midnight,
// starts a new file with the new day.
TEST_F(OperatorAids, ClipsAndOversAreLoggedListedExportedAndFiled) {
    std::vector<std::int16_t> s(2 * Frame(2), 0);
    for (const auto &[at, frames] : {std::pair{0.1, 95}, {0.3, 481}, {0.6, 1}})
        for (int f = 0; f < frames; ++f)
            s[2 * (Frame(at) + f)] = static_cast<std::int16_t>(f % 2 == 0 ? -32100 : 1000);
    for (std::size_t f = 0; f < 5; ++f)
        s[2 * (Frame(0.4) + f) + 1] = 32767;
    Start(s, "[AIDS]\nEventLog=1\nEventLogDir=" + Dir.filePath("log").toUtf8() + "\n");
    // A clock that reads a buffer's worth later at every buffer: the stream's frame f stands at
    // 200 ms before midnight plus f / 48 ms, so the first clip is on the old day.
    const std::int64_t midnight =
        QDateTime(QDate(2026, 12, 9), QTime(0, 0), Qt::LocalTime).toMSecsSinceEpoch();
    auto buffers = std::make_shared<std::atomic<int>>(0);
    Form->MMEventTap1->SetClock(
        [midnight, buffers] { return midnight - 200 + std::llround(++*buffers * kBuffer * 1000.0 / kRate); });
    PlayTo(1.5);

    const auto &rows = Form->EventLog.Rows();
    ASSERT_EQ(rows.size(), 4u);
    const std::pair<Kind, int> kinds[] = {{Kind::Clip, 0}, {Kind::Clip, 0}, {Kind::Over, 1}, {Kind::Clip, 0}};
    const std::int64_t samples[] = {95, 481, 5, 1};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(rows[i].Event.Kind, kinds[i].first) << i;
        EXPECT_EQ(rows[i].Event.Channel, kinds[i].second) << i;
        EXPECT_EQ(rows[i].Event.Samples, samples[i]) << i;
    }
    EXPECT_EQ(EventPeakText(rows[2].Event), "0.00");
    EXPECT_EQ(EventPeakText(rows[0].Event), "-0.18");
    EXPECT_EQ(Form->EventLog.Count(0), 3);
    EXPECT_EQ(Form->EventLog.Count(1), 1);

    // A click on a CLIP lamp opens the window: newest first.
    ClickCentre(Panel.ClipR);
    TEventLogWindow *window = Form->EventLogWin;
    ASSERT_TRUE(window->isVisible());
    ASSERT_EQ(window->List->rowCount(), 4);
    EXPECT_EQ(window->List->item(0, 3)->text(), "1");
    EXPECT_EQ(window->List->item(1, 1)->text(), "OVER");
    EXPECT_EQ(window->CountLbl->text(), "L 3   R 1");

    const QString exported = Dir.filePath("export.csv");
    window->AskExportPath = [&] { return exported; };
    window->BtnExportClick();
    QFile csv(exported);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = csv.readAll().split('\n');
    ASSERT_EQ(lines.size(), 6); // the header, four rows, the last line feed
    EXPECT_EQ(lines[0], kEventCsvHeader);
    for (int i = 0; i < 4; ++i) {
        const QList<QByteArray> f = lines[1 + i].split(',');
        const TStampedEvent &row = rows[3 - i];
        ASSERT_EQ(f.size(), 5) << lines[1 + i].data();
        EXPECT_EQ(QDateTime::fromString(QString(f[0]), "yyyy-MM-dd HH:mm:ss.zzz").toMSecsSinceEpoch(),
                  row.TimeMs);
        EXPECT_EQ(f[1], EventKindText(row.Event.Kind));
        EXPECT_EQ(f[2], EventChannelText(row.Event.Channel));
        EXPECT_EQ(f[3].toLongLong(), row.Event.Samples);
        EXPECT_EQ(f[4], EventPeakText(row.Event));
    }

    // The first clip on the last day, the rest on the new one; each file has its header.
    const QString before = Dir.filePath("log/events-2026-12-08.csv"),
                  after = Dir.filePath("log/events-2026-12-09.csv");
    QFile last(before), next(after);
    ASSERT_TRUE(last.open(QIODevice::ReadOnly));
    ASSERT_TRUE(next.open(QIODevice::ReadOnly));
    EXPECT_EQ(last.readAll().count('\n'), 2);
    EXPECT_EQ(next.readAll().count('\n'), 4);

    window->BtnResetClick();
    EXPECT_EQ(window->List->rowCount(), 0);
    EXPECT_EQ(Form->EventLog.Count(0), 0);

    // A folder that cannot be made (a file stands in its way) shows the error box once, and
    // the list goes on; the file loops, so its clips come again every 2 s.
    const QString blocked = Dir.filePath("blocked");
    QFile blocker(blocked);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Form->SetLogDir(blocked + "/log");
    const QString box = AnswerMessageBox([&] {
        PlayTo(3.5);
        QCoreApplication::processEvents();
    });
    EXPECT_NE(box.indexOf(blocked), -1) << box.toStdString();
    EXPECT_EQ(AnswerMessageBox([&] {
                  PlayTo(5.5);
                  QCoreApplication::processEvents();
              }),
              "");
    EXPECT_EQ(window->List->rowCount(), 8);
}

// Silence of the delay less a second raises nothing; a second more raises the alarm once and
// starts the command once, with the event in its environment; a second of signal clears it and
// starts the command again. A command that does not exist shows one error box, and the alarm
// shows all the same.
TEST_F(OperatorAids, DeadAirRaisesTheAlarmAndStartsItsCommand) {
    std::vector<std::int16_t> s(2 * Frame(15), 0);
    for (std::size_t f = Frame(12); f < Frame(15); ++f)
        s[2 * f] = s[2 * f + 1] =
            static_cast<std::int16_t>(std::lround(3277 * std::sin(2 * M_PI * 1000.0 * f / kRate)));
    const QString recorder = Dir.filePath("recorder.sh"), record = Dir.filePath("record.txt");
    QFile script(recorder);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(
        "#!/bin/sh\necho \"$VELMORA_EVENT_KIND|$VELMORA_EVENT_TIME|$VELMORA_EVENT_SECONDS|$1\" >> \"$2\"\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    Start(s, "[AIDS]\nDeadAir=1\nDeadAirDelay=10\nAlarmProgram=" + recorder.toUtf8() +
                 "\nAlarmArguments=\"two words\" " + record.toUtf8() + "\n");
    const std::int64_t now = QDateTime(QDate(2026, 12, 8), QTime(14, 0), Qt::LocalTime).toMSecsSinceEpoch();
    Form->MMEventTap1->SetClock([now] { return now; });
    const auto recorded = [&] {
        QFile file(record);
        return file.open(QIODevice::ReadOnly) ? QString(file.readAll()).split('\n', Qt::SkipEmptyParts)
                                              : QStringList();
    };

    PlayTo(9);
    EXPECT_FALSE(Form->MMEventTap1->Alarm());
    EXPECT_FALSE(Form->SilenceLed->isVisible());
    PlayTo(11);
    EXPECT_TRUE(Form->MMEventTap1->Alarm());
    EXPECT_TRUE(Form->SilenceLed->isVisible());
    EXPECT_TRUE(Form->SilenceLed->Caption().startsWith("SILENCE"))
        << Form->SilenceLed->Caption().toStdString();
    EXPECT_EQ(Form->SIGLED->LEDColor(), clRed);
    ASSERT_TRUE(WaitFor([&] { return recorded().size() == 1; }));
    const QStringList raised = recorded()[0].split('|');
    ASSERT_EQ(raised.size(), 4) << recorded()[0].toStdString();
    EXPECT_EQ(raised[0], "dead-air");
    // The silence began at the file's start: 10.1 s before the end of the buffer that raised
    // the alarm, which the clock puts at `now`.
    const std::int64_t began = QDateTime::fromString(raised[1], Qt::ISODateWithMs).toMSecsSinceEpoch();
    EXPECT_GE(now - began, 10100);
    EXPECT_LT(now - began, 10100 + kBuffer * 1000 / kRate);
    EXPECT_EQ(raised[2], "10.1");
    EXPECT_EQ(raised[3], "two words");

    PlayTo(12.9);
    EXPECT_TRUE(Form->MMEventTap1->Alarm());
    PlayTo(13.1);
    EXPECT_FALSE(Form->MMEventTap1->Alarm());
    EXPECT_FALSE(Form->SilenceLed->isVisible());
    EXPECT_EQ(Form->SIGLED->LEDColor(), clLime);
    ASSERT_TRUE(WaitFor([&] { return recorded().size() == 2; }));
    EXPECT_TRUE(recorded()[1].startsWith("signal-back|")) << recorded()[1].toStdString();
    const auto &rows = Form->EventLog.Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].Event.Kind, Kind::Silence);
    EXPECT_EQ(rows[1].Event.Kind, Kind::SignalBack);

    // The file loops: silence again from 15 s, signal from 27 s.
    Form->AidSettings.AlarmProgram = Dir.filePath("no-such-alarm");
    Form->ApplyAidSettings();
    const QString box = AnswerMessageBox([&] {
        PlayTo(26);
        QCoreApplication::processEvents();
    });
    EXPECT_NE(box.indexOf("no-such-alarm"), -1) << box.toStdString();
    EXPECT_TRUE(Form->SilenceLed->isVisible());
    EXPECT_EQ(AnswerMessageBox([&] {
                  PlayTo(28.1);
                  QCoreApplication::processEvents();
              }),
              "");
    EXPECT_FALSE(Form->MMEventTap1->Alarm());
    EXPECT_EQ(Form->EventLog.Rows().size(), 4u);
    EXPECT_EQ(recorded().size(), 2);
}

// The group's controls change the settings and the tap at once; "Save Setting" writes them,
// "Load Default Setting" brings the defaults back (a folder chosen too); --log-dir turns the log on for the
// run and leaves the settings as they are.
TEST(OperatorAidsSettings, TheGroupIsSavedAndDefaultsComeBack) {
    TSimConsole form;
    TAidsMenu *box = form.AidsBox;
    EXPECT_EQ(form.AidSettings, TAidSettings{});
    box->OverSpin->ClickHalf(shUp);
    box->CbDeadAir->click();
    box->DeadAirDelaySpin->ClickHalf(shDown);
    for (int i = 0; i < 30; ++i) // kept to -70 .. -30
        box->DeadAirThresholdSpin->ClickHalf(shUp);
    box->AlarmProgramEdit->setText("/usr/local/bin/alarm");
    emit box->AlarmProgramEdit->editingFinished();
    box->AskFolder = [](const QString &) { return QString(); }; // cancelled
    box->EventLogFolderBtn->click();
    EXPECT_TRUE(form.AidSettings.EventLogDir.isEmpty());
    box->AskFolder = [](const QString &) { return QStringLiteral("/srv/events"); };
    box->EventLogFolderBtn->click();
    EXPECT_EQ(box->EventLogFolderLbl->text(), "/srv/events");
    const TAidSettings changed{false, "/srv/events", 4, true, -30, 9, "/usr/local/bin/alarm", {}};
    EXPECT_EQ(form.AidSettings, changed);
    EXPECT_FALSE(QFile::exists(form.SettingsFolder().File()));

    form.BtnSaveSetting->click();
    TAidSettings saved;
    ReadAidSettings(form.SettingsFolder().File(), saved);
    EXPECT_EQ(saved, changed);

    // Started in its own folder, as the console is: the defaults replace the saved file.
    {
        TWorkingDir here(form.SettingsFolder().Dir());
        QFile defaults("VelmoraDef.ini");
        ASSERT_TRUE(defaults.open(QIODevice::WriteOnly));
        defaults.write("[VU]\nVUPos=0\n");
        defaults.close();
        AnswerMessageBox([&] { form.Button5->click(); });
    }
    EXPECT_EQ(form.AidSettings, TAidSettings{});
    EXPECT_EQ(box->DeadAirThresholdEdit->Value(), -50);
    EXPECT_FALSE(box->CbDeadAir->isChecked());

    form.SetLogDir("/srv/log");
    EXPECT_TRUE(form.EventLogOn());
    EXPECT_EQ(form.EventLogFolder(), "/srv/log");
    EXPECT_FALSE(form.AidSettings.EventLog);
}
