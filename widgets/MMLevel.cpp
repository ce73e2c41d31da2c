#include "widgets/MMLevel.h"

#include <QEvent>
#include <QPainter>

#include <algorithm>
#include <mutex>

namespace {

// Which spots a picture lights, and in which zone colour.
class TSpots {
  public:
    TSpots(const TMMSpotGeometry &geometry, const TMMLevelPicture &picture) : FGeometry(geometry) {
        if (!picture.Lit) return;
        FActive = ActiveSpots(geometry, picture.Bar);
        FPeak = PeakSpots(picture.NumPeaks, picture.Bar, picture.Peak);
    }
    // 0 for an unlit spot, else the zone whose colour it is lit in.
    int Of(int k) const {
        // The marker is drawn over the bar.
        if (In(FPeak, k)) return FGeometry.ZoneOf(k);
        if (!In(FActive, k)) return 0;
        return FActive.Zone != 0 ? FActive.Zone : FGeometry.ZoneOf(k);
    }
    // Widens lo..hi to the spots it may light.
    void Widen(int &lo, int &hi) const {
        for (const TMMSpotRun &run : {FActive, FPeak}) {
            if (run.IsEmpty()) continue;
            lo = std::min(lo, run.First);
            hi = std::max(hi, run.Last);
        }
    }

  private:
    static bool In(const TMMSpotRun &run, int k) { return !run.IsEmpty() && k >= run.First && k <= run.Last; }

    const TMMSpotGeometry &FGeometry;
    TMMSpotRun FActive;
    TMMSpotRun FPeak;
};

// Calls f(k, look) for every spot whose look differs between the two pictures.
template <typename F>
void ForEachChange(const TMMSpotGeometry &geometry, const TMMLevelPicture &from, const TMMLevelPicture &to,
                   F f) {
    const TSpots before(geometry, from), after(geometry, to);
    int lo = 1, hi = 0;
    before.Widen(lo, hi);
    after.Widen(lo, hi);
    for (int k = lo; k <= hi; ++k)
        if (const int look = after.Of(k); look != before.Of(k)) f(k, look);
}

TRect Union(const TRect &a, const TRect &b) {
    if (a.IsEmpty()) return b;
    if (b.IsEmpty()) return a;
    return Rect(std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
                std::max(a.Bottom, b.Bottom));
}

} // namespace

TMMCustomLevel::TMMCustomLevel(QWidget *parent, TMMPeakTickService *peakTicks)
    : TMMBlockMeter(parent, peakTicks), FBackground(this) {
    SetColor(clBlack);
    // The bar draws no text; the font is only its own, not the parent's.
    QFont small(QStringLiteral("Liberation Sans"));
    small.setPointSize(7);
    SetFont(small);
    resize(200, 17);
    Rebuild();
}

TMMCustomLevel::~TMMCustomLevel() {
    Unhook();
}

// --- Properties.

void TMMCustomLevel::SetKind(TMMLevelKind value) {
    if (!FState.SetKind(value)) return;
    const auto [w, h] = SizeForKind(value, width(), height());
    if (w != width() || h != height()) SetBounds(x(), y(), w, h);
    Rebuild();
}

void TMMCustomLevel::SetDirection(TMMLevelDirection value) {
    if (FState.SetDirection(value)) Rebuild();
}

void TMMCustomLevel::SetSpotWidth(int value) {
    SyncInnerSize();
    if (FState.SetSpotWidth(value)) Rebuild();
}

void TMMCustomLevel::SetSpotSpace(int value) {
    if (FState.SetSpotSpace(value)) Rebuild();
}

void TMMCustomLevel::SetScaleLaw(const TMMStandardScale &value) {
    if (FState.SetScaleLaw(value)) Repaint();
}

void TMMCustomLevel::SetPoint1(int value) {
    if (FState.SetPoint1(value)) Rebuild();
}

void TMMCustomLevel::SetPoint2(int value) {
    if (FState.SetPoint2(value)) Rebuild();
}

void TMMCustomLevel::SetLook(int index, TColor value) {
    if (FLook[index] == value) return;
    FLook[index] = value;
    Rebuild();
}

void TMMCustomLevel::SetInactiveDoted(bool value) {
    if (value == FInactiveDoted) return;
    FInactiveDoted = value;
    Rebuild();
}

void TMMCustomLevel::SetActiveDoted(bool value) {
    if (value == FActiveDoted) return;
    FActiveDoted = value;
    Rebuild();
}

void TMMCustomLevel::SetBitLength(TMMBits value) {
    if (!FState.SetBitLength(value)) return;
    UpdateBlockBytes();
    Repaint();
}

void TMMCustomLevel::SetChannel(TMMChannel value) {
    if (!FState.SetChannel(value)) return;
    UpdateBlockBytes();
    Repaint();
}

void TMMCustomLevel::SetMode(TMMMode value) {
    if (!FState.SetMode(value)) return;
    UpdateBlockBytes();
    Repaint();
}

void TMMCustomLevel::SetSamples(int value) {
    if (FState.SetSamples(value)) UpdateBlockBytes();
}

void TMMCustomLevel::SetNumPeaks(int value) {
    if (!FState.SetNumPeaks(value)) return;
    UpdateTickClient();
    Repaint();
}

void TMMCustomLevel::SetOnDrawBar(TMMLevelDrawBar handler) {
    const bool cleared = FOnDrawBar && !handler;
    FOnDrawBar = std::move(handler);
    // The background was left alone while the handler drew.
    if (cleared)
        Rebuild();
    else
        Repaint();
}

void TMMCustomLevel::UpdateTickClient() {
    FPeakTick.SetSuspended(!isEnabled() || FState.NumPeaks() == 0);
}

// --- Connector display.

void TMMCustomLevel::SetWaveFormat(const TWaveFormatEx *format) {
    if (!FState.SetWaveFormat(format)) throw EMMLevelError("Invalid WaveFormat");
    UpdateBlockBytes();
    Repaint();
}

void TMMCustomLevel::SetValue(int value) {
    SyncInnerSize();
    Apply(FState.SetValue(value));
}

// --- Geometry and the background.

void TMMCustomLevel::SyncInnerSize() {
    const TRect inner = InnerRect();
    const TMMSpotGeometry &g = FState.Geometry();
    if (std::max(inner.Width(), 1) != g.Width || std::max(inner.Height(), 1) != g.Height ||
        DIBCanvas().Width() != g.Width || DIBCanvas().Height() != g.Height)
        Rebuild();
}

void TMMCustomLevel::Rebuild() {
    const TRect inner = InnerRect();
    FState.SetInnerSize(inner.Width(), inner.Height());
    const TMMSpotGeometry &g = FState.Geometry();
    DIBCanvas().Resize(g.Width, g.Height);
    FBackground.Resize(g.Width, g.Height);
    RebuildBackground();
    Repaint();
}

void TMMCustomLevel::RebuildBackground() {
    if (IsLoading() || FOnDrawBar) return;
    FBackground.SetBitsPerPixel(BitsPerPixel());
    const TMMSpotGeometry &g = FState.Geometry();
    const TMMDrawing drawing(FBackground);
    FBackground.SetColor(Color());
    FBackground.Clear();
    for (int k = 1; k <= g.BarSpots; ++k) {
        FBackground.SetColor(FLook[3 + g.ZoneOf(k) - 1]);
        FBackground.FillRect(g.SpotRect(k), FInactiveDoted);
    }
}

void TMMCustomLevel::Loaded() {
    TMMBlockMeter::Loaded();
    Rebuild();
}

void TMMCustomLevel::changeEvent(QEvent *event) {
    TMMBlockMeter::changeEvent(event);
    if (event->type() != QEvent::EnabledChange) return;
    if (isEnabled()) {
        FState.Relayout();
        UpdateTickClient();
        Repaint();
    } else {
        ResetData();
        UpdateTickClient();
        Repaint();
    }
}

void TMMCustomLevel::resizeEvent(QResizeEvent *event) {
    TMMBlockMeter::resizeEvent(event);
    SyncInnerSize();
}

void TMMCustomLevel::BevelChanged() {
    TMMBlockMeter::BevelChanged();
    SyncInnerSize();
}

void TMMCustomLevel::ColorChanged() {
    TMMBlockMeter::ColorChanged();
    Rebuild();
}

void TMMCustomLevel::BitsPerPixelChanged() {
    FBackground.SetBitsPerPixel(BitsPerPixel());
    Rebuild();
}

// --- Drawing.

TMMLevelPicture TMMCustomLevel::Wanted() const {
    return {FState.BarPosition(), FState.PeakPosition(), FState.NumPeaks(), isEnabled()};
}

void TMMCustomLevel::Redraw() {
    SyncInnerSize();
    if (FOnPaint) FOnPaint(this);
    const TMMLevelPicture wanted = Wanted();
    bool drawn;
    if (FOnDrawBar) {
        drawn = DrawAtOnce([&](TMMDIBCanvas &work) { DrawByHandler(work, wanted); });
    } else if (!FWorkValid) {
        drawn = DrawAtOnce([&](TMMDIBCanvas &work) { DrawWhole(work, wanted); });
    } else {
        const TRect changed = ChangedBounds(wanted);
        if (changed.IsEmpty()) return;
        drawn = DrawAtOnce([&](TMMDIBCanvas &work) { DrawChanges(work, wanted); }, changed);
    }
    FWorkValid = drawn;
    if (drawn) FDrawn = wanted;
}

void TMMCustomLevel::Paint(QPainter &canvas) {
    SyncInnerSize();
    if (!FWorkValid) {
        // What a block would have drawn while the control was off the screen.
        if (FOnPaint) FOnPaint(this);
        const TMMLevelPicture wanted = Wanted();
        std::lock_guard<TMMDIBCanvas> lock(DIBCanvas());
        if (FOnDrawBar)
            DrawByHandler(DIBCanvas(), wanted);
        else
            DrawWhole(DIBCanvas(), wanted);
        FDrawn = wanted;
        FWorkValid = true;
    }
    TMMBlockMeter::Paint(canvas);
}

void TMMCustomLevel::DrawByHandler(TMMDIBCanvas &work, const TMMLevelPicture &picture) {
    const TMMDrawing drawing(work);
    FOnDrawBar(this, work, Rect(0, 0, work.Width(), work.Height()), picture.Bar, picture.Peak);
}

void TMMCustomLevel::DrawWhole(TMMDIBCanvas &work, const TMMLevelPicture &picture) {
    const TMMDrawing drawing(work);
    work.CopyFrom(FBackground);
    // From the unlit bar: every lit spot is a change.
    TMMLevelPicture unlit = picture;
    unlit.Lit = false;
    ForEachChange(FState.Geometry(), unlit, picture, [&](int k, int look) { FillSpot(work, k, look); });
}

TRect TMMCustomLevel::ChangedBounds(const TMMLevelPicture &picture) const {
    const TMMSpotGeometry &g = FState.Geometry();
    TRect bounds;
    if (picture == FDrawn) return bounds;
    ForEachChange(g, FDrawn, picture,
                  [&](int k, int) { bounds = Union(bounds, g.SpotRect(k).Intersected(g.Bounds())); });
    return bounds;
}

void TMMCustomLevel::DrawChanges(TMMDIBCanvas &work, const TMMLevelPicture &picture) {
    const TMMSpotGeometry &g = FState.Geometry();
    const TMMDrawing drawing(work);
    ForEachChange(g, FDrawn, picture, [&](int k, int look) {
        if (look != 0) {
            FillSpot(work, k, look);
            return;
        }
        // Unlit again: the pre-rendered spot (and the margin) from the background.
        const TRect r = g.SpotRect(k);
        work.CopyRect(FBackground, r, r.Left, r.Top);
    });
}

void TMMCustomLevel::FillSpot(TMMDIBCanvas &work, int k, int look) {
    work.SetColor(FLook[look - 1]);
    work.FillRect(FState.Geometry().SpotRect(k), FActiveDoted);
}
