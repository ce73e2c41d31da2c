#include "platform/WaveInDriver.h"

#include <cstring>

std::uint32_t StandardFormatBit(std::uint32_t rate, unsigned channels, unsigned bits) {
    int band;
    if (rate >= 8000 && rate <= 11025)
        band = 0;
    else if (rate >= 11026 && rate <= 22050)
        band = 1;
    else if (rate >= 22051 && rate <= 48000)
        band = 2;
    else
        return 0;
    if ((channels != 1 && channels != 2) || (bits != 8 && bits != 16)) return 0;
    return 1u << (band * 4 + (bits == 16 ? 2 : 0) + (channels == 2 ? 1 : 0));
}

void CopyDeviceName(char *field, unsigned size, const char *name) {
    if (size == 0) return;
    std::strncpy(field, name != nullptr ? name : "", size - 1);
    field[size - 1] = '\0';
}

bool CommonWaveInErrorText(MMRESULT code, char *text, unsigned size) {
    const char *message = nullptr;
    switch (code) {
    case MMSYSERR_NOERROR:
        message = "The command was carried out.";
        break;
    case MMSYSERR_ERROR:
        message = "Undefined external error.";
        break;
    case MMSYSERR_BADDEVICEID:
        message = "A device ID has been used that is out of range for your system.";
        break;
    case MMSYSERR_NOTENABLED:
        message = "The driver was not enabled.";
        break;
    case MMSYSERR_ALLOCATED:
        message = "The specified device is already in use.";
        break;
    case MMSYSERR_INVALHANDLE:
        message = "The specified device handle is invalid.";
        break;
    case MMSYSERR_NODRIVER:
        message = "There is no driver installed on your system.";
        break;
    case MMSYSERR_NOMEM:
        message = "There is not enough memory available for this task.";
        break;
    case MMSYSERR_NOTSUPPORTED:
        message = "This function is not supported.";
        break;
    case MMSYSERR_BADERRNUM:
        message = "An error number was specified that is not defined in the system.";
        break;
    case MMSYSERR_INVALFLAG:
        message = "An invalid flag was passed to a system function.";
        break;
    case MMSYSERR_INVALPARAM:
        message = "An invalid parameter was passed to a system function.";
        break;
    case WAVERR_BADFORMAT:
        message = "The specified format is not supported or cannot be translated.";
        break;
    case WAVERR_STILLPLAYING:
        message = "There are still buffers in the queue.";
        break;
    case WAVERR_UNPREPARED:
        message = "The wave header was not prepared.";
        break;
    default:
        return false;
    }
    CopyDeviceName(text, size, message);
    return true;
}
