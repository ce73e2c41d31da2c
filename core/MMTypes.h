#pragma once

// Audio buffers travel as the wave headers of core/WaveHeader.h.
#include "core/WaveHeader.h"

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
