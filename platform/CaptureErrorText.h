#pragma once

// What an operator reads when a capture device fails: which device, what happened in
// words of the studio rather than of the system, and what to do about it. Pure; any thread.

#include <string>

// The text for capture error err (a positive errno) on the device listed as `device`
// (empty: not known). opening: the error came while the device was being opened.
// At most 254 characters, however long the name: the advice at the end is never cut.
std::string CaptureErrorText(int err, const std::string &device, bool opening);

// The text for a device the settings name that is not among the devices listed at start.
std::string MissingDeviceText(const std::string &device);

// The system's own text of errno err.
std::string SystemErrorText(int err);
