#pragma once

// What the console reads from outside, one entry per reader. Each takes one input, runs it
// through the console's own code and aborts with the broken property named when the result
// is wrong, so the fuzzer counts it as a crash. The fuzz targets and the replay test call the
// same entries. Each returns 0 (the fuzzer's "input done").

#include <cstddef>
#include <cstdint>
#include <span>

// The INI file: reads of the eleven keys agree with each other, and writing any of them
// changes that key alone and keeps every other line of the file.
int FuzzIni(const std::uint8_t *data, std::size_t size);

// The whole settings load at start: the console built on a settings file with these bytes.
// Its fields are the file's values, its controls show them within their ranges, a step of
// each menu spin moves its value by one, and a save reads back to the same fields.
// Needs a QApplication.
int FuzzSettingsLoad(const std::uint8_t *data, std::size_t size);

// A load, a save into the same file and a load again give the same eleven fields; a second
// save changes no byte.
int FuzzSettingsRoundTrip(const std::uint8_t *data, std::size_t size);

// The command line: arguments separated by NUL bytes, after the program's name.
int FuzzCommandLine(const std::uint8_t *data, std::size_t size);

// The clock's dot pictures: a JPEG decoded and its ground keyed out, or refused with a reason.
int FuzzJpeg(const std::uint8_t *data, std::size_t size);

using TFuzzEntry = int (*)(const std::uint8_t *data, std::size_t size);

struct TFuzzTarget {
    const char *Name; // also the folder of its seeds and regression inputs under fuzz/
    TFuzzEntry Entry;
};

std::span<const TFuzzTarget> FuzzTargets();
