#pragma once

// TAudioFileReader: an audio file (WAV, FLAC, AIFF and whatever else libsndfile reads) read
// as interleaved floats, a chunk at a time, so a file of hours takes no more memory than one
// of seconds. The file is opened for reading only and never written.
//
// Threads: none of its own; one thread at a time.

#include "platform/MMError.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// A file that cannot be opened or read; the message names the file and says why.
class EMMAudioFileError : public EMMError {
  public:
    using EMMError::EMMError;
};

class TAudioFileReader {
  public:
    // Raises EMMAudioFileError when the file is missing, unreadable or holds no audio
    // libsndfile knows.
    explicit TAudioFileReader(const std::string &path);
    ~TAudioFileReader();
    TAudioFileReader(const TAudioFileReader &) = delete;
    TAudioFileReader &operator=(const TAudioFileReader &) = delete;

    unsigned Channels() const { return FChannels; }
    unsigned long SampleRate() const { return FRate; }
    std::int64_t Frames() const { return FFrames; }

    // Up to `count` frames into `frames` (count * Channels() floats, full scale 1.0); the
    // number read, 0 at the end. A read error raises EMMAudioFileError.
    std::size_t Read(float *frames, std::size_t count);

  private:
    struct TFile;
    std::string FPath;
    std::unique_ptr<TFile> FFile;
    unsigned FChannels = 0;
    unsigned long FRate = 0;
    std::int64_t FFrames = 0;
};
