#include "audio/MMHiTimer.h"

#include "audio/MMFrameRide.h"
#include "audio/MMFrameTimer.h"
#include "core/MainThread.h"
#include "platform/MMMessageBox.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <condition_variable>
#include <mutex>

#include <unistd.h>

const char *const HiTimerCallbackRefusedText =
    "\"CallBacks\" are called at interrupt time !\n\rThis is currently only supported under Windows 95";

namespace {

const char *const CouldNotCreateThread = "HiTimer:\n\rCould not create thread";
const char *const NoTimer = "タイマーを取得できません";
constexpr int ThreadWaitMs = 5000;

const QEvent::Type TickEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

// Qt hands a posted event to the main thread under its own locks, which the thread
// checker cannot see: a post made under this lock, and the lock taken before the
// main thread reads what was posted, show the hand-over it already makes.
std::mutex gPostLock;

void SeePosted() {
    std::lock_guard<std::mutex> seen(gPostLock);
}

class TickEvent : public QEvent {
  public:
    explicit TickEvent(unsigned Id) : QEvent(TickEventType), FId(Id) {}
    unsigned FId;
};

// Where a synchronised tick stands in its trip to the main thread.
enum class SyncStage { Idle, Pending, Running, Done, Cancelled };

} // namespace

class TMMHiTimerWindow;

struct TMMHiTimerState {
    TMMHiTimer *Sender = nullptr;
    TNotifyEvent OnTimer;          // the handler as it was when the timer was armed
    std::function<bool()> Ignored; // likewise
    TMMCBMode Mode = cmWindow;
    TMMTimerSource *Source = nullptr; // the source the timer was armed on
    std::atomic<unsigned> TimerID{0};
    std::atomic<bool> Live{true}; // cleared first by the tear-down: nothing fires after

    // window mode
    TMMHiTimerWindow *Window = nullptr;
    std::atomic<int> Queued{0};

    // thread mode
    TMMEvent Tick;
    TMMEvent Ready;
    std::atomic<bool> Attached{false};
    std::atomic<bool> Synchronize{true};
    std::atomic<bool> InSyncCall{false};
    std::atomic<int> WorkerTid{0};
    std::atomic<std::thread::id> WorkerId{};

    // The stop flag and the synchronised call's stage, under SyncLock.
    std::mutex SyncLock;
    std::condition_variable SyncCond;
    std::atomic<bool> Stop{false};
    SyncStage Stage = SyncStage::Idle;
    // While frames ride, the synchronised call waits for the frame tick.
    std::unique_ptr<TMMFrameRider> Rider;
};

namespace {

void Fire(TMMHiTimerState &State) {
    if (!State.Live.load() || !State.OnTimer) return;
    try {
        State.OnTimer(State.Sender);
    } catch (...) {
        HandleApplicationException(std::current_exception());
    }
}

// Main thread: the synchronised half of a worker's tick.
void RunSynchronised(const std::shared_ptr<TMMHiTimerState> &State) {
    {
        std::lock_guard<std::mutex> lock(State->SyncLock);
        if (State->Stage != SyncStage::Pending) return; // cancelled by a tear-down
        State->Stage = SyncStage::Running;
    }
    Fire(*State);
    {
        std::lock_guard<std::mutex> lock(State->SyncLock);
        State->Stage = SyncStage::Done;
    }
    State->SyncCond.notify_all();
}

// Worker thread: runs OnTimer on the main thread and waits for it. Unlike a plain
// blocking queued call, the wait ends as soon as the timer is torn down, so a main
// thread that waits for this worker to end never waits for a call it cannot run.
void DeliverSynchronised(const std::shared_ptr<TMMHiTimerState> &State) {
    QCoreApplication *app = QCoreApplication::instance();
    if (app == nullptr) { // no main loop to run it: deliver here
        Fire(*State);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(State->SyncLock);
        if (State->Stop.load()) return;
        State->Stage = SyncStage::Pending;
    }
    State->InSyncCall.store(true);
    if (!State->Rider || !State->Rider->Flag()) {
        std::lock_guard<std::mutex> posting(gPostLock);
        QMetaObject::invokeMethod(
            app,
            [State] {
                SeePosted();
                RunSynchronised(State);
            },
            Qt::QueuedConnection);
    }
    {
        std::unique_lock<std::mutex> lock(State->SyncLock);
        State->SyncCond.wait(
            lock, [&] { return State->Stage == SyncStage::Done || State->Stage == SyncStage::Cancelled; });
        State->Stage = SyncStage::Idle;
    }
    State->InSyncCall.store(false);
}

// Sets the stop flag and cancels a synchronised call still waiting for the main
// thread. True when OnTimer is running on the main thread right now.
bool StopWorker(TMMHiTimerState &State) {
    bool running;
    {
        std::lock_guard<std::mutex> lock(State.SyncLock);
        State.Stop.store(true);
        if (State.Stage == SyncStage::Pending) State.Stage = SyncStage::Cancelled;
        running = State.Stage == SyncStage::Running;
    }
    State.SyncCond.notify_all();
    return running;
}

// System timer thread.
void TimeCallback(unsigned uTimerID, unsigned, std::uintptr_t dwUser, std::uintptr_t, std::uintptr_t);

} // namespace

// The hidden window of window mode: receives the posted ticks on the main thread.
class TMMHiTimerWindow : public QObject {
  public:
    explicit TMMHiTimerWindow(std::shared_ptr<TMMHiTimerState> State) : FState(std::move(State)) {}
    bool Dispatching() const { return FDispatching > 0; }

  protected:
    bool event(QEvent *Event) override {
        if (Event->type() != TickEventType) return QObject::event(Event);
        // The handler may tear the timer down, and this window with it (deferred).
        std::shared_ptr<TMMHiTimerState> state = FState;
        ++FDispatching; // a handler that runs the event loop may come back in here
        SeePosted();
        if (static_cast<TickEvent *>(Event)->FId == state->TimerID.load()) Fire(*state);
        --FDispatching;
        state->Queued.fetch_sub(1);
        return true;
    }

  private:
    std::shared_ptr<TMMHiTimerState> FState;
    int FDispatching = 0;
};

namespace {

void TimeCallback(unsigned uTimerID, unsigned, std::uintptr_t dwUser, std::uintptr_t, std::uintptr_t) {
    auto *state = reinterpret_cast<TMMHiTimerState *>(dwUser);
    switch (state->Mode) {
    case cmWindow: {
        // A tick its handler would ignore does not wake the main thread.
        if (state->Ignored && state->Ignored()) return;
        int queued = state->Queued.load();
        do {
            if (queued >= TMMHiTimer::MaxQueuedTicks) return; // dropped until the main thread catches up
        } while (!state->Queued.compare_exchange_weak(queued, queued + 1));
        std::lock_guard<std::mutex> posting(gPostLock);
        QCoreApplication::postEvent(state->Window, new TickEvent(uTimerID));
        break;
    }
    case cmCallback:
        Fire(*state);
        break;
    case cmThread:
        // A tick riding the frames is on the main thread already: no call to wait for.
        if (state->Rider && state->Synchronize.load() && IsMainThread())
            Fire(*state);
        else
            state->Tick.Set();
        break;
    }
}

unsigned SmallestPeriod() {
    TIMECAPS caps{1, 1};
    timeGetDevCaps(&caps, sizeof caps);
    return caps.wPeriodMin;
}

} // namespace

void TMMTimerThread::Execute() {
    TMMHiTimerState &state = *FState;
    state.WorkerTid.store(static_cast<int>(gettid()));
    state.WorkerId.store(std::this_thread::get_id());
    state.Ready.Set();
    while (!Terminated() && !state.Stop.load() && state.Attached.load()) {
        state.Tick.Wait();
        if (Terminated() || state.Stop.load() || !state.Attached.load()) break;
        if (state.Synchronize.load())
            DeliverSynchronised(FState);
        else
            Fire(state);
    }
    if (state.Attached.exchange(false)) state.Ready.Set();
}

TMMHiTimer::TMMHiTimer() : FSource(&SystemTimerSource()) {}

TMMHiTimer::~TMMHiTimer() {
    Destroying();
    FOnTimer = nullptr;
    FEnabled = false;
    Disarm();
}

void TMMHiTimer::SetCallBackMode(TMMCBMode Value) {
    if (Value == FCallBackMode) return;
    if (Value == cmCallback) { // would run handlers on the timer's thread at any moment
        MMMessageBox(HiTimerCallbackRefusedText, "TMMHiTimer");
        return;
    }
    FCallBackMode = Value;
    UpdateTimer();
}

void TMMHiTimer::SetEnabled(bool Value) {
    if (Value == FEnabled) return;
    FEnabled = Value;
    UpdateTimer();
}

void TMMHiTimer::SetInterval(int Value) {
    if (Value == FInterval || Value < 0) return;
    FInterval = Value;
    UpdateTimer();
}

void TMMHiTimer::SetOnTimer(TNotifyEvent Value) {
    FOnTimer = std::move(Value);
    UpdateTimer();
}

void TMMHiTimer::SetPriority(TThreadPriority Value) {
    FPriority = Value;
    if (FThreadActive && FState && FState->Attached.load()) {
        const int tid = FState->WorkerTid.load();
        if (tid != 0) ApplyThreadPriorityTo(tid, Value);
    }
}

void TMMHiTimer::SetSynchronize(bool Value) {
    FSynchronize = Value;
    if (FState) FState->Synchronize.store(Value);
}

void TMMHiTimer::SetRideFrames(bool Value) {
    if (Value == FRideFrames) return;
    FRideFrames = Value;
    UpdateTimer();
}

void TMMHiTimer::SetTickIgnored(std::function<bool()> Value) {
    Disarm();
    FTickIgnored = std::move(Value);
    Arm();
}

void TMMHiTimer::SetTimerSource(TMMTimerSource *Source) {
    Disarm();
    FSource = Source ? Source : &SystemTimerSource();
    FFrameSource.reset();
    Arm();
}

unsigned TMMHiTimer::TimerID() const {
    return FState ? FState->TimerID.load() : 0;
}

int TMMHiTimer::QueuedTicks() const {
    return FState ? FState->Queued.load() : 0;
}

bool TMMHiTimer::SyncCallWaiting() const {
    if (!FState) return false;
    std::lock_guard<std::mutex> lock(FState->SyncLock);
    return FState->Stage == SyncStage::Pending;
}

void TMMHiTimer::UpdateTimer() {
    Disarm();
    Arm();
}

void TMMHiTimer::Disarm() {
    std::shared_ptr<TMMHiTimerState> state = std::move(FState);
    FState.reset();
    if (!state) return;
    state->Live.store(false);

    if (FThreadActive) {
        const bool runningOnMain = StopWorker(*state);
        state->Tick.Set();
        // Never wait for a worker that waits for us: one inside a synchronised call
        // that this thread is running, or this very worker switching its timer off.
        const bool self = state->WorkerId.load() == std::this_thread::get_id();
        if (FWaitForTerminate && !runningOnMain && !self) state->Ready.Wait(ThreadWaitMs);
        state->Attached.store(false);
        FThreadActive = false;
    }

    if (const unsigned id = state->TimerID.load()) {
        state->Source->KillEvent(id); // no tick of this arming runs after this
        state->TimerID.store(0);
        timeEndPeriod(SmallestPeriod());
    }
    if (TMMHiTimerWindow *window = state->Window) {
        state->Window = nullptr;
        QCoreApplication::removePostedEvents(window, TickEventType);
        state->Queued.store(0);
        if (window->Dispatching() || window->thread() != QThread::currentThread())
            window->deleteLater();
        else
            delete window;
    }
}

void TMMHiTimer::Arm() {
    if (IsDesigning() || FInterval == 0 || !FEnabled || !FOnTimer) return;

    auto state = std::make_shared<TMMHiTimerState>();
    state->Sender = this;
    state->OnTimer = FOnTimer;
    state->Ignored = FTickIgnored;
    state->Mode = FCallBackMode;
    state->Synchronize.store(FSynchronize);
    state->Source = FSource;
    FState = state;

    if (FCallBackMode == cmWindow) {
        state->Window = new TMMHiTimerWindow(state);
        if (QCoreApplication *app = QCoreApplication::instance())
            if (state->Window->thread() != app->thread()) state->Window->moveToThread(app->thread());
    } else if (FCallBackMode == cmThread) {
        auto *thread = new TMMTimerThread(state);
        thread->SetFreeOnTerminate(true);
        thread->SetPriority(FPriority);
        if (FRideFrames) {
            state->Rider = std::make_unique<TMMFrameRider>([weak = std::weak_ptr(state)] {
                if (const std::shared_ptr<TMMHiTimerState> held = weak.lock()) RunSynchronised(held);
            });
            if (!FFrameSource) FFrameSource = std::make_unique<TMMFrameTimerSource>(*FSource);
            state->Source = FFrameSource.get();
        }
        state->Attached.store(true);
        FThreadActive = true;
        try {
            thread->Resume();
        } catch (...) {
            delete thread;
            Disarm();
            throw EMMHiTimerError(CouldNotCreateThread);
        }
        if (!state->Ready.Wait(ThreadWaitMs)) {
            Disarm();
            throw EMMHiTimerError(CouldNotCreateThread);
        }
    }

    const unsigned period = SmallestPeriod();
    timeBeginPeriod(period);
    const unsigned id = state->Source->SetEvent(static_cast<unsigned>(FInterval), 0, TimeCallback,
                                                reinterpret_cast<std::uintptr_t>(state.get()), TIME_PERIODIC);
    if (id == 0) {
        timeEndPeriod(period);
        Disarm();
        throw EOutOfResources(NoTimer);
    }
    state->TimerID.store(id);
}
