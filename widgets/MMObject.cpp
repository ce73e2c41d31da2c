#include "widgets/MMObject.h"

void TMMObject::BeginUpdate() {
    if (fUpdateCount++ == 0 && fOnChanging) fOnChanging(this);
}

void TMMObject::EndUpdate() {
    // An unbalanced close is ignored rather than driving the counter negative.
    if (fUpdateCount == 0) return;
    if (--fUpdateCount == 0 && fOnChange) fOnChange(this);
}

void TMMObject::Changed() {
    if (fUpdateCount == 0 && fOnChange) fOnChange(this);
}
