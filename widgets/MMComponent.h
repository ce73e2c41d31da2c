#pragma once

#include <vector>

// Component state shared by every control: the loading bracket and the
// design-time flag.
//
// Forms build their controls in code inside a TMMLoadingBracket. Every
// component created while a bracket is open starts in the loading state, so
// setters that rebuild derived tables only store their value; when the
// bracket closes, Loaded() runs once on each of them, in creation order.
// Brackets and components belong to the main thread.
class TMMComponent {
  public:
    TMMComponent();
    virtual ~TMMComponent();
    TMMComponent(const TMMComponent &) = delete;
    TMMComponent &operator=(const TMMComponent &) = delete;

    bool Loading() const { return fLoading; }
    // Design-time branches; false in the program, tests may switch it on.
    bool Designing() const;

    // Enters the loading state by hand (outside a bracket); Loaded() leaves it.
    void BeginLoading() { fLoading = true; }

    // Leaves the loading state; overrides rebuild what the setters deferred
    // and must call the base first.
    virtual void Loaded();

  private:
    bool fLoading = false;
};

class TMMLoadingBracket {
  public:
    TMMLoadingBracket();
    // Closes the bracket if Done() was not called.
    ~TMMLoadingBracket();
    TMMLoadingBracket(const TMMLoadingBracket &) = delete;
    TMMLoadingBracket &operator=(const TMMLoadingBracket &) = delete;

    // Calls Loaded() on each component created inside the bracket (an
    // inner bracket hands its components to the outer one instead).
    void Done();

  private:
    friend class TMMComponent;
    TMMLoadingBracket *fOuter = nullptr;
    std::vector<TMMComponent *> fComponents;
    bool fDone = false;
};

// The process-wide design-time switch (false in the program).
bool MMDesignTime();
void SetMMDesignTime(bool on);
