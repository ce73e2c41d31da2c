#pragma once

#include "widgets/MMLEDDigit.h"

#include <QWidget>
#include <string>
#include <vector>

// A row of LED digit cells showing a short text: '0'..'9' in digit cells, '-', '.' and ':' in
// sign cells, a space dark. The cells' kinds are fixed by the text given first (a digit or a
// space makes a digit cell), so later texts of the same layout only change what is lit.
//
// Thread contract: main thread only.
class TMMLEDReadout : public QWidget {
    Q_OBJECT
  public:
    // `layout` is the first text; the control is as large as its cells.
    TMMLEDReadout(QWidget *parent, const std::string &layout, TMMLEDSize size);

    const std::string &Text() const { return FText; }
    // Characters that do not fit their cell show dark; a longer text is cut.
    void SetText(const std::string &text);
    TColor LEDColor() const { return FLEDColor; }
    void SetLEDColor(TColor color);
    void SetInactiveColor(TColor color);

  private:
    std::vector<TMMLEDDigit *> FCells;
    std::string FText;
    TColor FLEDColor = clLime;
};
