#include "app/MainFrm.h"

#include "app/Application.h"
#include "platform/ProgramLauncher.h"
#include "platform/X11Windows.h"
#include "widgets/MMColors.h"
#include "widgets/MMLoadingBracket.h"

#include <QAbstractNativeEventFilter>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QDir>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include <xcb/xcb.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unistd.h>

namespace {

constexpr TColor kWindowColor = 4869450; // the window's dark grey
constexpr TColor kPanelFace = 2040095;   // the near-black face of the instrument panels
constexpr TColor kLedOrange = 33023;

// The fixed-pitch Japanese Gothic, or its proportional cut.
QFont Gothic(int pixels, bool bold = false, const char *family = "IPAGothic") {
    QFont f(family);
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

QFont Arial(int pixels, bool bold) {
    QFont f("Liberation Sans");
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

void SetColors(QWidget *w, TColor text, TColor background = clNone) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, ToQColor(text));
    if (background != clNone) {
        p.setColor(QPalette::Window, ToQColor(background));
        w->setAutoFillBackground(true);
    }
    w->setPalette(p);
}

TPlaceholder *AddPanel(QWidget *parent, const QString &name, const QRect &geometry, TColor face,
                       const QColor &frame = QColor()) {
    return new TPlaceholder(parent, name, geometry, ToQColor(face), frame);
}

// A platform panel without bevel: only a face.
QWidget *AddPlainPanel(QWidget *parent, const QString &name, const QRect &geometry, TColor face) {
    auto *panel = new QWidget(parent);
    panel->setObjectName(name);
    panel->setGeometry(geometry);
    QPalette p = panel->palette();
    p.setColor(QPalette::Window, ToQColor(face));
    panel->setPalette(p);
    panel->setAutoFillBackground(true);
    return panel;
}

// A bevelled panel; its bevel keeps the default lowered outer ring. clNone keeps clBtnFace.
TMMPanel *AddMMPanel(QWidget *parent, const QString &name, const QRect &geometry, TColor face = clNone) {
    auto *panel = new TMMPanel(parent);
    panel->setObjectName(name);
    panel->SetBounds(geometry.x(), geometry.y(), geometry.width(), geometry.height());
    if (face != clNone) panel->SetColor(face);
    return panel;
}

// A border without bevel, one pixel thick: a plain line in `color`.
TMMBorder *AddLine(QWidget *parent, const QString &name, const QRect &geometry, TColor color) {
    auto *line = new TMMBorder(parent);
    line->setObjectName(name);
    line->Bevel().SetBevelOuter(bvNone);
    line->SetColor(color);
    line->SetBounds(geometry.x(), geometry.y(), geometry.width(), geometry.height());
    return line;
}

TMMSpinButton *AddSpinButton(QWidget *parent, const QString &name, QPoint at) {
    auto *spin = new TMMSpinButton(parent);
    spin->setObjectName(name);
    spin->move(at);
    return spin;
}

// The caption of a page button: plain lime text (no relief) across the button's face.
TMMLabel *AddPageCaption(TMMPanel *button, const QString &name, const QString &caption, const QFont &font) {
    auto *label = new TMMLabel(button);
    label->setObjectName(name);
    label->SetEffectStyle(lsCustom);
    label->SetDepthHighlight(0);
    label->SetDepthShadow(0);
    // The relief layers lie under the text; in the face colour their smoothed edges stay unseen.
    label->SetColourHighlight(button->Color());
    label->SetColourShadow(button->Color());
    label->SetFont(font);
    label->SetFontColor(clLime);
    label->SetAlignment(taCenter);
    label->SetCaption(caption);
    const TRect inner = button->InnerRect();
    label->SetBounds(inner.Left, inner.Top + 1, inner.Width(), inner.Height() - 1);
    return label;
}

// The red outer ring marks the page shown.
void MarkPageButton(TMMPanel *button, TColor color) {
    TMMBevel &bevel = button->Bevel();
    bevel.BeginUpdate();
    bevel.SetOuterLightColor(color);
    bevel.SetOuterShadowColor(color);
    bevel.EndUpdate();
}

// An auto-sized label with a transparent ground, its top-left corner at `at`.
QLabel *AddLabel(QWidget *parent, const QString &name, QPoint at, const QString &text, TColor color,
                 const QFont &font) {
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(font);
    SetColors(label, color);
    label->move(at);
    label->adjustSize();
    return label;
}

QLabel *AddPicture(QWidget *parent, const QString &name, const QRect &geometry,
                   const QString &resource = {}) {
    auto *picture = new QLabel(parent);
    picture->setObjectName(name);
    picture->setGeometry(geometry);
    if (!resource.isEmpty()) picture->setPixmap(QPixmap(resource));
    return picture;
}

// A lamp with a black body and its caption in bold 11-pixel type, drawn in the lamp colour.
QLabel *AddLed(QWidget *parent, const QString &name, const QRect &geometry, TColor ledColor,
               const QString &caption) {
    auto *led = new QLabel(caption, parent);
    led->setObjectName(name);
    led->setGeometry(geometry);
    led->setAlignment(Qt::AlignCenter);
    led->setFont(Arial(11, true));
    SetColors(led, ledColor, clBlack);
    return led;
}

template <class Button>
Button *AddButton(QWidget *parent, const QString &name, const QString &caption, QPoint at) {
    auto *button = new Button(caption, parent);
    button->setObjectName(name);
    button->move(at);
    button->adjustSize();
    return button;
}

QPushButton *AddPushButton(QWidget *parent, const QString &name, const QString &caption,
                           const QRect &geometry) {
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    // The proportional cut of the same Gothic, so "Load Default Setting" fits its button.
    button->setFont(Gothic(12, false, "IPAPGothic"));
    button->setGeometry(geometry);
    return button;
}

// A margin threshold and the caption of its lamp in the menu move together, without limits.
void StepPeakLevel(int &level, QLabel *led, int step) {
    level += step;
    led->setText(QString::number(level));
}

// While a modal box is up (the error box, the shutdown question) the toolkit drops close
// requests for the window under it; the window manager's close must still end the console.
class TModalCloseFilter : public QAbstractNativeEventFilter {
  public:
    TModalCloseFilter(TMainForm *form, xcb_connection_t *connection)
        : FForm(form), FProtocols(X11InternAtom(connection, "WM_PROTOCOLS")),
          FDeleteWindow(X11InternAtom(connection, "WM_DELETE_WINDOW")) {}

    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override {
        if (type != "xcb_generic_event_t" || QGuiApplication::modalWindow() == nullptr) return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE) return false;
        const auto *request = reinterpret_cast<const xcb_client_message_event_t *>(event);
        if (request->type != FProtocols || request->format != 32 ||
            request->data.data32[0] != FDeleteWindow || FDeleteWindow == XCB_ATOM_NONE ||
            request->window != FForm->internalWinId())
            return false;
        FForm->FormCloseQuery();
        return true;
    }

  private:
    TMainForm *FForm;
    xcb_atom_t FProtocols;
    xcb_atom_t FDeleteWindow;
};

// Where a frequency lands on the small spectrum's logarithmic axis (20 Hz ... 24 kHz).
int SmallSpectrumX(double hz) {
    constexpr double left = 14, width = 248;
    return static_cast<int>(std::lround(left + width * std::log(hz / 20.0) / std::log(24000.0 / 20.0)));
}

} // namespace

TMainForm::TMainForm(QWidget *parent) : QWidget(parent, Qt::Tool) {
    // The artwork is compiled into the static library; make sure it is linked in.
    Q_INIT_RESOURCE(mainwindow);
    setObjectName("MainForm");
    setWindowTitle("Sound Tikkora Meter");
    setFont(Gothic(12));
    SetColors(this, clBlack, kWindowColor);
    setFixedSize(800, 610);

    // The controls take their values while loading; derived state is built once at the end.
    TMMLoadingBracket loading;
    Image3 = AddPicture(this, "Image3", {0, 0, 800, 600});
    BuildUpperSection();
    BuildLowerSection();
    BuildSmallSpectrum();
    BuildMenu();
    Button1 = AddPushButton(this, "Button1", "Exec Phase", {536, 744, 75, 25});
    Button1->hide();
    Button3 = AddPushButton(this, "Button3", "Exec Tikkora", {664, 752, 75, 25});
    Button3->hide();
    Image3->lower();
    loading.Done();
    ConnectHandlers();

    FWaveIn = std::make_unique<TMMWaveIn>();
    MMWaveIn1 = FWaveIn.get();
    MMWaveIn1->SetName("MMWaveIn1");
    MMWaveIn1->SetBufferSize(8192);
    MMWaveIn1->SetCallBackMode(cmThread);
    MMWaveIn1->SetMode(mStereo);
    MMWaveIn1->SetBitLength(b16Bit);
    MMWaveIn1->SetSampleRate(48000);

    // The instruments' slots stay empty until the meters take their places.
    FConnector = std::make_unique<TMMConnector>();
    MMConnector2 = FConnector.get();
    MMConnector2->SetName("MMConnector2");
    TMMConnector::SetEnterIdle(false);
    MMConnector2->SetInput(MMWaveIn1);

    // The 20 ms read-out refresh runs from the first show whose capture started.
    FHiTimer = std::make_unique<TMMHiTimer>();
    MMHiTimer1 = FHiTimer.get();
    MMHiTimer1->SetName("MMHiTimer1");
    MMHiTimer1->SetEnabled(false);
    MMHiTimer1->SetCallBackMode(cmThread);
    MMHiTimer1->SetSynchronize(true);
    MMHiTimer1->SetInterval(20);
    MMHiTimer1->SetOnTimer([this](TObject *Sender) { MMHiTimer1Timer(Sender); });

    // The offscreen platform answers as X11 too, but without a connection.
    if (auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        x11 != nullptr && x11->connection() != nullptr) {
        FModalCloseFilter = std::make_unique<TModalCloseFilter>(this, x11->connection());
        qGuiApp->installNativeEventFilter(FModalCloseFilter.get());
    }

    FormOnCreate();
}

TMainForm::~TMainForm() = default;

void TMainForm::BuildUpperSection() {
    PnlPhase = AddPlainPanel(this, "PnlPhase", {4, 6, 797, 335}, kWindowColor);

    MMPanel3 = AddMMPanel(PnlPhase, "MMPanel3", {0, 0, 395, 328}, kPanelFace);
    MMPanel3->Bevel().SetBevelOuter(bvLowered);
    AddLabel(MMPanel3, "LblPhase", {8, 4}, "PHASE", clLime, Arial(12, true));
    Panel41 = AddPlainPanel(MMPanel3, "Panel41", {23, 19, 348, 298}, clBlack);
    PhaseMeter = AddPanel(Panel41, "PhaseMeter", {36, 18, 270, 270}, clBlack, ToQColor(clBtnHighlight));
    AddLabel(Panel41, "LblPhaseL", {6, 4}, "L", clLime, Arial(12, true));
    AddLabel(Panel41, "LblPhaseMono", {157, 4}, "MONO", clLime, Arial(12, true));
    AddLabel(Panel41, "LblPhaseR", {320, 6}, "R", clLime, Arial(12, true));
    AddLabel(Panel41, "LblPlusS", {7, 136}, "+S", clWhite, Gothic(12));
    AddLabel(Panel41, "LblMinusS", {316, 141}, "-S", clWhite, Gothic(12));

    MMPanel1 = AddMMPanel(PnlPhase, "MMPanel1", {397, 0, 110, 328});
    MMPanel1->Bevel().SetBevelOuter(bvLowered);
    PhaseSectPnl = AddPanel(MMPanel1, "PhaseSectPnl", {1, 1, 108, 326}, clGray);

    MMPanel5 = AddMMPanel(PnlPhase, "MMPanel5", {511, 3, 278, 84}, kPanelFace);
    AddLabel(MMPanel5, "LblPeakLevels", {8, 6}, "PEAK LEVELS", clLime, Arial(12, true));
    PLLbl = AddLabel(MMPanel5, "PLLbl", {37, 31}, "----", clWhite, Gothic(16, true));
    PRLbl = AddLabel(MMPanel5, "PRLbl", {184, 31}, "----", clWhite, Gothic(16, true));
    // Room for the longest read-out ("-100.00") without resizing on every change.
    for (QLabel *readOut : {PLLbl, PRLbl})
        readOut->resize(88, readOut->height());
    AddLabel(MMPanel5, "LblPeakL", {15, 40}, "L", clYellow, Arial(12, true));
    AddLabel(MMPanel5, "LblPeakR", {162, 41}, "R", clYellow, Arial(12, true));
    MarginLedLeft = AddLed(MMPanel5, "MarginLedLeft", {41, 56, 32, 22}, kLedOrange, "+16");
    MarginLedRight = AddLed(MMPanel5, "MarginLedRight", {191, 56, 32, 22}, kLedOrange, "+16");

    PanelGrph = AddMMPanel(PnlPhase, "PanelGrph", {511, 91, 278, 133}, kPanelFace);
    Trend7 = AddPanel(PanelGrph, "Trend7", {3, 3, 271, 127}, clBlack);
    BdRedLine = AddLine(Trend7, "BdRedLine", {-5, 49, 276, 1}, clRed);

    Image2 = AddPicture(PnlPhase, "Image2", {509, 247, 148, 64}, ":/mainwindow/Image2.png");
    Image1 = AddPicture(PnlPhase, "Image1", {657, 245, 130, 55}, ":/mainwindow/Image1.png");
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->installEventFilter(this);

    // Version, revision and ownership, small and out of the way.
    AddLabel(PnlPhase, "LblVersion", {660, 298}, "VelmoraPro Version 1.0", clSilver, Arial(9, false));
    AddLabel(PnlPhase, "LblRevision", {660, 308}, "Revision 2026.12 (Linux)", clSilver, Arial(9, false));
    AddLabel(PnlPhase, "LblOwner", {660, 318}, "(C) Velmora Studio Systems", clSilver, Arial(9, false));
}

void TMainForm::BuildLowerSection() {
    PnlVU = AddPlainPanel(this, "PnlVU", {4, 337, 790, 255}, kWindowColor);

    SpecPanel = AddMMPanel(PnlVU, "SpecPanel", {1, 0, 789, 255}, kPanelFace);
    MMSpectrum1 = AddPanel(SpecPanel, "MMSpectrum1", {6, 21, 776, 220}, clBlack);
    AddLabel(SpecPanel, "LblSpectrumTitle", {330, 4}, "SPECTRUM ANALYZER", clLime, Arial(12, true));
    AddLabel(SpecPanel, "LblSpecTopL", {8, 5}, "0", clWhite, Gothic(12));
    AddLabel(SpecPanel, "LblSpecTopR", {772, 5}, "0", clWhite, Gothic(12));
    AddLabel(SpecPanel, "LblSpecBottomL", {8, 241}, "-60", clWhite, Gothic(12));
    AddLabel(SpecPanel, "LblSpecBottomR", {762, 241}, "-60", clWhite, Gothic(12));

    VuPanel = AddMMPanel(PnlVU, "VuPanel", {0, 0, 789, 255}, kPanelFace);
    PlayMeterL = AddPanel(VuPanel, "PlayMeterL", {32, 35, 341, 185}, clGreen, ToQColor(clSilver));
    PlayMeterR = AddPanel(VuPanel, "PlayMeterR", {418, 35, 341, 185}, clGreen, ToQColor(clSilver));
    SIGLED = AddPanel(VuPanel, "SIGLED", {33, 227, 341, 4}, clBlack);
    SIGLED2 = AddPanel(VuPanel, "SIGLED2", {417, 227, 343, 4}, clBlack);
    AddLabel(VuPanel, "LblLeft", {189, 238}, "LEFT", clLime, Arial(12, true));
    AddLabel(VuPanel, "LblRight", {572, 237}, "RIGHT", clLime, Arial(12, true));
    AddLabel(VuPanel, "LblVU", {389, 7}, "VU", clLime, Arial(12, true));
    BlueMeterPct = AddPicture(VuPanel, "BlueMeterPct", {742, 235, 12, 12});
    OrgMeterPct = AddPicture(VuPanel, "OrgMeterPct", {757, 235, 12, 12});
    YmkMeterPct = AddPicture(VuPanel, "YmkMeterPct", {772, 235, 12, 12});
    BlueMeterPct->setPixmap(QPixmap(":/mainwindow/FaceBlue.png"));
    OrgMeterPct->setPixmap(QPixmap(":/mainwindow/FaceOrange.png"));
    YmkMeterPct->setPixmap(QPixmap(":/mainwindow/FaceThird.png"));
    for (QLabel *face : {BlueMeterPct, OrgMeterPct, YmkMeterPct})
        face->hide();

    // The page buttons; the selected page's button has a red outer bevel.
    VuChgBtnPanel = AddMMPanel(PnlVU, "VuChgBtnPanel", {643, 2, 71, 17}, kPanelFace);
    MarkPageButton(VuChgBtnPanel, clRed);
    VuChgBtnLbl = AddPageCaption(VuChgBtnPanel, "VuChgBtnLbl", "VU METER", Arial(10, true));
    SpcChgBtnPanel = AddMMPanel(PnlVU, "SpcChgBtnPanel", {715, 2, 73, 17}, kPanelFace);
    MarkPageButton(SpcChgBtnPanel, kWindowColor);
    SpcChgBtnLbl = AddPageCaption(SpcChgBtnPanel, "SpcChgBtnLbl", "SPECTRUM", Arial(10, true));
}

void TMainForm::BuildSmallSpectrum() {
    PanelSpectrum = AddMMPanel(this, "PanelSpectrum", {515, 97, 278, 133}, kPanelFace);
    MMSpectrum2 = AddPanel(PanelSpectrum, "MMSpectrum2", {-10, 6, 296, 109}, clBlack);
    struct TMark {
        const char *text;
        double hz;
    };
    static constexpr TMark kMarks[] = {{"20", 20},   {"36", 36},   {"56", 56},     {"125", 125},
                                       {"250", 250}, {"500", 500}, {"1K", 1000},   {"2K", 2000},
                                       {"4K", 4000}, {"8K", 8000}, {"16K", 16000}, {"24K", 24000}};
    const QFont small = Arial(9, false);
    // Ticks sit at their frequencies; the labels under them are pushed left where the
    // scale crowds at the top end, so none covers its neighbour.
    int nextLeft = 278;
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

    const QFont text = Gothic(12);
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
    SetupMeter = AddPanel(CloseBox, "SetupMeter", {8, 127, 129, 70}, clGreen, ToQColor(clSilver));
    Image4 = AddPicture(CloseBox, "Image4", {146, 127, 39, 22}, ":/mainwindow/FaceBlue.png");
    Image5 = AddPicture(CloseBox, "Image5", {146, 151, 39, 22}, ":/mainwindow/FaceOrange.png");
    Image6 = AddPicture(CloseBox, "Image6", {146, 175, 39, 22}, ":/mainwindow/FaceThird.png");
    for (QLabel *face : {Image4, Image5, Image6})
        face->setScaledContents(true);

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

    MMPanel4 = AddMMPanel(CloseBox, "MMPanel4", {112, 216, 105, 90});
    // The menu's own ground, so its white captions read.
    MMPanel4->SetParentColor(true);
    Label12 = AddLabel(MMPanel4, "Label12", {9, 5}, "SMALL WINDOW", clWhite, text);
    rbLevelG = AddButton<QRadioButton>(MMPanel4, "rbLevelG", "LEVEL GRAPH", {4, 24});
    rbSpa = AddButton<QRadioButton>(MMPanel4, "rbSpa", "SIMPLE SPA", {4, 43});
    rbLevelG->setChecked(true);
    CbLineSpa = AddButton<QCheckBox>(MMPanel4, "CbLineSpa", "LINE SPA", {24, 64});
    for (QWidget *w :
         std::initializer_list<QWidget *>{SetUpChkRedLine, RbUpper, RbLower, rbLevelG, rbSpa, CbLineSpa})
        SetColors(w, clWhite);

    Button4 = AddPushButton(CloseBox, "Button4", "Close this menu", {236, 144, 113, 25});
    BtnSaveSetting = AddPushButton(CloseBox, "BtnSaveSetting", "Save Setting", {236, 184, 120, 24});
    Button5 = AddPushButton(CloseBox, "Button5", "Load Default Setting", {236, 208, 120, 24});
    ShutDnBtn = AddPushButton(CloseBox, "ShutDnBtn", "Shutdown", {236, 272, 120, 24});
    Button2 = AddPushButton(CloseBox, "Button2", "Quit Program", {236, 296, 120, 24});

    CloseBox->hide();
}

void TMainForm::ConnectHandlers() {
    // Operator actions: an error they raise goes to the error box.
    const auto on = [this](QAbstractButton *button, void (TMainForm::*handler)()) {
        connect(button, &QAbstractButton::clicked, this,
                [this, handler] { RunAction([&] { (this->*handler)(); }); });
    };
    on(Button1, &TMainForm::Button1Click);
    on(Button3, &TMainForm::Button3Click);
    on(Button2, &TMainForm::Button2Click);
    on(ShutDnBtn, &TMainForm::ShutDnBtnClick);
    on(BtnSaveSetting, &TMainForm::BtnSaveSettingClick);
    on(Button5, &TMainForm::Button5Click);
    on(Button4, &TMainForm::Button4Click);
    on(RbUpper, &TMainForm::RbLowerClick);
    on(RbLower, &TMainForm::RbLowerClick);
    on(rbLevelG, &TMainForm::rbLevelGClick);
    on(rbSpa, &TMainForm::rbLevelGClick);
    on(CbLineSpa, &TMainForm::CbLineSpaClick);

    const auto notify = [this](void (TMainForm::*handler)()) {
        return [this, handler](TObject *) { RunAction([&] { (this->*handler)(); }); };
    };
    const auto spin = [&](TMMSpinButton *button, void (TMainForm::*up)(), void (TMainForm::*down)()) {
        button->SetOnUpClick(notify(up));
        button->SetOnDownClick(notify(down));
    };
    spin(MMSpinButton1, &TMainForm::MMSpinButton1UpClick, &TMainForm::MMSpinButton1DownClick);
    spin(MMSpinButton2, &TMainForm::MMSpinButton2UpClick, &TMainForm::MMSpinButton2DownClick);
    spin(MMSpinButton3, &TMainForm::MMSpinButton3UpClick, &TMainForm::MMSpinButton3DownClick);
    spin(MMSpinButton4, &TMainForm::MMSpinButton4UpClick, &TMainForm::MMSpinButton4DownClick);
    spin(MMSpinButton5, &TMainForm::MMSpinButton5UpClick, &TMainForm::MMSpinButton5DownClick);
    // A page button answers on its face and on its caption alike.
    VuChgBtnPanel->SetOnClick(notify(&TMainForm::VuChgBtnPanelClick));
    VuChgBtnLbl->SetOnClick(notify(&TMainForm::VuChgBtnPanelClick));
    SpcChgBtnPanel->SetOnClick(notify(&TMainForm::SpcChgBtnPanelClick));
    SpcChgBtnLbl->SetOnClick(notify(&TMainForm::SpcChgBtnPanelClick));
}

void TMainForm::FormOnCreate() {
    move(0, 0);
    setFixedSize(800, 610);

    ReadAllSettings(SettingsFilePath(), Settings);
    MMWaveIn1->SetDeviceID(Settings.InputDevNo);
    ApplySettings(TApplyVariant::Creation);

    (Settings.ShowGraph ? rbLevelG : rbSpa)->setChecked(true);
    rbLevelGClick();
    CbLineSpa->setChecked(Settings.LineSpa);
    CbLineSpaClick();

    cmbInputDevice->clear();
    QStringList names;
    GetInputDeviceNames(names);
    cmbInputDevice->addItems(names);
    // The list index is the device number; an invalid device (-2) leaves no selection.
    cmbInputDevice->setCurrentIndex(std::max(MMWaveIn1->DeviceID(), -1));

    // Out of the way of the instruments.
    QCursor::setPos(800, 600);
}

void TMainForm::ApplySettings(TApplyVariant variant) {
    // Selecting a radio button that was not selected runs its handler, as a click would.
    const auto select = [this](QRadioButton *button) {
        if (button->isChecked()) return;
        button->setChecked(true);
        RbLowerClick();
    };

    // The box clamps what it shows to its own range; the field keeps what was read.
    SetupRefLvl->SetValue(Settings.VURefLevel);

    if (Settings.VUPos == 1) {
        PnlVU->move(4, 6);
        PnlPhase->move(4, 264);
        select(RbUpper);
        if (variant == TApplyVariant::Creation) PanelSpectrum->move(PanelSpectrum->x(), 355);
    } else if (variant == TApplyVariant::Creation) {
        select(RbLower);
    } else {
        PnlPhase->move(4, 6);
        PnlVU->move(4, 337);
        Settings.VUPos = 0;
        select(RbLower);
    }

    BdRedLine->setVisible(Settings.ShowRedLine);
    SetUpChkRedLine->setChecked(Settings.ShowRedLine);

    SetupLed1->setText(QString::number(Settings.PeakLevel1));
    SetupLed2->setText(QString::number(Settings.PeakLevel2));
    SetupLed3->setText(QString::number(Settings.PeakLevel3));

    BdRedLine->move(BdRedLine->x(), Settings.RedLinePos);
}

void TMainForm::GetInputDeviceNames(QStringList &names) {
    TWaveInDriver &driver = MMWaveIn1->Driver();
    const unsigned count = driver.GetNumDevs();
    names.clear();
    for (unsigned id = 0; id < count; ++id) {
        // The result is not examined: a device that cannot answer keeps its place, nameless.
        WAVEINCAPS caps;
        driver.GetDevCaps(static_cast<int>(id), &caps, sizeof caps);
        names.append(QString::fromLocal8Bit(
            caps.szPname, static_cast<qsizetype>(strnlen(caps.szPname, sizeof caps.szPname))));
    }
}

void TMainForm::FormShow() {
    MMWaveIn1->Start(); // a failure leaves the refresh off
    MMHiTimer1->SetEnabled(true);
}

void TMainForm::MMHiTimer1Timer(TObject *) {
    // The peak read-outs, CLIP latches and margin LEDs join when the meter panel's bar meters exist.
}

void TMainForm::LaunchProgram(const QString &tail) {
    const std::string dir = QDir::currentPath().toStdString();
    StartProgram(BuildCommandLine(dir, tail.toStdString()), dir);
}

void TMainForm::Button1Click() {
    LaunchProgram("/DizaVare.exe");
}

void TMainForm::Button3Click() {
    LaunchProgram("/watch.exe");
}

void TMainForm::Button2Click() {
    CloseWindowsByTitle("Tikkora");
    CloseWindowsByTitle("Phase Ondrel");
    close();
}

void TMainForm::ShutDnBtnClick() {
    QMessageBox box(QMessageBox::Question, windowTitle(), QStringLiteral("電源を落します。よろしいですか？"),
                    QMessageBox::Ok | QMessageBox::Cancel, this);
    box.setObjectName("ShutdownQuestion");
    if (box.exec() != QMessageBox::Ok) return;
    LaunchProgram("/vizaz.exe shutdown");
    Button2Click();
}

void TMainForm::FormCloseQuery() {
    EndProcess();
}

void TMainForm::EndProcess() {
    _exit(0);
}

void TMainForm::BtnSaveSettingClick() {
    WriteAllSettings(SettingsFilePath(), Settings);
}

void TMainForm::Button5Click() {
    CopyDefaultsFile();
    ReadDefaultKeys(SettingsFilePath(), Settings);
    ApplySettings(TApplyVariant::LoadDefault);
    cmbInputDevice->setCurrentIndex(Settings.InputDevNo);
}

void TMainForm::Image1Click() {
    CloseBox->setHidden(!CloseBox->isHidden());
}

void TMainForm::Button4Click() {
    CloseBox->hide();
}

void TMainForm::RbLowerClick() {
    if (RbLower->isChecked()) {
        PnlPhase->move(4, 6);
        PnlVU->move(4, 337);
        Settings.VUPos = 0;
        PanelSpectrum->move(PanelSpectrum->x(), 97);
    } else if (RbUpper->isChecked()) {
        PnlVU->move(4, 6);
        PnlPhase->move(4, 264);
        Settings.VUPos = 1;
        PanelSpectrum->move(PanelSpectrum->x(), 355);
    }
}

void TMainForm::rbLevelGClick() {
    if (rbLevelG->isChecked()) {
        PanelGrph->show();
        PanelSpectrum->hide();
        Settings.ShowGraph = true;
    } else if (rbSpa->isChecked()) {
        PanelGrph->hide();
        PanelSpectrum->show();
        Settings.ShowGraph = false;
    }
}

void TMainForm::CbLineSpaClick() {
    Settings.LineSpa = CbLineSpa->isChecked();
}

void TMainForm::MMSpinButton1UpClick() {
    SetupRefLvl->SetValue(SetupRefLvl->Value() + 1);
    Settings.VURefLevel = SetupRefLvl->Value();
}

void TMainForm::MMSpinButton1DownClick() {
    SetupRefLvl->SetValue(SetupRefLvl->Value() - 1);
    Settings.VURefLevel = SetupRefLvl->Value();
}

void TMainForm::MMSpinButton2UpClick() {
    StepPeakLevel(Settings.PeakLevel1, SetupLed1, +1);
}

void TMainForm::MMSpinButton2DownClick() {
    StepPeakLevel(Settings.PeakLevel1, SetupLed1, -1);
}

void TMainForm::MMSpinButton3UpClick() {
    StepPeakLevel(Settings.PeakLevel2, SetupLed2, +1);
}

void TMainForm::MMSpinButton3DownClick() {
    StepPeakLevel(Settings.PeakLevel2, SetupLed2, -1);
}

void TMainForm::MMSpinButton4UpClick() {
    StepPeakLevel(Settings.PeakLevel3, SetupLed3, +1);
}

void TMainForm::MMSpinButton4DownClick() {
    StepPeakLevel(Settings.PeakLevel3, SetupLed3, -1);
}

// Up raises the line on the graph; it may leave the graph on either side.
void TMainForm::MMSpinButton5UpClick() {
    BdRedLine->move(BdRedLine->x(), BdRedLine->y() - 1);
    Settings.RedLinePos = BdRedLine->y();
}

void TMainForm::MMSpinButton5DownClick() {
    BdRedLine->move(BdRedLine->x(), BdRedLine->y() + 1);
    Settings.RedLinePos = BdRedLine->y();
}

// The hidden page's instruments keep their audio; only what is shown changes.
void TMainForm::SpcChgBtnPanelClick() {
    MarkPageButton(SpcChgBtnPanel, clRed);
    MarkPageButton(VuChgBtnPanel, clBlack);
    SpecPanel->show();
    VuPanel->hide();
    SpecPanel->move(VuPanel->pos());
}

void TMainForm::VuChgBtnPanelClick() {
    MarkPageButton(SpcChgBtnPanel, clBlack);
    MarkPageButton(VuChgBtnPanel, clRed);
    VuPanel->show();
    SpecPanel->hide();
}

void TMainForm::closeEvent(QCloseEvent *event) {
    FormCloseQuery();
    event->ignore();
}

void TMainForm::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    // Capture starts once the window is up, so a failure's error box stands over the window.
    QMetaObject::invokeMethod(
        this, [this] { RunAction([this] { FormShow(); }); }, Qt::QueuedConnection);
    if (FShownOnce) return;
    FShownOnce = true;
    // Centred on the screen the first time it is shown.
    if (QScreen *s = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(s->geometry().center());
        move(frame.topLeft());
    }
}

bool TMainForm::eventFilter(QObject *watched, QEvent *event) {
    if (watched == Image1 && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && Image1->rect().contains(mouse->position().toPoint()))
            RunAction([this] { Image1Click(); });
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
