#pragma once

#include "widgets/MMCustomPanel.h"
#include "widgets/VarnTrendLaws.h"

// A scrolling trend chart: up to 100 integer samples, oldest left, in one of
// five styles over a background with an optional grid. A new sample enters at
// the right and pushes the others one place left. Child controls (a reference
// line) lie over the chart.
//
// Thread contract: main thread only.
class TVarnTrend : public TMMCustomPanel {
    Q_OBJECT
  public:
    explicit TVarnTrend(QWidget *parent = nullptr);

    const TTrendSamples::TSeries &Values() const { return FSamples.Values(); }
    const TTrendSamples::TSeries &TwinValues() const { return FSamples.TwinValues(); }
    // The twin series is filled by its owner; call update() after changing it.
    TTrendSamples::TSeries &TwinValues() { return FSamples.TwinValues(); }
    const TTrendSamples &Samples() const { return FSamples; }

    int MinVal() const { return FSamples.MinVal(); }
    void SetMinVal(int value);
    int MaxVal() const { return FSamples.MaxVal(); }
    void SetMaxVal(int value);
    int Divisions() const { return FSamples.Divisions(); }
    void SetDivisions(int value);
    TTrendOptions Options() const { return FLook.Options; }
    void SetOptions(TTrendOptions value);
    TTrendStyle Style() const { return FLook.Style; }
    void SetStyle(TTrendStyle value);
    TColor ColorBase() const { return FLook.ColorBase; }
    void SetColorBase(TColor value);
    TColor BackGroundColor() const { return FLook.BackGroundColor; }
    void SetBackGroundColor(TColor value);
    TGridStyle GridStyle() const { return FLook.GridStyle; }
    void SetGridStyle(TGridStyle value);
    TColor GridColor() const { return FLook.GridColor; }
    void SetGridColor(TColor value);
    // Pixels between vertical lines, at most the width; values ≤ 0 are
    // ignored (at design time with a message).
    int GridXstep() const { return FLook.GridXstep; }
    void SetGridXstep(int value);
    // Value units between horizontal lines, at most the height; as above.
    int GridYstep() const { return FLook.GridYstep; }
    void SetGridYstep(int value);
    bool AutoScale() const { return FSamples.AutoScale(); }
    void SetAutoScale(bool value);
    int DepthX() const { return FLook.DepthX; }
    void SetDepthX(int value);
    int DepthY() const { return FLook.DepthY; }
    void SetDepthY(int value);

    // Appends a sample (see TTrendSamples::AddValue) and repaints.
    void AddValue(int value);
    // Lets MaxVal follow the data and `value`.
    void AutoScaleTo(int value);

    // The shapes of the chart as it is now.
    std::vector<TTrendShape> Picture() const;

  protected:
    // Draws the chart off-screen and copies it in one piece.
    void Paint(QPainter &canvas) override;
    // At design time the chart shows random demonstration data.
    void DesigningChanged() override;

  private:
    // Stores a grid step: ≤ 0 is refused, above `limit` becomes `limit`.
    bool AcceptStep(int &field, int value, int limit);
    QFont ValueFont() const;

    TTrendSamples FSamples;
    TTrendLook FLook;
};

// Draws shapes of a trend picture with a painter.
void TrendPaint(QPainter &painter, const std::vector<TTrendShape> &shapes, const QFont &font);
