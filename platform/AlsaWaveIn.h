#pragma once

// The program's capture driver: ALSA capture PCMs as devices. Device -1 is
// ALSA's "default"; the numbered devices are the capture PCMs that open, in the
// order ALSA names them ("default" first), named as `arecord -L` shows them.

#include "platform/WaveInStream.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

class TAlsaWaveInDriver : public TStreamWaveInDriver {
  public:
    TAlsaWaveInDriver();

    // Main thread: enumerates the capture PCMs again.
    unsigned GetNumDevs() override;
    // Main thread: the name and the standard formats the PCM's hardware parameters allow.
    // A PCM that does not open now (busy, gone, its server down) answers with what it
    // showed when it last opened, or every standard format when it never did; so does
    // QueryFormat. Not opening says nothing about formats: the open that follows says why.
    MMRESULT GetDevCaps(int id, WAVEINCAPS *caps, unsigned size) override;
    MMRESULT QueryFormat(int id, const TWaveFormatEx &format) override;
    std::unique_ptr<TCaptureSource> MakeSource(int id, const TWaveFormatEx &format,
                                               MMRESULT *result) override;
    std::string DeviceName(int id) override { return PcmName(id); }

    // Any thread: overruns recovered since the program started, by every stream.
    static int Overruns();

    // Any thread: the ALSA name of device id ("default" for -1, empty when unknown).
    std::string PcmName(int id);

  private:
    std::mutex FMutex; // guards FNames, FEnumerated and FProbed
    std::vector<std::string> FNames;
    bool FEnumerated = false;
    std::map<std::string, WAVEINCAPS> FProbed; // by PCM name, as the last open showed it
};
