#include "analysis/LoudnessMeter.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

namespace {

// The live state gives 100 ms blocks; the 400 ms and 3 s windows are made of them here, as the
// library's own window readings sum the whole window's audio on every call. It keeps the true
// peak too, which the recent true peaks read while the integration is paused.
constexpr int kLiveMode = EBUR128_MODE_M | EBUR128_MODE_TRUE_PEAK;
// The histogram keeps the integration's memory the same over hours as over seconds.
constexpr int kIntegrationMode =
    EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK | EBUR128_MODE_HISTOGRAM;

void Check(int result, const char *what) {
    if (result != EBUR128_SUCCESS) throw std::runtime_error(std::string("loudness: ") + what + " failed");
}

int AddTo(ebur128_state *state, const std::int16_t *frames, std::size_t count) {
    return ebur128_add_frames_short(state, frames, count);
}

int AddTo(ebur128_state *state, const float *frames, std::size_t count) {
    return ebur128_add_frames_float(state, frames, count);
}

double Finite(double lufs) {
    return std::isfinite(lufs) ? lufs : kNoLoudness;
}

// BS.1770's mean square (channel-weighted, K-filtered) of a loudness, and back.
double Energy(double lufs) {
    return std::isfinite(lufs) ? std::pow(10.0, (lufs + 0.691) / 10.0) : 0.0;
}

double Loudness(double energy) {
    return energy > 0 ? -0.691 + 10.0 * std::log10(energy) : kNoLoudness;
}

} // namespace

double PeakToDB(double linear) {
    return linear > 0 ? 20.0 * std::log10(linear) : kNoLoudness;
}

struct TLoudnessMeter::TLibState {
    ebur128_state *State;
};

void TLoudnessMeter::TStateDeleter::operator()(TLibState *state) const {
    ebur128_destroy(&state->State);
    delete state;
}

TLoudnessMeter::TState TLoudnessMeter::NewState(unsigned channels, unsigned long sampleRate, int mode) {
    ebur128_state *state = ebur128_init(channels, sampleRate, mode);
    return state ? TState(new TLibState{state}) : TState();
}

TLoudnessMeter::TLoudnessMeter(unsigned channels, unsigned long sampleRate)
    : FChannels(channels), FRate(sampleRate), FStepFrames(std::max<unsigned long>(1, sampleRate / 10)),
      FLive(NewState(channels, sampleRate, kLiveMode)), FIntegration(NewIntegration()),
      FRecentTruePeaks(channels, 0.0) {
    if (!FLive || !FIntegration)
        throw std::invalid_argument(std::to_string(channels) + " channels at " + std::to_string(sampleRate) +
                                    " Hz cannot be measured");
}

TLoudnessMeter::~TLoudnessMeter() = default;

TLoudnessMeter::TState TLoudnessMeter::NewIntegration() const {
    return NewState(FChannels, FRate, kIntegrationMode);
}

void TLoudnessMeter::AddFrames(const std::int16_t *frames, std::size_t count) {
    Add(frames, count);
}

void TLoudnessMeter::AddFrames(const float *frames, std::size_t count) {
    Add(frames, count);
}

template <typename T> void TLoudnessMeter::Add(const T *frames, std::size_t count) {
    while (count > 0) {
        const std::size_t n = std::min(count, FStepFrames - FStepFilled);
        AddStep(frames, n);
        frames += n * FChannels;
        count -= n;
        FStepFilled += n;
        if (FStepFilled == FStepFrames) {
            FStepFilled = 0;
            EndStep();
        }
    }
}

// The audio goes to one state only: the integration's while it runs (its 100 ms blocks serve
// the windows too), else the live one. K-weighting twice would cost a sixth of the measure.
template <typename T> void TLoudnessMeter::AddStep(const T *frames, std::size_t count) {
    FStepState = FRunning ? FIntegration.get() : FLive.get();
    Check(AddTo(FStepState->State, frames, count), "adding audio");
    for (unsigned c = 0; c < FChannels; ++c) {
        double peak = 0;
        ebur128_prev_true_peak(FStepState->State, c, &peak);
        FRecentTruePeaks[c] = std::max(FRecentTruePeaks[c], peak);
        if (FRunning) FInterval.MaxTruePeak = std::max(FInterval.MaxTruePeak, PeakToDB(peak));
    }
    if (!FRunning) return;
    FIntegratedFrames += count;
    FRunFrames += count;
}

double TLoudnessMeter::TakeRecentTruePeak(unsigned channel) {
    return channel < FChannels ? std::exchange(FRecentTruePeaks[channel], 0.0) : 0.0;
}

void TLoudnessMeter::EndStep() {
    double block = kNoLoudness;
    Check(ebur128_loudness_window(FStepState->State, 100, &block), "reading a block");
    FBlocks[FNextBlock] = Energy(block);
    FNextBlock = (FNextBlock + 1) % FBlocks.size();
    // The newest 4 blocks make the momentary window, all 30 the short-term one; before a window
    // is full its missing blocks count as silence, as in the library's own windows.
    double momentary = 0, shortTerm = 0;
    for (std::size_t age = 0; age < FBlocks.size(); ++age) {
        const double e = FBlocks[(FNextBlock + FBlocks.size() - 1 - age) % FBlocks.size()];
        shortTerm += e;
        if (age < 4) momentary += e;
    }
    FMomentary = Finite(Loudness(momentary / 4));
    FShortTerm = Finite(Loudness(shortTerm / FBlocks.size()));
    if (!FRunning) return;
    // The windows' lengths: 400 ms and 3 s.
    if (FRunFrames * 10 >= FRate * 4) FMaxMomentary = std::max(FMaxMomentary, FMomentary);
    if (FRunFrames < FRate * 3) return;
    FMaxShortTerm = std::max(FMaxShortTerm, FShortTerm);
    FInterval.MaxShortTerm = std::max(FInterval.MaxShortTerm, FShortTerm);
}

void TLoudnessMeter::Start() {
    if (!FRunning) FRunFrames = 0;
    FRunning = true;
}

void TLoudnessMeter::Reset() {
    TState fresh = NewIntegration();
    if (!fresh) throw std::runtime_error("loudness: no memory for a new measurement");
    if (FStepState == FIntegration.get()) FStepState = fresh.get();
    FIntegration = std::move(fresh);
    FMaxMomentary = FMaxShortTerm = kNoLoudness;
    FIntegratedFrames = 0;
    FRunFrames = 0;
    FInterval = {};
}

double TLoudnessMeter::Integrated() const {
    double lufs = kNoLoudness;
    ebur128_loudness_global(FIntegration->State, &lufs);
    return Finite(lufs);
}

double TLoudnessMeter::Range() const {
    double lu = 0;
    ebur128_loudness_range(FIntegration->State, &lu);
    return lu;
}

double TLoudnessMeter::TruePeak(unsigned channel) const {
    double peak = 0;
    if (ebur128_true_peak(FIntegration->State, channel, &peak) != EBUR128_SUCCESS) return kNoLoudness;
    return PeakToDB(peak);
}

double TLoudnessMeter::MaxTruePeak() const {
    double db = kNoLoudness;
    for (unsigned c = 0; c < FChannels; ++c)
        db = std::max(db, TruePeak(c));
    return db;
}

TLoudnessInterval TLoudnessMeter::TakeInterval() {
    return std::exchange(FInterval, TLoudnessInterval{});
}
