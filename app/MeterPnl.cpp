#include "app/MeterPnl.h"

#include "app/FormHelpers.h"
#include "widgets/MMLoadingBracket.h"

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

    // The left bar meter (TMMLevel, chLeft) replaces this.
    MMLevel1 = AddPanel(MMPanel1, "MMLevel1", {11, 18, 20, 288}, clBlack, ToQColor(clBtnShadow));
    // The right bar meter (TMMLevel, chRight) replaces this.
    MMLevel2 = AddPanel(MMPanel1, "MMLevel2", {76, 18, 20, 288}, clBlack, ToQColor(clBtnShadow));
    // The vertical dB scale between the bars (TMMLevelScale) replaces this.
    MMLevelScale2 = AddPanel(MMPanel1, "MMLevelScale2", {36, 18, 36, 288}, kPanelFace);

    Label2 = AddLabel(MMPanel1, "Label2", {38, 2}, "PEAK", clLime, ArialFont(12, true));
    ClipL = AddLabel(MMPanel1, "ClipL", {9, 3}, "CLIP", clMaroon, ArialFont(9, true));
    ClipR = AddLabel(MMPanel1, "ClipR", {76, 4}, "CLIP", clMaroon, ArialFont(9, true));
    Label1 = AddLabel(MMPanel1, "Label1", {48, 305}, "dB", clSilver, ArialFont(11, true));
    Label7 = AddLabel(MMPanel1, "Label7", {17, 310}, "L", clYellow, ArialFont(9, true));
    Label3 = AddLabel(MMPanel1, "Label3", {83, 309}, "R", clYellow, ArialFont(9, true));
    loading.Done();
}
