#include "app/ConsoleSpectra.h"

namespace {

// What the three share: 16-bit stereo at the capture's rate.
void SetStereo48k(TMMSpectrum &spectrum) {
    spectrum.SetMode(mStereo);
    spectrum.SetBitLength(b16Bit);
    spectrum.SetSampleRate(48000);
}

void SetBounds(TMMSpectrum &spectrum, const QRect &geometry) {
    spectrum.SetBounds(geometry.x(), geometry.y(), geometry.width(), geometry.height());
}

// Both analysers: log frequency and amplitude, falling in steps.
void SetAnalyserLaws(TMMSpectrum &spectrum) {
    spectrum.SetDrawAmpScale(true);
    spectrum.SetScaleTextColor(clWhite);
    spectrum.SetScaleLineColor(clSilver);
    spectrum.SetDrawInactive(false);
    spectrum.SetFFTLength(2048);
    spectrum.SetLogFreq(true);
    spectrum.SetLogAmp(true);
    spectrum.SetDecayMode(dmStepUp);
    spectrum.SetDecay(5);
    spectrum.SetRangeFactorX(1.0);
    spectrum.SetRangeFactorY(1.0);
}

} // namespace

void SetUpPhaseMeter(TMMSpectrum &phase, const QRect &geometry) {
    SetStereo48k(phase);
    phase.Bevel().SetBevelInner(bvRaised);
    phase.Bevel().SetBevelOuter(bvLowered);
    phase.Bevel().SetBorderStyle(bsSingle);
    phase.Bevel().SetBorderColor(clBtnHighlight);
    phase.SetSpectrumMode(smPhase);
    SetBounds(phase, geometry);
    phase.SetShowInfo(false);
    phase.SetFFTLength(1024);
    phase.SetAxisColor(clSilver);
    phase.SetPhaseColor(clLime);
    phase.SetRangeFactorX(2.0);
    phase.SetRangeFactorY(2.0);
    phase.SetPhaseMode(pmStereo);
}

void SetUpLargeSpectrum(TMMSpectrum &spectrum, const QRect &geometry) {
    SetStereo48k(spectrum);
    spectrum.Bevel().SetBevelInner(bvNone);
    spectrum.Bevel().SetBevelOuter(bvNone);
    SetBounds(spectrum, geometry);
    spectrum.SetDrawFreqScale(true);
    spectrum.SetBar1Color(clLime);
    spectrum.SetBar2Color(clYellow);
    SetAnalyserLaws(spectrum);
    spectrum.SetKind(skLines);
    spectrum.SetNumPeaks(0);
    spectrum.SetPeakSpeed(2);
    spectrum.SetAxisColor(clYellow);
}

void SetUpSmallSpectrum(TMMSpectrum &spectrum, const QRect &geometry) {
    SetStereo48k(spectrum);
    SetBounds(spectrum, geometry);
    spectrum.SetShowInfo(false);
    spectrum.SetBar1Color(clSkyBlue);
    spectrum.SetBar2Color(clWhite);
    spectrum.SetPoint1(40);
    spectrum.SetPoint2(67);
    SetAnalyserLaws(spectrum);
}
