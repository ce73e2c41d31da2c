#include "app/MeterPnl.h"

#include "app/FormHelpers.h"
#include "widgets/MMLoadingBracket.h"

namespace {

// A PEAK bar with what the two share: 71 spots of 3 pixels from -60 dBFS up, a two-spot
// marker held a second and falling a spot per tick, the bar itself falling about 0.9 % a block.
TMMLevel *AddPeakBar(QWidget *parent, const QString &name, const QRect &geometry, TMMChannel channel) {
    auto *bar = new TMMLevel(parent);
    bar->setObjectName(name);
    bar->SetName(name.toStdString());
    bar->SetBounds(geometry.x(), geometry.y(), geometry.width(), geometry.height());
    // A raised inner ring of one pixel instead of the lowered outer one: inner 18 x 286.
    bar->Bevel().SetBevelOuter(bvNone);
    bar->Bevel().SetBevelInner(bvRaised);
    bar->SetKind(lkVertical);
    bar->SetSpotWidth(3);
    bar->SetBar1Color(kPeakBarColor);
    bar->SetBar2Color(kPeakBarColor);
    bar->SetInactive1Color(kPeakBarUnlit);
    bar->SetInactive2Color(kPeakBarUnlit);
    bar->SetInactive3Color(kPeakBarUnlitRed);
    bar->SetPoint1(40);
    bar->SetPoint2(67);
    bar->SetBitLength(b16Bit);
    bar->SetMode(mStereo);
    bar->SetChannel(channel);
    bar->SetSensitivy(-60);
    bar->SetNumPeaks(2);
    bar->SetPeakSpeed(1);
    bar->SetDecayMode(dmStepUp);
    bar->SetDecay(10);
    return bar;
}

} // namespace

TMeterPanel::TMeterPanel(QWidget *parent) : QWidget(parent, Qt::Window) {
    setObjectName("MeterPanel");
    // Also the key by which the main window's host panel finds this window.
    setWindowTitle("MeterPanel");
    resize(148, 417);
    SetBackground(this, kWindowColor);

    TMMLoadingBracket loading;
    MMPanel1 = AddMMPanel(this, "MMPanel1", {0, 0, 108, 326}, kPanelFace);
    MMPanel1->Bevel().SetBevelOuter(bvLowered);
    SetOuterRingColor(MMPanel1, clBtnShadow);

    MMLevel1 = AddPeakBar(MMPanel1, "MMLevel1", {11, 18, 20, 288}, chLeft);
    MMLevel2 = AddPeakBar(MMPanel1, "MMLevel2", {76, 18, 20, 288}, chRight);

    MMLevelScale2 = new TMMLevelScale(MMPanel1);
    MMLevelScale2->setObjectName("MMLevelScale2");
    MMLevelScale2->SetName("MMLevelScale2");
    MMLevelScale2->SetBounds(36, 18, 36, 288);
    MMLevelScale2->SetColor(kPanelFace);
    MMLevelScale2->SetScaleTicks(13);
    MMLevelScale2->SetPoint1(40);
    MMLevelScale2->SetPoint2(70);
    MMLevelScale2->SetSensitivy(-60);
    MMLevelScale2->SetKind(lkVertical);
    TMMLevScale &scale = MMLevelScale2->Scale();
    scale.SetVisible(true);
    scale.SetTickCount(25);
    scale.SetEnlargeEvery(4);
    scale.SetSize(7);
    scale.SetOrigin(soInner);
    scale.SetConnect(true);
    MMLevelScale2->SetFont(ArialFont(12, false));

    Label2 = AddLabel(MMPanel1, "Label2", {38, 2}, "PEAK", clLime, ArialFont(12, true));
    ClipL = AddLabel(MMPanel1, "ClipL", {9, 3}, "CLIP", clMaroon, ArialFont(9, true));
    ClipR = AddLabel(MMPanel1, "ClipR", {76, 4}, "CLIP", clMaroon, ArialFont(9, true));
    Label1 = AddLabel(MMPanel1, "Label1", {48, 305}, "dB", clSilver, ArialFont(11, true));
    Label7 = AddLabel(MMPanel1, "Label7", {17, 310}, "L", clYellow, ArialFont(9, true));
    Label3 = AddLabel(MMPanel1, "Label3", {83, 309}, "R", clYellow, ArialFont(9, true));
    loading.Done();
    FormCreate();
}

void TMeterPanel::FormCreate() {
    MMLevel1->SetBitsPerPixel(24);
    MMLevel2->SetBitsPerPixel(24);
}
