#include "widgets/MMLevelScale.h"

#include "widgets/MMStore.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

TMMLevelScale::TMMLevelScale(QWidget *parent) : TMMGraphicControl(parent) {
    Bevel().SetBevelOuter(bvNone);
    SetColor(clBlack);
    QFont small(QStringLiteral("Liberation Sans"));
    small.setPointSize(6);
    SetFont(small);
    FScale.SetVisible(false);
    FScale.SetOnChange([this](TObject *) { update(); });
    resize(200, 7);
}

void TMMLevelScale::SetScalePos(TMMScalePos value) {
    if (Store(FScalePos, value)) update();
}

void TMMLevelScale::SetScaleTicks(int value) {
    if (Store(FScaleTicks, std::max(value, 2))) update();
}

void TMMLevelScale::SetPoint1(int value) {
    if (Store(FPoint1, std::clamp(value, 1, 100))) update();
}

void TMMLevelScale::SetPoint2(int value) {
    if (Store(FPoint2, std::clamp(value, 1, 100))) update();
}

void TMMLevelScale::SetScaleColor(int index, TColor value) {
    if (Store(FScaleColors[index], value)) update();
}

void TMMLevelScale::SetSensitivy(int value) {
    if (Store(FSensitivy, std::clamp(value, -90, -9))) update();
}

void TMMLevelScale::SetLogAmp(bool value) {
    if (Store(FLogAmp, value)) update();
}

void TMMLevelScale::SetKind(TMMLevelKind value) {
    if (value == FKind) return;
    FKind = value;
    const auto [w, h] = SizeForKind(value, width(), height());
    if (w != width() || h != height()) SetBounds(x(), y(), w, h);
    update();
}

void TMMLevelScale::SetDirection(TMMLevelDirection value) {
    if (Store(FDirection, value)) update();
}

void TMMLevelScale::SetStandardScale(const TMMStandardScale &scale, const TMMSpotGeometry &bar,
                                     int barOffset) {
    FStandard = scale;
    FBar = bar;
    FBarOffset = barOffset;
    update();
}

TMMLevelScaleLayout TMMLevelScale::Layout() const {
    TMMLevelScaleSettings s;
    s.Scale = FScale.Settings();
    s.ScalePos = FScalePos;
    s.ScaleTicks = FScaleTicks;
    s.Point1 = FPoint1;
    s.Point2 = FPoint2;
    s.Scale1Color = FScaleColors[0];
    s.Scale2Color = FScaleColors[1];
    s.Scale3Color = FScaleColors[2];
    s.Sensitivy = FSensitivy;
    s.LogAmp = FLogAmp;
    s.Kind = FKind;
    s.Direction = FDirection;
    s.Color = Color();
    s.Width = width();
    s.Height = height();
    const QFontMetrics fm(font());
    const TMMScaleMetrics metrics{
        fm.height(), [fm](std::string_view text) {
            return fm.horizontalAdvance(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        }};
    TMMLevelScaleLayout out = FStandard.Family != sfDbfs
                                  ? StandardScaleLayout(FStandard, s, metrics, FBar, FBarOffset)
                                  : LevelScaleLayout(s, metrics);
    if (FLevelLine) AddLevelLine(out, FStandard, *FLevelLine, metrics, FBar, FBarOffset, FLevelLineColor);
    return out;
}

void TMMLevelScale::SetLevelLine(std::optional<double> dbfs, TColor color) {
    if (FLevelLine == dbfs && FLevelLineColor == color) return;
    FLevelLine = dbfs;
    FLevelLineColor = color;
    update();
}

void TMMLevelScale::Paint(QPainter &canvas) {
    const TMMLevelScaleLayout layout = Layout();
    canvas.fillRect(layout.Client.ToQRect(), ToQColor(layout.Background));
    MMPaintScaleLines(canvas, layout.Lines);
    canvas.setFont(font());
    const int ascent = QFontMetrics(font()).ascent();
    for (const TMMScaleLabel &label : layout.Labels) {
        canvas.setPen(ToQColor(label.Color));
        canvas.drawText(QPoint(label.Left, label.Top + ascent), QString::fromStdString(label.Text));
    }
}
