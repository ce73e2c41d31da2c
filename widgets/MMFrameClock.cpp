#include "widgets/MMFrameClock.h"

#include "platform/CompositorFrames.h"
#include "platform/X11SharedPictures.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QScopeGuard>
#include <QWindow>
#include <qguiapplication_platform.h>

#include <algorithm>

namespace {

using namespace std::chrono;

constexpr nanoseconds kFrame{1'000'000'000 / TMMFrameClock::kFramesPerSecond};

Q_LOGGING_CATEGORY(lcPresents, "velmora.presents", QtWarningMsg)

constexpr seconds kPresentsLogPeriod{10};

// The application's clock; it goes with the application object.
QPointer<TMMFrameClock> gScreen;

// The object as a widget shown inside its window, else null. isWidgetType() tests a flag where
// qobject_cast walks the meta-objects, and this runs for every sibling on every present.
const QWidget *ShownChild(const QObject *o) {
    if (!o->isWidgetType()) return nullptr;
    const auto *w = static_cast<const QWidget *>(o);
    return !w->isWindow() && w->isVisible() ? w : nullptr;
}

// Whether `part` (widget coordinates) of `widget` lies within every parent, and no other
// widget lies over it: no child of its own, nor a sibling above it or above a parent.
bool Unobscured(const QWidget &widget, QRect part) {
    for (const QObject *child : widget.children())
        if (const QWidget *w = ShownChild(child); w && w->geometry().intersects(part)) return false;
    for (const QWidget *w = &widget; !w->isWindow(); w = w->parentWidget()) {
        const QWidget *parent = w->parentWidget();
        part.translate(w->pos());
        if (!parent->rect().contains(part)) return false;
        const QObjectList &siblings = parent->children();
        // Later children lie above earlier ones.
        for (auto it = std::find(siblings.begin(), siblings.end(), w) + 1; it < siblings.end(); ++it)
            if (const QWidget *s = ShownChild(*it); s && s->geometry().intersects(part)) return false;
    }
    return true;
}

} // namespace

TMMFrameClock::TMMFrameClock(QObject *parent) : QObject(parent), FEpoch(steady_clock::now()) {
    FTimer.setSingleShot(true);
    FTimer.setTimerType(Qt::PreciseTimer);
    connect(&FTimer, &QTimer::timeout, this, [this] {
        // Reached from the events a riding pass processes: the tick under way re-arms.
        if (FInTick) return;
        FLastSlot = std::max(FLastSlot, FTargetSlot);
        Tick();
    });
}

TMMFrameClock::~TMMFrameClock() {
    if (TMMFrameRide::Source() == this) TMMFrameRide::SetSource(nullptr);
}

TMMFrameClock &TMMFrameClock::Screen() {
    if (gScreen.isNull()) {
        gScreen = new TMMFrameClock(QCoreApplication::instance());
        TMMFrameRide::SetSource(gScreen.data());
    }
    return *gScreen;
}

TMMFrameClock *TMMFrameClock::ExistingScreen() {
    return gScreen.data();
}

std::int64_t TMMFrameClock::SlotNow() const {
    return (steady_clock::now() - FEpoch) / kFrame;
}

void TMMFrameClock::Arm() {
    if (FManualTicks || FTimer.isActive() || (FPending.empty() && !FFrameWanted)) return;
    if (TCompositorFrames *compositor = Compositor()) {
        // Stalled or not, the window's next callback brings the tick.
        if (compositor->Asked()) return;
        if (QWindow *window = PacingWindow()) {
            compositor->Ask(window);
            return;
        }
    }
    ArmTimer();
}

void TMMFrameClock::ArmTimer() {
    // The next frame boundary that follows the last tick's frame.
    FTargetSlot = std::max(SlotNow() + 1, FLastSlot + 1);
    const nanoseconds wait = FEpoch + FTargetSlot * kFrame - steady_clock::now();
    const auto ms = std::max<std::int64_t>(0, duration_cast<milliseconds>(wait + microseconds(500)).count());
    FTimer.start(static_cast<int>(ms));
}

TCompositorFrames *TMMFrameClock::Compositor() {
    if (!FCompositorTried) {
        FCompositorTried = true;
        if (qGuiApp != nullptr && TCompositorFrames::Paces())
            FCompositor = std::make_unique<TCompositorFrames>(
                [this] {
                    // Reached from the events a riding pass processes: the tick under way asks again.
                    if (FInTick || FManualTicks) return;
                    // A window that committed nothing is answered at once: one tick a slot still.
                    if (SlotNow() <= FLastSlot) return ArmTimer();
                    Tick();
                },
                [this] {
                    // One more tick, whose pass finds nothing showing and leaves the laws to the
                    // buffers' passes.
                    if (!FInTick && !FManualTicks) Tick();
                });
    }
    return FCompositor.get();
}

QWindow *TMMFrameClock::PacingWindow() const {
    for (const TEntry &e : FPending)
        if (const QWidget *widget = e.Widget.data())
            if (QWindow *window = widget->window()->windowHandle(); window != nullptr && window->isExposed())
                return window;
    const QList<QWindow *> windows = QGuiApplication::topLevelWindows();
    const auto exposed =
        std::find_if(windows.begin(), windows.end(), [](const QWindow *w) { return w->isExposed(); });
    return exposed != windows.end() ? *exposed : nullptr;
}

TMMFrameClock::TEntry &TMMFrameClock::EntryFor(QWidget *widget) {
    auto it =
        std::find_if(FPending.begin(), FPending.end(), [&](const TEntry &e) { return e.Key == widget; });
    if (it == FPending.end()) return FPending.emplace_back(TEntry{widget, widget, QRect(), QRegion()});
    if (it->Widget.isNull())
        *it = TEntry{widget, widget, QRect(), QRegion()}; // a freed widget's address, reused
    return *it;
}

void TMMFrameClock::Schedule(QWidget *widget, const QRegion &region) {
    if (widget == nullptr || region.isEmpty()) return;
    EntryFor(widget).Region += region;
    Arm();
}

void TMMFrameClock::Schedule(QWidget *widget, const QRect &rect) {
    if (widget == nullptr || rect.isEmpty()) return;
    EntryFor(widget).Rect |= rect;
    Arm();
}

void TMMFrameClock::Cancel(QWidget *widget) {
    std::erase_if(FPending, [&](const TEntry &e) { return e.Key == widget; });
    if (FPending.empty() && !FFrameWanted) FTimer.stop();
}

QRegion TMMFrameClock::PendingRegion(const QWidget *widget) const {
    for (const TEntry &e : FPending)
        if (e.Key == widget && !e.Widget.isNull()) return e.Region.united(e.Rect);
    return QRegion();
}

void TMMFrameClock::Tick() {
    FTimer.stop();
    FLastSlot = std::max(FLastSlot, SlotNow());
    FFrameWanted = false;
    // What it draws is presented by this tick; what it asks for goes to the next.
    {
        FInTick = true;
        const auto done = qScopeGuard([this] { FInTick = false; });
        TMMFrameRide::Frame();
    }
    FTimer.stop();
    // Updates may schedule again (a paint that draws): those go to the next frame.
    std::vector<TEntry> due;
    due.swap(FPending);
    std::vector<TDirectPart> direct;
    for (const TEntry &e : due)
        if (QWidget *widget = e.Widget.data()) {
            const QRegion region = e.Region.united(e.Rect);
            if (TMMDirectPresent *present = Direct(*widget, region))
                direct.push_back({widget, present, region});
            else
                widget->update(region);
            if (lcPresents().isDebugEnabled()) CountPresent(*widget, region);
        }
    if (!direct.empty() && !PutDirect(direct))
        for (const TDirectPart &part : direct)
            part.Widget->update(part.Region);
    Arm();
}

TMMDirectPresent *TMMFrameClock::Direct(QWidget &widget, const QRegion &region) {
    auto *present = dynamic_cast<TMMDirectPresent *>(&widget);
    if (present == nullptr) return nullptr;
    if (!FPicturesTried) {
        FPicturesTried = true;
        auto *x11 =
            qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        if (x11 != nullptr && qEnvironmentVariable("VELMORA_SHARED_PICTURES") != QLatin1String("off"))
            FPictures = TX11SharedPictures::Open(x11->connection());
    }
    if (FPictures == nullptr) return nullptr;
    QWidget *top = widget.window();
    const QWindow *window = top->windowHandle();
    const bool direct = window != nullptr && window->isExposed() && widget.isVisible() &&
                        widget.updatesEnabled() && top->devicePixelRatioF() == 1.0 &&
                        widget.nativeParentWidget() == top && widget.graphicsEffect() == nullptr &&
                        present->Presentable(region.boundingRect()) &&
                        Unobscured(widget, region.boundingRect());
    return direct ? present : nullptr;
}

bool TMMFrameClock::PutDirect(const std::vector<TDirectPart> &parts) {
    std::vector<TX11SharedPictures::TPicture> pictures;
    std::vector<std::pair<TMMDirectPresent *, QRect>> sources;
    for (const TDirectPart &part : parts) {
        QWidget *top = part.Widget->window();
        const auto window = static_cast<std::uint32_t>(top->winId());
        for (const QRect &rect : part.Region) {
            const QPoint at = part.Widget->mapTo(top, rect.topLeft());
            pictures.push_back({window, at.x(), at.y(), rect.width(), rect.height()});
            sources.emplace_back(part.Present, rect);
        }
    }
    const bool put = FPictures->Put(pictures, [&](std::size_t i, std::uint8_t *bits, int stride) {
        sources[i].first->CopyPicture(sources[i].second, bits, stride);
    });
    if (!put) return false;
    // Widgets already put since their window's last expose have it watched.
    for (const TDirectPart &part : parts) {
        if (std::find(FDirectlyPut.begin(), FDirectlyPut.end(), part.Widget) != FDirectlyPut.end()) continue;
        FDirectlyPut.emplace_back(part.Widget);
        QWindow *window = part.Widget->window()->windowHandle();
        std::erase_if(FWatched, [](const QPointer<QWindow> &w) { return w.isNull(); });
        if (std::find(FWatched.begin(), FWatched.end(), window) == FWatched.end()) {
            FWatched.emplace_back(window);
            window->installEventFilter(this);
        }
    }
    for (const TDirectPart &part : parts)
        emit PutOnWindow(part.Widget);
    return true;
}

// An expose puts the backing store's picture on the window: what went there directly is
// painted into it first.
bool TMMFrameClock::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::Expose) {
        std::erase_if(FDirectlyPut, [&](const QPointer<QWidget> &w) {
            if (w.isNull()) return true;
            if (w->window()->windowHandle() != watched) return false;
            w->update();
            return true;
        });
    }
    return QObject::eventFilter(watched, event);
}

void TMMFrameClock::CountPresent(const QWidget &widget, const QRegion &region) {
    const auto now = steady_clock::now();
    if (FPresents.empty()) FPresentsSince = now;
    const QString name = widget.objectName();
    TPresents &presents =
        FPresents[name.isEmpty() ? QString::fromLatin1(widget.metaObject()->className()) : name];
    ++presents.Count;
    for (const QRect &r : region)
        presents.Pixels += std::int64_t(r.width()) * r.height();
    const double span = duration<double>(now - FPresentsSince).count();
    if (span < duration<double>(kPresentsLogPeriod).count()) return;
    QString rates, areas;
    for (const auto &[key, p] : FPresents) {
        rates += QStringLiteral(" %1 %2").arg(key).arg(p.Count / span, 0, 'f', 1);
        areas += QStringLiteral(" %1 %2").arg(key).arg(double(p.Pixels) / 1000 / span, 0, 'f', 0);
    }
    qCDebug(lcPresents, "presents/s%s", qPrintable(rates));
    qCDebug(lcPresents, "present kpx/s%s", qPrintable(areas));
    FPresents.clear();
}

bool TMMFrameClock::Showing() const {
    // A clock driven by hand promises no tick.
    if (FManualTicks) return false;
    if (FCompositor != nullptr && FCompositor->Stalled()) return false;
    const QList<QWindow *> windows = QGuiApplication::topLevelWindows();
    return std::any_of(windows.begin(), windows.end(), [](const QWindow *w) { return w->isExposed(); });
}

void TMMFrameClock::RequestFrame() {
    FFrameWanted = true;
    Arm();
}

void TMMFrameClock::SetManualTicks(bool value) {
    if (value == FManualTicks) return;
    FManualTicks = value;
    if (value)
        FTimer.stop();
    else
        Arm();
}
