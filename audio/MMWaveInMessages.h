#pragma once

// The wave input's error: its exception and the texts it raises, by their numbers.

#include "platform/MMError.h"

#include <string>

class EMMWaveInError : public EMMError {
  public:
    using EMMError::EMMError;
};

constexpr int MSG_DEVICE_OPEN = 28060;
constexpr int MSG_INVALID_DEVICE_ID = 28061;
constexpr int MSG_NO_HEADER_MEMORY = 28064;
constexpr int MSG_UNKNOWN_ERROR = 28086;
constexpr int MSG_CANT_RECORD_FORMAT = 28087;
constexpr int MSG_NO_THREAD = 28088;
constexpr int MSG_INVALID_FORMAT = 28089;
constexpr int MSG_NO_DEVICE = 28160;
constexpr int MSG_CANT_OPEN = 28162;
std::string WaveInMessage(int id);

// A failed step's text: the step's name (such as "WaveInOpen:"), then LF CR and what went wrong.
std::string WaveInStepText(const char *Prefix, const std::string &Detail);
