// The console's controls: where each sits, its face, its type.

#include "app/FormHelpers.h"
#include "app/MainFrm.h"
#include "widgets/MMLoadingBracket.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QRadioButton>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// Where a frequency lands on the small spectrum's logarithmic axis (20 Hz ... 24 kHz).
int SmallSpectrumX(double hz) {
    constexpr double left = 14, width = 248;
    return static_cast<int>(std::lround(left + width * std::log(hz / 20.0) / std::log(24000.0 / 20.0)));
}

// The start layout's places; the other layout only moves these panels.
const TLayoutPlaces &StartPlaces() {
    static const TLayoutPlaces places = LayoutPlaces(TConsoleLayout::Lower);
    return places;
}

} // namespace

void TMainForm::BuildControls() {
    // The controls take their values while loading; derived state is built once at the end.
    TMMLoadingBracket loading;
    Image3 = AddPicture(this, "Image3", {0, 0, 800, 600});
    BuildUpperSection();
    BuildLowerSection();
    BuildSmallSpectrum();
    BuildMenu();
    BuildStandardsMenu();
    Button1 = AddPushButton(this, "Button1", "Exec Phase", {536, 744, 75, 25});
    Button1->hide();
    Button3 = AddPushButton(this, "Button3", "Exec Tikkora", {664, 752, 75, 25});
    Button3->hide();
    Image3->lower();
    loading.Done();
}

void TMainForm::BuildUpperSection() {
    PnlPhase = AddPlainPanel(this, "PnlPhase", {StartPlaces().PnlPhase, QSize(797, 335)}, kWindowColor);

    MMPanel3 = AddMMPanel(PnlPhase, "MMPanel3", {0, 0, 395, 328}, kPanelFace);
    MMPanel3->Bevel().SetBevelOuter(bvLowered);
    AddLabel(MMPanel3, "LblPhase", {8, 4}, "PHASE", clLime, ArialFont(12, true));
    Panel41 = AddPlainPanel(MMPanel3, "Panel41", {23, 19, 348, 298}, clBlack);
    PhaseMeter = AddPhaseMeter(Panel41, {36, 18, 270, 270});
    AddLabel(Panel41, "LblPhaseL", {6, 4}, "L", clLime, ArialFont(12, true));
    AddLabel(Panel41, "LblPhaseMono", {157, 4}, "MONO", clLime, ArialFont(12, true));
    AddLabel(Panel41, "LblPhaseR", {320, 6}, "R", clLime, ArialFont(12, true));
    AddLabel(Panel41, "LblPlusS", {7, 136}, "+S", clWhite, GothicFont(12));
    AddLabel(Panel41, "LblMinusS", {316, 141}, "-S", clWhite, GothicFont(12));

    MMPanel1 = AddMMPanel(PnlPhase, "MMPanel1", {397, 0, 110, 328});
    MMPanel1->Bevel().SetBevelOuter(bvLowered);
    PhaseSectPnl = new TFormPanel(MMPanel1);
    PhaseSectPnl->setObjectName("PhaseSectPnl");
    PhaseSectPnl->SetBounds(1, 1, 108, 326);
    PhaseSectPnl->Bevel().SetBevelOuter(bvNone);
    PhaseSectPnl->SetColor(clGray);

    MMPanel5 = AddMMPanel(PnlPhase, "MMPanel5", {511, 3, 278, 84}, kPanelFace);
    AddLabel(MMPanel5, "LblPeakLevels", {8, 6}, "PEAK LEVELS", clLime, ArialFont(12, true));
    PLLbl = AddLabel(MMPanel5, "PLLbl", {37, 31}, "----", clWhite, GothicFont(16, true));
    PRLbl = AddLabel(MMPanel5, "PRLbl", {184, 31}, "----", clWhite, GothicFont(16, true));
    // Room for the longest read-out ("-100.00"), fixed, so that none of its fifty changes a
    // second asks the panel to lay it out again. Plain text, not looked through for markup;
    // opaque on the panel's face, so that the label alone is painted again, not the panel.
    for (QLabel *readOut : {PLLbl, PRLbl}) {
        readOut->setFixedSize(88, readOut->height());
        readOut->setTextFormat(Qt::PlainText);
        SetBackground(readOut, kPanelFace);
    }
    AddLabel(MMPanel5, "LblPeakL", {15, 40}, "L", clYellow, ArialFont(12, true));
    AddLabel(MMPanel5, "LblPeakR", {162, 41}, "R", clYellow, ArialFont(12, true));
    MarginLedLeft = AddLed(MMPanel5, "MarginLedLeft", {41, 56, 32, 22}, kLedOrange, "+16");
    MarginLedRight = AddLed(MMPanel5, "MarginLedRight", {191, 56, 32, 22}, kLedOrange, "+16");

    PanelGrph = AddMMPanel(PnlPhase, "PanelGrph", SmallWindowInPhase, kPanelFace);
    BuildTrendGraph();

    Image2 = AddPicture(PnlPhase, "Image2", {509, 247, 148, 64}, ":/mainwindow/Image2.png");
    Image1 = AddPicture(PnlPhase, "Image1", {657, 245, 130, 55}, ":/mainwindow/Image1.png");
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->installEventFilter(this);

    // Version, revision and ownership, small and out of the way.
    const QFont small = ArialFont(9, false);
    AddLabel(PnlPhase, "LblVersion", {660, 298}, "VelmoraPro Version 1.0", clSilver, small);
    AddLabel(PnlPhase, "LblRevision", {660, 308}, "Revision 2026.12 (Linux)", clSilver, small);
    AddLabel(PnlPhase, "LblOwner", {660, 318}, "(C) Velmora Studio Systems", clSilver, small);
}

// The last 100 seconds of the louder channel, 0 dBFS at the top and -50 dBFS or less at the
// bottom, under the movable red line.
void TMainForm::BuildTrendGraph() {
    Trend7 = new TVarnTrend(PanelGrph);
    Trend7->setObjectName("Trend7");
    Trend7->SetName("Trend7");
    Trend7->SetBounds(3, 3, 271, 127);
    Trend7->Bevel().SetBevelOuter(bvNone);
    Trend7->SetColor(9976065);
    Trend7->SetMaxVal(50);
    Trend7->SetDivisions(100);
    Trend7->SetStyle(tsFilled);
    Trend7->SetColorBase(clYellow);
    Trend7->SetBackGroundColor(clBlack);
    Trend7->SetGridStyle(gsNone);
    Trend7->SetGridColor(6710886);
    BdRedLine = AddLine(Trend7, "BdRedLine", {-5, 49, 276, 1}, clRed);
}

void TMainForm::BuildLowerSection() {
    PnlVU = AddPlainPanel(this, "PnlVU", {StartPlaces().PnlVU, QSize(790, 255)}, kWindowColor);

    SpecPanel = AddMMPanel(PnlVU, "SpecPanel", {1, 0, 789, 255}, kPanelFace);
    MMSpectrum1 = AddLargeSpectrum(SpecPanel, {6, 21, 776, 220});
    AddLabel(SpecPanel, "LblSpectrumTitle", {330, 4}, "SPECTRUM ANALYZER", clLime, ArialFont(12, true));
    AddLabel(SpecPanel, "LblSpecTopL", {8, 5}, "0", clWhite, GothicFont(12));
    AddLabel(SpecPanel, "LblSpecTopR", {772, 5}, "0", clWhite, GothicFont(12));
    AddLabel(SpecPanel, "LblSpecBottomL", {8, 241}, "-60", clWhite, GothicFont(12));
    AddLabel(SpecPanel, "LblSpecBottomR", {762, 241}, "-60", clWhite, GothicFont(12));

    VuPanel = AddMMPanel(PnlVU, "VuPanel", {0, 0, 789, 255}, kPanelFace);
    // The VU page lies over the spectrum page, which waits hidden as after a page switch
    // instead of drawing every block where nobody sees it.
    SpecPanel->hide();
    PlayMeterL = AddVUMeter(VuPanel, "PlayMeterL", {32, 35, 341, 185});
    PlayMeterR = AddVUMeter(VuPanel, "PlayMeterR", {418, 35, 341, 185});
    PlayMeterR->SetScale2Color(clTeal);
    PlayMeterR->SetChannel(chRight);
    SIGLED = AddLed(VuPanel, "SIGLED", {33, 227, 341, 4}, clLime, {});
    SIGLED2 = AddLed(VuPanel, "SIGLED2", {417, 227, 343, 4}, clLime, {});
    AddLabel(VuPanel, "LblLeft", {189, 238}, "LEFT", clLime, ArialFont(12, true));
    AddLabel(VuPanel, "LblRight", {572, 237}, "RIGHT", clLime, ArialFont(12, true));
    AddLabel(VuPanel, "LblVU", {389, 7}, "VU", clLime, ArialFont(12, true));
    BlueMeterPct = AddPicture(VuPanel, "BlueMeterPct", {742, 235, 12, 12}, ":/mainwindow/FaceBlue.png");
    OrgMeterPct = AddPicture(VuPanel, "OrgMeterPct", {757, 235, 12, 12}, ":/mainwindow/FaceOrange.png");
    YmkMeterPct = AddPicture(VuPanel, "YmkMeterPct", {772, 235, 12, 12}, ":/mainwindow/FaceThird.png");
    for (QLabel *face : {BlueMeterPct, OrgMeterPct, YmkMeterPct})
        face->hide();

    // The page buttons; the selected page's button has a red outer bevel.
    VuChgBtnPanel = AddMMPanel(PnlVU, "VuChgBtnPanel", {643, 2, 71, 17}, kPanelFace);
    SetOuterRingColor(VuChgBtnPanel, clRed);
    VuChgBtnLbl = AddPageCaption(VuChgBtnPanel, "VuChgBtnLbl", "VU METER", ArialFont(10, true));
    SpcChgBtnPanel = AddMMPanel(PnlVU, "SpcChgBtnPanel", {715, 2, 73, 17}, kPanelFace);
    SetOuterRingColor(SpcChgBtnPanel, kWindowColor);
    SpcChgBtnLbl = AddPageCaption(SpcChgBtnPanel, "SpcChgBtnLbl", "SPECTRUM", ArialFont(10, true));
}

void TMainForm::BuildSmallSpectrum() {
    PanelSpectrum = AddMMPanel(this, "PanelSpectrum",
                               {StartPlaces().PanelSpectrum, SmallWindowInPhase.size()}, kPanelFace);
    MMSpectrum2 = AddSmallSpectrum(PanelSpectrum, {-10, 6, 296, 109});
    struct TMark {
        const char *text;
        double hz;
    };
    static constexpr TMark kMarks[] = {{"20", 20},   {"36", 36},   {"56", 56},     {"125", 125},
                                       {"250", 250}, {"500", 500}, {"1K", 1000},   {"2K", 2000},
                                       {"4K", 4000}, {"8K", 8000}, {"16K", 16000}, {"24K", 24000}};
    const QFont small = ArialFont(9, false);
    // Ticks sit at their frequencies; the labels under them are pushed left where the
    // scale crowds at the top end, so none covers its neighbour.
    int nextLeft = SmallWindowInPhase.width();
    for (auto mark = std::rbegin(kMarks); mark != std::rend(kMarks); ++mark) {
        const int x = SmallSpectrumX(mark->hz);
        AddLine(PanelSpectrum, QString("TickSpa%1").arg(mark->text), {x, 116, 1, 5}, clSilver);
        QLabel *label = AddLabel(PanelSpectrum, QString("LblSpa%1").arg(mark->text), {0, 122}, mark->text,
                                 clSilver, small);
        const int left = std::max(0, std::min(x - label->width() / 2, nextLeft - label->width() - 1));
        label->move(left, 122);
        nextLeft = left;
    }
    AddLabel(PanelSpectrum, "LblSpaTopL", {2, 6}, "0", clSilver, small);
    AddLabel(PanelSpectrum, "LblSpaTopR", {270, 6}, "0", clSilver, small);
    AddLabel(PanelSpectrum, "LblSpaBottomL", {2, 103}, "-60", clSilver, small);
    AddLabel(PanelSpectrum, "LblSpaBottomR", {261, 103}, "-60", clSilver, small);
}

void TMainForm::BuildMenu() {
    CloseBox = new QGroupBox("Menu", this);
    CloseBox->setObjectName("CloseBox");
    CloseBox->setGeometry(203, 118, 358, 331);
    SetColors(CloseBox, clWhite, kWindowColor);

    const QFont text = GothicFont(12);
    Label1 = AddLabel(CloseBox, "Label1", {9, 24}, "INPUT DEVICE", clWhite, text);
    cmbInputDevice = new QComboBox(CloseBox);
    cmbInputDevice->setObjectName("cmbInputDevice");
    cmbInputDevice->setFrame(false);
    cmbInputDevice->setGeometry(6, 37, 171, 20);

    Label2 = AddLabel(CloseBox, "Label2", {9, 68}, "VU Ref Level", clWhite, text);
    // A display driven by its spin button, not typed into.
    SetupRefLvl = new TMMNumberEdit(CloseBox);
    SetupRefLvl->setObjectName("SetupRefLvl");
    SetupRefLvl->SetReadOnly(true);
    SetupRefLvl->SetBounds(40, 82, 35, 20);
    SetupRefLvl->SetMinValue(-30);
    SetupRefLvl->SetMaxValue(-10);
    SetupRefLvl->SetValue(-20);
    Label3 = AddLabel(CloseBox, "Label3", {79, 88}, "db", clWhite, text);
    MMSpinButton1 = AddSpinButton(CloseBox, "MMSpinButton1", {96, 76});

    Label4 = AddLabel(CloseBox, "Label4", {9, 114}, "DEF VU COLOR", clWhite, text);
    SetupMeter = AddVUMeter(CloseBox, "SetupMeter", {8, 127, 129, 70});
    Image4 = AddPicture(CloseBox, "Image4", {146, 127, 39, 22}, ":/mainwindow/FaceBlue.png");
    Image5 = AddPicture(CloseBox, "Image5", {146, 151, 39, 22}, ":/mainwindow/FaceOrange.png");
    Image6 = AddPicture(CloseBox, "Image6", {146, 175, 39, 22}, ":/mainwindow/FaceThird.png");
    for (QLabel *face : {Image4, Image5, Image6}) {
        face->setScaledContents(true);
        face->setCursor(Qt::PointingHandCursor);
        face->installEventFilter(this);
    }

    Label5 = AddLabel(CloseBox, "Label5", {23, 205}, "PEAK LEVEL \nOVL COLOR", clWhite, text);
    SetupLed1 = AddLed(CloseBox, "SetupLed1", {25, 232, 32, 22}, clRed, "-5");
    SetupLed2 = AddLed(CloseBox, "SetupLed2", {25, 265, 32, 22}, kLedOrange, "-10");
    SetupLed3 = AddLed(CloseBox, "SetupLed3", {25, 298, 32, 22}, clLime, "-20");
    MMSpinButton2 = AddSpinButton(CloseBox, "MMSpinButton2", {64, 228});
    MMSpinButton3 = AddSpinButton(CloseBox, "MMSpinButton3", {64, 263});
    MMSpinButton4 = AddSpinButton(CloseBox, "MMSpinButton4", {64, 296});

    SetUpChkRedLine = AddButton<QCheckBox>(CloseBox, "SetUpChkRedLine", "Show Red Line", {208, 24});
    Label6 = AddLabel(CloseBox, "Label6", {209, 53}, "PEAK RED LINE POS", clWhite, text);
    MMSpinButton5 = AddSpinButton(CloseBox, "MMSpinButton5", {328, 44});
    Label11 = AddLabel(CloseBox, "Label11", {209, 77}, "VU POS", clWhite, text);
    RbUpper = AddButton<QRadioButton>(CloseBox, "RbUpper", "Upper", {210, 94});
    RbLower = AddButton<QRadioButton>(CloseBox, "RbLower", "Lower", {274, 94});
    RbLower->setChecked(true);
    CbJackConnect = AddButton<QCheckBox>(CloseBox, "CbJackConnect", "JACK auto-connect", {208, 118});
    CbJackConnect->setToolTip(
        "The JACK input's ports joined to the first two physical capture ports as it starts");

    MMPanel4 = AddMMPanel(CloseBox, "MMPanel4", {112, 216, 105, 90});
    // The menu's own ground, so its white captions read.
    MMPanel4->SetParentColor(true);
    Label12 = AddLabel(MMPanel4, "Label12", {9, 5}, "SMALL WINDOW", clWhite, text);
    rbLevelG = AddButton<QRadioButton>(MMPanel4, "rbLevelG", "LEVEL GRAPH", {4, 24});
    rbSpa = AddButton<QRadioButton>(MMPanel4, "rbSpa", "SIMPLE SPA", {4, 43});
    rbLevelG->setChecked(true);
    CbLineSpa = AddButton<QCheckBox>(MMPanel4, "CbLineSpa", "LINE SPA", {24, 64});
    for (QWidget *w : std::initializer_list<QWidget *>{SetUpChkRedLine, RbUpper, RbLower, rbLevelG, rbSpa,
                                                       CbLineSpa, CbJackConnect})
        SetColors(w, clWhite);

    Button4 = AddPushButton(CloseBox, "Button4", "Close this menu", {236, 144, 113, 25});
    BtnSaveSetting = AddPushButton(CloseBox, "BtnSaveSetting", "Save Setting", {236, 184, 120, 24});
    Button5 = AddPushButton(CloseBox, "Button5", "Load Default Setting", {236, 208, 120, 24});
    ShutDnBtn = AddPushButton(CloseBox, "ShutDnBtn", "Shutdown", {236, 272, 120, 24});
    Button2 = AddPushButton(CloseBox, "Button2", "Quit Program", {236, 296, 120, 24});

    CloseBox->hide();
}
