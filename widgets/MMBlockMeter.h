#pragma once

// What the bar meter and the needle meter share: a control fed one PCM block
// at a time by a connector, whose laws live in a state object (TMMLevelState,
// TMMMeterState) with a peak hold aged on the peak tick service. This base
// holds the state, hands blocks and values to it, fires the overflow events,
// keeps the drawing to once a connector pass and redraws when the tick moved
// the peak; the meter says how its picture is drawn.
//
// Threads. Everything runs on the main thread (properties, blocks, read-backs,
// drawing; a connector feeding a meter must refresh there, RealTime on), except:
// - BlockBytes, which a connector may read on any thread under its lock (an
//   atomic copy of the state's value);
// - the peak tick, which runs on the tick service's thread and only ages the
//   state's atomic peak word. When it moves the peak it posts one redraw event
//   to the control (at most one outstanding, see TMMPeakTickClient); the event,
//   on the main thread, draws the peak unless a block already did. So the peak
//   falls on the screen also while no audio arrives.

#include "audio/MMConnectorDisplay.h"
#include "widgets/MMDIBGraphicControl.h"
#include "widgets/MMLevelLaws.h"
#include "widgets/MMPassDraw.h"
#include "widgets/MMPeakTickClient.h"

#include <QEvent>

#include <atomic>

class TMMPeakTickService;

// TState: TMMLevelState or TMMMeterState (blocks, values, ballistics, peak
// timing and the tick's redraw flag alike).
template <class TState> class TMMBlockMeter : public TMMDIBGraphicControl, public TMMBlockDisplay {
  public:
    // --- Ballistics and peak timing.
    int Gain() const { return FState.Gain(); }
    // Eighths, -8..32, others ignored.
    void SetGain(int value) {
        if (FState.SetGain(value)) Repaint();
    }
    bool LogAmp() const { return FState.LogAmp(); }
    void SetLogAmp(bool value) {
        if (FState.SetLogAmp(value)) Repaint();
    }
    TMMDecayMode DecayMode() const { return FState.DecayMode(); }
    void SetDecayMode(TMMDecayMode value) { FState.SetDecayMode(value); }
    int Decay() const { return FState.Decay(); }
    void SetDecay(int value) { FState.SetDecay(value); } // 1..16
    int PeakDelay() const { return FState.PeakDelay(); }
    // 0..50.
    void SetPeakDelay(int value) {
        if (FState.SetPeakDelay(value)) Repaint();
    }
    int PeakSpeed() const { return FState.PeakSpeed(); }
    // 0..50.
    void SetPeakSpeed(int value) {
        if (FState.SetPeakSpeed(value)) Repaint();
    }

    // --- Connector display.
    int BlockBytes() const override { return FBlockBytes.load(); }
    void ResetData() override {
        FState.ResetData();
        if (CanProcess()) {
            Redraw();
        } else {
            FWorkValid = false;
            update();
        }
    }
    // One block, ignored while disabled or hidden (Visible false). Within a pass
    // of the connector the picture is drawn once, at its end.
    void ProcessBlock(const void *data) override {
        if (!CanProcess()) return;
        BeforeBlock();
        Apply(FState.ProcessBlock(data));
    }
    void BeginPass() override { FPassDraw.Begin(); }
    void EndPass() override {
        if (FPassDraw.End() && CanProcess()) Redraw();
    }

    // --- Events (fired on the thread that hands the block in).
    void SetOnPcmOverflow(TNotifyEvent handler) { FOnPcmOverflow = std::move(handler); }
    void SetOnGainOverflow(TNotifyEvent handler) { FOnGainOverflow = std::move(handler); }

  protected:
    // The peak ages on `peakTicks` (the process-wide service when none is given).
    TMMBlockMeter(QWidget *parent, TMMPeakTickService *peakTicks)
        : TMMDIBGraphicControl(parent), FPeakTick(peakTicks) {
        UpdateBlockBytes();
        FPeakTick.Start(this, [this] {
            FState.PeakTick();
            return FState.RedrawPending();
        });
    }

    // The meter's destructor calls this first thing, so no block from a
    // connector and no tick reaches a half-destroyed meter.
    void Unhook() {
        Destroying();
        DetachFromConnectors();
        FPeakTick.Stop();
    }

    bool event(QEvent *event) override {
        if (event->type() != TMMPeakTickClient::EventType()) return TMMDIBGraphicControl::event(event);
        FPeakTick.Received();
        DrawPendingPeak();
        return true;
    }

    // Draws a peak moved with no block to carry it (a block since has drawn it and taken the flag).
    void DrawPendingPeak() {
        if (!FState.TakeRedrawPending()) return;
        if (CanProcess())
            Redraw();
        else
            FWorkValid = false;
    }

    bool CanProcess() const { return isEnabled() && Visible(); }
    // Fires the events an update asks for and draws it.
    void Apply(const TMMLevelUpdate &update) {
        if (update.PcmOverflow && FOnPcmOverflow) FOnPcmOverflow(this);
        if (update.GainOverflow && FOnGainOverflow) FOnGainOverflow(this);
        if (!update.Redraw) return;
        if (!CanProcess())
            FWorkValid = false;
        else if (!FPassDraw.Defer())
            Redraw();
    }
    // After a change of the block format.
    void UpdateBlockBytes() { FBlockBytes.store(FState.BlockBytes()); }

    // The picture into the work bitmap: whole when FWorkValid is false, else
    // only what changed from what it shows.
    virtual void Redraw() = 0;
    // The next paint renders the whole picture.
    virtual void Repaint() {
        FWorkValid = false;
        update();
    }
    // Before a block reaches the laws (default: nothing).
    virtual void BeforeBlock() {}

    TState FState;
    // Whether the work bitmap shows the picture last drawn; false when it missed a change.
    bool FWorkValid = false;
    TMMPeakTickClient FPeakTick;

  private:
    std::atomic<int> FBlockBytes{0};
    TMMPassDraw FPassDraw;
    TNotifyEvent FOnPcmOverflow;
    TNotifyEvent FOnGainOverflow;
};
