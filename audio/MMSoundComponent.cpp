#include "audio/MMSoundComponent.h"

namespace {

TMMCustomSoundComponent *AsSound(TMMDSPComponent *Member) {
    return dynamic_cast<TMMCustomSoundComponent *>(Member);
}

// Links never form loops (the link test refuses them); this bound only keeps a
// walk finite should a derived class break that.
std::size_t WalkLimit() {
    return TMMDSPComponent::ChainRegistry().size() + 1;
}

} // namespace

void TMMCustomSoundComponent::NotifyChain(TMMChainNotification What) {
    const int bufferSize = BufferSize();
    auto notify = [What, bufferSize](TMMDSPComponent *Member) {
        switch (What) {
        case TMMChainNotification::Opened:
            Member->SetBufferSize(bufferSize);
            Member->Opened();
            break;
        case TMMChainNotification::Closed:
            Member->Closed();
            break;
        case TMMChainNotification::Started:
            Member->Started();
            break;
        case TMMChainNotification::Paused:
            Member->Paused();
            break;
        case TMMChainNotification::Restarted:
            Member->Restarted();
            break;
        case TMMChainNotification::Stopped:
            Member->Stopped();
            break;
        case TMMChainNotification::Reseted:
            Member->Reseted();
            break;
        }
    };
    const std::size_t limit = WalkLimit();

    // Closing and stopping reach the next device downstream first, so it stops
    // taking data before the members feeding it do.
    TMMCustomSoundComponent *nextSound = nullptr;
    if (What == TMMChainNotification::Closed || What == TMMChainNotification::Stopped) {
        std::size_t steps = 0;
        for (TMMDSPComponent *m = Output(); m != nullptr && steps < limit; m = m->Output(), ++steps) {
            TMMCustomSoundComponent *sound = AsSound(m);
            if (sound != nullptr && sound != this) {
                nextSound = sound;
                notify(sound);
                break;
            }
        }
    }

    // The start: the head of the chain, unless another device sits upstream.
    if (What == TMMChainNotification::Opened) FSoundUpstream = false;
    TMMDSPComponent *start = this;
    std::size_t steps = 0;
    for (TMMDSPComponent *m = Input(); m != nullptr && steps < limit; m = m->Input(), ++steps) {
        TMMCustomSoundComponent *sound = AsSound(m);
        if (sound != nullptr && sound != this) {
            start = this;
            if (What == TMMChainNotification::Opened) FSoundUpstream = true;
            break;
        }
        start = m;
    }

    steps = 0;
    for (TMMDSPComponent *m = start; m != nullptr && steps < limit; m = m->Output(), ++steps) {
        if (m == this) continue;
        TMMCustomSoundComponent *sound = AsSound(m);
        if (sound != nullptr) {
            if (sound != nextSound) notify(sound);
            break;
        }
        notify(m);
    }
}

void TMMCustomSoundComponent::Opened() {
    NotifyChain(TMMChainNotification::Opened);
    TMMDSPComponent::Opened();
}

void TMMCustomSoundComponent::Closed() {
    NotifyChain(TMMChainNotification::Closed);
    TMMDSPComponent::Closed();
}

void TMMCustomSoundComponent::Started() {
    NotifyChain(TMMChainNotification::Started);
    TMMDSPComponent::Started();
}

void TMMCustomSoundComponent::Paused() {
    NotifyChain(TMMChainNotification::Paused);
    TMMDSPComponent::Paused();
}

void TMMCustomSoundComponent::Restarted() {
    NotifyChain(TMMChainNotification::Restarted);
    TMMDSPComponent::Restarted();
}

void TMMCustomSoundComponent::Stopped() {
    NotifyChain(TMMChainNotification::Stopped);
    TMMDSPComponent::Stopped();
}

void TMMCustomSoundComponent::Reseted() {
    NotifyChain(TMMChainNotification::Reseted);
    TMMDSPComponent::Reseted();
}
