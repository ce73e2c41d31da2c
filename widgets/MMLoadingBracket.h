#pragma once

#include "core/MMComponent.h"

#include <vector>

// The loading bracket a form builds its controls in. Every control created
// while a bracket is open joins it and starts loading (BeginLoading), so
// setters that rebuild derived state only store their value; Done() (or the
// end of the bracket's scope) calls Loaded() once on each member, in creation
// order. Other components join with Add() (and must Leave() if freed before
// the bracket ends). An inner bracket hands its members
// to the outer one. Brackets belong to the main thread.
class TMMLoadingBracket {
  public:
    TMMLoadingBracket();
    ~TMMLoadingBracket();
    TMMLoadingBracket(const TMMLoadingBracket &) = delete;
    TMMLoadingBracket &operator=(const TMMLoadingBracket &) = delete;

    void Add(TMMComponent *component);
    void Done();

    // Called by the controls' constructors and destructors.
    static void Join(TMMComponent *component);
    static void Leave(TMMComponent *component);

  private:
    TMMLoadingBracket *FOuter = nullptr;
    std::vector<TMMComponent *> FComponents;
    bool FDone = false;
};
