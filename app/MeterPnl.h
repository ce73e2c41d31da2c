#pragma once

#include "widgets/MMLevel.h"
#include "widgets/MMLevelScale.h"
#include "widgets/MMPanel.h"

#include <QWidget>

class QLabel;

// The PEAK bars' own colours: lit, and unlit below and above the red zone.
inline constexpr TColor kPeakBarColor = 15567175;
inline constexpr TColor kPeakBarUnlit = 7679268;
inline constexpr TColor kPeakBarUnlitRed = 55;

// The window of the two PEAK bar meters, left and right, on a scale between them. Created
// hidden at start-up; the main window's host panel finds it by its caption and shows it inside
// its layout. Controls are public members named as on the console's drawings. Everything runs
// on the GUI thread.
class TMeterPanel : public QWidget {
    Q_OBJECT
  public:
    explicit TMeterPanel(QWidget *parent = nullptr);

    // The creation event: both bars draw in 24 bits per pixel.
    void FormCreate();

    // The one panel that fills the host panel exactly (108 x 326).
    TMMPanel *MMPanel1;
    // The left and right PEAK bars; the main window's connector feeds them.
    TMMLevel *MMLevel1;
    TMMLevel *MMLevel2;
    // The dB scale between them.
    TMMLevelScale *MMLevelScale2;
    QLabel *Label2;
    // The clip latches, dark until the refresh turns them red.
    QLabel *ClipL;
    QLabel *ClipR;
    QLabel *Label1;
    QLabel *Label7;
    QLabel *Label3;
};
