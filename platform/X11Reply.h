#pragma once

#include <cstdlib>
#include <memory>

// An xcb reply or error, which the library hands over to be freed with std::free.
template <class T> using TX11Reply = std::unique_ptr<T, decltype(&std::free)>;

template <class T> TX11Reply<T> X11Reply(T *reply) {
    return TX11Reply<T>(reply, &std::free);
}
