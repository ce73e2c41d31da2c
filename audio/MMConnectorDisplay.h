#pragma once

// What a display must offer to be fed by a TMMConnector. The bar meters and the
// needle meters take their blocks through ProcessBlock, the spectrum and phase
// displays through RefreshPCMData; all three kinds share the rest.

#include "core/PCM.h"

#include <vector>

class TMMConnector;

class TMMConnectorDisplay {
  public:
    TMMConnectorDisplay() = default;
    TMMConnectorDisplay(const TMMConnectorDisplay &) = delete;
    TMMConnectorDisplay &operator=(const TMMConnectorDisplay &) = delete;
    // Leaves every connector slot that still refers to this display.
    virtual ~TMMConnectorDisplay();

    // Main thread. Takes the stream's format (borrowed; copy what is kept). A format
    // the display cannot show raises the display's own error ("Invalid WaveFormat").
    virtual void SetWaveFormat(const TWaveFormatEx *format) = 0;
    // The refreshing thread, under the connector's display lock: bytes the next block
    // entry consumes.
    virtual int BlockBytes() const = 0;
    // Main thread, under the connector's display lock: forget every reading and show
    // the display at rest.
    virtual void ResetData() = 0;
    // The refreshing thread, under the connector's display lock: a pass of the
    // connector begins and ends around the blocks it hands out (none, one or many).
    // A display whose picture is a function of its state may run its laws on each
    // block and draw once, at the end.
    virtual void BeginPass() {}
    virtual void EndPass() {}

  protected:
    // A display that a connector may feed from another thread calls this first
    // thing in its own destructor, so no block reaches a half-destroyed object.
    void DetachFromConnectors();

  private:
    friend class TMMConnector;
    // Connectors whose slots refer to this display; main thread only.
    std::vector<TMMConnector *> FConnectors;
};

// Bar meters and needle meters (the connector's level and meter groups).
class TMMBlockDisplay : public TMMConnectorDisplay {
  public:
    // The refreshing thread, under the connector's display lock (never the lock its
    // intake takes): one block of BlockBytes() bytes in the given format. The memory
    // stays unchanged until the call returns.
    virtual void ProcessBlock(const void *data) = 0;
};

// Spectrum analysers and the phase display (the connector's spectrum group).
class TMMSpectrumDisplay : public TMMConnectorDisplay {
  public:
    // As ProcessBlock.
    virtual void RefreshPCMData(const void *data) = 0;
};
