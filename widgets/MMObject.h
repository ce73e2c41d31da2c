#pragma once

#include "core/MMTypes.h"

#include <functional>

// A persistent settings object that tells its owner about changes. Inside an
// update bracket the individual changes stay silent: opening the outermost
// bracket fires *changing*, closing it fires *changed* once.
class TMMObject : public TObject {
  public:
    TMMObject() = default;
    ~TMMObject() override = default;
    // Copies carry the values, never the owner's notifications.
    TMMObject(const TMMObject &) : TObject(), FUpdateCount(0) {}
    TMMObject &operator=(const TMMObject &) { return *this; }

    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return FUpdateCount; }

    void SetOnChanging(TNotifyEvent handler) { FOnChanging = std::move(handler); }
    void SetOnChange(TNotifyEvent handler) { FOnChange = std::move(handler); }

  protected:
    // Called by every setter after a change; silent inside an update bracket.
    void Changed();

  private:
    int FUpdateCount = 0;
    TNotifyEvent FOnChanging;
    TNotifyEvent FOnChange;
};
