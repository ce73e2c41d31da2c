#pragma once

// The file mode, `VelmoraPro --loudness FILE... [--json]`: no window, no device.

#include <QStringList>

#include <cstdio>

// Measures the files in order and prints a line for each on `out` (the forms are described in
// analysis/LoudnessFile.h). A file that cannot be measured is named with the reason on `err`
// (and, with json, as an error object on `out`), and the next file is measured all the same.
// 0 when every file was measured, 1 when any was not.
int RunLoudnessCommand(const QStringList &files, bool json, std::FILE *out, std::FILE *err);
