#pragma once

#include "app/Placeholder.h"
#include "widgets/MMPanel.h"

#include <QWidget>

class QLabel;

// The window of the two PEAK bar meters, left and right, on a scale between them. Created
// hidden at start-up; the main window's host panel finds it by its caption and shows it inside
// its layout. Controls are public members named as on the console's drawings. Everything runs
// on the GUI thread.
class TMeterPanel : public QWidget {
    Q_OBJECT
  public:
    explicit TMeterPanel(QWidget *parent = nullptr);

    // The one panel that fills the host panel exactly (108 x 326).
    TMMPanel *MMPanel1;
    TPlaceholder *MMLevel1;
    TPlaceholder *MMLevel2;
    TPlaceholder *MMLevelScale2;
    QLabel *Label2;
    // The clip latches, dark until the refresh turns them red.
    QLabel *ClipL;
    QLabel *ClipR;
    QLabel *Label1;
    QLabel *Label7;
    QLabel *Label3;
};
