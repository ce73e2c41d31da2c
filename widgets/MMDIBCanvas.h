#pragma once

#include "platform/MMError.h"
#include "widgets/MMColors.h"
#include "widgets/MMGeometry.h"

#include <QImage>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class QObject;
class QPainter;

class EMMDIBError : public EMMError {
  public:
    using EMMError::EMMError;
};

// A plain view of a pixel buffer: rows top-down, `Stride` bytes apart; 24-bit
// pixels are blue, green, red bytes, 8-bit pixels are palette indexes.
struct TMMDIBPixels {
    std::uint8_t *Bits = nullptr;
    int Width = 0;
    int Height = 0;
    int Stride = 0;
    int BitsPerPixel = 24;
};

// An off-screen pixel buffer of its own (24 or 8 bits per pixel) with the
// pixel routines the meters draw with.
//
// All pixel routines run inside a drawing bracket (BeginDrawing/EndDrawing).
// The bracket holds one process-wide lock, so only one canvas of the process
// is drawn at a time, whichever thread draws. Brackets nest: a canvas begun
// inside another one's bracket becomes the target until its own end, then
// the outer one is the target again.
class TMMDIBCanvas {
  public:
    using TNotifyEvent = std::function<void(TMMDIBCanvas *sender)>;

    // `owner` names the canvas in error messages (its class name).
    explicit TMMDIBCanvas(QObject *owner = nullptr);
    ~TMMDIBCanvas();
    TMMDIBCanvas(const TMMDIBCanvas &) = delete;
    TMMDIBCanvas &operator=(const TMMDIBCanvas &) = delete;

    QObject *Owner() const { return FOwner; }

    // 8 or 24; anything else raises "Bitlength not supported yet" and keeps
    // the old depth. The buffer is recreated before the next drawing.
    int BitsPerPixel() const { return FBitsPerPixel; }
    void SetBitsPerPixel(int bits);

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    // Sizes below 1 are raised to 1; the buffer is recreated before the next drawing.
    void Resize(int width, int height);

    // Bytes per row: width × bytes per pixel, rounded up to a multiple of 4.
    static int RowStride(int width, int bitsPerPixel);
    int Stride() const { return RowStride(FWidth, FBitsPerPixel); }

    // The pixel memory, (re)created here when a resize or depth change is pending.
    std::uint8_t *Bits();
    TMMDIBPixels Pixels();

    // The 256 colours of an 8-bit buffer: a 6×6×6 cube, the 16 basic colours
    // and a grey ramp.
    static const std::array<QRgb, 256> &Palette();
    static std::uint8_t NearestIndex(TColor color);

    bool PaletteRealize() const { return FPaletteRealize; }
    void SetPaletteRealize(bool value) { FPaletteRealize = value; }
    bool PaletteMapped() const { return FPaletteMapped; }
    void SetPaletteMapped(bool value) { FPaletteMapped = value; }

    // Drawn by DrawBackGround: stretched to the buffer, or tiled.
    const QImage &BackGroundBitmap() const { return FBackGround; }
    void SetBackGroundBitmap(const QImage &bitmap);
    bool StretchBackGround() const { return FStretchBackGround; }
    void SetStretchBackGround(bool value);

    // The owner's canvas lock, held around a whole drawing pass.
    void Lock() { FCanvasLock.lock(); }
    void Unlock() { FCanvasLock.unlock(); }
    // For std::lock_guard.
    void lock() { Lock(); }
    void unlock() { Unlock(); }

    // True while this canvas is the target of the calling thread's drawing.
    bool InDrawing() const;
    void BeginDrawing();
    // Fires the change notification after leaving the lock.
    void EndDrawing();
    void SetOnChange(TNotifyEvent handler) { FOnChange = std::move(handler); }

    // --- pixel routines: inside the drawing bracket only ---

    // The fill colour: RGB for 24 bits, the nearest palette index for 8 bits.
    void SetColor(TColor color);
    void Clear();
    // Clipped to the clip rectangle. Dotted sets every second pixel of every
    // second row, starting with the rectangle's own top-left pixel.
    void FillRect(const TRect &rect, bool dotted = false);
    void SetPixel(int x, int y);
    void MoveTo(int x, int y);
    // A straight line from the current position to (x, y), both end points
    // included, clipped; (x, y) becomes the current position.
    void LineTo(int x, int y);
    // Pixels from `from` to `to` (both included) every `step` pixels (1 = solid), clipped.
    void HLine(int from, int to, int y, int step = 1);
    void VLine(int x, int from, int to, int step = 1);
    // Block copy of `rect` of `source` to (dx, dy), clipped to both buffers;
    // overlapping copies within one buffer are safe.
    void CopyRect(const TMMDIBPixels &source, const TRect &rect, int dx, int dy);
    void CopyRect(TMMDIBCanvas &source, const TRect &rect, int dx, int dy);
    // All pixels of a buffer of the same size and depth.
    void CopyFrom(TMMDIBCanvas &source);
    // The background bitmap (stretched or tiled), or `color` when there is none.
    void DrawBackGround(TColor color);
    // The same, for `part` only (clipped to the buffer, not to the clip rectangle).
    void DrawBackGround(TColor color, const TRect &part);
    // The whole buffer at the start of every bracket.
    TRect ClipRect() const { return FClip; }
    void SetClipRect(const TRect &rect);

    // --- outside the pixel routines ---

    // Copies the top-left w × h pixels to (x, y) of a device.
    void CopyToDevice(QPainter &device, int x, int y, int w, int h);
    // Copies `part` of the buffer (clipped to it) to the device, the buffer's
    // top-left corner at (x, y).
    void CopyToDevice(QPainter &device, int x, int y, const TRect &part);
    // Writes `part` (clipped to the buffer) as 32-bit pixels, 0xffRRGGBB
    // (QImage::Format_RGB32), to `to`, whose rows lie `toStride` bytes apart.
    void CopyTo(std::uint8_t *to, int toStride, const TRect &part);
    // Text and lines through a painter on the buffer's own memory.
    void Paint(const std::function<void(QPainter &)> &draw);
    // A QImage sharing the buffer's memory (Format_BGR888 or Format_Indexed8).
    QImage Image();
    // The colour of one pixel, 0x00BBGGRR.
    TColor PixelColor(int x, int y);

  private:
    std::string OwnerName() const;
    void RequireDrawing() const;
    void Recreate();
    void Plot(int x, int y);
    void FillRow(std::uint8_t *row, int count);
    // The background picture at buffer size and depth, made when missing.
    void MakeBackGroundCache();

    QObject *FOwner = nullptr;
    int FBitsPerPixel = 24;
    int FWidth = 1;
    int FHeight = 1;
    bool FNeedsCreate = true;
    std::unique_ptr<std::uint8_t[]> FBits;
    bool FPaletteRealize = false;
    bool FPaletteMapped = false;
    QImage FBackGround;
    bool FStretchBackGround = true;
    QImage FBackGroundCache; // the background at buffer size and depth

    std::recursive_mutex FCanvasLock;
    int FDrawDepth = 0;
    std::thread::id FDrawThread;
    TMMDIBCanvas *FPrevTarget = nullptr;
    TNotifyEvent FOnChange;

    std::uint8_t FColor[3] = {0, 0, 0}; // B, G, R or index in [0]
    TColor FLastPaletteColor = clBlack; // the last colour looked up in the palette
    std::uint8_t FLastPaletteIndex = 0;
    TRect FClip;
    int FPenX = 0;
    int FPenY = 0;
};

// Opens a canvas's drawing bracket for the scope.
class TMMDrawing {
  public:
    explicit TMMDrawing(TMMDIBCanvas &canvas) : FCanvas(canvas) { FCanvas.BeginDrawing(); }
    ~TMMDrawing() { FCanvas.EndDrawing(); }
    TMMDrawing(const TMMDrawing &) = delete;
    TMMDrawing &operator=(const TMMDrawing &) = delete;

  private:
    TMMDIBCanvas &FCanvas;
};
