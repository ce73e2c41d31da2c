#pragma once

// TLoudnessMeter: programme loudness to ITU-R BS.1770 / EBU R128 through libebur128.
// Momentary (400 ms) and short-term (3 s) loudness always follow the audio; the integration
// (integrated loudness, loudness range, true peak, the maxima and the time integrated) takes
// in only what arrives while it runs, and starts afresh on Reset.
//
// Audio is taken in 100 ms steps of the stream's own time, however it is cut into calls, so
// the maxima of momentary and short-term loudness do not depend on the caller's block size.
//
// Threads: none of its own. One thread at a time; the owner guards it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

// Loudness in LUFS (or LU, dBTP) where nothing was measured yet: silence, or too little audio.
inline constexpr double kNoLoudness = -std::numeric_limits<double>::infinity();

// The largest short-term loudness and true peak since the last TakeInterval.
struct TLoudnessInterval {
    double MaxShortTerm = kNoLoudness;
    double MaxTruePeak = kNoLoudness; // dBTP, over every channel
};

class TLoudnessMeter {
  public:
    // Any channel count and rate libebur128 takes (1..64 channels, 16 Hz..2.8 MHz); channels
    // past the fifth count as unused. Others raise std::invalid_argument.
    TLoudnessMeter(unsigned channels, unsigned long sampleRate);
    ~TLoudnessMeter();
    TLoudnessMeter(const TLoudnessMeter &) = delete;
    TLoudnessMeter &operator=(const TLoudnessMeter &) = delete;

    unsigned Channels() const { return FChannels; }
    unsigned long SampleRate() const { return FRate; }

    // Interleaved frames; full scale is 32768 for shorts and 1.0 for floats.
    void AddFrames(const std::int16_t *frames, std::size_t count);
    void AddFrames(const float *frames, std::size_t count);

    // The integration: running from creation on. Start after Pause goes on where it stopped;
    // Reset forgets what it integrated and keeps it running or paused as it was. The maxima of
    // momentary and short-term loudness take a window only once it holds nothing from before
    // the last Start or Reset.
    void Start();
    void Pause() { FRunning = false; }
    void Reset();
    bool Running() const { return FRunning; }

    // At the last 100 ms step (LUFS).
    double Momentary() const { return FMomentary; }
    double ShortTerm() const { return FShortTerm; }
    // Since the last reset, over the time it ran.
    double Integrated() const;
    double Range() const;                    // LU
    double TruePeak(unsigned channel) const; // dBTP
    double MaxTruePeak() const;              // over every channel
    double MaxMomentary() const { return FMaxMomentary; }
    double MaxShortTerm() const { return FMaxShortTerm; }
    double IntegratedSeconds() const { return static_cast<double>(FIntegratedFrames) / FRate; }
    // The interval's maxima, and a new interval from here.
    TLoudnessInterval TakeInterval();
    // The channel's largest true peak (linear, 1.0 full scale) in the audio added since the
    // last call, paused or not; 0 when none was added.
    double TakeRecentTruePeak(unsigned channel);

  private:
    // One libebur128 state (its type cannot be declared ahead).
    struct TLibState;
    struct TStateDeleter {
        void operator()(TLibState *state) const;
    };
    using TState = std::unique_ptr<TLibState, TStateDeleter>;
    static TState NewState(unsigned channels, unsigned long sampleRate, int mode);

    template <typename T> void Add(const T *frames, std::size_t count);
    template <typename T> void AddStep(const T *frames, std::size_t count);
    void EndStep();
    TState NewIntegration() const;

    unsigned FChannels;
    unsigned long FRate;
    std::size_t FStepFrames;
    std::size_t FStepFilled = 0;
    TState FLive;                     // the windows while paused
    TLibState *FStepState = nullptr;  // the state that took the step's audio
    std::array<double, 30> FBlocks{}; // mean squares of the last 3 s by 100 ms, oldest first from FNextBlock
    std::size_t FNextBlock = 0;
    TState FIntegration; // integrated, range, true peak, and the windows: fed while running
    bool FRunning = true;
    double FMomentary = kNoLoudness;
    double FShortTerm = kNoLoudness;
    double FMaxMomentary = kNoLoudness;
    double FMaxShortTerm = kNoLoudness;
    std::uint64_t FIntegratedFrames = 0;
    std::uint64_t FRunFrames = 0; // since the last Start or Reset
    TLoudnessInterval FInterval;
    std::vector<double> FRecentTruePeaks; // by channel
};

// A linear peak (1.0 = full scale) in dB; kNoLoudness for 0.
double PeakToDB(double linear);
