// The console's connector: between the wave input and the end of the chain, with
// the console's settings, and fed once capture starts.

#include "AppTestSupport.h"

#include "app/MainFrm.h"
#include "audio/MMWaveIn.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(ConsoleConnectorTest, SitsBehindTheWaveInputWithTheConsolesSettings) {
    TSimConsole form;
    TMMConnector *c = form.MMConnector2;
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->Name(), "MMConnector2");
    EXPECT_EQ(c->Input(), form.MMWaveIn1);
    EXPECT_EQ(form.MMWaveIn1->Output(), c);
    // The peak detector follows, then the loudness tap, the event tap and the network feed's level
    // tap end the chain; they see the same format.
    ASSERT_EQ(c->Output(), form.MMPeakDetect1);
    EXPECT_EQ(form.MMPeakDetect1->Input(), c);
    EXPECT_EQ(form.MMPeakDetect1->Output(), form.MMLoudnessTap1);
    EXPECT_EQ(form.MMLoudnessTap1->Output(), form.MMEventTap1);
    EXPECT_EQ(form.MMEventTap1->Output(), form.MMLevelTap1);
    EXPECT_EQ(form.MMLevelTap1->Output(), nullptr);
    ASSERT_NE(form.MMLoudnessTap1->PWaveFormat(), nullptr);
    EXPECT_EQ(form.MMLoudnessTap1->PWaveFormat()->nSamplesPerSec, 48000u);
    ASSERT_NE(form.MMPeakDetect1->PWaveFormat(), nullptr);
    EXPECT_EQ(form.MMPeakDetect1->PWaveFormat()->nChannels, 2);

    // The wave input's format reached the connector as a copy.
    ASSERT_NE(c->PWaveFormat(), nullptr);
    EXPECT_NE(c->PWaveFormat(), form.MMWaveIn1->PWaveFormat());
    EXPECT_EQ(c->PWaveFormat()->nChannels, 2);
    EXPECT_EQ(c->PWaveFormat()->wBitsPerSample, 16);
    EXPECT_EQ(c->PWaveFormat()->nSamplesPerSec, 48000u);

    EXPECT_FALSE(TMMConnector::EnterIdle());
    EXPECT_TRUE(c->Enabled());
    EXPECT_TRUE(c->AutoTrigger());
    EXPECT_TRUE(c->RealTime());
    EXPECT_TRUE(c->Synchronize());
    EXPECT_EQ(c->TriggerMethod(), tmMessage);
    EXPECT_EQ(c->Speed(), 5000);
    EXPECT_EQ(c->Level1(), nullptr);
    EXPECT_EQ(c->Level2(), nullptr);
    EXPECT_EQ(c->Meter1(), form.PlayMeterL);
    EXPECT_EQ(c->Meter2(), form.PlayMeterR);
    EXPECT_EQ(c->Spectrum1(), form.PhaseMeter);
    EXPECT_EQ(c->Spectrum2(), form.MMSpectrum2);
    EXPECT_EQ(c->Spectrum3(), form.MMSpectrum1);
    // One connector step (2048 frames) feeds each analyser once; the phase display reads
    // the step's first 1024 frames.
    EXPECT_EQ(form.PhaseMeter->BlockBytes(), 4096);
    EXPECT_EQ(form.PhaseMeter->width(), 270);
    EXPECT_EQ(form.MMSpectrum1->BlockBytes(), 8192);
    EXPECT_EQ(form.MMSpectrum2->BlockBytes(), 8192);
}

// Needs the test PulseAudio server: the settings' device 0 is ALSA's default.
TEST(ConsoleConnectorTest, CaptureStartsTheTriggerLoopAndFillsTheConnector) {
    if (std::getenv("VELMORA_PULSE") == nullptr) GTEST_SKIP() << "no PulseAudio server (VELMORA_PULSE unset)";
    const TTestSettings settings;
    TTestForm form({SystemWaveInDriver(), settings.Dir(), &StartProgram});
    TMMConnector *c = form.MMConnector2;
    form.FormShow();
    EXPECT_TRUE(c->IsRunning());
    EXPECT_EQ(c->DisplayBufferSize(), 8192);
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 2000 && !(c->IsTriggering() && c->ValidBytes() == 8192))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(c->IsTriggering());
    EXPECT_EQ(TMMConnector::RunningCount(), 1);
    EXPECT_EQ(c->ValidBytes(), 8192);

    form.MMWaveIn1->Stop();
    EXPECT_FALSE(c->IsRunning());
    EXPECT_EQ(TMMConnector::RunningCount(), 0);
    form.MMWaveIn1->Close();
}

} // namespace
