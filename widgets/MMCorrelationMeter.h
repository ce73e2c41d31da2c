#pragma once

#include "analysis/StereoCorrelation.h"
#include "audio/MMConnectorDisplay.h"
#include "widgets/MMDIBGraphicControl.h"

#include <QFont>

#include <optional>

// The correlation meter: a bar from -1 through 0 to +1 with a pointer at the coefficient of
// the last 300 ms, filled from 0 to it (red below 0, lime above), and the value at its right
// ("--" while both channels are silent). It takes the spectrum group's blocks from the
// connector, as the phase display does, measures every one (TStereoCorrelation) and draws
// once a pass that brought it a block, only when the pointer or the text moved. The laws are in
// MMCorrelationLaws.h.
//
// Thread contract: main thread only (the connector's refresh runs there in the console);
// BlockBytes on any thread.
class TMMCorrelationMeter : public TMMDIBGraphicControl, public TMMSpectrumDisplay {
    Q_OBJECT
  public:
    // Frames a block: the spectrum group's, so every frame of the stream is measured once.
    static constexpr int BlockFrames = 2048;
    static constexpr int WindowMs = 300;
    // Pixels at the right kept for the value.
    static constexpr int TextWidth = 44;

    explicit TMMCorrelationMeter(QWidget *parent = nullptr);
    ~TMMCorrelationMeter() override;

    std::optional<double> Value() const { return FLaw.Value(); }
    QString Text() const;

    // --- Connector display.
    // Any format is taken; only 16-bit stereo is measured, everything else reads as silence.
    void SetWaveFormat(const TWaveFormatEx *format) override;
    int BlockBytes() const override { return BlockFrames * 4; }
    void ResetData() override;
    void RefreshPCMData(const void *data) override;
    void EndPass() override;

  protected:
    void Paint(QPainter &canvas) override;
    void resizeEvent(QResizeEvent *event) override;

  private:
    int BarWidth() const;
    void Redraw();
    void DrawWhole(TMMDIBCanvas &work);

    TStereoCorrelation FLaw;
    bool FStereo16 = true;
    bool FMeasured = false; // a block came since the last redraw
    int FShownX = -1;
    std::optional<long> FShownHundredths;
    bool FWorkValid = false;
    QFont FFont; // the value's, made again only when the height changes
};
