// The three spectrum displays of the console: the phase display, the large analyser of the
// "SPECTRUM" page and the simple analyser of the small window.

#include "app/MainFrm.h"

namespace {

// What the console's three displays share: 16-bit stereo at the capture's rate.
TMMSpectrum *AddSpectrum(QWidget *parent, const QString &name) {
    auto *spectrum = new TMMSpectrum(parent);
    spectrum->setObjectName(name);
    spectrum->SetName(name.toStdString());
    spectrum->SetMode(mStereo);
    spectrum->SetBitLength(b16Bit);
    spectrum->SetSampleRate(48000);
    return spectrum;
}

} // namespace

TMMSpectrum *TMainForm::AddPhaseMeter(QWidget *parent, const QRect &geometry) {
    TMMSpectrum *phase = AddSpectrum(parent, "PhaseMeter");
    phase->Bevel().SetBevelInner(bvRaised);
    phase->Bevel().SetBevelOuter(bvLowered);
    phase->Bevel().SetBorderStyle(bsSingle);
    phase->Bevel().SetBorderColor(clBtnHighlight);
    phase->SetSpectrumMode(smPhase);
    phase->SetBounds(geometry.x(), geometry.y(), geometry.width(), geometry.height());
    phase->SetShowInfo(false);
    phase->SetFFTLength(1024);
    phase->SetAxisColor(clSilver);
    phase->SetPhaseColor(clLime);
    phase->SetRangeFactorX(2.0);
    phase->SetRangeFactorY(2.0);
    phase->SetPhaseMode(pmStereo);
    return phase;
}

// Both analysers: log frequency and amplitude, falling in steps.
void TMainForm::SetAnalyserLaws(TMMSpectrum *spectrum) {
    spectrum->SetDrawAmpScale(true);
    spectrum->SetScaleTextColor(clWhite);
    spectrum->SetScaleLineColor(clSilver);
    spectrum->SetDrawInactive(false);
    spectrum->SetFFTLength(2048);
    spectrum->SetLogFreq(true);
    spectrum->SetLogAmp(true);
    spectrum->SetDecayMode(dmStepUp);
    spectrum->SetDecay(5);
    spectrum->SetRangeFactorX(1.0);
    spectrum->SetRangeFactorY(1.0);
}

TMMSpectrum *TMainForm::AddLargeSpectrum(QWidget *parent, const QRect &geometry) {
    TMMSpectrum *spectrum = AddSpectrum(parent, "MMSpectrum1");
    spectrum->Bevel().SetBevelInner(bvNone);
    spectrum->Bevel().SetBevelOuter(bvNone);
    spectrum->SetBounds(geometry.x(), geometry.y(), geometry.width(), geometry.height());
    spectrum->SetDrawFreqScale(true);
    spectrum->SetBar1Color(clLime);
    spectrum->SetBar2Color(clYellow);
    SetAnalyserLaws(spectrum);
    spectrum->SetKind(skLines);
    spectrum->SetNumPeaks(0);
    spectrum->SetPeakSpeed(2);
    spectrum->SetAxisColor(clYellow);
    return spectrum;
}

TMMSpectrum *TMainForm::AddSmallSpectrum(QWidget *parent, const QRect &geometry) {
    TMMSpectrum *spectrum = AddSpectrum(parent, "MMSpectrum2");
    spectrum->SetBounds(geometry.x(), geometry.y(), geometry.width(), geometry.height());
    spectrum->SetShowInfo(false);
    spectrum->SetBar1Color(clSkyBlue);
    spectrum->SetBar2Color(clWhite);
    spectrum->SetPoint1(40);
    spectrum->SetPoint2(67);
    SetAnalyserLaws(spectrum);
    return spectrum;
}

void TMainForm::ConnectSpectra() {
    MMConnector2->SetSpectrum1(PhaseMeter);
    MMConnector2->SetSpectrum2(MMSpectrum2);
    MMConnector2->SetSpectrum3(MMSpectrum1);
}
