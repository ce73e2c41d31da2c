#include "net/NetPayloads.h"

#include <charconv>
#include <cmath>

namespace {

// Appends the UTF-8 sequence starting at text[i] when it is well formed (shortest form, no
// surrogates, at most U+10FFFF); returns its length, 0 when it is not.
std::size_t ValidSequence(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else
        return 0;
    if (i + length > text.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return length;
}

class TJsonObject {
  public:
    TJsonObject &Raw(std::string_view key, const std::string &value) {
        FText += FText.size() == 1 ? "" : ",";
        FText += JsonString(key);
        FText += ':';
        FText += value;
        return *this;
    }
    TJsonObject &Number(std::string_view key, std::int64_t value) { return Raw(key, std::to_string(value)); }
    TJsonObject &Decimal(std::string_view key, double value) { return Raw(key, JsonDecimal(value)); }
    TJsonObject &Bool(std::string_view key, bool value) { return Raw(key, value ? "true" : "false"); }
    TJsonObject &String(std::string_view key, std::string_view value) { return Raw(key, JsonString(value)); }
    TJsonObject &Pair(std::string_view key, const std::array<double, 2> &v) {
        return Raw(key, "[" + JsonDecimal(v[0]) + "," + JsonDecimal(v[1]) + "]");
    }
    TJsonObject &Pair(std::string_view key, const std::array<bool, 2> &v) {
        return Raw(key, std::string("[") + (v[0] ? "true" : "false") + "," + (v[1] ? "true" : "false") + "]");
    }
    std::string Text() const { return FText + "}"; }

  private:
    std::string FText = "{";
};

} // namespace

std::string JsonDecimal(double value) {
    if (!std::isfinite(value)) return "null";
    // to_chars, unlike printf, ignores the locale the toolkit set from the environment.
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    if (error != std::errc()) return "null";
    std::string text(buffer, end);
    if (text == "-0.00") return "0.00";
    return text;
}

std::string JsonString(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t length = ValidSequence(text, i);
            if (length == 0) {
                out += "\xEF\xBF\xBD";
                ++i;
            } else {
                out.append(text.substr(i, length));
                i += length;
            }
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 0xF];
            } else
                out += static_cast<char>(c);
        }
        ++i;
    }
    return out + "\"";
}

std::string LevelsPayload(const TLevelsSnapshot &s) {
    return TJsonObject()
        .Number("t", s.TimeMs)
        .Pair("peak", s.Peak)
        .Pair("vu", s.VU)
        .Decimal("corr", s.Correlation)
        .Decimal("momentary", s.Momentary)
        .Decimal("short_term", s.ShortTerm)
        .Pair("clip", s.Clip)
        .Text();
}

std::string LoudnessPayload(const TLoudnessSnapshot &s) {
    return TJsonObject()
        .Number("t", s.TimeMs)
        .Decimal("integrated", s.Integrated)
        .Decimal("range", s.Range)
        .Pair("true_peak", s.TruePeak)
        .Decimal("max_momentary", s.MaxMomentary)
        .Decimal("max_short_term", s.MaxShortTerm)
        .Decimal("seconds", s.Seconds)
        .Bool("paused", s.Paused)
        .Number("target", s.Target)
        .Number("ceiling", s.Ceiling)
        .Text();
}

std::string StatusPayload(const TStatusSnapshot &s) {
    return TJsonObject()
        .String("state", s.Online ? "online" : "offline")
        .String("version", s.Version)
        .String("device", s.Device)
        .Number("since", s.SinceMs)
        .Raw("dropped", std::to_string(s.Dropped))
        .Text();
}

std::string AlarmPayload(const TAlarmSnapshot &s) {
    return TJsonObject().Bool("active", s.Active).Number("since", s.SinceMs).Text();
}

std::string EventPayload(const TEventRow &row) {
    return TJsonObject()
        .String("time", row.Time)
        .String("event", row.Event)
        .String("channel", row.Channel)
        .Number("samples", row.Samples)
        .Decimal("peak_dbfs", row.PeakDBFS)
        .Text();
}
