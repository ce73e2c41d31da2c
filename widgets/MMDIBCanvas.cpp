#include "widgets/MMDIBCanvas.h"

#include <QObject>
#include <QPainter>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <new>

namespace {

// The process-wide drawing lock and the canvas it currently serves.
std::recursive_mutex gDrawLock;
std::atomic<TMMDIBCanvas *> gTarget{nullptr};

// Larger buffers than this are refused rather than risking the process.
constexpr std::int64_t kMaxBytes = std::int64_t(512) << 20;

std::array<QRgb, 256> MakePalette() {
    std::array<QRgb, 256> p{};
    int n = 0;
    for (int b = 0; b < 6; ++b)
        for (int g = 0; g < 6; ++g)
            for (int r = 0; r < 6; ++r)
                p[n++] = qRgb(r * 51, g * 51, b * 51);
    // The basic colours not in the cube (0x80 and 0xC0 steps).
    const TColor basic[] = {clMaroon, clGreen,  clOlive,   clNavy,  clPurple,  clTeal,
                            clGray,   clSilver, clMedGray, clCream, clSkyBlue, clMoneyGreen,
                            0x404040, 0x202020, 0x606060,  0xA0A0A0};
    for (TColor c : basic)
        p[n++] = ToQColor(c).rgb();
    // Grey ramp between the cube's greys.
    while (n < 256) {
        const int v = 8 + (n - 232) * 10;
        p[n++] = qRgb(v, v, v);
    }
    return p;
}

// Colour to nearest palette index, remembered: antialiased text and scaled
// pictures bring the same few hundred colours over and over, and each
// uncached look-up scans the whole palette. Direct-mapped, so it never grows.
// Guarded by gDrawLock.
class TPaletteCache {
  public:
    std::uint8_t IndexOf(QRgb rgb) {
        const std::uint32_t key = (rgb & 0xFFFFFF) | kValid;
        const std::uint32_t slot = (key * 2654435761u) >> (32 - kBits);
        if (FKeys[slot] != key) {
            FKeys[slot] = key;
            FIndexes[slot] = TMMDIBCanvas::NearestIndex(qRed(rgb) | (qGreen(rgb) << 8) | (qBlue(rgb) << 16));
        }
        return FIndexes[slot];
    }

  private:
    static constexpr int kBits = 12;
    static constexpr std::uint32_t kValid = 0x1000000;
    std::array<std::uint32_t, 1 << kBits> FKeys{};
    std::array<std::uint8_t, 1 << kBits> FIndexes{};
};

TPaletteCache gPaletteCache;

} // namespace

const std::array<QRgb, 256> &TMMDIBCanvas::Palette() {
    static const std::array<QRgb, 256> palette = MakePalette();
    return palette;
}

std::uint8_t TMMDIBCanvas::NearestIndex(TColor color) {
    const TColor rgb = ColorToRGB(color);
    const int r = rgb & 0xFF, g = (rgb >> 8) & 0xFF, b = (rgb >> 16) & 0xFF;
    const auto &p = Palette();
    int best = 0;
    int bestDist = std::numeric_limits<int>::max();
    for (int i = 0; i < 256; ++i) {
        const int dr = qRed(p[i]) - r, dg = qGreen(p[i]) - g, db = qBlue(p[i]) - b;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDist) {
            bestDist = d;
            best = i;
        }
    }
    return static_cast<std::uint8_t>(best);
}

TMMDIBCanvas::TMMDIBCanvas(QObject *owner) : FOwner(owner) {
    FClip = Rect(0, 0, FWidth, FHeight);
    FLastPaletteIndex = NearestIndex(FLastPaletteColor);
}

TMMDIBCanvas::~TMMDIBCanvas() {
    // A canvas freed inside its bracket must not stay the target nor keep the lock.
    FOnChange = nullptr;
    while (FDrawDepth > 0 && FDrawThread == std::this_thread::get_id())
        EndDrawing();
}

std::string TMMDIBCanvas::OwnerName() const {
    if (FOwner != nullptr) return FOwner->metaObject()->className();
    return "TMMDIBCanvas";
}

int TMMDIBCanvas::RowStride(int width, int bitsPerPixel) {
    return (width * (bitsPerPixel / 8) + 3) & ~3;
}

void TMMDIBCanvas::SetBitsPerPixel(int bits) {
    if (bits != 8 && bits != 24) throw EMMDIBError("Bitlength not supported yet");
    if (bits == FBitsPerPixel) return;
    if (FDrawDepth > 0)
        throw EMMDIBError(OwnerName() + ": Attempt to create new DIB while initialized for drawing");
    FBitsPerPixel = bits;
    FNeedsCreate = true;
}

void TMMDIBCanvas::Resize(int width, int height) {
    width = std::max(1, width);
    height = std::max(1, height);
    if (width == FWidth && height == FHeight) return;
    if (FDrawDepth > 0)
        throw EMMDIBError(OwnerName() + ": Attempt to create new DIB while initialized for drawing");
    FWidth = width;
    FHeight = height;
    FNeedsCreate = true;
}

void TMMDIBCanvas::Recreate() {
    if (FDrawDepth > 0)
        throw EMMDIBError(OwnerName() + ": Attempt to create new DIB while initialized for drawing");
    const std::int64_t bytes = std::int64_t(RowStride(FWidth, FBitsPerPixel)) * FHeight;
    if (std::int64_t(FWidth) * (FBitsPerPixel / 8) > std::numeric_limits<int>::max() - 3 || bytes > kMaxBytes)
        throw EMMDIBError("Unable to access DIB device context");
    std::unique_ptr<std::uint8_t[]> bits(new (std::nothrow) std::uint8_t[bytes]());
    if (!bits) throw EMMDIBError("Unable to access DIB device context");
    FBits = std::move(bits);
    FBackGroundCache = QImage();
    FNeedsCreate = false;
}

std::uint8_t *TMMDIBCanvas::Bits() {
    if (FNeedsCreate) Recreate();
    return FBits.get();
}

TMMDIBPixels TMMDIBCanvas::Pixels() {
    return TMMDIBPixels{Bits(), FWidth, FHeight, Stride(), FBitsPerPixel};
}

void TMMDIBCanvas::SetBackGroundBitmap(const QImage &bitmap) {
    FBackGround = bitmap;
    FBackGroundCache = QImage();
}

void TMMDIBCanvas::SetStretchBackGround(bool value) {
    if (value == FStretchBackGround) return;
    FStretchBackGround = value;
    FBackGroundCache = QImage();
}

bool TMMDIBCanvas::InDrawing() const {
    return FDrawDepth > 0 && gTarget.load() == this && FDrawThread == std::this_thread::get_id();
}

void TMMDIBCanvas::BeginDrawing() {
    gDrawLock.lock();
    if (FDrawDepth > 0) {
        // Re-entered by the same thread (the lock is recursive).
        ++FDrawDepth;
        return;
    }
    try {
        Bits();
    } catch (...) {
        gDrawLock.unlock();
        throw;
    }
    FPrevTarget = gTarget.exchange(this);
    FDrawThread = std::this_thread::get_id();
    FDrawDepth = 1;
    FClip = Rect(0, 0, FWidth, FHeight);
}

void TMMDIBCanvas::EndDrawing() {
    if (FDrawDepth == 0 || FDrawThread != std::this_thread::get_id())
        return; // not this thread's bracket: nothing to close
    if (--FDrawDepth == 0) {
        gTarget.store(FPrevTarget);
        FPrevTarget = nullptr;
        FDrawThread = std::thread::id();
    }
    gDrawLock.unlock();
    if (FDrawDepth == 0 && FOnChange) FOnChange(this);
}

void TMMDIBCanvas::RequireDrawing() const {
    if (!InDrawing()) throw EMMDIBError(OwnerName() + ": DIB not initialized for drawing");
}

void TMMDIBCanvas::SetClipRect(const TRect &rect) {
    RequireDrawing();
    FClip = rect.Intersected(Rect(0, 0, FWidth, FHeight));
}

void TMMDIBCanvas::SetColor(TColor color) {
    RequireDrawing();
    if (FBitsPerPixel == 8) {
        // Meters set the same few colours over and over.
        if (color != FLastPaletteColor) {
            FLastPaletteColor = color;
            FLastPaletteIndex = NearestIndex(color);
        }
        FColor[0] = FLastPaletteIndex;
        return;
    }
    const TColor rgb = ColorToRGB(color);
    FColor[0] = static_cast<std::uint8_t>((rgb >> 16) & 0xFF);
    FColor[1] = static_cast<std::uint8_t>((rgb >> 8) & 0xFF);
    FColor[2] = static_cast<std::uint8_t>(rgb & 0xFF);
}

void TMMDIBCanvas::FillRow(std::uint8_t *row, int count) {
    if (count <= 0) return;
    if (FBitsPerPixel == 8) {
        std::memset(row, FColor[0], count);
        return;
    }
    // Write one pixel, then double the filled part until the run is full.
    std::memcpy(row, FColor, 3);
    const int total = count * 3;
    int done = 3;
    while (done < total) {
        const int n = std::min(done, total - done);
        std::memcpy(row + done, row, n);
        done += n;
    }
}

void TMMDIBCanvas::Clear() {
    RequireDrawing();
    const int stride = Stride();
    FillRow(FBits.get(), FWidth);
    for (int y = 1; y < FHeight; ++y)
        std::memcpy(FBits.get() + std::size_t(y) * stride, FBits.get(),
                    std::size_t(FWidth) * (FBitsPerPixel / 8));
}

void TMMDIBCanvas::FillRect(const TRect &rect, bool dotted) {
    RequireDrawing();
    const TRect r = rect.Intersected(FClip);
    if (r.IsEmpty()) return;
    const int stride = Stride();
    const int bpp = FBitsPerPixel / 8;
    if (!dotted) {
        std::uint8_t *first = FBits.get() + std::size_t(r.Top) * stride + std::size_t(r.Left) * bpp;
        FillRow(first, r.Width());
        for (int y = r.Top + 1; y < r.Bottom; ++y)
            std::memcpy(FBits.get() + std::size_t(y) * stride + std::size_t(r.Left) * bpp, first,
                        std::size_t(r.Width()) * bpp);
        return;
    }
    // The dot pattern stays anchored to the unclipped rectangle.
    const int y0 = r.Top + ((r.Top - rect.Top) & 1);
    const int x0 = r.Left + ((r.Left - rect.Left) & 1);
    for (int y = y0; y < r.Bottom; y += 2) {
        std::uint8_t *row = FBits.get() + std::size_t(y) * stride;
        for (int x = x0; x < r.Right; x += 2)
            std::memcpy(row + std::size_t(x) * bpp, FColor, bpp);
    }
}

void TMMDIBCanvas::Plot(int x, int y) {
    if (!FClip.Contains(x, y)) return;
    if (FBitsPerPixel == 8) {
        FBits[std::size_t(y) * Stride() + std::size_t(x)] = FColor[0];
        return;
    }
    std::uint8_t *p = FBits.get() + std::size_t(y) * Stride() + std::size_t(x) * 3;
    p[0] = FColor[0];
    p[1] = FColor[1];
    p[2] = FColor[2];
}

void TMMDIBCanvas::SetPixel(int x, int y) {
    RequireDrawing();
    Plot(x, y);
}

void TMMDIBCanvas::MoveTo(int x, int y) {
    RequireDrawing();
    FPenX = x;
    FPenY = y;
}

namespace {

// Floor division for a positive divisor.
std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

} // namespace

void TMMDIBCanvas::LineTo(int x, int y) {
    RequireDrawing();
    const std::int64_t x0 = FPenX, y0 = FPenY, x1 = x, y1 = y;
    FPenX = x;
    FPenY = y;
    if (FClip.IsEmpty()) return;
    const std::int64_t dx = x1 - x0, dy = y1 - y0;
    const bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
    // Walk the major axis only across the clip range; the minor coordinate of
    // step t is the start plus t × slope, rounded half up.
    const std::int64_t a0 = xMajor ? x0 : y0, b0 = xMajor ? y0 : x0;
    const std::int64_t da = xMajor ? dx : dy, db = xMajor ? dy : dx;
    const std::int64_t n = da < 0 ? -da : da;
    const int lo = xMajor ? FClip.Left : FClip.Top, hi = (xMajor ? FClip.Right : FClip.Bottom) - 1;
    std::int64_t tmin = 0, tmax = n;
    if (da >= 0) {
        tmin = std::max<std::int64_t>(tmin, lo - a0);
        tmax = std::min<std::int64_t>(tmax, hi - a0);
    } else {
        tmin = std::max<std::int64_t>(tmin, a0 - hi);
        tmax = std::min<std::int64_t>(tmax, a0 - lo);
    }
    if (tmin > tmax) return;
    const std::int64_t step = da >= 0 ? 1 : -1;
    // The minor coordinate at the first visible step by one division, then
    // incrementally: q + rem / (2n) tracks (2·t·db + n) / (2n).
    const std::int64_t twoN = n == 0 ? 1 : 2 * n;
    const std::int64_t first = n == 0 ? 0 : 2 * tmin * db + n;
    std::int64_t q = FloorDiv(first, twoN);
    std::int64_t rem = first - q * twoN;
    const std::int64_t inc = n == 0 ? 0 : 2 * db;
    for (std::int64_t t = tmin; t <= tmax; ++t) {
        const std::int64_t a = a0 + step * t;
        const std::int64_t b = b0 + q;
        if (b >= std::numeric_limits<int>::min() && b <= std::numeric_limits<int>::max()) {
            if (xMajor)
                Plot(static_cast<int>(a), static_cast<int>(b));
            else
                Plot(static_cast<int>(b), static_cast<int>(a));
        }
        rem += inc; // |inc| <= 2n: at most one carry either way
        if (rem >= twoN) {
            rem -= twoN;
            ++q;
        } else if (rem < 0) {
            rem += twoN;
            --q;
        }
    }
}

void TMMDIBCanvas::HLine(int from, int to, int y, int step) {
    RequireDrawing();
    if (y < FClip.Top || y >= FClip.Bottom) return;
    if (from > to) std::swap(from, to);
    step = std::max(1, step);
    std::int64_t x = from;
    if (x < FClip.Left) x += (std::int64_t(FClip.Left) - x + step - 1) / step * step;
    const std::int64_t last = std::min<std::int64_t>(to, FClip.Right - 1);
    for (; x <= last; x += step)
        Plot(static_cast<int>(x), y);
}

void TMMDIBCanvas::VLine(int x, int from, int to, int step) {
    RequireDrawing();
    if (x < FClip.Left || x >= FClip.Right) return;
    if (from > to) std::swap(from, to);
    step = std::max(1, step);
    std::int64_t y = from;
    if (y < FClip.Top) y += (std::int64_t(FClip.Top) - y + step - 1) / step * step;
    const std::int64_t last = std::min<std::int64_t>(to, FClip.Bottom - 1);
    for (; y <= last; y += step)
        Plot(x, static_cast<int>(y));
}

void TMMDIBCanvas::CopyRect(const TMMDIBPixels &source, const TRect &rect, int dx, int dy) {
    RequireDrawing();
    if (source.Bits == nullptr) return;
    if (source.BitsPerPixel != FBitsPerPixel) throw EMMDIBError(OwnerName() + ": DIB bit depths differ");
    // Clip the source rectangle to the source, then the destination to this buffer.
    TRect src = rect.Intersected(Rect(0, 0, source.Width, source.Height));
    dx += src.Left - rect.Left;
    dy += src.Top - rect.Top;
    const TRect dst =
        Rect(dx, dy, dx + src.Width(), dy + src.Height()).Intersected(Rect(0, 0, FWidth, FHeight));
    if (dst.IsEmpty()) return;
    src = Rect(src.Left + dst.Left - dx, src.Top + dst.Top - dy, 0, 0);
    const int bpp = FBitsPerPixel / 8;
    const std::size_t bytes = std::size_t(dst.Width()) * bpp;
    const int stride = Stride();
    auto copyRow = [&](int i) {
        const std::uint8_t *s =
            source.Bits + std::size_t(src.Top + i) * source.Stride + std::size_t(src.Left) * bpp;
        std::uint8_t *d = FBits.get() + std::size_t(dst.Top + i) * stride + std::size_t(dst.Left) * bpp;
        std::memmove(d, s, bytes);
    };
    // Within one buffer, rows moving down are copied bottom-up.
    if (source.Bits == FBits.get() && dst.Top > src.Top)
        for (int i = dst.Height() - 1; i >= 0; --i)
            copyRow(i);
    else
        for (int i = 0; i < dst.Height(); ++i)
            copyRow(i);
}

void TMMDIBCanvas::CopyRect(TMMDIBCanvas &source, const TRect &rect, int dx, int dy) {
    RequireDrawing();
    CopyRect(source.Pixels(), rect, dx, dy);
}

void TMMDIBCanvas::CopyFrom(TMMDIBCanvas &source) {
    RequireDrawing();
    if (&source == this) return;
    if (source.FWidth != FWidth || source.FHeight != FHeight || source.FBitsPerPixel != FBitsPerPixel)
        throw EMMDIBError(OwnerName() + ": DIB sizes differ");
    std::memcpy(FBits.get(), source.Bits(), std::size_t(Stride()) * FHeight);
}

void TMMDIBCanvas::DrawBackGround(TColor color) {
    RequireDrawing();
    if (FBackGround.isNull()) {
        SetColor(color);
        Clear();
        return;
    }
    MakeBackGroundCache();
    const std::size_t bytes = std::size_t(FWidth) * (FBitsPerPixel / 8);
    for (int y = 0; y < FHeight; ++y)
        std::memcpy(FBits.get() + std::size_t(y) * Stride(), FBackGroundCache.constScanLine(y), bytes);
}

void TMMDIBCanvas::DrawBackGround(TColor color, const TRect &part) {
    RequireDrawing();
    const TRect r = part.Intersected(Rect(0, 0, FWidth, FHeight));
    if (r.IsEmpty()) return;
    const int pixel = FBitsPerPixel / 8;
    const std::size_t offset = std::size_t(r.Left) * pixel, bytes = std::size_t(r.Width()) * pixel;
    if (FBackGround.isNull()) {
        SetColor(color);
        std::uint8_t *first = FBits.get() + std::size_t(r.Top) * Stride() + offset;
        FillRow(first, r.Width());
        for (int y = r.Top + 1; y < r.Bottom; ++y)
            std::memcpy(FBits.get() + std::size_t(y) * Stride() + offset, first, bytes);
        return;
    }
    MakeBackGroundCache();
    for (int y = r.Top; y < r.Bottom; ++y)
        std::memcpy(FBits.get() + std::size_t(y) * Stride() + offset,
                    FBackGroundCache.constScanLine(y) + offset, bytes);
}

void TMMDIBCanvas::MakeBackGroundCache() {
    if (!FBackGroundCache.isNull()) return;
    QImage rgb(FWidth, FHeight, QImage::Format_RGB32);
    QPainter p(&rgb);
    if (FStretchBackGround)
        p.drawImage(QRect(0, 0, FWidth, FHeight), FBackGround);
    else
        p.fillRect(rgb.rect(), QBrush(FBackGround));
    p.end();
    if (FBitsPerPixel == 24) {
        FBackGroundCache = rgb.convertToFormat(QImage::Format_BGR888);
    } else {
        FBackGroundCache = QImage(FWidth, FHeight, QImage::Format_Indexed8);
        for (int y = 0; y < FHeight; ++y) {
            const QRgb *in = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
            uchar *out = FBackGroundCache.scanLine(y);
            for (int x = 0; x < FWidth; ++x)
                out[x] = gPaletteCache.IndexOf(in[x]);
        }
    }
}

QImage TMMDIBCanvas::Image() {
    std::uint8_t *bits = Bits();
    if (FBitsPerPixel == 24) return QImage(bits, FWidth, FHeight, Stride(), QImage::Format_BGR888);
    QImage image(bits, FWidth, FHeight, Stride(), QImage::Format_Indexed8);
    const auto &p = Palette();
    image.setColorTable(QList<QRgb>(p.begin(), p.end()));
    return image;
}

void TMMDIBCanvas::CopyToDevice(QPainter &device, int x, int y, int w, int h) {
    CopyToDevice(device, x, y, Rect(0, 0, w, h));
}

void TMMDIBCanvas::CopyToDevice(QPainter &device, int x, int y, const TRect &part) {
    const TRect r = part.Intersected(Rect(0, 0, FWidth, FHeight));
    if (r.IsEmpty()) return;
    // Palettes are realised by the true-colour display itself; the flags
    // only matter to an 8-bit device.
    if (FBitsPerPixel != 24) {
        device.drawImage(QPoint(x + r.Left, y + r.Top), Image(), r.ToQRect());
        return;
    }
    // The screen takes 32-bit pixels. Converted here, only the part asked for: left
    // to the painter, a large picture is converted whole on a thread pool, which costs
    // more than the copy.
    const int w = r.Width(), h = r.Height();
    thread_local std::vector<std::uint32_t> scratch;
    scratch.resize(std::size_t(w) * h);
    CopyTo(reinterpret_cast<std::uint8_t *>(scratch.data()), w * 4, r);
    const QImage part32(reinterpret_cast<const uchar *>(scratch.data()), w, h, w * 4, QImage::Format_RGB32);
    device.drawImage(QPoint(x + r.Left, y + r.Top), part32);
}

void TMMDIBCanvas::CopyTo(std::uint8_t *to, int toStride, const TRect &part) {
    const TRect r = part.Intersected(Rect(0, 0, FWidth, FHeight));
    if (r.IsEmpty()) return;
    const int w = r.Width(), h = r.Height();
    if (FBitsPerPixel != 24) {
        QImage out(to, w, h, toStride, QImage::Format_RGB32);
        QPainter painter(&out);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QPoint(0, 0), Image(), r.ToQRect());
        return;
    }
    const std::uint8_t *bits = Bits();
    const int stride = Stride();
    for (int row = 0; row < h; ++row) {
        const std::uint8_t *in = bits + std::size_t(r.Top + row) * stride + std::size_t(r.Left) * 3;
        auto *out = reinterpret_cast<std::uint32_t *>(to + std::size_t(row) * toStride);
        int col = 0;
        // Four pixels from three words: B G R read as a little-endian word is 0x00RRGGBB.
        for (; col + 4 <= w; col += 4, in += 12) {
            std::uint32_t word[3];
            std::memcpy(word, in, sizeof word);
            out[col] = 0xFF000000u | (word[0] & 0xFFFFFFu);
            out[col + 1] = 0xFF000000u | word[0] >> 24 | (word[1] & 0xFFFFu) << 8;
            out[col + 2] = 0xFF000000u | word[1] >> 16 | (word[2] & 0xFFu) << 16;
            out[col + 3] = 0xFF000000u | word[2] >> 8;
        }
        for (; col < w; ++col, in += 3)
            out[col] = 0xFF000000u | std::uint32_t(in[2]) << 16 | std::uint32_t(in[1]) << 8 | in[0];
    }
}

void TMMDIBCanvas::Paint(const std::function<void(QPainter &)> &draw) {
    std::lock_guard<std::recursive_mutex> lock(gDrawLock);
    if (FBitsPerPixel == 24) {
        QImage image = Image();
        QPainter p(&image);
        draw(p);
        return;
    }
    // Painters cannot draw on palette images: draw on a true-colour copy
    // and map the result back to the palette.
    QImage rgb = Image().convertToFormat(QImage::Format_RGB32);
    {
        QPainter p(&rgb);
        draw(p);
    }
    const int stride = Stride();
    for (int y = 0; y < FHeight; ++y) {
        const QRgb *in = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        std::uint8_t *out = FBits.get() + std::size_t(y) * stride;
        const auto &pal = Palette();
        for (int x = 0; x < FWidth; ++x)
            if ((pal[out[x]] & 0xFFFFFF) != (in[x] & 0xFFFFFF)) out[x] = gPaletteCache.IndexOf(in[x]);
    }
}

TColor TMMDIBCanvas::PixelColor(int x, int y) {
    const std::uint8_t *bits = Bits();
    if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return clBlack;
    const std::uint8_t *p = bits + std::size_t(y) * Stride() + std::size_t(x) * (FBitsPerPixel / 8);
    if (FBitsPerPixel == 8) return FromQColor(QColor(Palette()[*p]));
    return p[2] | (p[1] << 8) | (p[0] << 16);
}
