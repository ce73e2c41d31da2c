#pragma once

// Enumerations shared by the audio components and the displays; stored as their ordinals.

enum TMMMode { mMono = 0, mStereo = 1, mMultiChannel = 2 };
enum TMMBits { b8Bit = 0, b16Bit = 1 };
enum TMMChannel { chBoth = 0, chLeft = 1, chRight = 2 };
enum TMMTimeFormats { tfMillisecond = 0, tfByte = 1, tfSample = 2 };
enum TMMCBMode { cmWindow = 0, cmCallback = 1, cmThread = 2 };
enum TMMDecayMode { dmNone = 0, dmStepUp = 1, dmExponential = 2, dmUniform = 3 };
