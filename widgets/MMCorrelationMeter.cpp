#include "widgets/MMCorrelationMeter.h"

#include "widgets/MMCorrelationLaws.h"

#include <QFont>
#include <QPainter>
#include <QResizeEvent>

namespace {

constexpr TColor kTrack = 0x202020, kTick = clGray, kDarkRed = 0x000040, kDarkLime = 0x004000;

} // namespace

TMMCorrelationMeter::TMMCorrelationMeter(QWidget *parent)
    : TMMDIBGraphicControl(parent), FLaw(48000 * WindowMs / 1000) {
    SetColor(clBlack);
}

TMMCorrelationMeter::~TMMCorrelationMeter() {
    DetachFromConnectors();
}

QString TMMCorrelationMeter::Text() const {
    return CorrelationText(FLaw.Value());
}

void TMMCorrelationMeter::SetWaveFormat(const TWaveFormatEx *format) {
    FStereo16 = format != nullptr && IsValidPCMFormat(format) && format->nChannels == 2 &&
                format->wBitsPerSample == 16;
    const std::size_t window = format != nullptr && format->nSamplesPerSec > 0
                                   ? std::size_t{format->nSamplesPerSec} * WindowMs / 1000
                                   : FLaw.WindowFrames();
    FLaw = TStereoCorrelation(window);
    Redraw();
}

void TMMCorrelationMeter::ResetData() {
    FLaw.Reset();
    Redraw();
}

void TMMCorrelationMeter::RefreshPCMData(const void *data) {
    if (data != nullptr && FStereo16) FLaw.Add(static_cast<const std::int16_t *>(data), BlockFrames);
    FMeasured = true;
}

void TMMCorrelationMeter::EndPass() {
    if (!FMeasured) return;
    FMeasured = false;
    Redraw();
}

void TMMCorrelationMeter::resizeEvent(QResizeEvent *event) {
    TMMDIBGraphicControl::resizeEvent(event);
    FWorkValid = false;
}

int TMMCorrelationMeter::BarWidth() const {
    return std::max(3, CanvasRect().Width() - TextWidth);
}

void TMMCorrelationMeter::Redraw() {
    const std::optional<double> value = FLaw.Value();
    const int x = value ? CorrelationX(*value, BarWidth()) : -1;
    const std::optional<long> hundredths = CorrelationHundredths(value);
    if (FWorkValid && x == FShownX && hundredths == FShownHundredths) return;
    FShownX = x;
    FShownHundredths = hundredths;
    FWorkValid = DrawAtOnce([this](TMMDIBCanvas &work) { DrawWhole(work); });
}

void TMMCorrelationMeter::DrawWhole(TMMDIBCanvas &work) {
    const TRect inner = CanvasRect();
    work.Resize(inner.Width(), inner.Height());
    const TMMDrawing drawing(work);
    const int w = BarWidth(), h = inner.Height(), mid = CorrelationX(0, w);
    work.SetColor(Color());
    work.Clear();
    // The track: the negative half in dark red, the positive half in dark lime.
    work.SetColor(kDarkRed);
    work.FillRect(Rect(0, 3, mid, h - 3));
    work.SetColor(kDarkLime);
    work.FillRect(Rect(mid + 1, 3, w, h - 3));
    work.SetColor(kTick);
    for (const double at : {-1.0, -0.5, 0.0, 0.5, 1.0}) {
        const int tx = CorrelationX(at, w);
        work.VLine(tx, at == 0.0 ? 0 : 1, at == 0.0 ? h : h - 1);
    }
    const std::optional<double> value = FLaw.Value();
    const TColor color = value ? CorrelationColor(*value) : kTrack;
    if (value) {
        const int x = CorrelationX(*value, w);
        work.SetColor(color);
        work.FillRect(Rect(std::min(x, mid), 4, std::max(x, mid) + 1, h - 4));
        work.SetColor(clWhite);
        work.FillRect(Rect(std::max(0, x - 1), 0, std::min(w, x + 2), h));
    }
    const QString text = CorrelationText(value);
    const QColor textColor = value ? ToQColor(color) : ToQColor(clGray);
    if (FFont.pixelSize() != std::max(8, h - 1)) {
        FFont = QFont("Liberation Sans");
        FFont.setPixelSize(std::max(8, h - 1));
        FFont.setBold(true);
    }
    work.Paint([&](QPainter &painter) {
        painter.setFont(FFont);
        painter.setPen(textColor);
        painter.drawText(QRect(w, 0, inner.Width() - w, h), Qt::AlignRight | Qt::AlignVCenter, text);
    });
}

void TMMCorrelationMeter::Paint(QPainter &canvas) {
    if (!FWorkValid) {
        std::lock_guard<TMMDIBCanvas> lock(DIBCanvas());
        DrawWhole(DIBCanvas());
        FWorkValid = true;
    }
    TMMDIBGraphicControl::Paint(canvas);
}
