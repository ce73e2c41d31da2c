#include "audio/MMPCMConverter.h"

#include <cmath>
#include <cstring>

namespace {

// Layout of the extensible record's extra bytes that matter here.
constexpr int ExtensibleExtraSize = 22;
constexpr int ExtensibleSubFormatOffset = 18 + 6; // after valid bits and channel mask

struct SourceKind {
    std::uint16_t tag = 0;
    int bits = 0;
};

// The effective format tag: the extensible record carries it in the first two
// bytes of its sub-format identifier.
bool ReadSource(const TWaveFormatEx *source, SourceKind &kind) {
    if (source == nullptr) return false;
    kind.tag = source->wFormatTag;
    kind.bits = source->wBitsPerSample;
    if (kind.tag == WAVE_FORMAT_EXTENSIBLE) {
        if (source->cbSize < ExtensibleExtraSize) return false;
        const auto *bytes = reinterpret_cast<const unsigned char *>(source);
        kind.tag = static_cast<std::uint16_t>(bytes[ExtensibleSubFormatOffset] |
                                              (bytes[ExtensibleSubFormatOffset + 1] << 8));
    }
    return true;
}

bool Convertible(const SourceKind &kind) {
    switch (kind.tag) {
    case WAVE_FORMAT_PCM:
        return kind.bits == 24 || kind.bits == 32;
    case WAVE_FORMAT_IEEE_FLOAT:
        return kind.bits == 32 || kind.bits == 64;
    case WAVE_FORMAT_ALAW:
    case WAVE_FORMAT_MULAW:
        return kind.bits == 8;
    default:
        return false;
    }
}

std::int16_t FromFloat(double v) {
    // NaN reads as silence rather than as a full-scale spike.
    if (!(v == v)) return 0;
    const double scaled = v * 32768.0;
    if (scaled >= 32767.0) return 32767;
    if (scaled <= -32768.0) return -32768;
    return static_cast<std::int16_t>(std::lround(scaled));
}

std::int16_t FromALaw(std::uint8_t a) {
    a ^= 0x55;
    int t = (a & 0x0F) << 4;
    const int seg = (a & 0x70) >> 4;
    if (seg == 0)
        t += 8;
    else
        t = (t + 0x108) << (seg - 1);
    return static_cast<std::int16_t>((a & 0x80) ? t : -t);
}

std::int16_t FromMuLaw(std::uint8_t u) {
    u = ~u;
    int t = ((u & 0x0F) << 3) + 0x84;
    t <<= (u & 0x70) >> 4;
    return static_cast<std::int16_t>((u & 0x80) ? (0x84 - t) : (t - 0x84));
}

} // namespace

bool TMMPCMConverter::SuggestPCMFormat(const TWaveFormatEx *source, TWaveFormatEx &pcm) {
    SourceKind kind;
    if (!ReadSource(source, kind) || !Convertible(kind)) return false;
    TWaveFormatEx out;
    BuildPCMFormat(out, 16, source->nChannels, source->nSamplesPerSec);
    if (!IsValidPCMFormat(&out)) return false;
    pcm = out;
    return true;
}

std::unique_ptr<TMMPCMConverter> TMMPCMConverter::Create(const TWaveFormatEx *source,
                                                         const TWaveFormatEx &pcm, const char *input,
                                                         int inputSize) {
    SourceKind kind;
    if (!ReadSource(source, kind) || !Convertible(kind) || input == nullptr || inputSize <= 0) return nullptr;
    if (!IsValidPCMFormat(&pcm) || pcm.wBitsPerSample != 16 || pcm.nChannels != source->nChannels ||
        pcm.nSamplesPerSec != source->nSamplesPerSec)
        return nullptr;
    const int sampleBytes = kind.bits / 8;
    // A block alignment that disagrees with the sample width would misread every frame.
    if (source->nBlockAlign != sampleBytes * source->nChannels) return nullptr;
    Kind k = Kind::Int;
    if (kind.tag == WAVE_FORMAT_IEEE_FLOAT)
        k = Kind::Float;
    else if (kind.tag == WAVE_FORMAT_ALAW)
        k = Kind::ALaw;
    else if (kind.tag == WAVE_FORMAT_MULAW)
        k = Kind::MuLaw;
    return std::unique_ptr<TMMPCMConverter>(
        new TMMPCMConverter(k, sampleBytes, source->nChannels, input, inputSize));
}

TMMPCMConverter::TMMPCMConverter(Kind kind, int sourceBytes, int channels, const char *input, int inputSize)
    : FKind(kind), FSourceBytes(sourceBytes), FChannels(channels), FInput(input), FInputSize(inputSize) {
    const int frames = inputSize / (sourceBytes * channels);
    FOutput.assign(static_cast<std::size_t>(frames) * channels * 2, 0);
}

int TMMPCMConverter::Convert(int bytes) {
    const int frameBytes = FSourceBytes * FChannels;
    const int frames = MinMax(bytes, 0, FInputSize) / frameBytes;
    const int samples = frames * FChannels;
    const auto *in = reinterpret_cast<const unsigned char *>(FInput);
    auto *out = reinterpret_cast<std::int16_t *>(FOutput.data());
    for (int i = 0; i < samples; ++i, in += FSourceBytes) {
        switch (FKind) {
        case Kind::Float:
            if (FSourceBytes == 4) {
                float f;
                std::memcpy(&f, in, 4);
                out[i] = FromFloat(f);
            } else {
                double d;
                std::memcpy(&d, in, 8);
                out[i] = FromFloat(d);
            }
            break;
        case Kind::Int:
            // Little-endian: the two most significant bytes are the last two.
            out[i] = static_cast<std::int16_t>(in[FSourceBytes - 2] | (in[FSourceBytes - 1] << 8));
            break;
        case Kind::ALaw:
            out[i] = FromALaw(*in);
            break;
        case Kind::MuLaw:
            out[i] = FromMuLaw(*in);
            break;
        }
    }
    return samples * 2;
}
