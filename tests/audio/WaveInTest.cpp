#include "audio/MMWaveIn.h"
#include "platform/MMMessageBox.h"
#include "platform/SimWaveIn.h"

#include "common/PumpEventsUntil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

template <typename P> bool WaitUntil(P done, int ms = 5000) {
    return PumpEventsUntil(done, ms);
}

TSimDevice StepCounter() {
    TSimDevice d;
    d.Name = "step counter";
    d.Signal = TSimSignal::Counter;
    d.RealTime = false;
    return d;
}

// A chain member that keeps copies of what reaches it.
class TSink : public TMMDSPComponent {
  public:
    bool PublishesInput() const override { return true; }
    void BufferReady(PWaveHdr hdr) override {
        {
            std::lock_guard lock(mutex);
            buffers.emplace_back(hdr->lpData, hdr->lpData + hdr->dwBytesRecorded);
            onMain.push_back(QThread::currentThread() == QCoreApplication::instance()->thread());
        }
        TMMDSPComponent::BufferReady(hdr);
    }
    void Opened() override {
        log.push_back("Opened " + std::to_string(RequestedBufferSize()));
        TMMDSPComponent::Opened();
    }
    void Started() override {
        log.push_back("Started");
        TMMDSPComponent::Started();
    }
    void Stopped() override {
        if (IsStarted()) log.push_back("Stopped");
        TMMDSPComponent::Stopped();
    }
    void Closed() override {
        log.push_back("Closed");
        TMMDSPComponent::Closed();
    }
    std::size_t Count() {
        std::lock_guard lock(mutex);
        return buffers.size();
    }
    std::mutex mutex;
    std::vector<std::vector<char>> buffers;
    std::vector<bool> onMain;
    std::vector<std::string> log;
};

struct TEvents {
    std::atomic<int> errors{0}, opens{0}, starts{0}, stops{0}, closes{0}, pauses{0}, restarts{0};
    std::atomic<bool> stopOnMain{false};
    void Attach(TMMWaveIn &w) {
        w.SetOnError([this](TObject *) { ++errors; });
        w.SetOnOpen([this](TObject *) { ++opens; });
        w.SetOnStart([this](TObject *) { ++starts; });
        w.SetOnPause([this](TObject *) { ++pauses; });
        w.SetOnRestart([this](TObject *) { ++restarts; });
        w.SetOnClose([this](TObject *) { ++closes; });
        w.SetOnStop([this](TObject *) {
            ++stops;
            stopOnMain = QThread::currentThread() == QCoreApplication::instance()->thread();
        });
    }
};

// The console's configuration on a given driver.
void Configure(TMMWaveIn &w, int bufferSize = 8192) {
    w.SetMode(mStereo);
    w.SetBitLength(b16Bit);
    w.SetSampleRate(48000);
    w.SetBufferSize(bufferSize);
    w.SetCallBackMode(cmThread);
}

std::string What(const std::function<void()> &f) {
    try {
        f();
    } catch (const EMMWaveInError &e) {
        return e.what();
    }
    return "(nothing raised)";
}

// Frame counters of 16-bit stereo buffers must run on without a gap.
void ExpectContinuous(const std::vector<std::vector<char>> &buffers, std::uint16_t first = 0) {
    std::uint16_t expected = first;
    for (const auto &b : buffers)
        for (std::size_t at = 0; at + 4 <= b.size(); at += 4) {
            std::int16_t l, r;
            std::memcpy(&l, &b[at], 2);
            std::memcpy(&r, &b[at + 2], 2);
            ASSERT_EQ(static_cast<std::uint16_t>(l), expected);
            ASSERT_EQ(l, r);
            ++expected;
        }
}

// The texts of the exceptions that reach the application's handler while this lives.
class TReported : public std::vector<std::string> {
  public:
    TReported() {
        SetApplicationExceptionHandler([this](std::exception_ptr e) {
            try {
                std::rethrow_exception(e);
            } catch (const std::exception &x) {
                push_back(x.what());
            }
        });
    }
    ~TReported() { SetApplicationExceptionHandler(nullptr); }
    TReported(const TReported &) = delete;
    TReported &operator=(const TReported &) = delete;
};

} // namespace

TEST(WaveInProperties, DefaultsAndClampsFollowTheSetterRules) {
    TSimWaveInDriver sim;
    TMMWaveIn w(&sim);
    EXPECT_EQ(w.NumBuffers(), 10);
    EXPECT_EQ(w.Mode(), mMono);
    EXPECT_EQ(w.BitLength(), b8Bit);
    EXPECT_EQ(w.SampleRate(), 11025);
    EXPECT_EQ(w.CallBackMode(), cmWindow);
    EXPECT_EQ(w.MaxRecordTime(), -1);
    EXPECT_EQ(w.Priority(), tpHigher);
    EXPECT_EQ(w.BufferSize(), 2048);
    EXPECT_EQ(w.DeviceID(), 0);
    EXPECT_EQ(w.ProductName(), "Simulated silence");
    EXPECT_EQ(w.State(), TMMCustomWaveIn::wsClosed);

    w.SetNumBuffers(1);
    EXPECT_EQ(w.NumBuffers(), 10);
    w.SetNumBuffers(1000);
    EXPECT_EQ(w.NumBuffers(), 500);
    w.SetBufferSize(10);
    EXPECT_EQ(w.BufferSize(), 32);
    w.SetSampleRate(200000);
    EXPECT_EQ(w.SampleRate(), 100000);
    w.SetSampleRate(10);
    EXPECT_EQ(w.SampleRate(), 8000);
    w.SetMode(mMultiChannel);
    EXPECT_EQ(w.Mode(), mMono);
    w.SetProductName("something else");
    EXPECT_EQ(w.ProductName(), "Simulated silence");

    // The format follows Mode, BitLength and SampleRate and reaches the chain.
    TSink sink;
    w.SetOutput(&sink);
    w.SetMode(mStereo);
    w.SetBitLength(b16Bit);
    w.SetSampleRate(48000);
    ASSERT_NE(sink.PWaveFormat(), nullptr);
    EXPECT_NE(sink.PWaveFormat(), w.PWaveFormat());
    EXPECT_EQ(sink.PWaveFormat()->nChannels, 2);
    EXPECT_EQ(sink.PWaveFormat()->wBitsPerSample, 16);
    EXPECT_EQ(sink.PWaveFormat()->nSamplesPerSec, 48000u);

    // A format handed to the wave input sets its properties.
    TWaveFormatEx f;
    BuildPCMFormat(f, 8, 1, 22050);
    w.SetPWaveFormat(&f);
    EXPECT_EQ(w.Mode(), mMono);
    EXPECT_EQ(w.BitLength(), b8Bit);
    EXPECT_EQ(w.SampleRate(), 22050);
}

TEST(WaveInProperties, DeviceIdOutOfRangeIsStoredAsInvalid) {
    TSimWaveInDriver sim;
    TMMWaveIn w(&sim);
    ASSERT_EQ(w.DeviceCount(), 4);
    w.SetDeviceID(2);
    EXPECT_EQ(w.ProductName(), "Simulated stereo programme");
    w.SetDeviceID(4);
    EXPECT_EQ(w.DeviceID(), -2);
    EXPECT_EQ(w.ProductName(), "No wave audio recording device found");
    TEvents ev;
    ev.Attach(w);
    EXPECT_EQ(What([&] { w.Open(); }), "Invalid DeviceID");
    EXPECT_EQ(ev.errors, 1);
    w.SetDeviceID(-1);
    EXPECT_EQ(w.DeviceID(), -1);
    EXPECT_EQ(w.ProductName(), "Simulated silence");
    w.SetDeviceID(-3);
    EXPECT_EQ(w.DeviceID(), -2);
}

TEST(WaveInProperties, NoDeviceFailsAtOpen) {
    TSimWaveInDriver sim(std::vector<TSimDevice>{});
    TMMWaveIn w(&sim);
    EXPECT_EQ(w.DeviceID(), -2);
    TEvents ev;
    ev.Attach(w);
    EXPECT_EQ(What([&] { w.Start(); }), "No wave audio recording device found");
    EXPECT_EQ(ev.errors, 1);
    EXPECT_FALSE(w.IsOpen());
}

TEST(WaveInProperties, GuardedSettersRefuseWhileOpen) {
    TSimWaveInDriver sim;
    TMMWaveIn w(&sim);
    Configure(w, 1024);
    TEvents ev;
    ev.Attach(w);
    w.Open();
    ASSERT_TRUE(w.IsOpen());
    const std::string open = "Change to property while device was open";
    EXPECT_EQ(What([&] { w.SetBitLength(b8Bit); }), open);
    EXPECT_EQ(ev.errors, 1);
    EXPECT_EQ(What([&] { w.SetBufferSize(4096); }), open);
    EXPECT_EQ(What([&] { w.SetSampleRate(44100); }), open);
    EXPECT_EQ(What([&] { w.SetMode(mMono); }), open);
    EXPECT_EQ(What([&] { w.SetNumBuffers(4); }), open);
    EXPECT_EQ(What([&] { w.SetDeviceID(1); }), open);
    EXPECT_EQ(What([&] { w.SetCallBackMode(cmWindow); }), open);
    EXPECT_EQ(ev.errors, 7);
    // Unchanged values are no change at all.
    w.SetBitLength(b16Bit);
    w.SetBufferSize(1024);
    EXPECT_EQ(ev.errors, 7);
    EXPECT_EQ(w.BitLength(), b16Bit);
    w.Close();
    EXPECT_FALSE(w.IsOpen());
    w.SetBitLength(b8Bit);
    EXPECT_EQ(w.BitLength(), b8Bit);
}

TEST(WaveInProperties, CallbackModeIsRefusedWithTheMessageBox) {
    std::string text, caption;
    auto old = SetMessageBoxHook([&](const std::string &t, const std::string &c) {
        text = t;
        caption = c;
    });
    TSimWaveInDriver sim;
    TMMWaveIn w(&sim);
    w.SetCallBackMode(cmCallback);
    SetMessageBoxHook(old);
    EXPECT_EQ(w.CallBackMode(), cmWindow);
    EXPECT_EQ(text, "\"CallBacks\" are called at interrupt time !\n\rThis is currently only supported "
                    "under Windows 95");
    EXPECT_EQ(caption, "TMMWaveIn");
}

TEST(WaveInProperties, MaxRecordTimeIsKeptInWholeFramesAndReexpressed) {
    TSimWaveInDriver sim;
    TMMWaveIn w(&sim);
    Configure(w);
    w.SetMaxRecordTime(1001);
    EXPECT_EQ(w.MaxBytes(), 1000u);
    w.SetTimeFormat(tfSample);
    EXPECT_EQ(w.MaxRecordTime(), 250);
    w.SetTimeFormat(tfMillisecond);
    w.SetMaxRecordTime(10);
    EXPECT_EQ(w.MaxBytes(), 1920u);
    w.SetMaxRecordTime(-1);
    EXPECT_EQ(w.MaxBytes(), 0xFFFFFFFFu);
}

TEST(WaveInStreaming, ThreadModeDeliversEveryBufferInOrderDownTheChain) {
    TSimWaveInDriver sim({StepCounter()});
    TMMWaveIn w(&sim);
    Configure(w, 8190); // rounded down to whole frames at open
    TSink sink;
    w.SetOutput(&sink);
    TEvents ev;
    ev.Attach(w);
    std::atomic<int> ready{0};
    w.SetOnBufferReady([&](TObject *, PWaveHdr) { ++ready; });

    w.Start();
    EXPECT_EQ(w.State(), TMMCustomWaveIn::wsOpen | TMMCustomWaveIn::wsStarted);
    EXPECT_EQ(w.BufferSize(), 8188);
    EXPECT_EQ(ev.opens, 1);
    EXPECT_EQ(ev.starts, 1);
    EXPECT_EQ(w.QueuedBuffers(), 10);
    // 25 buffers' worth: more than the ring holds, so re-queueing is exercised.
    sim.Step(25 * 2047);
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() == 25; }));
    EXPECT_EQ(ready, 25);
    EXPECT_EQ(w.RecordedBytes(), 25u * 8188);
    EXPECT_EQ(w.CurrentBuffer(), 5);
    EXPECT_EQ(w.Position(), 25u * 2047);
    ASSERT_TRUE(WaitUntil([&] { return w.QueuedBuffers() == 10; }));
    for (bool main : sink.onMain)
        EXPECT_FALSE(main);

    w.Stop();
    // A delivery still running on the worker is waited for: the stop is complete on return.
    EXPECT_EQ(ev.stops, 1);
    EXPECT_EQ(w.State(), TMMCustomWaveIn::wsOpen);
    w.Close();
    EXPECT_EQ(ev.closes, 1);
    EXPECT_EQ(w.State(), TMMCustomWaveIn::wsClosed);
    ExpectContinuous(sink.buffers);
    EXPECT_EQ((std::vector<std::string>{"Opened 8190", "Started", "Stopped", "Closed"}), sink.log);
    EXPECT_EQ(sink.BufferSize(), 8190);

    // A second run starts clean.
    sink.buffers.clear();
    w.Start();
    sim.Step(3 * 2047);
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() == 3; }));
    w.Stop();
    w.Close();
    ExpectContinuous(sink.buffers); // a new open is a new stream
}

TEST(WaveInStreaming, WindowModeDeliversOnTheMainThread) {
    TSimWaveInDriver sim({StepCounter()});
    TMMWaveIn w(&sim);
    Configure(w, 1024);
    w.SetCallBackMode(cmWindow);
    TSink sink;
    w.SetOutput(&sink);
    w.Start();
    sim.Step(4 * 256);
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() == 4; }));
    for (bool main : sink.onMain)
        EXPECT_TRUE(main);
    w.Pause();
    EXPECT_EQ(w.State(), TMMCustomWaveIn::wsOpen | TMMCustomWaveIn::wsStarted | TMMCustomWaveIn::wsPaused);
    w.Restart();
    EXPECT_EQ(w.State(), TMMCustomWaveIn::wsOpen | TMMCustomWaveIn::wsStarted);
    sim.Step(2 * 256);
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() == 6; }));
    w.Close(); // stops first
    EXPECT_EQ(w.State(), TMMCustomWaveIn::wsClosed);
    ExpectContinuous(sink.buffers);
}

TEST(WaveInStreaming, StopFromOnBufferReadyCompletesOnTheMainThreadOnce) {
    TSimWaveInDriver sim({StepCounter()});
    TMMWaveIn w(&sim);
    Configure(w, 1024);
    TSink sink;
    w.SetOutput(&sink);
    TEvents ev;
    ev.Attach(w);
    std::atomic<int> calls{0};
    std::atomic<bool> stopReturnedInHandler{false};
    w.SetOnBufferReady([&](TObject *, PWaveHdr) {
        if (++calls == 2) {
            w.Stop();
            stopReturnedInHandler = ev.stops == 0;
        }
    });
    w.Start();
    sim.Step(10 * 256);
    ASSERT_TRUE(WaitUntil([&] { return ev.stops == 1; }));
    EXPECT_TRUE(stopReturnedInHandler);
    EXPECT_TRUE(ev.stopOnMain);
    EXPECT_EQ(w.State(), TMMCustomWaveIn::wsOpen);
    // Buffers returned by the stop are not delivered or queued again.
    WaitUntil([] { return false; }, 100);
    EXPECT_EQ(ev.stops, 1);
    EXPECT_LE(sink.Count(), 3u);
    EXPECT_EQ(w.QueuedBuffers(), 0);
    w.Close();
    EXPECT_EQ(ev.stops, 1);
    EXPECT_EQ(ev.closes, 1);
}

TEST(WaveInStreaming, MaxRecordTimeCutsTheBufferAndStops) {
    TSimWaveInDriver sim({StepCounter()});
    TMMWaveIn w(&sim);
    Configure(w, 1024);
    w.SetMaxRecordTime(2500); // bytes
    TSink sink;
    w.SetOutput(&sink);
    TEvents ev;
    ev.Attach(w);
    w.Start();
    sim.Step(10 * 256);
    ASSERT_TRUE(WaitUntil([&] { return ev.stops == 1; }));
    ASSERT_EQ(sink.Count(), 3u);
    EXPECT_EQ(sink.buffers[2].size(), 2500u - 2 * 1024);
    EXPECT_EQ(w.RecordedBytes(), 2500u);
    EXPECT_TRUE(ev.stopOnMain);
    w.Close();
    ExpectContinuous(sink.buffers);
}

TEST(WaveInStreaming, RealTimeSineArrivesAtThePaceOfTheSound) {
    std::vector<TSimDevice> devices(1);
    devices[0].Name = "sine";
    devices[0].Signal = TSimSignal::Sine;
    devices[0].Level = -20.0;
    TSimWaveInDriver sim(devices);
    TMMWaveIn w(&sim);
    Configure(w);
    std::atomic<int> peak{0}, count{0};
    w.SetOnBufferReady([&](TObject *, PWaveHdr h) {
        const auto *s = reinterpret_cast<const std::int16_t *>(h->lpData);
        for (std::uint32_t i = 0; i < h->dwBytesRecorded / 2; ++i)
            peak = std::max<int>(peak, std::abs(s[i]));
        ++count;
    });
    QElapsedTimer timer;
    timer.start();
    w.Start();
    ASSERT_TRUE(WaitUntil([&] { return count >= 12; }));
    const qint64 elapsed = timer.elapsed();
    w.Close();
    // 12 buffers of 2048 frames are 512 ms of sound.
    EXPECT_GE(elapsed, 480);
    EXPECT_EQ(SampleToDBText(peak, 32768, 2), "-20.00");
}

// --- Driver faults ----------------------------------------------------------

struct TFaultCase {
    TSimOp Op;
    int Skip;
    std::string Message; // raised by Start ("" when Start succeeds)
};

TEST(WaveInFaults, EveryFailingDriverCallAtStartIsReportedAndCloses) {
    const std::string lfcr = "\n\r";
    const std::string nomem = "There is not enough memory available for this task.";
    const std::vector<TFaultCase> cases = {
        {TSimOp::Open, 0, "WaveInOpen:" + lfcr + nomem},
        {TSimOp::Query, 0, "WaveInOpen:" + lfcr + "The actual device can''t record this format"},
        {TSimOp::GetDevCaps, 0, "WaveInOpen:" + lfcr + "The actual device can''t record this format"},
        {TSimOp::OpenNotify, 0, "WaveInOpen:" + lfcr + "Unable to open device"},
        {TSimOp::PrepareHeader, 3, "WaveInPrepareHeader:" + lfcr + nomem},
        {TSimOp::AddBuffer, 4, "WaveInAddBuffer:" + lfcr + nomem},
        {TSimOp::Start, 0, "WaveInStart:" + lfcr + nomem},
    };
    for (const TFaultCase &c : cases) {
        SCOPED_TRACE(c.Message);
        TSimWaveInDriver sim({StepCounter()});
        TMMWaveIn w(&sim);
        Configure(w, 1024);
        TSink sink;
        w.SetOutput(&sink);
        TEvents ev;
        ev.Attach(w);
        sim.Fail(c.Op, MMSYSERR_NOMEM, 1, c.Skip);
        EXPECT_EQ(What([&] { w.Start(); }), c.Message);
        EXPECT_GE(ev.errors, 1);
        EXPECT_EQ(w.State(), TMMCustomWaveIn::wsClosed);
        EXPECT_FALSE(sink.IsOpened());
        // The fault was a single one: the device works again.
        w.Start();
        sim.Step(2 * 256);
        EXPECT_TRUE(WaitUntil([&] { return sink.Count() == 2; }));
        w.Close();
        EXPECT_EQ(w.State(), TMMCustomWaveIn::wsClosed);
    }
}

TEST(WaveInFaults, MissingStandardFormatBitRefusesTheFormat) {
    TSimDevice d = StepCounter();
    d.Formats = WAVE_FORMAT_4M16; // 48 kHz mono only
    TSimWaveInDriver sim({d});
    TMMWaveIn w(&sim);
    Configure(w, 1024);
    EXPECT_EQ(What([&] { w.Open(); }), "WaveInOpen:\n\rThe actual device can''t record this format");
    w.SetMode(mMono);
    w.Open();
    EXPECT_TRUE(w.IsOpen());
    w.Close();
}

TEST(WaveInFaults, StopPauseRestartFailuresAreReportedWithTheirPrefix) {
    struct {
        TSimOp Op;
        std::function<void(TMMWaveIn &)> Call;
        std::string Prefix;
    } cases[] = {
        {TSimOp::Stop, [](TMMWaveIn &w) { w.Stop(); }, "WaveInStop:"},
        {TSimOp::Reset, [](TMMWaveIn &w) { w.Stop(); }, "WaveInReset:"},
        {TSimOp::Stop, [](TMMWaveIn &w) { w.Pause(); }, "WaveInPause:"},
        {TSimOp::Start,
         [](TMMWaveIn &w) {
             w.Pause();
             w.Restart();
         },
         "WaveInRestart:"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.Prefix);
        TSimWaveInDriver sim({StepCounter()});
        TMMWaveIn w(&sim);
        Configure(w, 1024);
        TEvents ev;
        ev.Attach(w);
        w.Start();
        sim.Fail(c.Op, MMSYSERR_NOTSUPPORTED, 1);
        EXPECT_EQ(What([&] { c.Call(w); }), c.Prefix + "\n\rThis function is not supported.");
        EXPECT_GE(ev.errors, 1);
        EXPECT_EQ(w.State(), TMMCustomWaveIn::wsClosed);
    }
}

TEST(WaveInFaults, CloseReportsThroughOnErrorOnly) {
    for (TSimOp op : {TSimOp::UnprepareHeader, TSimOp::Close, TSimOp::CloseNotify}) {
        TSimWaveInDriver sim({StepCounter()});
        TMMWaveIn w(&sim);
        Configure(w, 1024);
        TEvents ev;
        ev.Attach(w);
        w.Open();
        sim.Fail(op, MMSYSERR_ERROR, 1);
        EXPECT_NO_THROW(w.Close());
        EXPECT_EQ(ev.errors, 1);
        // Closing again after the fault finishes the job.
        w.Close();
        EXPECT_FALSE(w.IsOpen());
    }
}

TEST(WaveInFaults, UnknownErrorTextFallsBackToTheMessage) {
    TSimWaveInDriver sim({StepCounter()});
    TMMWaveIn w(&sim);
    Configure(w, 1024);
    sim.Fail(TSimOp::Open, 12345, 1);
    EXPECT_EQ(What([&] { w.Open(); }),
              "WaveInOpen:\n\rSpecified error number is out of range (unknown error)");
    sim.Fail(TSimOp::Open, MMSYSERR_ALLOCATED, 1);
    sim.Fail(TSimOp::GetErrorText, MMSYSERR_ERROR, 1);
    EXPECT_EQ(What([&] { w.Open(); }),
              "WaveInOpen:\n\rSpecified error number is out of range (unknown error)");
}

TEST(WaveInFaults, FailuresWhileStreamingReachOnErrorAndCloseTheDevice) {
    for (TSimOp op : {TSimOp::AddBuffer, TSimOp::GetPosition, TSimOp::Read, TSimOp::Hang}) {
        SCOPED_TRACE(static_cast<int>(op));
        TSimWaveInDriver sim({StepCounter()});
        TMMWaveIn w(&sim);
        Configure(w, 1024);
        TSink sink;
        w.SetOutput(&sink);
        TEvents ev;
        ev.Attach(w);
        TReported reported;
        w.Start();
        sim.Step(2 * 256);
        ASSERT_TRUE(WaitUntil([&] { return sink.Count() == 2; }));
        // A failed position in frames is asked again in bytes: both must fail.
        sim.Fail(op, MMSYSERR_NODRIVER,
                 op == TSimOp::Read || op == TSimOp::Hang ? -1
                 : op == TSimOp::GetPosition              ? 2
                                                          : 1);
        sim.Step(2 * 256);
        // A hanging device is given up after 3 s; nothing waits for it longer.
        ASSERT_TRUE(
            WaitUntil([&] { return w.State() == TMMCustomWaveIn::wsClosed && ev.closes == 1; }, 8000));
        EXPECT_GE(ev.errors, 1);
        ASSERT_EQ(reported.size(), 1u);
        const std::string prefix = op == TSimOp::GetPosition ? "WaveInGetPosition:" : "WaveInAddBuffer:";
        EXPECT_EQ(reported[0].rfind(prefix + "\n\r", 0), 0u) << reported[0];
        EXPECT_FALSE(sink.IsOpened());
        // The device is usable again.
        sim.ClearFaults();
        w.Start();
        sim.Step(256);
        EXPECT_TRUE(WaitUntil([&] { return w.RecordedBytes() >= 1024; }));
        w.Close();
        // No worker outlives the close, and a given-up stream is freed once its thread
        // comes back out of the device.
        EXPECT_TRUE(WaitUntil([] { return TMMDSPThread::ThreadRegistry().empty(); }, 1000));
        EXPECT_TRUE(WaitUntil([&] { return sim.LiveSources() == 0; }, 2000));
    }
}

// A device lost while streaming reaches the operator under the re-queue's prefix, in words
// that name the device.
TEST(WaveInFaults, ALostDeviceIsNamedUnderTheAddBufferPrefix) {
    TSimWaveInDriver sim({StepCounter()});
    TMMWaveIn w(&sim);
    Configure(w, 1024);
    TReported reported;
    w.Start();
    sim.Fail(TSimOp::Read, MMSYSERR_ERROR);
    sim.Step(256);
    ASSERT_TRUE(WaitUntil([&] { return w.State() == TMMCustomWaveIn::wsClosed; }));
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0],
              "WaveInAddBuffer:\n\rThe sound device \"step counter\" went away: its sound card or "
              "sound server stopped. Choose the device again in the menu.");
}

// --- Stop and close against deliveries in progress ------------------------------

// Stops and closes that meet buffers being delivered, from the main thread and from inside
// a delivery, in thread and window mode: every one completes before Close returns, OnStop
// fires once per round on the main thread, and no buffer is delivered once the close is done.
TEST(WaveInStopClose, StopAndCloseWhileDeliveringNeverHangOrDeliverLate) {
    TSimWaveInDriver sim({StepCounter()});
    TMMWaveIn w(&sim);
    Configure(w, 256);
    w.SetNumBuffers(4);
    TSink sink;
    w.SetOutput(&sink);
    TEvents ev;
    ev.Attach(w);
    std::atomic<bool> closed{false}, stopInHandler{false};
    std::atomic<int> late{0}, delivered{0};
    TMMEvent inDelivery; // the round's first delivery began, or its handler stopped
    w.SetOnClose([&](TObject *) {
        ++ev.closes;
        closed = true;
    });
    w.SetOnBufferReady([&](TObject *, PWaveHdr) {
        if (closed) ++late;
        if (++delivered == 1) {
            if (stopInHandler) w.Stop();
            inDelivery.Set();
        }
        // Widens the window in which the main thread meets a delivery in progress.
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    });
    int rounds = 0;
    for (TMMCBMode mode : {cmThread, cmWindow}) {
        w.SetCallBackMode(mode);
        for (int round = 0; round < (mode == cmThread ? 300 : 100); ++round, ++rounds) {
            SCOPED_TRACE(rounds);
            closed = false;
            delivered = 0;
            inDelivery.Reset();
            // 0: Stop and Close on the main thread; 1: Close alone; 2: the handler stops, then Close.
            const int variant = round % 3;
            stopInHandler = variant == 2;
            w.Start();
            sim.Step(64 * 6);
            // The worker's deliveries need no help from this thread; window mode's come through it.
            const bool began =
                mode == cmThread ? inDelivery.Wait(5000) : WaitUntil([&] { return delivered > 0; });
            ASSERT_TRUE(began);
            if (variant == 0) w.Stop();
            w.Close();
            ASSERT_EQ(w.State(), TMMCustomWaveIn::wsClosed);
            ASSERT_EQ(ev.stops, rounds + 1);
            ASSERT_TRUE(ev.stopOnMain);
            ASSERT_EQ(ev.closes, rounds + 1);
            // Whatever is still posted (a deferred stop's overtaken completion) changes nothing.
            QCoreApplication::processEvents();
            ASSERT_EQ(ev.stops, rounds + 1);
        }
    }
    EXPECT_EQ(late, 0);
    EXPECT_EQ(ev.errors, 0);
    EXPECT_EQ(w.QueuedBuffers(), 0);
    // The chain heard every stop before its close.
    for (std::size_t i = 0; i + 1 < sink.log.size(); ++i)
        EXPECT_TRUE(sink.log[i + 1] != "Closed" || sink.log[i] == "Stopped") << i;
}

// What a blocking queued call does, in terms the thread checker can follow (Qt's own wait
// is invisible to it): the caller posts a request to the main thread and waits until the
// main loop has run it.
class TMainThreadCall : public QObject {
  public:
    // Any thread but the main one.
    void Call() {
        std::unique_lock lock(FLock);
        const int ticket = ++FAsked;
        QCoreApplication::postEvent(this, new QEvent(QEvent::User));
        FServedCond.wait(lock, [&] { return FServed >= ticket; });
    }
    int Served() {
        std::lock_guard lock(FLock);
        return FServed;
    }

  protected:
    bool event(QEvent *e) override {
        std::unique_lock lock(FLock);
        if (e->type() != QEvent::User) {
            lock.unlock();
            return QObject::event(e);
        }
        ++FServed;
        FServedCond.notify_all();
        return true;
    }

  private:
    std::mutex FLock;
    std::condition_variable FServedCond;
    int FAsked = 0, FServed = 0;
};

// A delivery that waits for the main thread while the main thread stops, closes or destroys
// the wave input: none of them can wait it out, and none deadlocks.
TEST(WaveInStopClose, DeliveryWaitingForTheMainThreadDoesNotDeadlock) {
    TSimWaveInDriver sim({StepCounter()});
    TMainThreadCall mainThread;
    TMMEvent entered;
    auto waitForMain = [&](TObject *, PWaveHdr) {
        entered.Set();
        mainThread.Call();
    };
    {
        TMMWaveIn w(&sim);
        Configure(w, 256);
        TEvents ev;
        ev.Attach(w);
        w.SetOnBufferReady(waitForMain);
        w.Start();
        sim.Step(64);
        ASSERT_TRUE(entered.Wait(5000)); // the worker now waits for this thread
        w.Stop();
        EXPECT_EQ(ev.stops, 0); // left to the end of the delivery
        w.Close();
        ASSERT_TRUE(WaitUntil([&] { return w.State() == TMMCustomWaveIn::wsClosed; }, 10000));
        EXPECT_EQ(mainThread.Served(), 1);
        EXPECT_EQ(ev.stops, 1);
        EXPECT_EQ(ev.closes, 1);
        EXPECT_EQ(ev.errors, 0);
    }
    {
        auto w = std::make_unique<TMMWaveIn>(&sim);
        Configure(*w, 256);
        w->SetOnBufferReady(waitForMain);
        w->Start();
        sim.Step(64);
        ASSERT_TRUE(entered.Wait(5000));
        // Destruction cannot leave the close for later: it serves the delivery meanwhile.
        w.reset();
        EXPECT_EQ(mainThread.Served(), 2);
        // The worker has left; it takes its name off the list a moment later.
        EXPECT_TRUE(WaitUntil([] { return TMMDSPThread::ThreadRegistry().empty(); }, 1000));
    }
}

TEST(WaveInAllocator, ReusesFreeBlocksBeforeAllocating) {
    TMMAllocator pool;
    char *a = pool.Allocate(GMEM_ZEROINIT, 100);
    char *b = pool.Allocate(GMEM_ZEROINIT, 200);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a[99], 0);
    a[0] = 7;
    char *slotA = a, *slotB = b;
    pool.Release(slotA);
    pool.Release(slotB);
    EXPECT_EQ(slotA, nullptr);
    EXPECT_EQ(pool.InUse(), 0u);
    EXPECT_EQ(pool.Allocate(0, 200), b); // exact size first
    EXPECT_EQ(pool.Allocate(0, 50), a);  // then the first that is large enough
    EXPECT_EQ(a[0], 7);                  // a reused block keeps its bytes
    char *c = pool.Allocate(0, 50);
    EXPECT_NE(c, a);
    EXPECT_EQ(pool.Count(), 3u);
    pool.FreeAll();
    EXPECT_EQ(pool.Count(), 0u);
}
