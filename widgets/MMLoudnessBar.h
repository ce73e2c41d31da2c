#pragma once

#include "widgets/MMDIBGraphicControl.h"
#include "widgets/MMLoudnessLaws.h"

// A vertical bar of LED rows for one loudness reading (momentary or short-term) over a scale
// around the target: rows below the target's tolerance lit lime, within it yellow, above it
// red; unlit rows in dark shades of the same; the target row white. The laws are in
// MMLoudnessLaws.h; this control only draws, and only when the lit rows change.
//
// Thread contract: main thread only.
class TMMLoudnessBar : public TMMDIBGraphicControl {
    Q_OBJECT
  public:
    // Pixels of one row and of the gap under it.
    static constexpr int RowPitch = 3;

    explicit TMMLoudnessBar(QWidget *parent = nullptr);

    const TLoudnessRange &Range() const { return FRange; }
    int Target() const { return FTarget; }
    // The scale and target together; the bar is drawn anew.
    void SetScale(const TLoudnessRange &range, int target);
    double Value() const { return FValue; }
    // LUFS; kNoLoudness for nothing measured.
    void SetValue(double lufs);
    int Rows() const { return std::max(1, CanvasRect().Height() / RowPitch); }
    int LitRows() const { return FLit; }

  protected:
    void Paint(QPainter &canvas) override;
    void resizeEvent(QResizeEvent *event) override;

  private:
    void Redraw();
    void DrawWhole(TMMDIBCanvas &work);
    TColor RowColor(int row, bool lit) const;

    TLoudnessRange FRange{-41, -14};
    int FTarget = -23;
    double FValue;
    int FLit = 0;
    bool FWorkValid = false;
};
