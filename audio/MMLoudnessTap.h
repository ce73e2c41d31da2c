#pragma once

// TMMLoudnessTap: a chain member that measures the loudness of the stream passing through it
// (16-bit PCM; other formats pass unmeasured) on a thread of its own, so the measurement goes
// on whatever the screen shows and whatever the main thread is doing.
//
// Threads:
// - properties, commands (Start, Pause, Reset) and formats: main thread;
// - BufferReady/BufferLoad: the delivering thread. They copy the buffer into a ring and wake
//   the measuring thread; they take no lock and never wait. A buffer the ring has no room for
//   is dropped and counted (the measuring thread fell seconds behind);
// - the measuring thread drains the ring into its TLoudnessSession, applies the commands and
//   copies the readings out under FReadLock, which the readers hold only for a copy;
// - Reading, History, TakeMinutes, DroppedBuffers: any thread;
// - TruePeaks: offered by the measuring thread after each wake, taken by any one thread.

#include "analysis/LoudnessSession.h"
#include "audio/MMDSPComponent.h"
#include "audio/MMTruePeakFeed.h"
#include "core/SampleRing.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TMMLoudnessTap : public TMMDSPComponent {
  public:
    // Room for four seconds of a 48 kHz stereo stream.
    static constexpr std::size_t RingSamples = 4 * 48000 * 2;

    TMMLoudnessTap();
    ~TMMLoudnessTap() override;

    bool PublishesInput() const override { return true; }
    bool PublishesOutput() const override { return true; }

    // The integration's commands; they take effect on the measuring thread, before the next
    // audio it measures.
    void Start();
    void Pause();
    void Reset();

    TLoudnessReading Reading() const;
    // The short-term history over the last spanSeconds as `points` values (see
    // TLoudnessHistory::Points); all kNoLoudness before a stream is measured.
    std::vector<double> History(int spanSeconds, int points) const;
    std::vector<TLoudnessMinute> TakeMinutes();
    std::uint64_t DroppedBuffers() const { return FDropped.load(); }
    // Each channel's true peak since it was last taken (the PEAK bars' true-peak reading).
    TMMTruePeakFeed &TruePeaks() { return FTruePeaks; }
    // Any thread: waits until the measuring thread has measured everything written so far
    // and applied every command (tests and benchmarks).
    void Flush();

    // --- Chain (main thread; data on the delivering thread).
    // A 16-bit PCM stream of another channel count or rate starts a new measurement.
    void SetPWaveFormat(const TWaveFormatEx *Value) override;
    void BufferReady(PWaveHdr lpWaveHdr) override;
    void BufferLoad(PWaveHdr lpWaveHdr, bool &MoreBuffers) override;

  private:
    enum TCommand : unsigned { cmStart = 1, cmPause = 2, cmReset = 4 };

    void TakeIn(PWaveHdr lpWaveHdr);
    void Post(unsigned command);
    void Wake();
    void Run();
    void ApplyFormat();
    void ApplyCommands(unsigned commands);
    void Publish(std::uint32_t served);

    TMMSampleRing FRing{RingSamples};
    std::atomic<bool> FMeasure{false}; // the stream is 16-bit PCM of the session's format
    std::atomic<std::uint64_t> FDropped{0};
    std::atomic<unsigned> FCommands{0};
    // Bumped by every writer that has something for the measuring thread, which waits on it.
    std::atomic<std::uint32_t> FWake{0};
    std::atomic<bool> FStop{false};
    TMMTruePeakFeed FTruePeaks;

    // Main and measuring thread: the format to measure next (0 channels: none).
    std::mutex FFormatLock;
    unsigned FChannels = 0;
    unsigned long FRate = 0;
    bool FFormatChanged = false;

    // The measuring thread's own.
    std::unique_ptr<TLoudnessSession> FSession;
    bool FRunning = true; // the integration's state, kept across streams
    std::vector<std::int16_t> FChunk;

    // Guards what the readers copy.
    mutable std::mutex FReadLock;
    TLoudnessReading FReading;
    TLoudnessHistory FHistory;
    std::vector<TLoudnessMinute> FMinutes;
    std::uint32_t FServed = 0; // the wake count the thread last served completely
    std::condition_variable FFlushed;

    std::thread FThread; // last: started once everything above exists
};
