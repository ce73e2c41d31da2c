#pragma once

// TVUReaderTap: the two VU needles' movements without the needles, for a console with no
// window: a chain member that runs each channel's needle law (the console's VU meters' mode,
// block length, ballistics and reference level) over every buffer and reads back where each
// needle stands, in VU.
//
// Threads: the set-up and formats on the main thread; BufferReady/BufferLoad on the
// delivering thread; Readings on any thread. FLock guards the needle states.

#include "audio/MMDSPComponent.h"
#include "widgets/MMMeterLaws.h"

#include <array>
#include <memory>
#include <mutex>
#include <vector>

class TVUReaderTap : public TMMDSPComponent {
  public:
    TVUReaderTap();
    ~TVUReaderTap() override;

    bool PublishesInput() const override { return true; }
    bool PublishesOutput() const override { return true; }

    // As the console's VU meters take them from the settings.
    void SetRefLevel(double refLevel);
    void SetNeedleStandard(TMMNeedleStandard standard);
    // Each needle's reading in VU; -inf for a needle at rest.
    std::array<double, 2> Readings() const;

    void SetPWaveFormat(const TWaveFormatEx *Value) override;
    void BufferReady(PWaveHdr lpWaveHdr) override;
    void BufferLoad(PWaveHdr lpWaveHdr, bool &MoreBuffers) override;

  private:
    void TakeIn(PWaveHdr lpWaveHdr);

    mutable std::mutex FLock;
    std::array<std::unique_ptr<TMMMeterState>, 2> FNeedles;
    bool FReadable = false;
    // The bytes of a block begun at the end of the last buffer.
    std::vector<char> FPending;
};

// The reading of a VU needle: the inverse of the needle law, +3 VU at full swing.
double VUOfNeedle(const TMMMeterState &state);
