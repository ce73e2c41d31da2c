#include "widgets/MMLoadingBracket.h"

#include <algorithm>

namespace {
TMMLoadingBracket *gOpenBracket = nullptr;
} // namespace

TMMLoadingBracket::TMMLoadingBracket() : FOuter(gOpenBracket) {
    gOpenBracket = this;
}

TMMLoadingBracket::~TMMLoadingBracket() {
    Done();
}

void TMMLoadingBracket::Add(TMMComponent *component) {
    if (component == nullptr || FDone) return;
    component->BeginLoading();
    FComponents.push_back(component);
}

void TMMLoadingBracket::Join(TMMComponent *component) {
    if (gOpenBracket != nullptr) gOpenBracket->Add(component);
}

void TMMLoadingBracket::Leave(TMMComponent *component) {
    // A component freed inside a bracket must not receive Loaded() later.
    for (TMMLoadingBracket *b = gOpenBracket; b != nullptr; b = b->FOuter) {
        auto &list = b->FComponents;
        list.erase(std::remove(list.begin(), list.end(), component), list.end());
    }
}

void TMMLoadingBracket::Done() {
    if (FDone) return;
    FDone = true;
    if (FOuter != nullptr) {
        gOpenBracket = FOuter;
        FOuter->FComponents.insert(FOuter->FComponents.end(), FComponents.begin(), FComponents.end());
        FComponents.clear();
        return;
    }
    // Stay the open bracket while the members load, so that one freed by
    // another's Loaded() leaves the list; take each off before calling it.
    while (!FComponents.empty()) {
        TMMComponent *c = FComponents.front();
        FComponents.erase(FComponents.begin());
        c->Loaded();
    }
    gOpenBracket = FOuter;
}
