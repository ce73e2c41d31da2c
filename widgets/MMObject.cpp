#include "widgets/MMObject.h"

void TMMObject::BeginUpdate() {
    if (FUpdateCount++ == 0 && FOnChanging) FOnChanging(this);
}

void TMMObject::EndUpdate() {
    // An unbalanced close is ignored rather than driving the counter negative.
    if (FUpdateCount == 0) return;
    if (--FUpdateCount == 0 && FOnChange) FOnChange(this);
}

void TMMObject::Changed() {
    if (FUpdateCount == 0 && FOnChange) FOnChange(this);
}
