#pragma once

#include "audio/MMDSPComponent.h"

#include <string>

// The notifications a sound component carries down the chain.
enum class TMMChainNotification { Opened, Closed, Started, Paused, Restarted, Stopped, Reseted };

// Base of the chain members that drive a device (the wave input). It tells the
// members between itself and the next sound component downstream about every
// state change; plain members never forward notifications themselves.
class TMMCustomSoundComponent : public TMMDSPComponent {
  public:
    // Each notification (main thread) first reaches the members this component is
    // responsible for, in chain order, and then changes this component's own state.
    void Opened() override;
    void Closed() override;
    void Started() override;
    void Paused() override;
    void Restarted() override;
    void Stopped() override;
    void Reseted() override;

    // True once an Opened walk met another sound component upstream.
    bool SoundUpstream() const { return FSoundUpstream; }

    // --- Device accessors (main thread), provided by the device class.
    int NumBuffers() const { return GetNumBuffers(); }
    virtual void SetNumBuffers(int Value) = 0;
    int DeviceID() const { return GetDeviceID(); }
    virtual void SetDeviceID(int Value) = 0;
    std::string ProductName() const { return GetProductName(); }
    virtual void SetProductName(const std::string &Value) = 0;
    TMMCBMode CallBackMode() const { return GetCallBackMode(); }
    virtual void SetCallBackMode(TMMCBMode Value) = 0;

  protected:
    virtual int GetNumBuffers() const = 0;
    virtual int GetDeviceID() const = 0;
    virtual std::string GetProductName() const = 0;
    virtual TMMCBMode GetCallBackMode() const = 0;

    // Tells the chain only (steps before this component's own state changes); the
    // overrides above are NotifyChain followed by the base behaviour. A device class
    // that must tell the chain separately from itself calls this directly.
    void NotifyChain(TMMChainNotification What);

  private:
    bool FSoundUpstream = false;
};
