#include "widgets/MMMeter.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <mutex>
#include <numbers>

namespace {

// Rows per band of a needle change: smaller bands hold less face, but each
// costs a copy and a request of its own on the way to the screen.
constexpr int kNeedleBandRows = 16;

// The sans face standing in for the small bitmap fonts, at a size in points.
QFont SmallFont(int points) {
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(std::max(1, (points * 96 + 36) / 72));
    return f;
}

// Degrees counterclockwise from three o'clock of a VU angle (radians from the left end).
double ArcDegrees(double theta, double swing) {
    return 90.0 - (theta - swing / 2.0) * 180.0 / std::numbers::pi;
}

} // namespace

TMMCustomMeter::TMMCustomMeter(QWidget *parent, TMMPeakTickService *peakTicks)
    : TMMBlockMeter(parent, peakTicks), FFace(this) {
    SetColor(clBlack);
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(11);
    font.setBold(true);
    SetFont(font);
    SetFontColor(clSilver);
    resize(170, 90);
}

TMMCustomMeter::~TMMCustomMeter() {
    Unhook();
}

// --- Properties.

void TMMCustomMeter::SetMeterMode(TMeterMode value) {
    if (!FState.SetMeterMode(value)) return;
    const bool vu = value == mmVU;
    FCaption = vu ? QStringLiteral("VU") : QStringLiteral("db");
    FLook[0] = vu ? clNavy : clGreen;
    FLook[2] = clRed;
    FTopSpace = vu ? 20 : 14;
    if (!vu) FShowRefLevel = false;
    UpdateBlockBytes();
    UpdateTickClient();
    Repaint();
}

void TMMCustomMeter::SetRefLevel(double value) {
    if (FState.SetRefLevel(value)) Repaint();
}

void TMMCustomMeter::SetShowRefLevel(bool value) {
    if (value == FShowRefLevel) return;
    FShowRefLevel = value;
    Repaint();
}

void TMMCustomMeter::SetSensitivy(int value) {
    if (FState.SetSensitivy(value)) Repaint();
}

void TMMCustomMeter::ChangeInput(const TMMLevelInput &input) {
    if (!FState.SetInput(input)) return;
    UpdateBlockBytes();
}

void TMMCustomMeter::SetShowPeak(bool value) {
    if (!FState.SetShowPeak(value)) return;
    UpdateTickClient();
    Repaint();
}

void TMMCustomMeter::SetLook(int index, TColor value) {
    if (FLook[index] == value) return;
    FLook[index] = value;
    Repaint();
}

void TMMCustomMeter::SetSize(int &field, int value, int lo, int hi) {
    value = MinMax(value, lo, hi);
    if (field == value) return;
    field = value;
    Repaint();
}

void TMMCustomMeter::SetScaleAngle(int value) {
    if (FState.SetScaleAngle(value)) Repaint();
}

void TMMCustomMeter::SetScaleOrigin(TMMScaleOrigin value) {
    if (value == FScale.Origin) return;
    FScale.Origin = value;
    Repaint();
}

void TMMCustomMeter::SetDrawScale(bool value) {
    if (value == FDrawScale) return;
    FDrawScale = value;
    Repaint();
}

void TMMCustomMeter::SetCaption(const QString &value) {
    if (value == FCaption) return;
    FCaption = value;
    Repaint();
}

void TMMCustomMeter::UpdateTickClient() {
    FPeakTick.SetSuspended(!isEnabled() || !FState.ShowPeak());
}

void TMMCustomMeter::Repaint() {
    FFaceValid = false;
    TMMBlockMeter::Repaint();
}

// --- Connector display.

void TMMCustomMeter::SetWaveFormat(const TWaveFormatEx *format) {
    if (!FState.SetWaveFormat(format)) throw EMMMeterError("Invalid WaveFormat");
    UpdateBlockBytes();
}

void TMMCustomMeter::SetValue(int value) {
    Apply(FState.SetValue(value));
}

// --- Size and state changes.

TMMNeedleGeometry TMMCustomMeter::Geometry() const {
    const TRect inner = InnerRect();
    return {inner.Width(), inner.Height(), FNeedleOffset, FTopSpace, FState.ScaleAngle()};
}

void TMMCustomMeter::SyncSize() {
    // Qt delivers the resize of a hidden widget only when it is shown.
    const TRect inner = InnerRect();
    const int w = std::max(inner.Width(), 1);
    const int h = std::max(inner.Height(), 1);
    if (w == FFace.Width() && h == FFace.Height() && w == DIBCanvas().Width() && h == DIBCanvas().Height() &&
        FFace.BitsPerPixel() == BitsPerPixel())
        return;
    FFace.Resize(w, h);
    FFace.SetBitsPerPixel(BitsPerPixel());
    DIBCanvas().Resize(w, h);
    FFaceValid = false;
    FWorkValid = false;
}

void TMMCustomMeter::changeEvent(QEvent *event) {
    TMMBlockMeter::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        FState.ResetData();
        UpdateTickClient();
        Repaint();
    } else if (event->type() == QEvent::FontChange) {
        Repaint();
    }
}

void TMMCustomMeter::resizeEvent(QResizeEvent *event) {
    TMMBlockMeter::resizeEvent(event);
    SyncSize();
    ResetData();
}

void TMMCustomMeter::BevelChanged() {
    TMMBlockMeter::BevelChanged();
    SyncSize();
    ResetData();
}

void TMMCustomMeter::ColorChanged() {
    TMMBlockMeter::ColorChanged();
    Repaint();
}

void TMMCustomMeter::BackGroundChanged() {
    Repaint();
}

void TMMCustomMeter::BitsPerPixelChanged() {
    SyncSize();
    Repaint();
}

// --- Drawing.

TMMCustomMeter::TNeedles TMMCustomMeter::Wanted() const {
    TNeedles n;
    n.VU = FState.MeterMode() == mmVU;
    if (n.VU) {
        n.Angle = FState.NeedleAngle();
    } else {
        n.Needle = FState.NeedlePosition();
        n.Peak = FState.PeakPosition();
        n.ShowPeak = FState.ShowPeak();
    }
    return n;
}

TMMCustomMeter::TLine TMMCustomMeter::MainNeedle(const TNeedles &needles, const TMMNeedleGeometry &g) const {
    const QPoint tip =
        needles.VU ? g.VUPoint(needles.Angle, g.Radius()) : g.PeakPoint(needles.Needle, g.Radius());
    return {g.Pivot(), tip};
}

TMMCustomMeter::TLine TMMCustomMeter::PeakNeedle(const TNeedles &needles, const TMMNeedleGeometry &g) const {
    return {g.Pivot(), g.PeakPoint(needles.Peak, g.Radius())};
}

void TMMCustomMeter::Redraw() {
    SyncSize();
    const TNeedles wanted = Wanted();
    bool drawn;
    if (!FWorkValid) {
        drawn = DrawAtOnce([&](TMMDIBCanvas &work) { RenderWhole(work, wanted); });
    } else {
        const TMMNeedleBands changed = ChangedBands(FDrawn, wanted);
        const std::vector<TRect> bands = changed.Rects();
        if (bands.empty()) return;
        drawn = DrawAtOnce(
            [&](TMMDIBCanvas &work) {
                const TMMDrawing drawing(work);
                work.SetClipRect(changed.Bounds());
                for (const TRect &band : bands)
                    work.CopyRect(FFace, band, band.Left, band.Top);
                DrawNeedles(work, wanted);
            },
            bands);
    }
    FWorkValid = drawn;
    if (drawn) FDrawn = wanted;
}

// A needle moves a few pixels a block; its bands keep the present to those.
TMMNeedleBands TMMCustomMeter::ChangedBands(const TNeedles &from, const TNeedles &to) const {
    const TMMNeedleGeometry g = Geometry();
    TMMNeedleBands changed(Rect(0, 0, FFace.Width(), FFace.Height()), kNeedleBandRows);
    const auto add = [&](const TLine &line) { changed.AddNeedle(line.From, line.To, FNeedleWidth); };
    const TLine oldMain = MainNeedle(from, g), newMain = MainNeedle(to, g);
    if (from.VU != to.VU || oldMain.To != newMain.To) {
        add(oldMain);
        add(newMain);
    }
    const bool oldPeak = !from.VU && from.ShowPeak, newPeak = !to.VU && to.ShowPeak;
    if (oldPeak != newPeak || (newPeak && from.Peak != to.Peak)) {
        if (oldPeak) add(PeakNeedle(from, g));
        if (newPeak) add(PeakNeedle(to, g));
    }
    return changed;
}

void TMMCustomMeter::DrawLine(TMMDIBCanvas &work, const TLine &line, TColor color) {
    work.SetColor(color);
    // A square pen: the one-pixel line at every offset of the pen.
    const TMMPenSpan pen = PenSpan(FNeedleWidth);
    for (int dx = pen.First; dx <= pen.Last; ++dx)
        for (int dy = pen.First; dy <= pen.Last; ++dy) {
            work.MoveTo(line.From.x() + dx, line.From.y() + dy);
            work.LineTo(line.To.x() + dx, line.To.y() + dy);
        }
}

void TMMCustomMeter::DrawNeedles(TMMDIBCanvas &work, const TNeedles &needles) {
    const TMMNeedleGeometry g = Geometry();
    if (!needles.VU && needles.ShowPeak) DrawLine(work, PeakNeedle(needles, g), PeakColor());
    DrawLine(work, MainNeedle(needles, g), NeedleColor());
}

void TMMCustomMeter::RenderWhole(TMMDIBCanvas &work, const TNeedles &needles) {
    if (!FFaceValid) BuildFace();
    const TMMDrawing drawing(work);
    work.CopyFrom(FFace);
    DrawNeedles(work, needles);
}

void TMMCustomMeter::Paint(QPainter &canvas) {
    SyncSize();
    if (!FWorkValid) {
        const TNeedles wanted = Wanted();
        std::lock_guard<TMMDIBCanvas> lock(DIBCanvas());
        RenderWhole(DIBCanvas(), wanted);
        FDrawn = wanted;
        FWorkValid = true;
    }
    TMMBlockMeter::Paint(canvas);
    if (FOnPostPaint) FOnPostPaint(this);
}

void TMMCustomMeter::BuildFace() {
    const TMMNeedleGeometry g = Geometry();
    FFace.SetBackGroundBitmap(BackGroundDIB());
    {
        const TMMDrawing drawing(FFace);
        FFace.DrawBackGround(Color());
    }
    if (FDrawScale) DrawScaleMarks(g);
    FFace.Paint([&](QPainter &p) { DrawTexts(p, g); });
    FFaceValid = true;
}

std::vector<TMMFaceMark> TMMCustomMeter::FaceMarks(const TMMNeedleGeometry &g) const {
    TMMFaceScale scale = FScale;
    scale.LogAmp = FState.LogAmp();
    scale.Sensitivy = FState.Sensitivy();
    return FState.MeterMode() == mmVU ? VUFaceMarks(g, scale) : PeakFaceMarks(g, scale);
}

void TMMCustomMeter::DrawScaleMarks(const TMMNeedleGeometry &g) {
    const bool vu = FState.MeterMode() == mmVU;
    if (vu) {
        FFace.Paint([&](QPainter &p) {
            const QPoint c = g.Pivot();
            for (const TMMFaceArc &arc : VUFaceArcs(g, FScale)) {
                p.setPen(QPen(ToQColor(FLook[arc.Zone - 1]), 1));
                const double from = ArcDegrees(arc.From, g.Swing());
                const double to = ArcDegrees(arc.To, g.Swing());
                p.drawArc(QRect(c.x() - arc.Radius, c.y() - arc.Radius, 2 * arc.Radius, 2 * arc.Radius),
                          qRound(from * 16), qRound((to - from) * 16));
            }
        });
    }
    const TMMDrawing drawing(FFace);
    for (const TMMFaceMark &mark : FaceMarks(g)) {
        FFace.SetColor(FLook[mark.Zone - 1]);
        FFace.MoveTo(mark.From.x(), mark.From.y());
        FFace.LineTo(mark.To.x(), mark.To.y());
    }
}

void TMMCustomMeter::DrawTexts(QPainter &p, const TMMNeedleGeometry &g) {
    const bool vu = FState.MeterMode() == mmVU;
    const QColor ink = ToQColor(FontColor());
    p.setPen(ink);
    if (FDrawScale) {
        // The digits centred over the tick, a sign before them.
        const QFont font = SmallFont(vu ? 7 : 6);
        const QFontMetrics fm(font);
        p.setFont(font);
        for (const TMMFaceMark &mark : FaceMarks(g)) {
            if (mark.Label.empty()) continue;
            const QString text = QString::fromStdString(mark.Label);
            QString digits = text;
            digits.remove(QLatin1Char('-'));
            const QPoint at = LabelTopLeft(mark.Anchor, fm.horizontalAdvance(digits),
                                           fm.horizontalAdvance(text), fm.height(), vu ? 2 : 1);
            p.drawText(at.x(), at.y() + fm.ascent(), text);
        }
    }
    if (!FCaption.isEmpty()) {
        p.setFont(Font());
        const TRect box = CaptionBox(g.Width, g.Height, QFontMetrics(Font()).height());
        p.drawText(box.ToQRect(), Qt::AlignCenter | Qt::TextSingleLine | Qt::TextExpandTabs, FCaption);
    }
    if (FShowRefLevel && vu) {
        QFont font = Font();
        font.setPixelSize(SmallFont(8).pixelSize());
        font.setBold(false);
        font.setItalic(false);
        font.setUnderline(false);
        font.setStrikeOut(false);
        p.setFont(font);
        const TRect box = RefLevelBox(g.Width, g.Height, QFontMetrics(font).height());
        p.drawText(box.ToQRect(), Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
                   QString::fromStdString(RefLevelText(FState.RefLevel())));
    }
}
