#pragma once

#include <cstdint>
#include <functional>

// Enumerations shared by the audio components and the displays; stored as their ordinals.

enum TMMMode { mMono = 0, mStereo = 1, mMultiChannel = 2 };
enum TMMBits { b8Bit = 0, b16Bit = 1 };
enum TMMChannel { chBoth = 0, chLeft = 1, chRight = 2 };
enum TMMTimeFormats { tfMillisecond = 0, tfByte = 1, tfSample = 2 };
enum TMMCBMode { cmWindow = 0, cmCallback = 1, cmThread = 2 };
enum TMMDecayMode { dmNone = 0, dmStepUp = 1, dmExponential = 2, dmUniform = 3 };
// Worker thread priorities; ThreadPriorityValue (audio/MMThread.h) gives the platform figure.
enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// Root of the component classes: an event passes its sender as this.
class TObject {
  public:
    virtual ~TObject() = default;
};
using TNotifyEvent = std::function<void(TObject *Sender)>;

// One audio buffer as it travels between the capture driver and the chain.
struct WAVEHDR {
    char *lpData = nullptr;            // the audio data
    std::uint32_t dwBufferLength = 0;  // capacity in bytes
    std::uint32_t dwBytesRecorded = 0; // valid bytes
    std::uintptr_t dwUser = 0;
    std::uint32_t dwFlags = 0; // WHDR_*
    std::uint32_t dwLoops = 0;
    WAVEHDR *lpNext = nullptr;
    std::uintptr_t reserved = 0;
};
using PWaveHdr = WAVEHDR *;

// WAVEHDR::dwFlags bits.
constexpr std::uint32_t WHDR_DONE = 0x01;     // the driver has returned the buffer
constexpr std::uint32_t WHDR_PREPARED = 0x02; // prepared for the driver
constexpr std::uint32_t WHDR_BEGINLOOP = 0x04;
constexpr std::uint32_t WHDR_ENDLOOP = 0x08;
constexpr std::uint32_t WHDR_INQUEUE = 0x10; // queued at the driver
