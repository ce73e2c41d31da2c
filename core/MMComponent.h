#pragma once

#include "core/MMTypes.h"

#include <string>

// Component state bits (TComponentState). A form builds its components inside a
// loading bracket: BeginLoading() on each, set the properties, then Loaded() on each.
enum TComponentStateFlag : unsigned {
    csLoading = 0x01,    // being built from its form's description
    csReading = 0x02,    // its stored properties are being set
    csDesigning = 0x04,  // design time: no devices, no timers (false in the program)
    csDestroying = 0x08, // its destructor has begun
};

enum TOperation { opInsert, opRemove };

// Base of every non-visual multimedia component (TComponent, TMMComponent).
class TMMComponent : public TObject {
  public:
    TMMComponent() = default;
    ~TMMComponent() override = default;
    TMMComponent(const TMMComponent &) = delete;
    TMMComponent &operator=(const TMMComponent &) = delete;

    const std::string &Name() const { return FName; }
    void SetName(const std::string &Value) { FName = Value; }

    unsigned ComponentState() const { return FComponentState; }
    bool IsLoading() const { return (FComponentState & csLoading) != 0; }
    bool IsReading() const { return (FComponentState & csReading) != 0; }
    bool IsDesigning() const { return (FComponentState & csDesigning) != 0; }
    bool IsDestroying() const { return (FComponentState & csDestroying) != 0; }

    // Opens the loading bracket (csLoading and csReading).
    void BeginLoading() { FComponentState |= csLoading | csReading; }
    // Closes the loading bracket; overrides rebuild what the setters put off, after calling this.
    virtual void Loaded() { FComponentState &= ~unsigned(csLoading | csReading); }

    // Design state; a component that reacts to it overrides DesigningChanged.
    void SetDesigning(bool Value) {
        if (Value == IsDesigning()) return;
        FComponentState = Value ? FComponentState | csDesigning : FComponentState & ~unsigned(csDesigning);
        DesigningChanged();
    }

    // Marks the component as being destroyed. The destructors of the chain call it;
    // a derived class whose destructor still runs device code calls it first thing.
    void Destroying() { FComponentState |= csDestroying; }

    // Told (main thread) that AComponent is inserted or going away; a component that
    // keeps a reference to another drops it here.
    virtual void Notification(TMMComponent *AComponent, TOperation Operation) {
        (void)AComponent;
        (void)Operation;
    }

  protected:
    virtual void DesigningChanged() {}

  private:
    std::string FName;
    unsigned FComponentState = 0;
};

// TMMNonVisualComponent: the base of components without a window.
class TMMNonVisualComponent : public TMMComponent {};
