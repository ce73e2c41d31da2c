#pragma once

// The input chosen on the command line: --list-devices and --device N|NAME.

#include "platform/WaveInDevices.h"

#include <QString>

#include <string>
#include <vector>

// The listed device `choice` names: its number in the list (from 0, as InputDevNo counts) or
// its name as listed, with or without its note. -1 when none does.
int ChooseListedDevice(const QString &choice, const std::vector<TListedDevice> &listed);

// The list as --list-devices prints it: "N  NAME (NOTE)", one device a line.
std::string DeviceListText(const std::vector<TListedDevice> &listed);
