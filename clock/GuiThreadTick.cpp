#include "clock/GuiThreadTick.h"

#include "platform/MMError.h"

#include <QThread>

#include <atomic>

struct TGuiThreadTick::TState {
    QObject *Context;
    std::function<void()> Handler;
    std::atomic<bool> Busy{false}; // set by the tick that is handed over, cleared when it has run

    // GUI thread.
    void Run() {
        try {
            Handler();
        } catch (...) {
            HandleApplicationException(std::current_exception());
        }
        Busy.store(false);
    }
};

TGuiThreadTick::TGuiThreadTick(QObject *context, std::function<void()> handler)
    : FState(std::make_shared<TState>()) {
    FState->Context = context;
    FState->Handler = std::move(handler);
}

TNotifyEvent TGuiThreadTick::Event() const {
    return [state = FState](TObject *) {
        if (state->Busy.exchange(true)) return;
        if (QThread::currentThread() == state->Context->thread()) {
            state->Run();
            return;
        }
        // Dropped by the toolkit if the context is destroyed before it gets there.
        QMetaObject::invokeMethod(
            state->Context, [state] { state->Run(); }, Qt::QueuedConnection);
    };
}

bool TGuiThreadTick::Busy() const {
    return FState->Busy.load();
}
