#include "audio/ConnectorFakes.h"
#include "audio/MMHiTimer.h"
#include "audio/MMPeakTick.h"
#include "platform/MicrosecondClock.h"

#include <atomic>
#include <cstring>
#include <thread>

namespace {

TEST_F(ConnectorTest, DefaultsAsCreated) {
    EXPECT_TRUE(c->Enabled());
    EXPECT_TRUE(c->AutoConvert());
    EXPECT_TRUE(c->AutoTrigger());
    EXPECT_EQ(c->TriggerMethod(), tmMessage);
    EXPECT_EQ(c->TriggerMode(), tmNone);
    EXPECT_EQ(c->TriggerLevel(), 0);
    EXPECT_TRUE(c->Synchronize());
    EXPECT_EQ(c->Speed(), 5000);
    EXPECT_TRUE(c->RefreshOnStop());
    EXPECT_TRUE(c->RealTime());
    EXPECT_FALSE(TMMConnector::EnterIdle());
    EXPECT_EQ(c->Level1(), nullptr);
    EXPECT_EQ(c->Spectrum4(), nullptr);
    EXPECT_FALSE(c->IsRunning());
}

TEST_F(ConnectorTest, BlocksComeInOrderAndNeverBeforeTheyFallDue) {
    TRecordingLevel level(200); // 50 frames, one every 1041.67 us
    level.clock = [this] { return now; };
    c->SetLevel1(&level);
    Start();
    const std::int64_t arrival = now;
    Feed(8192);

    c->Refresh(); // block 0 is due at once
    c->Refresh(); // block 1 is not
    ASSERT_EQ(level.BlockTotal(), 1u);
    now = arrival + 1040; // due at trunc(200 * 1000000 / 192000) = 1041 us
    c->Refresh();
    EXPECT_EQ(level.BlockTotal(), 1u);
    now = arrival + 1041;
    c->Refresh();
    ASSERT_EQ(level.BlockTotal(), 2u);

    // A late refresh hands out every block that has fallen due, in stream order.
    now = arrival + 3125; // block 3 (byte 600) falls due at 3125 us
    c->Refresh();
    ASSERT_EQ(level.BlockTotal(), 4u);
    now = arrival + 1'000'000;
    c->Refresh();
    c->Refresh();
    const auto blocks = level.Blocks();
    ASSERT_EQ(blocks.size(), 40u); // 8192 / 200, the 192-byte tail waits for the next buffer
    for (std::size_t k = 0; k < blocks.size(); ++k) {
        EXPECT_EQ(blocks[k].firstSample, static_cast<int>(k * 50)) << k;
        EXPECT_GE(blocks[k].at - arrival, static_cast<std::int64_t>(k * 200 * 1000000 / 192000)) << k;
    }
    EXPECT_EQ(c->BlockCount(TMMConnector::dgLevels), 40);
    EXPECT_FALSE(c->NewData(TMMConnector::dgLevels));
}

TEST_F(ConnectorTest, WithoutSynchronizeTheBufferIsUsedUpAfterValidBytesOverW) {
    TRecordingLevel left(1000), right(600); // the group steps by the larger block
    TRecordingSpectrum phase(4096);
    c->SetLevel1(&left);
    c->SetLevel2(&right);
    c->SetSpectrum1(&phase);
    c->SetSynchronize(false);
    Start();
    Feed(8192);

    for (int i = 0; i < 8; ++i)
        c->Refresh();
    EXPECT_TRUE(c->NewData(TMMConnector::dgLevels)); // not yet known to be used up
    c->Refresh();
    EXPECT_FALSE(c->NewData(TMMConnector::dgLevels));
    for (int i = 0; i < 5; ++i)
        c->Refresh();

    // 8 blocks of 1000 bytes; the last 192 bytes wait for the next buffer.
    ASSERT_EQ(left.BlockTotal(), 8u);
    ASSERT_EQ(right.BlockTotal(), 8u);
    EXPECT_EQ(left.Blocks().back().firstSample, 7 * 250);
    EXPECT_EQ(right.Blocks().back().firstSample, 7 * 250);
    ASSERT_EQ(phase.BlockTotal(), 2u);
    EXPECT_EQ(phase.Blocks()[1].firstSample, 1024);
}

TEST_F(ConnectorTest, ABufferShorterThanOneBlockWaitsForTheNextToCompleteIt) {
    TRecordingLevel level(4000);
    c->SetLevel1(&level);
    c->SetSynchronize(false);
    Start();
    Feed(3996);
    c->Refresh();
    c->Refresh();
    EXPECT_EQ(level.BlockTotal(), 0u);
    EXPECT_FALSE(c->NewData(TMMConnector::dgLevels));

    // The first block is the short buffer and the next one's first frame; the second
    // begins with that buffer's second frame.
    Feed(8192);
    c->Refresh();
    c->Refresh();
    const auto blocks = level.Blocks();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].firstSample, 0);
    EXPECT_EQ(blocks[1].firstSample, 1);
}

TEST_F(ConnectorTest, ABufferLongerThanTheBufferSizeIsCut) {
    TRecordingLevel level(4096);
    c->SetLevel1(&level);
    c->SetSynchronize(false);
    Start();
    Feed(12288);
    EXPECT_EQ(c->ValidBytes(), 8192);
    for (int i = 0; i < 5; ++i)
        c->Refresh();
    const auto blocks = level.Blocks();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[1].firstSample, 1024);
}

TEST_F(ConnectorTest, AGroupWithoutDisplaysIsNeverFlagged) {
    TRecordingLevel meter(200);
    c->SetMeter2(&meter);
    Start();
    Feed(8192);
    EXPECT_FALSE(c->NewData(TMMConnector::dgLevels));
    EXPECT_TRUE(c->NewData(TMMConnector::dgMeters));
    EXPECT_FALSE(c->NewData(TMMConnector::dgSpectra));

    // Emptying the group's last slot clears its flag, and the next buffer leaves it clear.
    c->SetMeter2(nullptr);
    EXPECT_FALSE(c->NewData(TMMConnector::dgMeters));
    Feed(8192);
    EXPECT_FALSE(c->NewData(TMMConnector::dgMeters));
}

TEST_F(ConnectorTest, ANewBufferStartsEveryGroupAgainFromItsBeginning) {
    TRecordingLevel level(4096);
    c->SetLevel1(&level);
    c->SetSynchronize(false);
    Start();
    Feed(8192);
    c->Refresh();
    Feed(8192);
    c->Refresh();
    const auto blocks = level.Blocks();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].firstSample, 0);
    EXPECT_EQ(blocks[1].firstSample, 0);
}

TEST_F(ConnectorTest, NothingIsTakenInWhileDisabledOrStopped) {
    TRecordingLevel level(200);
    c->SetLevel1(&level);
    c->SetSynchronize(false);
    Feed(8192); // not started: no copy buffer yet
    EXPECT_EQ(c->ValidBytes(), 0);
    Start();
    c->SetEnabled(false);
    Feed(8192);
    c->Refresh();
    EXPECT_EQ(c->ValidBytes(), 0);
    EXPECT_EQ(level.BlockTotal(), 0u);
}

TEST_F(ConnectorTest, DisablingClearsTheDisplaysAtOnce) {
    TRecordingLevel level(200), meter(200);
    TRecordingSpectrum spectrum(8192);
    c->SetLevel1(&level);
    c->SetMeter1(&meter);
    c->SetSpectrum3(&spectrum);
    Start();
    c->SetEnabled(false);
    EXPECT_EQ(level.Resets(), 1);
    EXPECT_EQ(meter.Resets(), 1);
    EXPECT_EQ(spectrum.Resets(), 1);
    EXPECT_FALSE(c->IsTriggering());
    c->SetEnabled(false); // unchanged: nothing more
    EXPECT_EQ(level.Resets(), 1);

    // Enabling while running serves the connector again.
    c->SetEnabled(true);
    QCoreApplication::processEvents();
    EXPECT_TRUE(c->IsTriggering());
}

TEST_F(ConnectorTest, StoppingClearsTheDisplaysOnlyWithRefreshOnStop) {
    TRecordingLevel level(200);
    c->SetLevel1(&level);
    Start();
    c->Stopped();
    EXPECT_EQ(level.Resets(), 1);
    EXPECT_FALSE(c->IsRunning());
    EXPECT_EQ(c->DisplayBufferSize(), 0);

    c->SetRefreshOnStop(false);
    c->Started();
    QCoreApplication::processEvents();
    ASSERT_TRUE(c->IsRunning());
    c->Stopped();
    EXPECT_EQ(level.Resets(), 1);
}

TEST_F(ConnectorTest, PausedShowsSilenceEveryTickAndIgnoresArrivingBuffers) {
    TRecordingLevel level(200);
    c->SetLevel1(&level);
    Start();
    Feed(8192);
    c->Paused();
    ASSERT_TRUE(c->IsConnectorPaused());
    EXPECT_FALSE(c->NewData(TMMConnector::dgLevels));

    // Each tick shows the silent buffer again from its start; buffers that
    // arrive meanwhile are not taken in.
    for (int tick = 0; tick < 3; ++tick) {
        Feed(8192);
        ASSERT_TRUE(WaitFor([&] {
            return c->NewData(TMMConnector::dgLevels) && c->ReadPosition(TMMConnector::dgLevels) == 0;
        })) << tick;
        c->Refresh();
        c->Refresh(); // the next block is not due before the next tick
        const auto blocks = level.Blocks();
        ASSERT_EQ(blocks.size(), static_cast<std::size_t>(tick + 1));
        EXPECT_TRUE(blocks.back().silent);
        EXPECT_EQ(blocks.back().firstSample, 0);
    }

    c->Restarted();
    EXPECT_FALSE(c->IsConnectorPaused());
    Feed(8192);
    c->Refresh();
    EXPECT_FALSE(level.Blocks().back().silent);
}

TEST_F(ConnectorTest, ThePausedRefreshFollowsTheTickService) {
    ManualTimerSource source;
    TMMPeakTickService service(&source);
    c->SetPeakTickService(&service);
    TRecordingLevel level(100);
    c->SetLevel1(&level);
    c->SetSynchronize(false);
    // 4096-byte buffers of 8-bit mono at 8000 Hz last 512 ms: one refresh every 21 ticks.
    BuildPCMFormat(format, 8, 1, 8000);
    c->SetAutoTrigger(false);
    c->SetPWaveFormat(&format);
    c->SetBufferSize(4096);
    c->Opened();
    c->Started();
    QCoreApplication::processEvents();
    Feed(std::vector<char>(4096, 7));
    c->Paused();
    EXPECT_EQ(service.ClientCount(), 1);
    source.Fire(20);
    EXPECT_FALSE(c->NewData(TMMConnector::dgLevels));
    source.Fire();
    ASSERT_TRUE(c->NewData(TMMConnector::dgLevels));
    c->Refresh();
    ASSERT_EQ(level.BlockTotal(), 1u);
    std::uint8_t first;
    std::memcpy(&first, &level.Blocks()[0].firstSample, 1);
    EXPECT_EQ(first, 128); // 8-bit silence

    c->Restarted();
    EXPECT_EQ(service.ClientCount(), 0);
}

TEST_F(ConnectorTest, PausingWithoutATickClientFails) {
    ManualTimerSource source;
    source.FailNext = true;
    TMMPeakTickService service(&source);
    c->SetPeakTickService(&service);
    Start();
    try {
        c->Paused();
        FAIL() << "no error";
    } catch (const EOutOfResources &e) {
        EXPECT_STREQ(e.what(), "タイマーを取得できません");
    }
    // Stopping still works and leaves nothing registered.
    c->Stopped();
    EXPECT_EQ(service.ClientCount(), 0);
}

TEST_F(ConnectorTest, TheTimerTriggerRefreshesOnEachTick) {
    ManualTimerSource &source = timerTicks;
    TRecordingLevel level(2048);
    c->SetLevel1(&level);
    c->SetSynchronize(false);
    c->SetTriggerMethod(tmTimer);
    Start(false);
    ASSERT_TRUE(c->IsTriggering());
    EXPECT_EQ(TMMConnector::RunningCount(), 0); // the message loop is not involved
    Feed(8192);
    for (std::size_t k = 1; k <= 3; ++k) {
        source.Fire();
        QCoreApplication::processEvents();
        EXPECT_EQ(level.BlockTotal(), k);
    }

    // Stopping disables the internal timer.
    c->Stopped();
    EXPECT_EQ(c->InternalTimer()->TimerID(), 0u);
}

TEST_F(ConnectorTest, ChangingTheTriggerMethodWhileServedMovesTheConnectorOver) {
    // The internal timer runs only while its ticks count: not under the message trigger,
    // always with AutoTrigger off.
    EXPECT_FALSE(c->InternalTimer()->Enabled());
    c->SetAutoTrigger(false);
    EXPECT_TRUE(c->InternalTimer()->Enabled());
    c->SetAutoTrigger(true);
    EXPECT_FALSE(c->InternalTimer()->Enabled());
    c->SetTriggerMethod(tmTimer);
    EXPECT_FALSE(c->InternalTimer()->Enabled());
    c->SetTriggerMethod(tmMessage);

    Start(false);
    ASSERT_EQ(TMMConnector::RunningCount(), 1);
    c->SetTriggerMethod(tmTimer);
    EXPECT_EQ(TMMConnector::RunningCount(), 0);
    EXPECT_TRUE(c->InternalTimer()->Enabled());
    EXPECT_TRUE(c->IsTriggering());
    c->SetTriggerMethod(tmMessage);
    EXPECT_FALSE(c->InternalTimer()->Enabled());
    EXPECT_EQ(TMMConnector::RunningCount(), 1);
}

TEST_F(ConnectorTest, ATimerTickOnAnotherThreadIsHandedToTheMainThreadOnce) {
    TRecordingLevel level(2048);
    c->SetLevel1(&level);
    c->SetSynchronize(false);
    c->SetTriggerMethod(tmTimer);
    Start(false);
    Feed(8192);
    std::thread ticker([this] {
        c->TimerTick();
        c->TimerTick(); // still pending: dropped
    });
    ticker.join();
    EXPECT_EQ(c->PendingTimerRefreshes(), 1);
    EXPECT_EQ(level.BlockTotal(), 0u);
    QCoreApplication::processEvents();
    EXPECT_EQ(c->PendingTimerRefreshes(), 0);
    EXPECT_EQ(level.BlockTotal(), 1u);
}

TEST_F(ConnectorTest, TimerTicksAreIgnoredUnlessTheTimerTriggerApplies) {
    TRecordingLevel level(2048);
    c->SetLevel1(&level);
    c->SetSynchronize(false);
    Start(); // AutoTrigger off: a triggering connector is refreshed by the ticks
    Feed(8192);
    c->TimerTick();
    EXPECT_EQ(level.BlockTotal(), 1u);
    c->SetEnabled(false);
    c->TimerTick();
    c->SetEnabled(true);
    c->SetAutoTrigger(true); // served by the message loop now: ticks do nothing
    c->TimerTick();
    EXPECT_EQ(level.BlockTotal(), 1u);
}

TEST_F(ConnectorTest, AResetFillsTheBufferWithSilence) {
    TRecordingLevel level(200);
    c->SetLevel1(&level);
    c->SetSynchronize(false);
    Start();
    Feed(8192);
    c->Reseted();
    c->Refresh();
    ASSERT_EQ(level.BlockTotal(), 1u);
    EXPECT_TRUE(level.Blocks()[0].silent);
}

TEST_F(ConnectorTest, EightBitStreamsFallSilentAt128) {
    TRecordingLevel level(100);
    c->SetLevel1(&level);
    c->SetSynchronize(false);
    BuildPCMFormat(format, 8, 1, 8000);
    Start();
    Feed(std::vector<char>(8192, 7));
    c->Reseted();
    c->Refresh();
    std::uint8_t first;
    ASSERT_EQ(level.BlockTotal(), 1u);
    std::memcpy(&first, &level.Blocks()[0].firstSample, 1);
    EXPECT_EQ(first, 128);
}

TEST_F(ConnectorTest, SpeedIsKeptWithinOneTo5000) {
    c->SetSpeed(0);
    EXPECT_EQ(c->Speed(), 1);
    c->SetSpeed(9999);
    EXPECT_EQ(c->Speed(), 5000);
    c->SetSpeed(1234);
    EXPECT_EQ(c->Speed(), 1234);
    EXPECT_EQ(TMMConnector::LargestSpeed(), 1234);

    // The largest Speed is shared by every live connector.
    {
        TMMConnector other;
        other.SetSpeed(3000);
        EXPECT_EQ(TMMConnector::LargestSpeed(), 3000);
    }
    EXPECT_EQ(TMMConnector::LargestSpeed(), 1234);
}

TEST_F(ConnectorTest, TheTwoSlotsOfAPairNeverHoldTheSameDisplay) {
    TRecordingLevel a(200), b(200);
    c->SetLevel1(&a);
    c->SetLevel2(&a);
    EXPECT_EQ(c->Level2(), nullptr);
    c->SetMeter2(&b);
    c->SetMeter1(&b);
    EXPECT_EQ(c->Meter1(), nullptr);

    // Spectra compare only the same slot.
    TRecordingSpectrum s(4096);
    c->SetSpectrum1(&s);
    c->SetSpectrum4(&s);
    EXPECT_EQ(c->Spectrum1(), &s);
    EXPECT_EQ(c->Spectrum4(), &s);
}

TEST_F(ConnectorTest, ADisplayThatGoesAwayLeavesEverySlot) {
    TRecordingLevel level(200);
    c->SetLevel1(&level);
    Start();
    {
        TRecordingSpectrum s(4096);
        c->SetSpectrum1(&s);
        c->SetSpectrum2(&s);
    }
    EXPECT_EQ(c->Spectrum1(), nullptr);
    EXPECT_EQ(c->Spectrum2(), nullptr);
    Feed(8192);
    EXPECT_FALSE(c->NewData(TMMConnector::dgSpectra));
    c->Refresh();
    EXPECT_EQ(level.BlockTotal(), 1u);
}

TEST_F(ConnectorTest, TheFormatGoesToEveryDisplayLevelsFirst) {
    std::vector<const void *> order;
    TRecordingLevel level(200), meter(200);
    TRecordingSpectrum spectrum(4096);
    level.order = meter.order = spectrum.order = &order;
    c->SetSpectrum2(&spectrum);
    c->SetMeter1(&meter);
    c->SetLevel2(&level);
    EXPECT_TRUE(order.empty()); // nothing without a format

    c->SetPWaveFormat(&format);
    ASSERT_EQ(order.size(), 3u);
    EXPECT_EQ(order[0], &level);
    EXPECT_EQ(order[1], &meter);
    EXPECT_EQ(order[2], &spectrum);
    EXPECT_EQ(level.formats.back().nAvgBytesPerSec, 192000u);

    // A display given later receives the format too (and so does everyone else).
    TRecordingLevel late(200);
    late.order = &order;
    c->SetLevel1(&late);
    EXPECT_EQ(late.formats.size(), 1u);
}

TEST_F(ConnectorTest, AStreamThatIsNeitherPCMNorConvertibleLeavesTheConnectorIdle) {
    TRecordingLevel level(200);
    c->SetLevel1(&level);
    TWaveFormatEx odd = format;
    odd.wFormatTag = 0x55; // a compressed stream
    c->SetPWaveFormat(&odd);
    c->Opened();
    c->Started();
    EXPECT_FALSE(c->IsRunning());
    EXPECT_TRUE(level.formats.empty());
}

TEST_F(ConnectorTest, AFloatStreamIsConvertedFor16BitDisplays) {
    TRecordingLevel level(4);
    c->SetLevel1(&level);
    c->SetSynchronize(false);
    TWaveFormatEx f;
    f.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
    f.nChannels = 2;
    f.nSamplesPerSec = 48000;
    f.wBitsPerSample = 32;
    f.nBlockAlign = 8;
    f.nAvgBytesPerSec = 8 * 48000;
    c->SetPWaveFormat(&f);
    ASSERT_EQ(level.formats.size(), 1u);
    EXPECT_EQ(level.formats[0].wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(level.formats[0].wBitsPerSample, 16);

    c->SetAutoTrigger(false);
    c->SetBufferSize(8192);
    c->Opened();
    c->Started();
    QCoreApplication::processEvents();
    ASSERT_TRUE(c->IsConverting());
    EXPECT_EQ(c->DisplayBufferSize(), 4096);

    std::vector<char> data(16);
    const float samples[4] = {0.5f, 1.0f, -0.25f, 0.0f};
    std::memcpy(data.data(), samples, 16);
    Feed(data);
    EXPECT_EQ(c->ValidBytes(), 8);
    c->Refresh();
    c->Refresh();
    c->Refresh();
    const auto blocks = level.Blocks();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].firstSample, 16384);
    EXPECT_EQ(blocks[1].firstSample, -8192);
}

TEST_F(ConnectorTest, RealTimeCannotChangeWhileOpened) {
    c->SetPWaveFormat(&format);
    c->Opened();
    try {
        c->SetRealTime(false);
        FAIL() << "no error";
    } catch (const EMMConnectorError &e) {
        EXPECT_STREQ(e.what(), "Change to property while device was open");
    }
    EXPECT_TRUE(c->RealTime());
    c->SetRealTime(true); // unchanged: no error
    c->Closed();
    c->SetRealTime(false);
    EXPECT_FALSE(c->RealTime());
}

TEST_F(ConnectorTest, WithoutRealTimeEachBufferIsShownAtOnceOnTheDeliveringThread) {
    TRecordingLevel level(200);
    c->SetLevel1(&level);
    c->SetRealTime(false);
    c->SetPWaveFormat(&format);
    c->SetBufferSize(8192);
    c->Opened();
    c->Started();
    EXPECT_FALSE(c->IsTriggering()); // no trigger loop
    EXPECT_EQ(TMMConnector::RunningCount(), 0);
    std::thread worker([this] { Feed(8192); });
    worker.join();
    const auto blocks = level.Blocks();
    ASSERT_EQ(blocks.size(), 1u); // only the block due on arrival
    EXPECT_EQ(blocks[0].firstSample, 0);
}

TEST_F(ConnectorTest, OnTriggerFiresAfterEveryRefreshThatHadData) {
    int fired = 0;
    TObject *sender = nullptr;
    c->SetOnTrigger([&](TObject *s) {
        ++fired;
        sender = s;
    });
    c->Refresh(); // not running: no data
    EXPECT_EQ(fired, 0);
    Start();
    c->Refresh();
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(sender, c.get());
}

TEST_F(ConnectorTest, TheMessageLoopServesTheConnectorAndEndsByItself) {
    TRecordingLevel level(1024);
    c->SetLevel1(&level);
    c->SetSynchronize(false);
    Start(false);
    ASSERT_TRUE(c->IsTriggering());
    EXPECT_EQ(TMMConnector::RunningCount(), 1);
    Feed(8192);
    EXPECT_TRUE(WaitFor([&] { return level.BlockTotal() == 8; }));

    c->Stopped();
    EXPECT_EQ(TMMConnector::RunningCount(), 0);
    EXPECT_FALSE(c->IsTriggering());
    // The loop lets its last event go without posting another.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    int passes = 0;
    c->SetOnTrigger([&](TObject *) { ++passes; });
    QCoreApplication::processEvents();
    EXPECT_EQ(passes, 0);
}

TEST_F(ConnectorTest, TheMessageLoopPacesBlocksByTheRealClock) {
    c->SetClock(nullptr);        // back to the microsecond clock
    TRecordingLevel level(1920); // 10 ms per block
    level.clock = MicrosecondClock;
    c->SetLevel1(&level);
    Start(false);
    const std::int64_t arrival = MicrosecondClock();
    Feed(8192);
    ASSERT_TRUE(WaitFor([&] { return level.BlockTotal() == 4; }));
    const auto blocks = level.Blocks();
    for (std::size_t k = 0; k < blocks.size(); ++k)
        EXPECT_GE(blocks[k].at - arrival, static_cast<std::int64_t>(k * 10000)) << k;
}

TEST_F(ConnectorTest, SwitchingAutoTriggerOffLeavesTheRunningCount) {
    Start(false);
    ASSERT_EQ(TMMConnector::RunningCount(), 1);
    c->SetAutoTrigger(false);
    EXPECT_EQ(TMMConnector::RunningCount(), 0);
    EXPECT_FALSE(c->IsTriggering());
    c->SetAutoTrigger(true);
    QCoreApplication::processEvents();
    EXPECT_EQ(TMMConnector::RunningCount(), 1);
    EXPECT_TRUE(c->IsTriggering());
}

TEST_F(ConnectorTest, EnterIdleInstallsTheIdleHandlerUntilTheCountFallsToZero) {
    TMMConnector::SetEnterIdle(true);
    Start(false);
    EXPECT_TRUE(TMMConnector::IdleHandlerInstalled());
    c->SetEnabled(false);
    EXPECT_FALSE(TMMConnector::IdleHandlerInstalled());
    c->SetEnabled(true);
    QCoreApplication::processEvents();
    EXPECT_TRUE(TMMConnector::IdleHandlerInstalled());
    c->Stopped();
    EXPECT_FALSE(TMMConnector::IdleHandlerInstalled());
    TMMConnector::SetEnterIdle(false);
}

TEST_F(ConnectorTest, BuffersArrivingWhileTheOperatorChangesEverythingHoldTogether) {
    ManualTimerSource ticks;
    TMMPeakTickService service(&ticks);
    c->SetPeakTickService(&service);
    c->SetClock(nullptr);
    TRecordingLevel level(200), other(400);
    c->SetLevel1(&level);
    Start(false);
    std::atomic<bool> stop{false};
    std::atomic<int> fed{0};
    std::thread worker([&] {
        for (; !stop; ++fed)
            Feed(8192 + 100); // a little too long: cut every time
    });
    // The rounds are quick now that the loop sleeps: let buffers flow first.
    EXPECT_TRUE(WaitFor([&] { return fed > 0 && level.BlockTotal() > 0; }));
    for (int round = 0; round < 40; ++round) {
        QCoreApplication::processEvents();
        switch (round % 5) {
        case 0:
            c->SetEnabled(false);
            c->SetEnabled(true);
            break;
        case 1:
            c->SetLevel2(round % 2 ? &other : nullptr);
            break;
        case 2:
            c->Paused();
            ticks.Fire();
            c->Refresh();
            c->Restarted();
            break;
        case 3:
            c->Stopped();
            c->Started();
            break;
        default:
            c->SetSynchronize(!c->Synchronize());
        }
        QCoreApplication::processEvents();
    }
    const std::size_t before = level.BlockTotal();
    EXPECT_TRUE(WaitFor([&] { return level.BlockTotal() > before; }));
    stop = true;
    worker.join();
    QCoreApplication::processEvents();
    EXPECT_TRUE(c->IsRunning());
    EXPECT_EQ(TMMConnector::RunningCount(), 1);
    EXPECT_EQ(service.ClientCount(), 0);
    // Every block was one run of the signal, across the end of a buffer at most.
    for (const auto &b : level.Blocks()) {
        if (b.silent) continue;
        EXPECT_TRUE(b.run) << b.firstSample;
    }
    EXPECT_GT(level.BlockTotal(), 0u);
}

TEST_F(ConnectorTest, DestroyingAConnectorDropsItsPendingEvents) {
    c->SetPWaveFormat(&format);
    c->Opened();
    c->Started(); // start-trigger event posted, not yet handled
    c.reset();
    QCoreApplication::processEvents(); // must not reach the destroyed connector
    EXPECT_EQ(TMMConnector::RunningCount(), 0);
}

TEST_F(ConnectorTest, AnotherConnectorGoingAwayDoesNotStopTheLoop) {
    TRecordingLevel level(1024);
    c->SetLevel1(&level);
    c->SetSynchronize(false);
    Start(false);
    {
        TMMConnector other;
        other.SetPWaveFormat(&format);
        other.Opened();
        other.Started();
        QCoreApplication::processEvents();
        EXPECT_EQ(TMMConnector::RunningCount(), 2);
    }
    EXPECT_EQ(TMMConnector::RunningCount(), 1);
    Feed(8192);
    EXPECT_TRUE(WaitFor([&] { return level.BlockTotal() == 8; }));
}

} // namespace
