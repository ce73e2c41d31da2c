#include "widgets/MMScale.h"

#include "widgets/MMStore.h"

#include <QPainter>

#include <algorithm>

void MMPaintScaleLines(QPainter &painter, const std::vector<TMMScaleLine> &lines) {
    for (const TMMScaleLine &l : lines) {
        const QColor color = ToQColor(l.Color);
        if (l.Y1 == l.Y2) {
            // The run from X1 toward X2, X2 itself left out.
            const int from = l.X2 > l.X1 ? l.X1 : l.X2 + 1;
            painter.fillRect(QRect(from, l.Y1, std::abs(l.X2 - l.X1), 1), color);
        } else if (l.X1 == l.X2) {
            const int from = l.Y2 > l.Y1 ? l.Y1 : l.Y2 + 1;
            painter.fillRect(QRect(l.X1, from, 1, std::abs(l.Y2 - l.Y1)), color);
        } else {
            // Not produced by the scales; drawn the pen's way, short of the end point.
            painter.save();
            painter.setRenderHint(QPainter::Antialiasing, false);
            painter.setPen(color);
            const int dx = l.X2 > l.X1 ? 1 : -1;
            const int dy = l.Y2 > l.Y1 ? 1 : -1;
            painter.drawLine(l.X1, l.Y1, l.X2 - dx, l.Y2 - dy);
            painter.restore();
        }
    }
}

void TMMCustomScale::Assign(const TMMCustomScale &source) {
    if (&source == this) return;
    const TMMScaleSettings &s = source.FSettings;
    FSettings.Visible = s.Visible;
    FSettings.Color = s.Color;
    FSettings.Style = s.Style;
    FSettings.TickCount = s.TickCount;
    FSettings.EnlargeEvery = s.EnlargeEvery;
    FSettings.Size = s.Size;
    FSettings.Origin = s.Origin;
    FSettings.Connect = s.Connect;
    Changed();
}

void TMMCustomScale::SetVisible(bool value) {
    if (Store(FSettings.Visible, value)) Changed();
}

void TMMCustomScale::SetColor(TColor value) {
    if (value == FSettings.Color && value == FSettings.Zone2Color && value == FSettings.Zone3Color) return;
    FSettings.Color = value;
    FSettings.Zone2Color = value;
    FSettings.Zone3Color = value;
    Changed();
}

void TMMCustomScale::SetStyle(TMMScaleStyle value) {
    if (Store(FSettings.Style, value)) Changed();
}

void TMMCustomScale::SetTickCount(int value) {
    if (Store(FSettings.TickCount, std::max(value, 2))) Changed();
}

void TMMCustomScale::SetEnlargeEvery(int value) {
    if (Store(FSettings.EnlargeEvery, std::max(value, 1))) Changed();
}

void TMMCustomScale::SetSize(int value) {
    if (Store(FSettings.Size, std::max(value, 1))) Changed();
}

void TMMCustomScale::SetOrigin(TMMScaleOrigin value) {
    if (Store(FSettings.Origin, value)) Changed();
}

void TMMCustomScale::SetConnect(bool value) {
    if (Store(FSettings.Connect, value)) Changed();
}

void TMMCustomScale::SetZoneColors(TColor zone2, TColor zone3) {
    FSettings.Zone2Color = zone2;
    FSettings.Zone3Color = zone3;
}

void TMMCustomScale::SetZoneLimits(int limit1, int limit2) {
    FSettings.ZoneLimit1 = limit1;
    FSettings.ZoneLimit2 = limit2;
}

void TMMCustomScale::Draw(const TRect &rect, bool firstSide) const {
    if (FCanvas == nullptr) throw EMMScaleError("Canvas needed for this operation");
    if (!FSettings.Visible) return;
    MMPaintScaleLines(*FCanvas, ScaleLines(FSettings, rect, firstSide));
}
