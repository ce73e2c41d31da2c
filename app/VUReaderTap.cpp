#include "app/VUReaderTap.h"

#include <cmath>

double VUOfNeedle(const TMMMeterState &state) {
    const double angle = state.NeedleAngle(), swing = state.Swing();
    return angle <= 0 || swing <= 0 ? -INFINITY : 20.0 * std::log10(angle / swing) + 3.0;
}

TVUReaderTap::TVUReaderTap() {
    SetAcceptsInput(true);
    SetAcceptsOutput(true);
    for (std::size_t c = 0; c < 2; ++c) {
        auto needle = std::make_unique<TMMMeterState>();
        // As the console's VU meters are set up (TMainForm::AddVUMeter).
        needle->SetMeterMode(mmVU);
        needle->SetInput({b16Bit, mStereo, c == 0 ? chLeft : chRight, 1000, 0, 0});
        needle->SetDecayMode(dmExponential);
        needle->SetDecay(7);
        needle->SetShowPeak(false);
        needle->SetRefLevel(-20.0);
        FNeedles[c] = std::move(needle);
    }
}

TVUReaderTap::~TVUReaderTap() = default;

void TVUReaderTap::SetRefLevel(double refLevel) {
    std::lock_guard lock(FLock);
    for (auto &needle : FNeedles)
        needle->SetRefLevel(refLevel);
}

void TVUReaderTap::SetNeedleStandard(TMMNeedleStandard standard) {
    std::lock_guard lock(FLock);
    for (auto &needle : FNeedles)
        needle->SetNeedleStandard(standard);
}

std::array<double, 2> TVUReaderTap::Readings() const {
    std::lock_guard lock(FLock);
    return {VUOfNeedle(*FNeedles[0]), VUOfNeedle(*FNeedles[1])};
}

void TVUReaderTap::SetPWaveFormat(const TWaveFormatEx *Value) {
    if (!IsDesigning()) {
        std::lock_guard lock(FLock);
        FReadable = Value != nullptr;
        for (auto &needle : FNeedles) {
            FReadable = FReadable && needle->SetWaveFormat(Value);
            needle->ResetData();
        }
        FPending.clear();
    }
    TMMDSPComponent::SetPWaveFormat(Value);
}

void TVUReaderTap::BufferReady(PWaveHdr lpWaveHdr) {
    TakeIn(lpWaveHdr);
    TMMDSPComponent::BufferReady(lpWaveHdr);
}

void TVUReaderTap::BufferLoad(PWaveHdr lpWaveHdr, bool &MoreBuffers) {
    TMMDSPComponent::BufferLoad(lpWaveHdr, MoreBuffers);
    TakeIn(lpWaveHdr);
}

void TVUReaderTap::TakeIn(PWaveHdr lpWaveHdr) {
    if (lpWaveHdr == nullptr || lpWaveHdr->lpData == nullptr) return;
    std::lock_guard lock(FLock);
    if (!FReadable) return;
    const auto block = static_cast<std::size_t>(FNeedles[0]->BlockBytes());
    FPending.insert(FPending.end(), lpWaveHdr->lpData, lpWaveHdr->lpData + lpWaveHdr->dwBytesRecorded);
    std::size_t used = 0;
    for (; used + block <= FPending.size(); used += block)
        for (auto &needle : FNeedles)
            needle->ProcessBlock(FPending.data() + used);
    FPending.erase(FPending.begin(), FPending.begin() + static_cast<std::ptrdiff_t>(used));
}
