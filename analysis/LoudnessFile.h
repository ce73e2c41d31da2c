#pragma once

// The loudness of a whole audio file, and the two forms it is printed in.
//
// Text, one line a file, fields separated by two spaces, numbers with one decimal, "-inf"
// where nothing was measured (silence, or less audio than the measure needs), the file last:
//   I -23.0 LUFS  LRA 5.0 LU  TP -6.0 dBTP  M -20.9 LUFS  S -22.8 LUFS  T 60.1 s  FILE
// (integrated, loudness range, the largest true peak of any channel, maximum momentary,
// maximum short-term, duration). JSON, one object a line, the same values, null for "-inf":
//   {"file":"FILE","integrated":-23.0,"range":5.0,"true_peak":-6.0,"max_momentary":-20.9,
//    "max_short_term":-22.8,"seconds":60.1,"channels":2,"sample_rate":48000}
// and for a file that failed {"file":"FILE","error":"..."}.

#include <string>

struct TFileLoudness {
    double Integrated = 0;   // LUFS
    double Range = 0;        // LU
    double TruePeak = 0;     // dBTP, the largest of any channel
    double MaxMomentary = 0; // LUFS
    double MaxShortTerm = 0; // LUFS
    double Seconds = 0;
    unsigned Channels = 0;
    unsigned long SampleRate = 0;
};

// Reads the file through in chunks. Raises EMMAudioFileError (the file) or
// std::invalid_argument (a channel count or rate the measure cannot take).
TFileLoudness MeasureLoudnessFile(const std::string &path);

std::string LoudnessText(const std::string &file, const TFileLoudness &loudness);
std::string LoudnessJson(const std::string &file, const TFileLoudness &loudness);
std::string LoudnessJsonError(const std::string &file, const std::string &error);
