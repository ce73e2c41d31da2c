#include "widgets/MMLoadingBracket.h"

#include <algorithm>

namespace {
TMMLoadingBracket *gOpenBracket = nullptr;
} // namespace

TMMLoadingBracket::TMMLoadingBracket() : fOuter(gOpenBracket) {
    gOpenBracket = this;
}

TMMLoadingBracket::~TMMLoadingBracket() {
    Done();
}

void TMMLoadingBracket::Add(TMMComponent *component) {
    if (component == nullptr || fDone) return;
    component->BeginLoading();
    fComponents.push_back(component);
}

void TMMLoadingBracket::Join(TMMComponent *component) {
    if (gOpenBracket != nullptr) gOpenBracket->Add(component);
}

void TMMLoadingBracket::Leave(TMMComponent *component) {
    // A component freed inside a bracket must not receive Loaded() later.
    for (TMMLoadingBracket *b = gOpenBracket; b != nullptr; b = b->fOuter) {
        auto &list = b->fComponents;
        list.erase(std::remove(list.begin(), list.end(), component), list.end());
    }
}

void TMMLoadingBracket::Done() {
    if (fDone) return;
    fDone = true;
    if (fOuter != nullptr) {
        gOpenBracket = fOuter;
        fOuter->fComponents.insert(fOuter->fComponents.end(), fComponents.begin(), fComponents.end());
        fComponents.clear();
        return;
    }
    // Stay the open bracket while the members load, so that one freed by
    // another's Loaded() leaves the list; take each off before calling it.
    while (!fComponents.empty()) {
        TMMComponent *c = fComponents.front();
        fComponents.erase(fComponents.begin());
        c->Loaded();
    }
    gOpenBracket = fOuter;
}
