#include "widgets/VarnTrend.h"

#include "widgets/MMStore.h"

#include "platform/MMMessageBox.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

TVarnTrend::TVarnTrend(QWidget *parent) : TMMCustomPanel(parent) {
    SetColor(clRed);
}

void TVarnTrend::SetMinVal(int value) {
    if (FSamples.SetMinVal(value)) update();
}

void TVarnTrend::SetMaxVal(int value) {
    if (FSamples.SetMaxVal(value)) update();
}

void TVarnTrend::SetDivisions(int value) {
    if (FSamples.SetDivisions(value)) update();
}

void TVarnTrend::SetAutoScale(bool value) {
    if (FSamples.SetAutoScale(value)) update();
}

void TVarnTrend::SetOptions(TTrendOptions value) {
    if (Store(FLook.Options, value)) update();
}

void TVarnTrend::SetStyle(TTrendStyle value) {
    if (value < tsBar || value > tsFilled) return;
    if (Store(FLook.Style, value)) update();
}

void TVarnTrend::SetColorBase(TColor value) {
    if (Store(FLook.ColorBase, value)) update();
}

void TVarnTrend::SetBackGroundColor(TColor value) {
    if (Store(FLook.BackGroundColor, value)) update();
}

void TVarnTrend::SetGridStyle(TGridStyle value) {
    if (value < gsNone || value > gsFull) return;
    if (Store(FLook.GridStyle, value)) update();
}

void TVarnTrend::SetGridColor(TColor value) {
    if (Store(FLook.GridColor, value)) update();
}

bool TVarnTrend::AcceptStep(int &field, int value, int limit) {
    if (value <= 0) {
        if (IsDesigning()) MMMessageBox("Value must be greater than 0!", "TVarnTrend");
        return false;
    }
    return Store(field, std::min(value, limit));
}

void TVarnTrend::SetGridXstep(int value) {
    if (AcceptStep(FLook.GridXstep, value, width())) update();
}

void TVarnTrend::SetGridYstep(int value) {
    if (AcceptStep(FLook.GridYstep, value, height())) update();
}

void TVarnTrend::SetDepthX(int value) {
    if (Store(FLook.DepthX, value)) update();
}

void TVarnTrend::SetDepthY(int value) {
    if (Store(FLook.DepthY, value)) update();
}

void TVarnTrend::AddValue(int value) {
    FSamples.AddValue(value);
    update();
}

void TVarnTrend::AutoScaleTo(int value) {
    const int before = FSamples.MaxVal();
    FSamples.AutoScaleTo(value);
    if (FSamples.MaxVal() != before) update();
}

void TVarnTrend::DesigningChanged() {
    if (!IsDesigning()) return;
    std::mt19937 random(std::random_device{}());
    FSamples.FillDemo(random);
    update();
}

QFont TVarnTrend::ValueFont() const {
    // The control's face and style, as many pixels high as its size in points.
    QFont f = font();
    const int size = f.pointSize() > 0 ? f.pointSize() : f.pixelSize();
    f.setPixelSize(std::max(size, 1));
    return f;
}

std::vector<TTrendShape> TVarnTrend::Picture() const {
    TTrendLook look = FLook;
    look.Width = width();
    look.Height = height();
    look.Color = Color();
    look.FontColor = FontColor();
    const QFontMetrics metrics(ValueFont());
    return TrendPicture(FSamples, look, [&metrics](const QString &text) {
        return QSize(metrics.horizontalAdvance(text), metrics.height());
    });
}

void TVarnTrend::Paint(QPainter &canvas) {
    if (width() <= 0 || height() <= 0) return;
    QImage bitmap(width(), height(), QImage::Format_RGB32);
    {
        QPainter painter(&bitmap);
        TrendPaint(painter, Picture(), ValueFont());
    }
    canvas.drawImage(0, 0, bitmap);
}

namespace {

// The rectangle a pixel-exact fill covers from two corners, the larger ones exclusive.
QRect Span(const QPoint &a, const QPoint &b) {
    const int left = std::min(a.x(), b.x()), right = std::max(a.x(), b.x());
    const int top = std::min(a.y(), b.y()), bottom = std::max(a.y(), b.y());
    return QRect(left, top, right - left, bottom - top);
}

} // namespace

void TrendPaint(QPainter &painter, const std::vector<TTrendShape> &shapes, const QFont &font) {
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setFont(font);
    for (const TTrendShape &shape : shapes) {
        const QColor pen = ToQColor(shape.Pen), brush = ToQColor(shape.Brush);
        switch (shape.Kind) {
        case TTrendShape::skFill:
            painter.fillRect(Span(shape.Points[0], shape.Points[1]), brush);
            break;
        case TTrendShape::skLine:
            painter.setPen(QPen(pen, 0));
            painter.drawLine(shape.Points[0], shape.Points[1]);
            break;
        case TTrendShape::skRect: {
            const QRect r = Span(shape.Points[0], shape.Points[1]);
            if (r.isEmpty()) break;
            painter.fillRect(r, brush);
            painter.setPen(QPen(pen, 0));
            painter.setBrush(Qt::NoBrush);
            // The outline lies on the rectangle's own border pixels.
            painter.drawRect(r.adjusted(0, 0, -1, -1));
            break;
        }
        case TTrendShape::skPolygon:
            painter.setPen(QPen(pen, 0));
            painter.setBrush(brush);
            painter.drawPolygon(shape.Points.data(), static_cast<int>(shape.Points.size()));
            break;
        case TTrendShape::skPolyline:
            painter.setPen(QPen(pen, 0));
            painter.drawPolyline(shape.Points.data(), static_cast<int>(shape.Points.size()));
            break;
        case TTrendShape::skText: {
            painter.save();
            painter.setPen(pen);
            painter.setBackgroundMode(shape.Opaque ? Qt::OpaqueMode : Qt::TransparentMode);
            painter.setBackground(brush);
            painter.translate(shape.Points[0]);
            if (shape.Rotated) painter.rotate(-90);
            const QFontMetrics metrics(font);
            painter.drawText(QRect(0, 0, metrics.horizontalAdvance(shape.Text), metrics.height()),
                             Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, shape.Text);
            painter.restore();
            break;
        }
        }
    }
}
