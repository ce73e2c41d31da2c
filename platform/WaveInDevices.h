#pragma once

// Which capture device a wave input can choose: the system's list (ALSA's devices, then
// the simulated ones when asked for) and the checks on a chosen id, all through a driver table.

#include "platform/WaveInDriver.h"

#include <optional>
#include <string>

// The driver every wave input uses unless given another: ALSA, with the simulated
// devices after the real ones while AppendSimulatedWaveInDevices(true) is in force
// (it counts from the next enumeration on).
TWaveInDriver &SystemWaveInDriver();
void AppendSimulatedWaveInDevices(bool on);

// Main thread: is Id one of NumDevs devices, or the preferred one (WAVE_MAPPER)?
bool IsWaveInDeviceId(int Id, int NumDevs);

// Main thread: the name device Id gives in its capabilities, cut at its first zero;
// none when Id is not a device or the driver does not answer.
std::optional<std::string> WaveInDeviceName(TWaveInDriver &Driver, int Id, int NumDevs);

// Main thread: can device Id record Format? The driver's format query must accept it, and
// a PCM format with a standard-format bit must also have that bit among the device's formats.
bool WaveInDeviceCanRecord(TWaveInDriver &Driver, int Id, int NumDevs, const TWaveFormatEx *Format);
