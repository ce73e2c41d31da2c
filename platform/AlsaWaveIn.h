#pragma once

// The program's capture driver: ALSA capture PCMs as devices. Device -1 is
// ALSA's "default"; the numbered devices are the capture PCMs that open, in the
// order ALSA names them ("default" first), named as `arecord -L` shows them.

#include "platform/WaveInStream.h"

#include <mutex>
#include <string>
#include <vector>

class TAlsaWaveInDriver : public TStreamWaveInDriver {
  public:
    TAlsaWaveInDriver();

    // Main thread: enumerates the capture PCMs again.
    unsigned GetNumDevs() override;
    // Main thread: the name and the standard formats the PCM's hardware parameters allow.
    MMRESULT GetDevCaps(int id, WAVEINCAPS *caps, unsigned size) override;
    MMRESULT QueryFormat(int id, const TWaveFormatEx &format) override;
    std::unique_ptr<TCaptureSource> MakeSource(int id, const TWaveFormatEx &format,
                                               MMRESULT *result) override;
    bool DriverErrorText(MMRESULT code, char *text, unsigned size) override;

    // Any thread: overruns recovered since the program started, by every stream.
    static int Overruns();

    // Any thread: the ALSA name of device id ("default" for -1, empty when unknown).
    std::string PcmName(int id);

  private:
    std::mutex FMutex; // guards FNames
    std::vector<std::string> FNames;
    bool FEnumerated = false;
};
