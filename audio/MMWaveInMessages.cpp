#include "audio/MMWaveInMessages.h"

std::string WaveInMessage(int id) {
    switch (id) {
    case MSG_DEVICE_OPEN:
        return "Change to property while device was open";
    case MSG_INVALID_DEVICE_ID:
        return "Invalid DeviceID";
    case MSG_NO_HEADER_MEMORY:
        return "Unable to allocate memory for wave header";
    case MSG_UNKNOWN_ERROR:
        return "Specified error number is out of range (unknown error)";
    case MSG_CANT_RECORD_FORMAT:
        return "The actual device can''t record this format";
    case MSG_NO_THREAD:
        return "Could not create thread";
    case MSG_INVALID_FORMAT:
        return "Invalid wave format";
    case MSG_NO_DEVICE:
        return "No wave audio recording device found";
    case MSG_CANT_OPEN:
        return "Unable to open device";
    default:
        return std::string();
    }
}

std::string WaveInStepText(const char *Prefix, const std::string &Detail) {
    return Prefix + std::string("\n\r") + Detail;
}
