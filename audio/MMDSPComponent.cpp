#include "audio/MMDSPComponent.h"

#include <algorithm>
#include <memory>
#include <mutex>

namespace {

// The process-wide list of live members: made with the first, dropped with the last.
std::mutex RegistryLock;
std::unique_ptr<std::vector<TMMDSPComponent *>> Registry;

const std::string InputName = "Input";
const std::string OutputName = "Output";

} // namespace

TMMDSPComponent::TMMDSPComponent() {
    std::lock_guard<std::mutex> lock(RegistryLock);
    if (!Registry) Registry = std::make_unique<std::vector<TMMDSPComponent *>>();
    Registry->push_back(this);
}

TMMDSPComponent::~TMMDSPComponent() {
    Destroying();
    SetInput(nullptr);
    SetOutput(nullptr);
    SetPWaveFormat(nullptr);
    FPWaveFormat.reset();
    // Anyone still holding a reference lets go of it now.
    for (TMMDSPComponent *member : ChainRegistry())
        if (member != this) member->Notification(this, opRemove);
    std::lock_guard<std::mutex> lock(RegistryLock);
    std::erase(*Registry, this);
    if (Registry->empty()) Registry.reset();
}

std::vector<TMMDSPComponent *> TMMDSPComponent::ChainRegistry() {
    std::lock_guard<std::mutex> lock(RegistryLock);
    return Registry ? *Registry : std::vector<TMMDSPComponent *>{};
}

void TMMDSPComponent::Broadcast(TMMDSPComponent *Peer, TMMLinkSide Side, const std::string &PropName) {
    for (TMMDSPComponent *member : ChainRegistry())
        member->LinkChanged(Peer, Side, PropName);
}

TMMDSPComponent *TMMDSPComponent::LinkProperty(const std::string &PropName) const {
    if (PropName == InputName) return Input();
    if (PropName == OutputName) return Output();
    return nullptr;
}

void TMMDSPComponent::LinkChanged(TMMDSPComponent *Peer, TMMLinkSide Side, const std::string &PropName) {
    if (Peer == nullptr) return;
    if (Side == TMMLinkSide::Output) {
        if (Input() == Peer && FInputBackLink == PropName && Peer->LinkProperty(PropName) == this)
            SetInputLink(nullptr, "");
    } else {
        if (Output() == Peer && FOutputBackLink == PropName && Peer->LinkProperty(PropName) == this)
            SetOutputLink(nullptr, "");
    }
}

void TMMDSPComponent::SetInputLink(TMMDSPComponent *Value, const std::string &BackLink) {
    FInput.store(Value, std::memory_order_release);
    FInputBackLink = Value ? BackLink : std::string();
}

void TMMDSPComponent::SetOutputLink(TMMDSPComponent *Value, const std::string &BackLink) {
    FOutput.store(Value, std::memory_order_release);
    FOutputBackLink = Value ? BackLink : std::string();
}

bool TMMDSPComponent::CanConnectInput(TMMDSPComponent *Candidate) {
    if (Candidate == nullptr || Candidate == this) return false;
    if (!Candidate->PublishesOutput() && !Candidate->AcceptsOutput()) return false;
    TMMDSPComponent *out = Output();
    return out == nullptr || out->CanConnectInput(Candidate);
}

bool TMMDSPComponent::CanConnectOutput(TMMDSPComponent *Candidate) {
    if (Candidate == nullptr || Candidate == this) return false;
    if (!Candidate->PublishesInput() && !Candidate->AcceptsInput()) return false;
    TMMDSPComponent *in = Input();
    return in == nullptr || in->CanConnectOutput(Candidate);
}

void TMMDSPComponent::SetInput(TMMDSPComponent *Value) {
    if (Value == Input()) return;
    if (Value != nullptr && !CanConnectInput(Value)) return;
    Stopped();
    if (Input() != nullptr) {
        Broadcast(this, TMMLinkSide::Input, InputName); // the old Input drops its link to us
        SetInputLink(nullptr, "");
        ChangePWaveFormat(nullptr);
    }
    if (Value == nullptr) return;
    Broadcast(Value, TMMLinkSide::Output, OutputName); // whatever Value fed loses its Input
    SetInputLink(Value, OutputName);
    Value->SetOutputLink(this, InputName);
    PropagateFormat();
}

void TMMDSPComponent::SetOutput(TMMDSPComponent *Value) {
    if (Value == Output()) return;
    if (Value != nullptr && !CanConnectOutput(Value)) return;
    Stopped();
    if (TMMDSPComponent *old = Output()) {
        Broadcast(this, TMMLinkSide::Output, OutputName); // the old Output drops its link to us
        old->ChangePWaveFormat(nullptr);
        SetOutputLink(nullptr, "");
    }
    if (Value == nullptr) return;
    Broadcast(Value, TMMLinkSide::Input, InputName); // Value's previous Input loses its Output
    SetOutputLink(Value, InputName);
    Value->SetInputLink(this, OutputName);
    PropagateFormat();
}

void TMMDSPComponent::PropagateFormat() {
    if (IsLoading() || IsReading() || IsDestroying()) return;
    if (TMMDSPComponent *in = Input())
        ChangePWaveFormat(in->PWaveFormat());
    else if (TMMDSPComponent *out = Output())
        out->ChangePWaveFormat(PWaveFormat());
}

void TMMDSPComponent::ChangePWaveFormat(const TWaveFormatEx *Value) {
    SetPWaveFormat(Value);
}

void TMMDSPComponent::SetPWaveFormat(const TWaveFormatEx *Value) {
    if (Value != FPWaveFormat.get()) {
        if (FStarted) Stopped();
        FPWaveFormat = CopyWaveFormat(Value);
    }
    if (IsLoading() || IsReading() || IsDestroying()) return;
    if (TMMDSPComponent *out = Output()) out->ChangePWaveFormat(FPWaveFormat.get());
}

int TMMDSPComponent::GetBufferSize() const {
    return FOpened ? FRealBufferSize : FBufferSize;
}

void TMMDSPComponent::SetBufferSize(int Value) {
    if (Value == FBufferSize) return;
    if (FStarted) Stopped();
    FBufferSize = Value;
}

void TMMDSPComponent::Loaded() {
    TMMCustomDSPComponent::Loaded();
    // Re-apply our own format so the chain agrees once the form is built.
    SetPWaveFormat(FPWaveFormat.get());
}

void TMMDSPComponent::Notification(TMMComponent *AComponent, TOperation Operation) {
    TMMCustomDSPComponent::Notification(AComponent, Operation);
    if (Operation != opRemove || AComponent == nullptr) return;
    if (AComponent == Input())
        SetInput(nullptr);
    else if (AComponent == Output())
        SetOutput(nullptr);
}

void TMMDSPComponent::Opened() {
    if (FOpened) return;
    const TWaveFormatEx *format = FPWaveFormat.get();
    // A format with a zero frame size would divide by zero; it is treated as no format.
    if (format != nullptr && format->nBlockAlign > 0) {
        const int align = format->nBlockAlign;
        FRealBufferSize = std::max(FBufferSize - FBufferSize % align, align);
    } else {
        FRealBufferSize = FBufferSize;
    }
    FOpened = true;
    FStarted = false;
    FPaused = false;
}

void TMMDSPComponent::Closed() {
    FOpened = false;
}

void TMMDSPComponent::Started() {
    if (FOpened && !FStarted) FStarted = true;
}

void TMMDSPComponent::Paused() {
    FPaused = true;
}

void TMMDSPComponent::Restarted() {
    FPaused = false;
}

void TMMDSPComponent::Stopped() {
    if (!FStarted) return;
    FStarted = false;
    FPaused = false;
}

void TMMDSPComponent::Reseted() {}

void TMMDSPComponent::BufferReady(PWaveHdr lpWaveHdr) {
    if (FOnBufferReady) FOnBufferReady(this, lpWaveHdr);
    if (TMMDSPComponent *out = Output()) out->BufferReady(lpWaveHdr);
}

void TMMDSPComponent::BufferLoad(PWaveHdr lpWaveHdr, bool &MoreBuffers) {
    if (FOnBufferLoad) FOnBufferLoad(this, lpWaveHdr, MoreBuffers);
    if (TMMDSPComponent *in = Input()) in->BufferLoad(lpWaveHdr, MoreBuffers);
}
