#include "platform/CaptureErrorText.h"

#include <cerrno>
#include <cstring>

namespace {

// Room for the rest of the longest text within the wave input's 255-character field.
constexpr std::size_t kMaxNameLength = 64;

const char *const kChooseAgain = " Choose the device again in the menu.";
const char *const kChooseOther = " Choose another device in the menu.";

std::string Device(const std::string &name) {
    if (name.empty()) return "The sound device";
    if (name.size() <= kMaxNameLength) return "The sound device \"" + name + "\"";
    return "The sound device \"" + name.substr(0, kMaxNameLength - 3) + "...\"";
}

// The card, or the sound server in front of it, stopped answering for good.
bool WentAway(int err) {
    switch (err) {
    case EIO:
    case ENODEV:
    case ENXIO:
    case EPIPE:    // an overrun the driver could not recover from
    case ESTRPIPE: // suspended and not resumable
    case EBADFD:
    case ETIMEDOUT:
    case ESHUTDOWN:
    case ECONNRESET:
    case ECONNREFUSED:
    case ENOTCONN:
        return true;
    default:
        return false;
    }
}

} // namespace

std::string SystemErrorText(int err) {
    char buffer[128];
    // The GNU variant: returns the text, which need not be in buffer.
    return strerror_r(err, buffer, sizeof buffer);
}

// The JACK input has no card: its failures are the server's.
std::string JackErrorText(int err, bool opening) {
    const std::string again =
        " Start it (or PipeWire's JACK service), then choose \"JACK\" again in the menu.";
    if (opening && (err == ECONNREFUSED || err == ENOENT || err == ENODEV))
        return "The JACK server is not running." + again;
    if (WentAway(err)) return "The JACK server stopped, or it cut the console off." + again;
    return "The JACK input failed: " + SystemErrorText(err) + "." + kChooseAgain;
}

std::string CaptureErrorText(int err, const std::string &device, bool opening) {
    if (device == "JACK") return JackErrorText(err, opening);
    const std::string who = Device(device);
    if (err == EBUSY)
        return who + " is busy. Close the other program using it, then choose the device again in the menu.";
    if (err == EACCES || err == EPERM)
        return who + " may not be used by this user (add the user to the \"audio\" group)." + kChooseOther;
    if (opening && (err == ENOENT || err == ENODEV || err == ENXIO || err == ECONNREFUSED))
        return who + " was not found: its card is not connected or its sound server is not running." +
               kChooseAgain;
    if (opening && err == EINVAL)
        return who + " cannot record in the format the console needs." + kChooseOther;
    if (WentAway(err) || err == ENOENT)
        return who + " went away: its sound card or sound server stopped." + kChooseAgain;
    return who + " failed: " + SystemErrorText(err) + "." + kChooseAgain;
}

std::string MissingDeviceText(const std::string &device) {
    // The list is made once, at start: a device connected later shows only after a restart.
    return Device(device) +
           " saved in the settings was not found: its card is not connected or its sound server is not "
           "running. Connect it and start the console again, or choose another device in the menu.";
}
