#include "audio/MMDSPComponent.h"
#include "audio/MMDSPThread.h"
#include "audio/MMSoundComponent.h"
#include "core/PCM.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Log = std::vector<std::string>;

const char *NotificationName(TMMChainNotification n) {
    switch (n) {
    case TMMChainNotification::Opened:
        return "Opened";
    case TMMChainNotification::Closed:
        return "Closed";
    case TMMChainNotification::Started:
        return "Started";
    case TMMChainNotification::Paused:
        return "Paused";
    case TMMChainNotification::Restarted:
        return "Restarted";
    case TMMChainNotification::Stopped:
        return "Stopped";
    case TMMChainNotification::Reseted:
        return "Reseted";
    }
    return "?";
}

// Records every notification it receives as "<name>.<notification>".
template <class Base> class Recording : public Base {
  public:
    Recording(std::string name, Log *log) : FLog(log) { this->SetName(std::move(name)); }
    void Opened() override {
        Note(TMMChainNotification::Opened, [this] { Base::Opened(); });
    }
    void Closed() override {
        Note(TMMChainNotification::Closed, [this] { Base::Closed(); });
    }
    void Started() override {
        Note(TMMChainNotification::Started, [this] { Base::Started(); });
    }
    void Paused() override {
        Note(TMMChainNotification::Paused, [this] { Base::Paused(); });
    }
    void Restarted() override {
        Note(TMMChainNotification::Restarted, [this] { Base::Restarted(); });
    }
    void Stopped() override {
        Note(TMMChainNotification::Stopped, [this] { Base::Stopped(); });
    }
    void Reseted() override {
        Note(TMMChainNotification::Reseted, [this] { Base::Reseted(); });
    }
    void SetBufferSize(int Value) override {
        if (FLog) FLog->push_back(this->Name() + ".SetBufferSize(" + std::to_string(Value) + ")");
        Base::SetBufferSize(Value);
    }
    bool PublishesInput() const override { return FPublishesInput; }
    bool PublishesOutput() const override { return true; }
    void SetPublishesInput(bool v) { FPublishesInput = v; }
    void SetLog(Log *log) { FLog = log; }

  private:
    template <class F> void Note(TMMChainNotification n, F inherited) {
        // A sound component logs after its walk, i.e. when its own state changes.
        if (FLog && !std::is_base_of_v<TMMCustomSoundComponent, Base>)
            FLog->push_back(this->Name() + "." + NotificationName(n));
        inherited();
        if (FLog && std::is_base_of_v<TMMCustomSoundComponent, Base>)
            FLog->push_back(this->Name() + "." + NotificationName(n));
    }
    Log *FLog;
    bool FPublishesInput = true;
};

class TDevice : public TMMCustomSoundComponent {
  public:
    void SetNumBuffers(int Value) override { FNum = Value; }
    void SetDeviceID(int Value) override { FId = Value; }
    void SetProductName(const std::string &) override {}
    void SetCallBackMode(TMMCBMode Value) override { FMode = Value; }
    using TMMCustomSoundComponent::NotifyChain;

  protected:
    int GetNumBuffers() const override { return FNum; }
    int GetDeviceID() const override { return FId; }
    std::string GetProductName() const override { return "test device"; }
    TMMCBMode GetCallBackMode() const override { return FMode; }

  private:
    int FNum = 10, FId = 0;
    TMMCBMode FMode = cmWindow;
};

using Member = Recording<TMMDSPComponent>;
using Sound = Recording<TDevice>;

// A class that publishes neither link property.
class Unlinkable : public TMMDSPComponent {
  public:
    using TMMDSPComponent::SetAcceptsInput;
    using TMMDSPComponent::SetAcceptsOutput;
};

TWaveFormatEx Format(std::uint16_t bits, std::uint16_t channels, std::uint32_t rate) {
    TWaveFormatEx f;
    BuildPCMFormat(f, bits, channels, rate);
    return f;
}

void ExpectUnlinked(const TMMDSPComponent &m) {
    EXPECT_EQ(m.Input(), nullptr);
    EXPECT_EQ(m.Output(), nullptr);
}

} // namespace

// ---------------------------------------------------------------- links

TEST(ChainLinks, BothEndsPointAtEachOtherWithTheirBackLinkNames) {
    Member a("A", nullptr), b("B", nullptr);
    a.SetOutput(&b);
    EXPECT_EQ(a.Output(), &b);
    EXPECT_EQ(b.Input(), &a);
    EXPECT_EQ(a.OutputBackLinkName(), "Input");
    EXPECT_EQ(b.InputBackLinkName(), "Output");
    EXPECT_EQ(a.InputBackLinkName(), "");

    Member c("C", nullptr);
    c.SetInput(&b);
    EXPECT_EQ(b.Output(), &c);
    EXPECT_EQ(c.Input(), &b);
}

TEST(ChainLinks, SelfLinkAndLoopsAreRefusedAndLeaveLinksAlone) {
    Member a("A", nullptr), b("B", nullptr), c("C", nullptr);
    a.SetInput(&a);
    a.SetOutput(&a);
    ExpectUnlinked(a);

    a.SetOutput(&b);
    b.SetOutput(&c);
    b.SetOutput(&a); // A -> B -> A
    c.SetOutput(&a); // A -> B -> C -> A
    a.SetInput(&c);
    a.SetInput(&b);
    EXPECT_EQ(a.Input(), nullptr);
    EXPECT_EQ(a.Output(), &b);
    EXPECT_EQ(b.Input(), &a);
    EXPECT_EQ(b.Output(), &c);
    EXPECT_EQ(c.Input(), &b);
    EXPECT_EQ(c.Output(), nullptr);
}

TEST(ChainLinks, NewLinkStealsTheOldEndsOfBothSides) {
    Member a("A", nullptr), b("B", nullptr), c("C", nullptr);
    a.SetOutput(&c);
    b.SetInput(&a); // A fed C; now it feeds B
    EXPECT_EQ(a.Output(), &b);
    EXPECT_EQ(b.Input(), &a);
    EXPECT_EQ(c.Input(), nullptr);
    EXPECT_EQ(c.InputBackLinkName(), "");

    c.SetOutput(&b); // B's Input was A; now C
    EXPECT_EQ(b.Input(), &c);
    EXPECT_EQ(c.Output(), &b);
    EXPECT_EQ(a.Output(), nullptr);
}

TEST(ChainLinks, ClearingALinkClearsBothEndsAndHandsDownNoFormat) {
    Member a("A", nullptr), b("B", nullptr), c("C", nullptr);
    TWaveFormatEx f = Format(16, 2, 48000);
    a.SetPWaveFormat(&f);
    a.SetOutput(&b);
    b.SetOutput(&c);
    ASSERT_NE(c.PWaveFormat(), nullptr);

    b.SetInput(nullptr);
    EXPECT_EQ(a.Output(), nullptr);
    EXPECT_EQ(b.Input(), nullptr);
    EXPECT_EQ(b.PWaveFormat(), nullptr);
    EXPECT_EQ(c.PWaveFormat(), nullptr) << "the none format runs on down the chain";
    ASSERT_NE(a.PWaveFormat(), nullptr);

    a.SetOutput(&b);
    ASSERT_NE(c.PWaveFormat(), nullptr);
    a.SetOutput(nullptr);
    EXPECT_EQ(b.Input(), nullptr);
    EXPECT_EQ(c.PWaveFormat(), nullptr);
}

TEST(ChainLinks, OnlyClassesWithTheLinkPropertyOrTheAcceptFlagTakePart) {
    Member a("A", nullptr);
    Unlinkable u;
    a.SetInput(&u);
    a.SetOutput(&u);
    ExpectUnlinked(a);

    u.SetAcceptsOutput(true);
    a.SetInput(&u);
    EXPECT_EQ(a.Input(), &u);
    EXPECT_EQ(u.Output(), &a);

    Member b("B", nullptr);
    b.SetPublishesInput(false);
    a.SetOutput(&b);
    EXPECT_EQ(a.Output(), nullptr);
}

TEST(ChainLinks, DestroyingAMemberUnlinksItsNeighbours) {
    Member a("A", nullptr), c("C", nullptr);
    TWaveFormatEx f = Format(16, 2, 48000);
    a.SetPWaveFormat(&f);
    auto b = std::make_unique<Member>("B", nullptr);
    a.SetOutput(b.get());
    b->SetOutput(&c);
    ASSERT_NE(c.PWaveFormat(), nullptr);
    b.reset();
    EXPECT_EQ(a.Output(), nullptr);
    EXPECT_EQ(c.Input(), nullptr);
    EXPECT_EQ(c.PWaveFormat(), nullptr);
    EXPECT_EQ(a.OutputBackLinkName(), "");
}

TEST(ChainLinks, RegistryListsLiveMembersInCreationOrder) {
    const std::size_t before = TMMDSPComponent::ChainRegistry().size();
    {
        Member a("A", nullptr);
        auto b = std::make_unique<Member>("B", nullptr);
        auto reg = TMMDSPComponent::ChainRegistry();
        ASSERT_EQ(reg.size(), before + 2);
        EXPECT_EQ(reg[before], &a);
        EXPECT_EQ(reg[before + 1], b.get());
        b.reset();
        EXPECT_EQ(TMMDSPComponent::ChainRegistry().size(), before + 1);
    }
    EXPECT_EQ(TMMDSPComponent::ChainRegistry().size(), before);
}

// ---------------------------------------------------------------- formats

TEST(ChainFormat, HeadFormatArrivesAsAPrivateCopyAtEveryMember) {
    Member a("A", nullptr), b("B", nullptr), c("C", nullptr);
    a.SetOutput(&b);
    b.SetOutput(&c);
    TWaveFormatEx f = Format(16, 2, 48000);
    a.SetPWaveFormat(&f);
    const TWaveFormatEx *seen[] = {a.PWaveFormat(), b.PWaveFormat(), c.PWaveFormat()};
    for (const TWaveFormatEx *p : seen) {
        ASSERT_NE(p, nullptr);
        EXPECT_NE(p, &f);
        EXPECT_EQ(p->nSamplesPerSec, 48000u);
        EXPECT_EQ(p->nBlockAlign, 4);
    }
    EXPECT_NE(seen[0], seen[1]);
    EXPECT_NE(seen[1], seen[2]);
    EXPECT_NE(seen[0], seen[2]);

    f.nSamplesPerSec = 1; // the caller's record is not referenced
    EXPECT_EQ(c.PWaveFormat()->nSamplesPerSec, 48000u);

    TWaveFormatEx g = Format(8, 1, 11025);
    a.SetPWaveFormat(&g);
    EXPECT_EQ(c.PWaveFormat()->nSamplesPerSec, 11025u);
    a.SetPWaveFormat(nullptr);
    EXPECT_EQ(b.PWaveFormat(), nullptr);
    EXPECT_EQ(c.PWaveFormat(), nullptr);
}

TEST(ChainFormat, LinkingTakesTheFormatFromUpstream) {
    Member a("A", nullptr), b("B", nullptr), c("C", nullptr);
    TWaveFormatEx f = Format(16, 1, 22050);
    a.SetPWaveFormat(&f);
    b.SetOutput(&c); // B has no format; C gets none
    EXPECT_EQ(c.PWaveFormat(), nullptr);
    b.SetInput(&a);
    ASSERT_NE(c.PWaveFormat(), nullptr);
    EXPECT_EQ(c.PWaveFormat()->nSamplesPerSec, 22050u);
}

TEST(ChainFormat, NothingTravelsWhileLoadingAndLoadedReappliesIt) {
    Member a("A", nullptr), b("B", nullptr);
    a.BeginLoading();
    b.BeginLoading();
    a.SetOutput(&b);
    TWaveFormatEx f = Format(16, 2, 44100);
    a.SetPWaveFormat(&f);
    ASSERT_NE(a.PWaveFormat(), nullptr);
    EXPECT_EQ(b.PWaveFormat(), nullptr);
    b.Loaded();
    EXPECT_EQ(b.PWaveFormat(), nullptr);
    a.Loaded();
    ASSERT_NE(b.PWaveFormat(), nullptr);
    EXPECT_EQ(b.PWaveFormat()->nSamplesPerSec, 44100u);
}

TEST(ChainFormat, ChangesWhileStartedStopTheMemberFirst) {
    Log log;
    Member a("A", &log);
    a.Opened();
    a.Started();
    TWaveFormatEx f = Format(16, 2, 48000);
    log.clear();
    a.SetPWaveFormat(&f);
    EXPECT_EQ(log, Log{"A.Stopped"});
    EXPECT_FALSE(a.IsStarted());

    a.Started();
    log.clear();
    a.SetBufferSize(a.RequestedBufferSize()); // unchanged: nothing at all
    EXPECT_EQ(log, Log{"A.SetBufferSize(2048)"});
    EXPECT_TRUE(a.IsStarted());
    a.SetBufferSize(4096);
    EXPECT_FALSE(a.IsStarted());
    EXPECT_EQ(a.RequestedBufferSize(), 4096);
}

// ---------------------------------------------------------------- buffer size at open

TEST(ChainOpen, RealBufferSizeIsWholeFramesAndAtLeastOneFrame) {
    struct Case {
        std::uint16_t bits, channels;
        int requested, real;
    } cases[] = {{16, 2, 8190, 8188}, {16, 2, 2, 4}, {16, 2, 8192, 8192}, {8, 1, 8191, 8191}, {16, 1, 3, 2}};
    for (const Case &k : cases) {
        Member m("M", nullptr);
        TWaveFormatEx f = Format(k.bits, k.channels, 48000);
        m.SetPWaveFormat(&f);
        m.SetBufferSize(k.requested);
        m.Opened();
        EXPECT_EQ(m.BufferSize(), k.real) << k.requested;
        EXPECT_EQ(m.RequestedBufferSize(), k.requested);
        m.Closed();
        EXPECT_EQ(m.BufferSize(), k.requested);
    }
}

TEST(ChainOpen, WithoutAFormatOrAFrameSizeTheSizeIsKept) {
    Member m("M", nullptr);
    m.SetBufferSize(8190);
    m.Opened();
    EXPECT_EQ(m.BufferSize(), 8190);
    m.Closed();

    TWaveFormatEx broken = Format(16, 2, 48000);
    broken.nBlockAlign = 0;
    m.SetPWaveFormat(&broken);
    m.Opened();
    EXPECT_EQ(m.BufferSize(), 8190);
}

TEST(ChainOpen, StateFlagsFollowTheNotifications) {
    Member m("M", nullptr);
    m.Started();
    EXPECT_FALSE(m.IsStarted()) << "not opened yet";
    m.Opened();
    m.Started();
    m.Paused();
    EXPECT_TRUE(m.IsPaused());
    m.Restarted();
    EXPECT_FALSE(m.IsPaused());
    m.Paused();
    m.Stopped();
    EXPECT_FALSE(m.IsStarted());
    EXPECT_FALSE(m.IsPaused());
    m.Closed();
    EXPECT_FALSE(m.IsOpened());
}

// ---------------------------------------------------------------- notification walk

TEST(ChainNotify, DeviceAtTheHeadTellsEveryMemberInOrderBeforeItself) {
    Log log;
    Sound s("S", &log);
    Member c("C", &log), p("P", &log);
    s.SetOutput(&c);
    c.SetOutput(&p);
    TWaveFormatEx f = Format(16, 2, 48000);
    s.SetPWaveFormat(&f);
    s.SetBufferSize(8190);
    log.clear();

    s.Opened();
    EXPECT_EQ(log,
              (Log{"C.SetBufferSize(8190)", "C.Opened", "P.SetBufferSize(8190)", "P.Opened", "S.Opened"}));
    EXPECT_EQ(s.BufferSize(), 8188);
    EXPECT_EQ(c.BufferSize(), 8188);
    EXPECT_EQ(p.BufferSize(), 8188);
    EXPECT_FALSE(s.SoundUpstream());

    for (auto n :
         {TMMChainNotification::Started, TMMChainNotification::Paused, TMMChainNotification::Restarted,
          TMMChainNotification::Reseted, TMMChainNotification::Stopped, TMMChainNotification::Closed}) {
        log.clear();
        switch (n) {
        case TMMChainNotification::Started:
            s.Started();
            break;
        case TMMChainNotification::Paused:
            s.Paused();
            break;
        case TMMChainNotification::Restarted:
            s.Restarted();
            break;
        case TMMChainNotification::Reseted:
            s.Reseted();
            break;
        case TMMChainNotification::Stopped:
            s.Stopped();
            break;
        default:
            s.Closed();
            break;
        }
        const std::string name = NotificationName(n);
        EXPECT_EQ(log, (Log{"C." + name, "P." + name, "S." + name}));
    }
    EXPECT_FALSE(c.IsOpened());
}

TEST(ChainNotify, PlainMembersUpstreamOfTheDeviceAreToldToo) {
    Log log;
    Member head("H", &log), tail("T", &log);
    Sound s("S", &log);
    s.SetPublishesInput(true);
    head.SetOutput(&s);
    s.SetOutput(&tail);
    log.clear();
    s.Opened();
    EXPECT_EQ(log,
              (Log{"H.SetBufferSize(2048)", "H.Opened", "T.SetBufferSize(2048)", "T.Opened", "S.Opened"}));
}

TEST(ChainNotify, SecondDeviceDownstreamIsToldFirstOnStopAndCloseOnly) {
    Log log;
    Sound s1("S1", &log), s2("S2", &log);
    s2.SetPublishesInput(true);
    Member a("A", &log), b("B", &log), z("Z", &log);
    s1.SetOutput(&a);
    a.SetOutput(&s2);
    s2.SetOutput(&b);
    b.SetOutput(&z);
    log.clear();

    s1.Opened();
    EXPECT_EQ(log,
              (Log{"A.SetBufferSize(2048)", "A.Opened", "S2.SetBufferSize(2048)", "B.SetBufferSize(2048)",
                   "B.Opened", "Z.SetBufferSize(2048)", "Z.Opened", "S2.Opened", "S1.Opened"}));
    EXPECT_TRUE(s2.SoundUpstream());
    EXPECT_FALSE(s1.SoundUpstream());

    s1.Started();
    log.clear();
    s1.Stopped();
    EXPECT_EQ(log, (Log{"B.Stopped", "Z.Stopped", "S2.Stopped", "A.Stopped", "S1.Stopped"}));
    log.clear();
    s1.Closed();
    EXPECT_EQ(log, (Log{"B.Closed", "Z.Closed", "S2.Closed", "A.Closed", "S1.Closed"}));

    log.clear();
    s2.Paused(); // S2 answers only for what lies below it
    EXPECT_EQ(log, (Log{"B.Paused", "Z.Paused", "S2.Paused"}));
}

TEST(ChainNotify, NotifyChainLeavesTheDeviceItselfAlone) {
    Log log;
    Sound s("S", &log);
    Member c("C", &log);
    s.SetOutput(&c);
    log.clear();
    s.NotifyChain(TMMChainNotification::Opened);
    EXPECT_EQ(log, (Log{"C.SetBufferSize(2048)", "C.Opened"}));
    EXPECT_FALSE(s.IsOpened());
    EXPECT_TRUE(c.IsOpened());
}

// ---------------------------------------------------------------- data

TEST(ChainData, BufferReadyVisitsEveryMemberInOrderOnTheDeliveringThread) {
    Member a("A", nullptr), b("B", nullptr), c("C", nullptr);
    a.SetOutput(&b);
    b.SetOutput(&c);
    std::vector<std::pair<std::string, std::thread::id>> seen;
    std::vector<PWaveHdr> headers;
    for (Member *m : {&a, &b, &c}) {
        m->SetOnBufferReady([&seen, &headers](TObject *sender, PWaveHdr hdr) {
            seen.emplace_back(static_cast<Member *>(sender)->Name(), std::this_thread::get_id());
            headers.push_back(hdr);
        });
    }
    WAVEHDR hdr;
    std::thread::id worker;
    std::thread t([&] {
        worker = std::this_thread::get_id();
        a.BufferReady(&hdr);
    });
    t.join();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].first, "A");
    EXPECT_EQ(seen[1].first, "B");
    EXPECT_EQ(seen[2].first, "C");
    for (auto &s : seen)
        EXPECT_EQ(s.second, worker);
    for (PWaveHdr h : headers)
        EXPECT_EQ(h, &hdr);

    seen.clear();
    b.BufferReady(&hdr); // from the middle: only what lies downstream
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].first, "B");
}

TEST(ChainData, BufferLoadPullsUpstreamAndPassesMoreBuffers) {
    Member a("A", nullptr), b("B", nullptr), c("C", nullptr);
    a.SetOutput(&b);
    b.SetOutput(&c);
    std::vector<std::string> seen;
    for (Member *m : {&a, &b, &c}) {
        m->SetOnBufferLoad([&seen](TObject *sender, PWaveHdr, bool &more) {
            seen.push_back(static_cast<Member *>(sender)->Name());
            if (seen.size() == 3) more = false;
        });
    }
    WAVEHDR hdr;
    bool more = true;
    c.BufferLoad(&hdr, more);
    EXPECT_EQ(seen, (std::vector<std::string>{"C", "B", "A"}));
    EXPECT_FALSE(more);
}

// ---------------------------------------------------------------- DSP threads

namespace {
class Worker : public TMMDSPThread {
  public:
    using TMMDSPThread::TMMDSPThread;
    ~Worker() override {
        Terminate();
        FGo.Set();
        WaitFor();
    }
    TMMEvent FGo;
    std::atomic<int> FRuns{0};

  protected:
    void Execute() override {
        FGo.Wait();
        ++FRuns;
    }
};
} // namespace

TEST(DSPThreads, ListedFromCreationToDestructionAndStartedOnlyByResume) {
    const std::size_t before = TMMDSPThread::ThreadRegistry().size();
    Sound s("S", nullptr);
    {
        Worker w(&s);
        EXPECT_EQ(w.Component(), &s);
        EXPECT_TRUE(w.Suspended());
        auto reg = TMMDSPThread::ThreadRegistry();
        ASSERT_EQ(reg.size(), before + 1);
        EXPECT_EQ(reg.back(), &w);
        w.Resume();
        EXPECT_FALSE(w.Suspended());
        w.FGo.Set();
        w.WaitFor();
        EXPECT_EQ(w.FRuns.load(), 1);
        EXPECT_TRUE(w.Finished());
    }
    EXPECT_EQ(TMMDSPThread::ThreadRegistry().size(), before);
}

TEST(DSPThreads, PriorityFiguresAreThePlatformOnes) {
    EXPECT_EQ(ThreadPriorityValue(tpIdle), -15);
    EXPECT_EQ(ThreadPriorityValue(tpLowest), -2);
    EXPECT_EQ(ThreadPriorityValue(tpLower), -1);
    EXPECT_EQ(ThreadPriorityValue(tpNormal), 0);
    EXPECT_EQ(ThreadPriorityValue(tpHigher), 1);
    EXPECT_EQ(ThreadPriorityValue(tpHighest), 2);
    EXPECT_EQ(ThreadPriorityValue(tpTimeCritical), 15);
}

TEST(DSPThreads, EventsReleaseOneWaiterPerSetAndTimeOut) {
    TMMEvent autoReset;
    EXPECT_FALSE(autoReset.Wait(0));
    autoReset.Set();
    EXPECT_TRUE(autoReset.Wait(0));
    EXPECT_FALSE(autoReset.Wait(0)) << "auto-reset";
    TMMEvent manual(true, true);
    EXPECT_TRUE(manual.Wait(0));
    EXPECT_TRUE(manual.Wait(0));
    manual.Reset();
    EXPECT_FALSE(manual.Wait(1));
}
