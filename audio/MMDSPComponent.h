#pragma once

// The audio component chain: members linked Input -> Output, the wave format
// handed down the links, state notifications and buffers pushed along them.
//
// Threads: links, formats, buffer sizes and notifications change on the main
// thread. BufferReady/BufferLoad run on whatever thread delivers the buffer
// (the wave input's worker thread in the console) and visit every member in
// chain order there; a member that shares data with the main thread guards it.

#include "core/MMComponent.h"
#include "core/MMTypes.h"
#include "core/PCM.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

using TMMBufferEvent = std::function<void(TObject *Sender, PWaveHdr lpWaveHdr)>;
using TMMBufferLoadEvent = std::function<void(TObject *Sender, PWaveHdr lpWaveHdr, bool &MoreBuffers)>;

// Which end of a link a broadcast concerns.
enum class TMMLinkSide { Input, Output };

// TMMCustomDSPComponent: placeholder level of the class tree (no state of its own).
class TMMCustomDSPComponent : public TMMNonVisualComponent {};

class TMMDSPComponent : public TMMCustomDSPComponent {
  public:
    static constexpr int DefaultBufferSize = 2048;

    TMMDSPComponent();
    ~TMMDSPComponent() override;

    // --- Published properties (each class publishes the links it supports, see PublishesInput).
    // The setters run on the main thread. A link or format change stops a started
    // member first (Stopped); a refused link leaves every link as it was.
    TMMDSPComponent *Input() const { return GetInput(); }
    TMMDSPComponent *Output() const { return GetOutput(); }
    virtual void SetInput(TMMDSPComponent *Value);  // none breaks the link at both ends
    virtual void SetOutput(TMMDSPComponent *Value); // none breaks the link at both ends

    // The stream's format at this member: a private copy, or none. Setting it hands
    // the copy on to the Output, so a change runs down the whole chain (main thread).
    const TWaveFormatEx *PWaveFormat() const { return GetPWaveFormat(); }
    virtual void SetPWaveFormat(const TWaveFormatEx *Value);

    // The real buffer size while opened, else the requested one. A device class
    // overrides the setter with its own rules (main thread).
    int BufferSize() const { return GetBufferSize(); }
    virtual void SetBufferSize(int Value);
    int RequestedBufferSize() const { return FBufferSize; }

    // Fired on the delivering thread; set them while the chain is not started.
    const TMMBufferEvent &OnBufferReady() const { return FOnBufferReady; }
    void SetOnBufferReady(TMMBufferEvent Value) { FOnBufferReady = std::move(Value); }
    const TMMBufferLoadEvent &OnBufferLoad() const { return FOnBufferLoad; }
    void SetOnBufferLoad(TMMBufferLoadEvent Value) { FOnBufferLoad = std::move(Value); }

    bool IsOpened() const { return FOpened; }
    bool IsStarted() const { return FStarted; }
    bool IsPaused() const { return FPaused; }

    // The names of the neighbours' properties that point back at this member ("" when unlinked).
    const std::string &InputBackLinkName() const { return FInputBackLink; }
    const std::string &OutputBackLinkName() const { return FOutputBackLink; }

    // --- Link test. Asked by the member that wants Candidate as its Input (Output);
    // walks the chain downstream (upstream) so that a loop is refused.
    virtual bool CanConnectInput(TMMDSPComponent *Candidate);
    virtual bool CanConnectOutput(TMMDSPComponent *Candidate);

    // Class-level description of the published link properties (main thread).
    virtual bool PublishesInput() const { return false; }
    virtual bool PublishesOutput() const { return false; }
    bool AcceptsInput() const { return FAcceptsInput; }
    bool AcceptsOutput() const { return FAcceptsOutput; }

    // --- Chain notifications (main thread). Plain members apply them to themselves
    // only; a sound component carries them down the chain (TMMCustomSoundComponent).
    virtual void Opened();
    virtual void Closed();
    virtual void Started();
    virtual void Paused();
    virtual void Restarted();
    virtual void Stopped();
    virtual void Reseted();
    virtual void Looped() {} // kept for the slot order; nothing in this system sends it

    // --- Data (delivering thread). An override uses the buffer, then calls the
    // inherited behaviour so the buffer travels on in chain order.
    virtual void BufferReady(PWaveHdr lpWaveHdr);
    virtual void BufferLoad(PWaveHdr lpWaveHdr, bool &MoreBuffers);

    // A neighbour hands this member a format (main thread); by default SetPWaveFormat.
    virtual void ChangePWaveFormat(const TWaveFormatEx *Value);

    // Receiver of the link broadcast (main thread).
    virtual void LinkChanged(TMMDSPComponent *Peer, TMMLinkSide Side, const std::string &PropName);

    void Loaded() override;
    void Notification(TMMComponent *AComponent, TOperation Operation) override;

    // Every live member, in creation order (any thread; a snapshot).
    static std::vector<TMMDSPComponent *> ChainRegistry();

  protected:
    virtual TMMDSPComponent *GetInput() const { return FInput.load(std::memory_order_acquire); }
    virtual TMMDSPComponent *GetOutput() const { return FOutput.load(std::memory_order_acquire); }
    virtual const TWaveFormatEx *GetPWaveFormat() const { return FPWaveFormat.get(); }
    virtual int GetBufferSize() const;

    // Pushes the format along the links: taken from the Input, else given to the Output.
    virtual void PropagateFormat();

    // Store a link and its back-link name without any other effect.
    virtual void SetInputLink(TMMDSPComponent *Value, const std::string &BackLink);
    virtual void SetOutputLink(TMMDSPComponent *Value, const std::string &BackLink);

    void SetAcceptsInput(bool Value) { FAcceptsInput = Value; }
    void SetAcceptsOutput(bool Value) { FAcceptsOutput = Value; }

    // Calls LinkChanged on every member of the registry, in registry order.
    static void Broadcast(TMMDSPComponent *Peer, TMMLinkSide Side, const std::string &PropName);

    int RealBufferSize() const { return FRealBufferSize; }

  private:
    // The link property named PropName ("Input" or "Output") of this member.
    TMMDSPComponent *LinkProperty(const std::string &PropName) const;

    std::atomic<TMMDSPComponent *> FInput{nullptr};
    std::atomic<TMMDSPComponent *> FOutput{nullptr};
    TWaveFormatPtr FPWaveFormat;
    int FBufferSize = DefaultBufferSize;
    int FRealBufferSize = DefaultBufferSize;
    bool FOpened = false;
    bool FStarted = false;
    bool FPaused = false;
    TMMBufferEvent FOnBufferReady;
    TMMBufferLoadEvent FOnBufferLoad;
    bool FAcceptsInput = false;
    bool FAcceptsOutput = false;
    std::string FInputBackLink;
    std::string FOutputBackLink;
};
