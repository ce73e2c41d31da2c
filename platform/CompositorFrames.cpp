#include "platform/CompositorFrames.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>

TCompositorFrames::TCompositorFrames(std::function<void()> onFrame, std::function<void()> onStall,
                                     std::chrono::milliseconds stall)
    : FOnFrame(std::move(onFrame)), FOnStall(std::move(onStall)) {
    FStall.setSingleShot(true);
    FStall.setInterval(stall);
    connect(&FStall, &QTimer::timeout, this, [this] {
        FStalled = true;
        FOnStall();
    });
    // Before any filter of the window's own, which may take the event for itself.
    QCoreApplication::instance()->installEventFilter(this);
}

bool TCompositorFrames::Paces() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland")) &&
           qEnvironmentVariable("VELMORA_FRAME_CALLBACKS") != QLatin1String("off");
}

void TCompositorFrames::Ask(QWindow *window) {
    if (window == nullptr || Asked()) return;
    FWindow = window;
    FAsked = true;
    // Stalled, the window is asked again but only its callback says it shows again.
    if (!FStalled) FStall.start();
    window->requestUpdate();
}

bool TCompositorFrames::eventFilter(QObject *watched, QEvent *event) {
    // The window's own handling (its widgets' backing store) follows, in the same wake.
    if (event->type() == QEvent::UpdateRequest && watched == FWindow && FAsked) {
        FAsked = false;
        FStalled = false;
        FStall.stop();
        FOnFrame();
    }
    return QObject::eventFilter(watched, event);
}
