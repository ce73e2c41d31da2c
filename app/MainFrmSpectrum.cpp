// The three spectrum displays of the console: the phase display, the large analyser of the
// "SPECTRUM" page and the simple analyser of the small window.

#include "app/ConsoleSpectra.h"
#include "app/MainFrm.h"

namespace {

TMMSpectrum *AddSpectrum(QWidget *parent, const QString &name) {
    auto *spectrum = new TMMSpectrum(parent);
    spectrum->setObjectName(name);
    spectrum->SetName(name.toStdString());
    return spectrum;
}

} // namespace

TMMSpectrum *TMainForm::AddPhaseMeter(QWidget *parent, const QRect &geometry) {
    TMMSpectrum *phase = AddSpectrum(parent, "PhaseMeter");
    SetUpPhaseMeter(*phase, geometry);
    return phase;
}

TMMSpectrum *TMainForm::AddLargeSpectrum(QWidget *parent, const QRect &geometry) {
    TMMSpectrum *spectrum = AddSpectrum(parent, "MMSpectrum1");
    SetUpLargeSpectrum(*spectrum, geometry);
    return spectrum;
}

TMMSpectrum *TMainForm::AddSmallSpectrum(QWidget *parent, const QRect &geometry) {
    TMMSpectrum *spectrum = AddSpectrum(parent, "MMSpectrum2");
    SetUpSmallSpectrum(*spectrum, geometry);
    return spectrum;
}

void TMainForm::ConnectSpectra() {
    MMConnector2->SetSpectrum1(PhaseMeter);
    MMConnector2->SetSpectrum2(MMSpectrum2);
    MMConnector2->SetSpectrum3(MMSpectrum1);
}
