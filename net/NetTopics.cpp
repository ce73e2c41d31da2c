#include "net/NetTopics.h"

std::string TopicLevel(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        out += (c == '/' || c == '+' || c == '#' || u < 0x20 || u == 0x7F) ? '_' : c;
    }
    return out.empty() ? "_" : out;
}

std::string TopicRoot(std::string_view prefix, std::string_view station) {
    std::string root;
    for (std::size_t start = 0;;) {
        const std::size_t slash = prefix.find('/', start);
        root += TopicLevel(prefix.substr(start, slash == std::string_view::npos ? slash : slash - start));
        if (slash == std::string_view::npos) break;
        root += '/';
        start = slash + 1;
    }
    return root + "/" + TopicLevel(station);
}
