#pragma once

// Turns a stream that the displays cannot read into 16-bit PCM of the same rate
// and channel count: IEEE float (32 or 64 bit), wide integer PCM (24 or 32 bit),
// A-law and mu-law, also when wrapped in the extensible format record.

#include "core/PCM.h"

#include <cstdint>
#include <memory>
#include <vector>

inline constexpr std::uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;
inline constexpr std::uint16_t WAVE_FORMAT_ALAW = 6;
inline constexpr std::uint16_t WAVE_FORMAT_MULAW = 7;
inline constexpr std::uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

class TMMPCMConverter {
  public:
    // The PCM format this source would be converted into; false when there is none.
    static bool SuggestPCMFormat(const TWaveFormatEx *source, TWaveFormatEx &pcm);

    // A converter reading `input` (inputSize bytes of the source format) into its
    // own output buffer; null when the pair cannot be converted.
    static std::unique_ptr<TMMPCMConverter> Create(const TWaveFormatEx *source, const TWaveFormatEx &pcm,
                                                   const char *input, int inputSize);

    // Converts the first `bytes` bytes of the input (whole frames only) and
    // returns the number of output bytes; 0 when not even one frame was given.
    int Convert(int bytes);

    char *Output() { return FOutput.data(); }
    int OutputSize() const { return static_cast<int>(FOutput.size()); }

  private:
    enum class Kind { Float, Int, ALaw, MuLaw };
    TMMPCMConverter(Kind kind, int sourceBytes, int channels, const char *input, int inputSize);

    Kind FKind;
    int FSourceBytes; // bytes per source sample
    int FChannels;
    const char *FInput;
    int FInputSize;
    std::vector<char> FOutput;
};
