#include "analysis/LoudnessFile.h"

#include "analysis/LoudnessMeter.h"
#include "platform/AudioFileReader.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr std::size_t kChunkFrames = 8192;

std::string Number(double value, const char *none) {
    if (!std::isfinite(value)) return none;
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// A JSON string: quotes, backslashes and control bytes escaped; other bytes (a file name's
// UTF-8) as they are.
std::string Quoted(const std::string &text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", u);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + '"';
}

} // namespace

TFileLoudness MeasureLoudnessFile(const std::string &path) {
    TAudioFileReader file(path);
    TLoudnessMeter meter(file.Channels(), file.SampleRate());
    std::vector<float> chunk(kChunkFrames * file.Channels());
    std::uint64_t frames = 0;
    while (const std::size_t n = file.Read(chunk.data(), kChunkFrames)) {
        meter.AddFrames(chunk.data(), n);
        frames += n;
    }
    return {meter.Integrated(),   meter.Range(),        meter.MaxTruePeak(),
            meter.MaxMomentary(), meter.MaxShortTerm(), static_cast<double>(frames) / file.SampleRate(),
            file.Channels(),      file.SampleRate()};
}

std::string LoudnessText(const std::string &file, const TFileLoudness &l) {
    return "I " + Number(l.Integrated, "-inf") + " LUFS  LRA " + Number(l.Range, "-inf") + " LU  TP " +
           Number(l.TruePeak, "-inf") + " dBTP  M " + Number(l.MaxMomentary, "-inf") + " LUFS  S " +
           Number(l.MaxShortTerm, "-inf") + " LUFS  T " + Number(l.Seconds, "-inf") + " s  " + file;
}

std::string LoudnessJson(const std::string &file, const TFileLoudness &l) {
    return "{\"file\":" + Quoted(file) + ",\"integrated\":" + Number(l.Integrated, "null") +
           ",\"range\":" + Number(l.Range, "null") + ",\"true_peak\":" + Number(l.TruePeak, "null") +
           ",\"max_momentary\":" + Number(l.MaxMomentary, "null") +
           ",\"max_short_term\":" + Number(l.MaxShortTerm, "null") +
           ",\"seconds\":" + Number(l.Seconds, "null") + ",\"channels\":" + std::to_string(l.Channels) +
           ",\"sample_rate\":" + std::to_string(l.SampleRate) + "}";
}

std::string LoudnessJsonError(const std::string &file, const std::string &error) {
    return "{\"file\":" + Quoted(file) + ",\"error\":" + Quoted(error) + "}";
}
