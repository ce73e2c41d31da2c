#pragma once

// The per-frame value every meter law reads from a PCM block: the DC offsets taken off each
// channel, 8-bit bytes centred on 128 and scaled by 256 (after chBoth's truncating average),
// multichannel frames stepped whole and read as left, right. ForEachFrame settles the format
// once per block and runs a tight loop for it, since the laws read every frame of every block.

#include "widgets/MMLevelLaws.h"

#include <cstdint>
#include <cstring>

namespace MMFrames {

// Raw sample values: 16-bit signed little-endian, 8-bit unsigned bytes.
struct Read16 {
    static constexpr int Bytes = 2;
    static std::int64_t At(const unsigned char *p) {
        std::int16_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    static std::int64_t Scaled(std::int64_t v) { return v; }
};
struct Read8 {
    static constexpr int Bytes = 1;
    static std::int64_t At(const unsigned char *p) { return *p; }
    static std::int64_t Scaled(std::int64_t v) { return (v - 128) * 256; }
};

template <typename R, typename F> void Frames(const unsigned char *p, const TMMLevelInput &in, F &&take) {
    const int frameBytes = R::Bytes * (in.Mode + 1);
    const std::int64_t offL = in.DCOffsetL;
    const std::int64_t offR = in.DCOffsetR;
    if (in.Mode == mMono) {
        for (int i = 0; i < in.Samples; ++i, p += frameBytes)
            take(R::Scaled(R::At(p) - offL));
        return;
    }
    switch (in.Channel) {
    case chLeft:
        for (int i = 0; i < in.Samples; ++i, p += frameBytes)
            take(R::Scaled(R::At(p) - offL));
        break;
    case chRight:
        for (int i = 0; i < in.Samples; ++i, p += frameBytes)
            take(R::Scaled(R::At(p + R::Bytes) - offR));
        break;
    default:
        for (int i = 0; i < in.Samples; ++i, p += frameBytes)
            take(R::Scaled((R::At(p) - offL + (R::At(p + R::Bytes) - offR)) / 2));
        break;
    }
}

} // namespace MMFrames

// Calls take(v) with each frame's value, in order; `data` holds in.Samples frames.
template <typename F> void ForEachFrame(const void *data, const TMMLevelInput &in, F &&take) {
    const auto *p = static_cast<const unsigned char *>(data);
    if (in.BitLength == b16Bit)
        MMFrames::Frames<MMFrames::Read16>(p, in, take);
    else
        MMFrames::Frames<MMFrames::Read8>(p, in, take);
}
