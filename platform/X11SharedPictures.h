#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>

struct xcb_connection_t;

// Pictures put into windows of the X display through memory shared with the server, so
// their pixels pass through no socket: neither this process writes them nor the server
// reads them through the connection.
//
// A batch of pictures goes into one of four segments, taking turns. A round trip sent
// behind every second batch tells, by the time a segment's turn comes again, that the
// server has read it: the next batch never changes pixels the server may still be reading,
// and in practice never waits for it (a batch a frame, the answer long there). Each answer
// wakes the toolkit's event reader, so one answers for two batches.
//
// The object never talks to the server when it goes: the toolkit may have closed the
// connection by then, and the server lets go of the segments when the connection ends.
//
// Thread contract: one thread, every method (the toolkit's main thread, whose
// connection it shares).
class TX11SharedPictures {
  public:
    struct TPicture {
        std::uint32_t Window = 0;
        int X = 0, Y = 0, Width = 0, Height = 0; // where it goes in the window
    };
    // Fills picture `index`: Width × Height pixels of 32 bits, 0xffRRGGBB in this
    // machine's byte order (a QImage::Format_RGB32), rows `stride` bytes apart.
    using TFill = std::function<void(std::size_t index, std::uint8_t *bits, int stride)>;

    // Null when the server cannot share memory with this process: no such extension,
    // a server on another machine, or a screen that is not 24-bit true colour.
    static std::unique_ptr<TX11SharedPictures> Open(xcb_connection_t *connection);
    ~TX11SharedPictures();
    TX11SharedPictures(const TX11SharedPictures &) = delete;
    TX11SharedPictures &operator=(const TX11SharedPictures &) = delete;

    // Fills the pictures and sends them. False, with nothing sent, when a window is not
    // of a depth the pictures fit or no shared memory could be had for them.
    bool Put(std::span<const TPicture> pictures, const TFill &fill);

  private:
    struct TSegment {
        int Id = -1;
        std::uint8_t *Bits = nullptr;
        std::size_t Size = 0;
        std::uint32_t Seg = 0; // the server's name for it
        bool Used = false;     // holds a batch the server may not have read yet
        bool Fenced = false;   // a round trip behind that batch was sent
        unsigned int Fence = 0;
        void Release();
    };
    struct TTarget {
        std::uint32_t Gc = 0;
        std::uint8_t Depth = 0;
    };

    explicit TX11SharedPictures(xcb_connection_t *connection) : FConnection(connection) {}
    bool Attach(TSegment &segment, std::size_t size);
    void WaitRead(TSegment &segment);
    // A round trip behind every batch sent since the last one.
    void SendFence();
    const TTarget *TargetFor(std::uint32_t window);

    xcb_connection_t *FConnection;
    static constexpr int kSegments = 4;
    static constexpr int kBatchesAFence = 2;
    TSegment FSegments[kSegments];
    int FNext = 0;
    int FUnfenced = 0;                     // batches sent since the last round trip
    std::optional<unsigned int> FAnswered; // the last round trip whose answer was read
    std::map<std::uint32_t, TTarget> FTargets;
};
