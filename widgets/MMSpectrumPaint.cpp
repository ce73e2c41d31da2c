// The spectrum control's pictures: the per-block frame of each kind, the
// phase picture, the pre-rendered inactive bars and scales, the readout box
// and the peak-frequency label.

#include "widgets/MMFormHelpers.h"
#include "widgets/MMSpectrum.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <mutex>

namespace {

QFont SansFont(int points, bool bold) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSize(points);
    font.setBold(bold);
    return font;
}

QString Text(const std::string &text) {
    return QString::fromStdString(text);
}

} // namespace

void DrawRotatedText(QPainter &canvas, int x, int y, int mode, int height, const QString &face,
                     const QString &text) {
    QFont font = face.compare(QStringLiteral("ARIAL"), Qt::CaseInsensitive) == 0 ? ArialFont(height, false)
                                                                                 : QFont(face);
    font.setPixelSize(height);
    font.setWeight(QFont::Normal);
    canvas.setFont(font);
    const QFontMetrics metrics(font);
    const int w = metrics.horizontalAdvance(text), h = metrics.height();
    switch (mode) {
    case 0:
        canvas.drawText(QRect(x, y - h / 2, w, h), Qt::AlignLeft | Qt::AlignVCenter, text);
        break;
    case 1:
        canvas.drawText(QRect(x - w, y - h / 2, w, h), Qt::AlignRight | Qt::AlignVCenter, text);
        break;
    default:
        // Reading upward: the end of the text at the top, y.
        canvas.save();
        canvas.translate(x, y + w);
        canvas.rotate(-90);
        canvas.drawText(QRect(0, -h / 2, w, h), Qt::AlignLeft | Qt::AlignVCenter, text);
        canvas.restore();
        break;
    }
}

// --- The frame ----------------------------------------------------------------------------------

void TMMSpectrum::Render(bool full) {
    int overflows = 0;
    if (FSpectrumMode == smPhase && FFrameValid) {
        // Dots and axes are drawn anew over the last picture, which differs from the
        // background only where its dots lay: only that part changes and goes to the screen.
        const TRect before = FPhaseDots;
        TRect changed; // read once the drawing is done
        FFrameValid = DrawAtOnce(
            [&](TMMDIBCanvas &dib) {
                DrawFrame(dib, full);
                changed = before.United(FPhaseDots);
            },
            changed);
        return;
    }
    TRect changed; // read once the drawing is done
    FFrameValid = DrawAtOnce(
        [&](TMMDIBCanvas &dib) {
            overflows = DrawFrame(dib, full);
            changed = FChanged;
        },
        changed);
    for (int i = 0; i < overflows && FOnGainOverflow; ++i)
        FOnGainOverflow(this);
}

int TMMSpectrum::DrawFrame(TMMDIBCanvas &dib, bool full) {
    const TMMDrawing bracket(dib);
    FMaximum = {};
    FInfoSaved = TRect{};
    if (FSpectrumMode == smPhase) {
        FPhaseDots = DrawPhase(dib, full || !FFrameValid);
        return 0;
    }
    const TRect whole = Rect(0, 0, dib.Width(), dib.Height());
    // Over a background that stays, a new frame differs from the last only where the last
    // frame's segments lay and where the new ones lie: only there is the background put
    // back, and only that part goes to the screen.
    const bool partial = !full && FFrameValid && BackgroundStays();
    if (partial)
        RestoreBackground(dib, FSegmentBounds);
    else
        DrawBackground(dib, full);
    std::lock_guard<std::recursive_mutex> lock(FPeakLock);
    const TMMBarsResult bars = ComputeBars(BarInput(), FSegments.data());
    FSegmentCount = bars.Count;
    FMaximum = bars.Maximum;
    if (FDrawGrid && FKind != skScroll) DrawGridLines(dib);
    DrawSegments(dib);
    const TRect drawn = BackgroundStays() ? SegmentBounds(dib.Width(), dib.Height()) : whole;
    FChanged = partial ? FSegmentBounds.United(drawn) : whole;
    FSegmentBounds = drawn;
    return bars.GainOverflows;
}

bool TMMSpectrum::BackgroundStays() const {
    const bool kind = FKind == skLines || FKind == skDots || FKind == skBars || FKind == skPeaks;
    return kind && !FOnDrawBar && !FOnClearBackground;
}

void TMMSpectrum::RestoreBackground(TMMDIBCanvas &dib, const TRect &part) {
    if ((FKind == skBars || FKind == skPeaks) && FDrawInactive)
        dib.CopyRect(FInactive, part, part.Left, part.Top);
    else
        dib.DrawBackGround(Color(), part);
}

// The rows the segments as drawn take, across the whole width.
TRect TMMSpectrum::SegmentBounds(int w, int h) const {
    int top = h, bottom = 0;
    const auto rows = [&](int first, int end) {
        top = std::min(top, first);
        bottom = std::max(bottom, end);
    };
    const bool peaks = NumPeaks() > 0;
    for (int i = 0; i < FSegmentCount; ++i) {
        const TMMBarSegment &segment = FSegments[static_cast<std::size_t>(i)];
        switch (FKind) {
        case skLines: {
            const int row = LineRow(segment.Value, h, FSpots.LineOffset);
            rows(row, row + 1);
            if (peaks) {
                const int peak = LineRow(segment.Peak, h, FSpots.LineOffset);
                rows(peak, peak + 1);
            }
            break;
        }
        case skDots: {
            const int row = DotRow(segment.Value, h);
            rows(row, row + 1);
            break;
        }
        default: {
            const int spots = std::max(FSpots.BarSpots(segment.Value), peaks ? segment.Peak : 0);
            if (spots >= 1) rows(FSpots.SpotTop(spots), h);
            break;
        }
        }
    }
    return top < bottom ? Rect(0, top, w, bottom).Intersected(Rect(0, 0, w, h)) : TRect{};
}

TMMBarInput TMMSpectrum::BarInput() const {
    TMMBarInput input;
    input.Levels = FLevels.data();
    input.Columns = &FColumns;
    input.Amp = &FAmp;
    input.DecayedLog = DecayMode() != dmNone && FLogAmp;
    input.Height = FArea.Height();
    return input;
}

void TMMSpectrum::DrawBackground(TMMDIBCanvas &dib, bool full) {
    const int w = dib.Width(), h = dib.Height();
    if (!full && FKind == skScroll) {
        if (IsDesigning()) return;
        // The picture moves two rows away from the top; the curve is drawn in the top third.
        dib.CopyRect(dib, Rect(0, 0, w, h - 2), 0, 2);
        dib.SetColor(Color());
        dib.FillRect(Rect(0, 0, w, 2));
        return;
    }
    const TRect all = Rect(0, 0, w, h);
    if (FOnDrawBar || FKind == skScroll) {
        if (FOnClearBackground) {
            FOnClearBackground(this, dib, all);
        } else {
            dib.SetColor(Color());
            dib.Clear();
        }
    } else if ((FKind == skBars || FKind == skPeaks) && FDrawInactive) {
        dib.CopyFrom(FInactive);
    } else if (FOnClearBackground) {
        FOnClearBackground(this, dib, all);
    } else {
        dib.DrawBackGround(Color());
    }
}

void TMMSpectrum::DrawGridLines(TMMDIBCanvas &dib) {
    const int w = dib.Width(), h = dib.Height();
    dib.SetColor(GridColor());
    const int n = GridIntervals(FLogAmp, h);
    for (int k = 0; k <= n; ++k)
        dib.HLine(0, w - 1, GridRow(k, n, FLogAmp, FVerticalScale, h));
    const int d = GridColumnIntervals(w);
    for (int k = 0; k <= d; ++k)
        dib.VLine(GridColumn(k, d, w), 0, h - 1);
}

TColor TMMSpectrum::ZoneColor(int zone, bool inactive) const {
    return FColors[static_cast<std::size_t>((inactive ? ciInactive1 : ciBar1) + std::clamp(zone, 0, 2))];
}

void TMMSpectrum::DrawSegments(TMMDIBCanvas &dib) {
    const int count = FSegmentCount;
    if (count == 0) return;
    switch (FKind) {
    case skDots:
        DrawDots(dib, count);
        break;
    case skLines:
        DrawPolyline(dib, count, false, FSpots.LineOffset);
        if (NumPeaks() >= 1) {
            for (int i = 0; i < count; ++i) {
                TMMBarSegment &segment = FSegments[static_cast<std::size_t>(i)];
                HoldPeak(segment, segment.Value, FPeakDelay);
            }
            DrawPolyline(dib, count, true, FSpots.LineOffset);
        }
        break;
    case skScroll:
        DrawPolyline(dib, count, false, FSpots.LineOffset);
        break;
    case skVLines:
        DrawVLines(dib, count);
        break;
    case skBars:
    case skPeaks:
        DrawSpots(dib, count);
        break;
    }
}

void TMMSpectrum::DrawDots(TMMDIBCanvas &dib, int count) {
    const int h = dib.Height();
    for (int i = 0; i < count; ++i) {
        const TMMBarSegment &segment = FSegments[static_cast<std::size_t>(i)];
        const int y = DotRow(segment.Value, h);
        dib.SetColor(isEnabled() ? ZoneColor(FSpots.DotZoneOf(y), false) : Inactive1Color());
        const TMMColumnSpan span = SegmentSpan(segment, FKind, FSpace);
        dib.HLine(span.Left, span.Right - 1, y);
    }
}

void TMMSpectrum::DrawPolyline(TMMDIBCanvas &dib, int count, bool peaks, int lineOffset) {
    const int h = dib.Height();
    auto row = [&](const TMMBarSegment &segment) {
        return LineRow(peaks ? segment.Peak : segment.Value, h, lineOffset);
    };
    dib.SetColor(isEnabled() ? Bar1Color() : Inactive1Color());
    dib.MoveTo(0, row(FSegments[0]));
    for (int i = 0; i < count; ++i) {
        const TMMBarSegment &segment = FSegments[static_cast<std::size_t>(i)];
        dib.LineTo(segment.First + (segment.End - segment.First) / 2, row(segment));
    }
    dib.LineTo(dib.Width(), row(FSegments[static_cast<std::size_t>(count - 1)]));
}

void TMMSpectrum::DrawVLines(TMMDIBCanvas &dib, int count) {
    TMMVLineBand bands[3];
    for (int i = 0; i < count; ++i) {
        const TMMBarSegment &segment = FSegments[static_cast<std::size_t>(i)];
        const TMMColumnSpan span = SegmentSpan(segment, FKind, FSpace);
        const int n = VLineBands(segment.Value, FSpots, bands);
        for (int b = 0; b < n; ++b) {
            // Disabled, the whole line shows in the first inactive colour.
            if (!isEnabled() && b > 0) break;
            dib.SetColor(isEnabled() ? ZoneColor(bands[b].Zone, false) : Inactive1Color());
            dib.FillRect(Rect(span.Left, bands[b].Top, span.Right, bands[b].Bottom));
        }
    }
}

void TMMSpectrum::DrawSpots(TMMDIBCanvas &dib, int count) {
    const int h = dib.Height();
    const int numPeaks = NumPeaks();
    for (int i = 0; i < count; ++i) {
        TMMBarSegment &segment = FSegments[static_cast<std::size_t>(i)];
        if (FOnDrawBar) {
            const int pixels = std::clamp(segment.Value, 0, h);
            if (numPeaks > 0) HoldPeak(segment, pixels, FPeakDelay);
            FOnDrawBar(this, dib, Rect(segment.First, 0, segment.End, h), pixels, segment.Peak);
            continue;
        }
        const int n = FSpots.BarSpots(segment.Value);
        if (numPeaks > 0) HoldPeak(segment, n, FPeakDelay);
        const TMMColumnSpan span = SegmentSpan(segment, FKind, FSpace);
        auto spot = [&](int k, bool dotted) {
            dib.SetColor(ZoneColor(FSpots.ZoneOf(k), false));
            dib.FillRect(Rect(span.Left, FSpots.SpotTop(k), span.Right, FSpots.SpotBottom(k)), dotted);
        };
        for (int k = FKind == skPeaks ? std::max(n, 1) : 1; k <= n; ++k)
            spot(k, FActiveDoted);
        if (numPeaks > 0 && segment.Peak > n)
            for (int k = segment.Peak; k > segment.Peak - numPeaks && k >= 1; --k)
                spot(k, FActiveDoted);
    }
}

TRect TMMSpectrum::DrawPhase(TMMDIBCanvas &dib, bool full) {
    if (full)
        dib.DrawBackGround(Color());
    else
        dib.DrawBackGround(Color(), FPhaseDots);
    return DrawPhasePicture(dib, QRect(0, 0, dib.Width(), dib.Height()), FPhaseMode, FPhase, FPhaseColor,
                            FAxisColor, FPhaseLeft.data(), FPhaseRight.data(), FFTLength());
}

// --- Pre-rendered pictures ----------------------------------------------------------------------

void TMMSpectrum::RebuildInactive() {
    if (IsLoading() || FOnDrawBar || (FKind != skBars && FKind != skPeaks)) return;
    FInactive.SetBitsPerPixel(BitsPerPixel());
    const TMMDrawing bracket(FInactive);
    FInactive.SetColor(Color());
    FInactive.Clear();
    const int w = FColumns.Width;
    // The same segment positions the live bars take.
    for (int j = 0; j < w;) {
        int end = j + 1;
        while (end < w && FColumns.IsContinuation(end))
            ++end;
        TMMBarSegment segment;
        segment.First = j;
        segment.End = end;
        const TMMColumnSpan span = SegmentSpan(segment, FKind, FSpace);
        for (int k = 1; k <= FSpots.SpotCount; ++k) {
            FInactive.SetColor(ZoneColor(FSpots.ZoneOf(k), true));
            FInactive.FillRect(Rect(span.Left, FSpots.SpotTop(k), span.Right, FSpots.SpotBottom(k)),
                               FInactiveDoted);
        }
        j = end;
    }
}

void TMMSpectrum::RebuildScales() {
    FFreqScale = QImage();
    FAmpScaleLeft = QImage();
    FAmpScaleRight = QImage();
    if (IsLoading() || FSpectrumMode == smPhase) return;
    const int bevel = Bevel().TotalWidth();
    const int w = FArea.Width(), h = FArea.Height();
    const QColor face = ToQColor(ParentFaceColor());
    const QColor line = ToQColor(ScaleLineColor()), text = ToQColor(ScaleTextColor());
    if (FDrawFreqScale) {
        FFreqScale = QImage(w + 2 * bevel, 40, QImage::Format_RGB32);
        FFreqScale.fill(face);
        QPainter p(&FFreqScale);
        const TMMFreqScaleParams params{FLogFreq, FLowFrequency, FSampleRate, FFTLength(), FFrequencyScale};
        const int intervals = HalvedIntervals(w, 32);
        int last = bevel;
        for (int k = 0; k <= intervals; ++k) {
            const int x = FrequencyTickX(k, intervals, w, bevel);
            p.setPen(line);
            p.drawLine(last, 0, x, 0);
            p.drawLine(x, 0, x, 2);
            last = x;
            p.setPen(text);
            DrawRotatedText(p, x, 6, 2, 10, QStringLiteral("ARIAL"),
                            QString::asprintf("%.0f", FrequencyLabel(k, intervals, params)));
        }
    }
    if (FDrawAmpScale) {
        const int scaleHeight = height() - (FDrawFreqScale ? 40 : 0);
        FAmpScaleLeft = QImage(32, scaleHeight, QImage::Format_RGB32);
        FAmpScaleRight = QImage(32, scaleHeight, QImage::Format_RGB32);
        const int q = AmpScaleIntervals(FLogAmp, h);
        const int top = AmpScaleRow(0, q, FLogAmp, FVerticalScale, h, scaleHeight, bevel);
        const int bottom = AmpScaleRow(q, q, FLogAmp, FVerticalScale, h, scaleHeight, bevel);
        const int labelLeft = FLogAmp ? 27 : 26;
        for (const bool right : {false, true}) {
            QImage &image = right ? FAmpScaleRight : FAmpScaleLeft;
            image.fill(face);
            QPainter p(&image);
            const int axis = right ? 0 : 31, tick = right ? 3 : 28;
            p.setPen(line);
            p.drawLine(axis, std::min(top, bottom), axis, std::max(top, bottom));
            for (int k = 0; k <= q; ++k) {
                const int row = AmpScaleRow(k, q, FLogAmp, FVerticalScale, h, scaleHeight, bevel);
                p.setPen(line);
                p.drawLine(tick, row, axis, row);
                p.setPen(text);
                DrawRotatedText(p, right ? 6 : labelLeft, row, right ? 0 : 1, 10, QStringLiteral("ARIAL"),
                                Text(AmpScaleText(k, q, FLogAmp, FVerticalScale, right)));
            }
        }
    }
}

TColor TMMSpectrum::ParentFaceColor() const {
    const QWidget *parent = parentWidget();
    if (parent == nullptr) return Color();
    if (const auto *control = qobject_cast<const TMMControl *>(parent)) return control->Color();
    return FromQColor(parent->palette().color(parent->backgroundRole()));
}

// --- Paint --------------------------------------------------------------------------------------

void TMMSpectrum::paintEvent(QPaintEvent *event) {
    FExposed = event->rect();
    TMMDIBGraphicControl::paintEvent(event);
    FExposed = QRect();
}

void TMMSpectrum::Paint(QPainter &canvas) {
    int overflows = 0;
    if (!FFrameValid) {
        // What blocks would have drawn while the picture was stale.
        std::lock_guard<TMMDIBCanvas> lock(DIBCanvas());
        overflows = DrawFrame(DIBCanvas(), true);
        FFrameValid = true;
    }
    const TRect exposed = FExposed.isNull() ? ClientRect() : TRect::FromQRect(FExposed);
    if (exposed.Intersected(FArea) != exposed) PaintStatic(canvas);
    {
        std::lock_guard<TMMDIBCanvas> lock(DIBCanvas());
        DIBCanvas().CopyToDevice(canvas, FArea.Left, FArea.Top,
                                 exposed.Intersected(FArea).Translated(-FArea.Left, -FArea.Top));
    }
    PaintPeakLabel(canvas);
    for (int i = 0; i < overflows && FOnGainOverflow; ++i)
        FOnGainOverflow(this);
}

void TMMSpectrum::PaintStatic(QPainter &canvas) {
    const int w = width(), h = height();
    const int bevel = Bevel().TotalWidth();
    const bool normal = FSpectrumMode == smNormal;
    const bool amp = normal && FDrawAmpScale, freq = normal && FDrawFreqScale;
    const QColor face = ToQColor(ParentFaceColor());
    const int scaleHeight = freq ? h - 40 : h;
    if (amp) {
        canvas.fillRect(QRect(29, 0, 3, scaleHeight), face);
        canvas.fillRect(QRect(w - 32, 0, 3, scaleHeight), face);
    }
    if (freq) canvas.fillRect(QRect(0, h - 40, w, 3), face);
    if (amp && freq) {
        canvas.fillRect(QRect(0, h - 40, 32, 40), face);
        canvas.fillRect(QRect(w - 32, h - 40, 32, 40), face);
        // Unit labels by their top rows: centred five rows lower.
        canvas.setPen(ToQColor(ScaleTextColor()));
        const QString unit = FLogAmp ? QStringLiteral("db") : QStringLiteral("V");
        DrawRotatedText(canvas, FLogAmp ? 23 : 16, h - 32 + 5, 1, 10, QStringLiteral("ARIAL"), unit);
        DrawRotatedText(canvas, w - 20, h - 32 + 5, 0, 10, QStringLiteral("ARIAL"), unit);
        DrawRotatedText(canvas, w - 30, h - 20 + 5, 0, 10, QStringLiteral("ARIAL"), QStringLiteral("Hz"));
    }
    Bevel().PaintBevel(
        canvas, Rect(FArea.Left - bevel, FArea.Top - bevel, FArea.Right + bevel, FArea.Bottom + bevel));
    if (!normal) return;
    if (!FAmpScaleLeft.isNull()) {
        canvas.drawImage(QPoint(-3, 0), FAmpScaleLeft);
        canvas.drawImage(QPoint(w - 29, 0), FAmpScaleRight);
    }
    if (!FFreqScale.isNull())
        canvas.drawImage(QPoint(FArea.Left - bevel, bevel + FArea.Bottom + 3), FFreqScale);
}

void TMMSpectrum::PaintPeakLabel(QPainter &canvas) {
    if (!FDisplayPeak || IsDesigning() || FSpectrumMode != smNormal || FMaximum.Value <= 5) return;
    const QString text =
        Text(PeakFrequencyText(PeakFrequency(FMaximum.Bin, FSampleRate, FFTLength(), FLogFreq)));
    const QFont font = SansFont(8, true);
    const QFontMetrics metrics(font);
    const int tw = metrics.horizontalAdvance(text), th = metrics.height();
    const int x = std::min(FArea.Left + FMaximum.Column, FArea.Right - tw);
    const int y = FArea.Top + std::max(FArea.Height() - FMaximum.Value - FSpots.LineOffset - th, 0);
    canvas.setFont(font);
    canvas.setPen(Qt::white);
    canvas.drawText(QRect(x, y, tw, th), Qt::AlignLeft | Qt::AlignTop, text);
}

// --- The readout box ----------------------------------------------------------------------------

void TMMSpectrum::ShowInfoBox(int x, int y) {
    const bool drawn = DrawAtOnce([&](TMMDIBCanvas &dib) {
        const TMMDrawing bracket(dib);
        RestoreInfoBackground(dib);
        DrawInfoBox(dib, x, y);
    });
    if (!drawn) FFrameValid = false;
}

void TMMSpectrum::HideInfoBox() {
    DrawAtOnce([&](TMMDIBCanvas &dib) {
        const TMMDrawing bracket(dib);
        RestoreInfoBackground(dib);
    });
}

void TMMSpectrum::DrawInfoBox(TMMDIBCanvas &dib, int x, int y) {
    const QString text = InfoTextAt(x, y);
    const QFont font = SansFont(8, false);
    const QFontMetrics metrics(font);
    const int w = metrics.horizontalAdvance(text) + 4, h = metrics.height() + 2;
    int left = x, top = y + 15;
    if (top + h > dib.Height()) top -= 40;
    if (left + w > dib.Width()) left = dib.Width() - w;
    top = std::max(top, 0);
    left = std::max(left, 0);
    const TRect box = Rect(left, top, left + w, top + h).Intersected(Rect(0, 0, dib.Width(), dib.Height()));
    if (FInfoSave.Width() < box.Width() || FInfoSave.Height() < box.Height())
        FInfoSave.Resize(std::max(FInfoSave.Width(), box.Width()),
                         std::max(FInfoSave.Height(), box.Height()));
    {
        const TMMDrawing save(FInfoSave);
        FInfoSave.CopyRect(dib, box, 0, 0);
    }
    FInfoSaved = box;
    dib.Paint([&](QPainter &p) {
        const QRect r(left, top, w, h);
        p.fillRect(r, Qt::white);
        p.setPen(Qt::black);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        p.setFont(font);
        p.setPen(ToQColor(clInfoText));
        p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, text);
    });
}

void TMMSpectrum::RestoreInfoBackground(TMMDIBCanvas &dib) {
    if (FInfoSaved.IsEmpty()) return;
    dib.CopyRect(FInfoSave, Rect(0, 0, FInfoSaved.Width(), FInfoSaved.Height()), FInfoSaved.Left,
                 FInfoSaved.Top);
    FInfoSaved = TRect{};
}
