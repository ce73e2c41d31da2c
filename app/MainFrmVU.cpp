// The VU needle meters: the two main meters fed by the connector and the set-up menu's
// preview, their face and their reference level.

#include "app/FormHelpers.h"
#include "app/MainFrm.h"

TMMMeter *TMainForm::AddVUMeter(QWidget *parent, const QString &name, const QRect &geometry) {
    auto *meter = new TMMMeter(parent);
    meter->setObjectName(name);
    meter->SetName(name.toStdString());
    meter->SetBounds(geometry.x(), geometry.y(), geometry.width(), geometry.height());
    // The mode first: its switch sets colours and TopSpace that the console sets again.
    meter->SetMeterMode(mmVU);
    meter->Bevel().SetBevelOuter(bvLowered);
    meter->Bevel().SetOuterLightColor(clSilver);
    meter->Bevel().SetOuterShadowColor(clBlack);
    meter->SetColor(clGreen);
    meter->SetCaption("VU");
    meter->SetFont(ArialFont(12, true));
    meter->SetFontColor(clBlack);
    meter->SetScale1Color(clNavy);
    meter->SetScale2Color(clLime);
    meter->SetScale3Color(clMaroon);
    meter->SetNeedleColor(9652298);
    meter->SetNeedleWidth(2);
    meter->SetTopSpace(20);
    meter->SetBitLength(b16Bit);
    meter->SetChannel(chLeft);
    meter->SetMode(mStereo);
    meter->SetSamples(1000);
    meter->SetDecayMode(dmExponential);
    meter->SetDecay(7);
    meter->SetShowPeak(false);
    meter->SetRefLevel(-20.0);
    meter->SetBackGroundDIB(QImage(QStringLiteral(":/mainwindow/FaceBlue.png")));
    return meter;
}

void TMainForm::SetVUFace(const QLabel *picture) {
    const QImage face = picture->pixmap().toImage();
    for (TMMMeter *meter : {PlayMeterL, PlayMeterR, SetupMeter})
        meter->SetBackGroundDIB(face);
}

void TMainForm::ApplyVUFace(int backgroundNo) {
    const QLabel *faces[] = {BlueMeterPct, OrgMeterPct, YmkMeterPct};
    if (backgroundNo >= 1 && backgroundNo <= 3) SetVUFace(faces[backgroundNo - 1]);
}

void TMainForm::SetVURefLevel(int refLevel) {
    PlayMeterL->SetRefLevel(refLevel);
    PlayMeterR->SetRefLevel(refLevel);
}

void TMainForm::BlueMeterPctClick() {
    SetVUFace(BlueMeterPct);
    Settings.BackgroundNo = 1;
}

void TMainForm::OrgMeterPctClick() {
    SetVUFace(OrgMeterPct);
    Settings.BackgroundNo = 2;
}

void TMainForm::YmkMeterPctClick() {
    SetVUFace(YmkMeterPct);
    Settings.BackgroundNo = 3;
}
