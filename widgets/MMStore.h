#pragma once

// The first step of every setter: an unchanged value changes nothing.
// Stores `value` in `field` and says whether it differed.
template <typename T> bool Store(T &field, T value) {
    if (field == value) return false;
    field = value;
    return true;
}
