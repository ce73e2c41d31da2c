#include "widgets/MMComponent.h"

#include <algorithm>

namespace {
TMMLoadingBracket *gOpenBracket = nullptr;
bool gDesignTime = false;
} // namespace

bool MMDesignTime() {
    return gDesignTime;
}
void SetMMDesignTime(bool on) {
    gDesignTime = on;
}

TMMComponent::TMMComponent() {
    if (gOpenBracket != nullptr) {
        fLoading = true;
        gOpenBracket->fComponents.push_back(this);
    }
}

TMMComponent::~TMMComponent() {
    // A component freed inside a bracket must not receive Loaded() later.
    for (TMMLoadingBracket *b = gOpenBracket; b != nullptr; b = b->fOuter) {
        auto &list = b->fComponents;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
}

bool TMMComponent::Designing() const {
    return gDesignTime;
}

void TMMComponent::Loaded() {
    fLoading = false;
}

TMMLoadingBracket::TMMLoadingBracket() : fOuter(gOpenBracket) {
    gOpenBracket = this;
}

TMMLoadingBracket::~TMMLoadingBracket() {
    Done();
}

void TMMLoadingBracket::Done() {
    if (fDone) return;
    fDone = true;
    gOpenBracket = fOuter;
    std::vector<TMMComponent *> list;
    list.swap(fComponents);
    if (fOuter != nullptr) {
        fOuter->fComponents.insert(fOuter->fComponents.end(), list.begin(), list.end());
        return;
    }
    // Loaded() may free other components of the list (e.g. children); take
    // each one off the list before calling it and skip those already gone.
    fComponents = std::move(list);
    gOpenBracket = this;
    while (!fComponents.empty()) {
        TMMComponent *c = fComponents.front();
        fComponents.erase(fComponents.begin());
        c->Loaded();
    }
    gOpenBracket = fOuter;
}
