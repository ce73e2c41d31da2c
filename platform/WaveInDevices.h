#pragma once

// Which capture device a wave input can choose: the system's list (ALSA's devices, then
// the simulated ones when asked for) and the checks on a chosen id, all through a driver table.

#include "platform/WaveInDriver.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The driver every wave input uses unless given another: ALSA's devices, then "JACK" once a
// JACK server has answered an enumeration (it stays listed, so that its id holds and opening
// it while the server is down says so), then the simulated devices while
// AppendSimulatedWaveInDevices(true) is in force (it counts from the next enumeration on).
TWaveInDriver &SystemWaveInDriver();
void AppendSimulatedWaveInDevices(bool on);
// Any thread: whether a JACK stream connects its ports to the first two physical capture
// ports when it starts (on by default).
void ConnectJackToCapturePorts(bool on);

// Main thread: the names of the devices `opens` accepts, in order. Those it refuses are asked
// once more after `pause` (one pause for all): a PCM behind a sound server can refuse for a
// moment right after another was closed.
std::vector<std::string> KeepOpenable(const std::vector<std::string> &names,
                                      const std::function<bool(const std::string &)> &opens,
                                      std::chrono::milliseconds pause);

// A device as the lists show it: its name from its capabilities (empty when it does not answer:
// it keeps its place) and the driver's note on it.
struct TListedDevice {
    std::string Name;
    std::string Note;
    // The name with the note in brackets after it.
    std::string Shown() const { return Note.empty() ? Name : Name + " (" + Note + ")"; }
};

// Main thread: every device, numbered by its place.
std::vector<TListedDevice> ListWaveInDevices(TWaveInDriver &Driver);

// Main thread: is Id one of NumDevs devices, or the preferred one (WAVE_MAPPER)?
bool IsWaveInDeviceId(int Id, int NumDevs);

// Main thread: the name device Id gives in its capabilities, cut at its first zero;
// none when Id is not a device or the driver does not answer.
std::optional<std::string> WaveInDeviceName(TWaveInDriver &Driver, int Id, int NumDevs);

// Main thread: can device Id record Format? The driver's format query must accept it, and
// a PCM format with a standard-format bit must also have that bit among the device's formats.
bool WaveInDeviceCanRecord(TWaveInDriver &Driver, int Id, int NumDevs, const TWaveFormatEx *Format);
