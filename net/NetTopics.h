#pragma once

// The feed's topics: <prefix>/<station>/<leaf>. A prefix or station holding the topic
// separator or a wildcard would publish where no subscriber of this station looks (or be
// refused by the broker), so each such character is replaced.
//
// Thread contract: pure functions, any thread.

#include <string>
#include <string_view>

inline constexpr std::string_view kStatusLeaf = "status";
inline constexpr std::string_view kLevelsLeaf = "levels";
inline constexpr std::string_view kLoudnessLeaf = "loudness";
inline constexpr std::string_view kDeadAirAlarmLeaf = "alarm/dead-air";
inline constexpr std::string_view kLoudnessAlarmLeaf = "alarm/loudness";
inline constexpr std::string_view kEventsLeaf = "events";
inline constexpr std::string_view kDefaultTopicPrefix = "velmora";

// "/", "+", "#" and control characters become "_"; an empty level becomes "_".
std::string TopicLevel(std::string_view text);
// The prefix may hold several levels ("site/velmora"); each is cleaned on its own.
std::string TopicRoot(std::string_view prefix, std::string_view station);
inline std::string Topic(const std::string &root, std::string_view leaf) {
    return root + "/" + std::string(leaf);
}
