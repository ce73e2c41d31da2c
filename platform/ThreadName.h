#pragma once

// Names the calling thread, so profiles and /proc tell the process's threads apart.

#include <pthread.h>

// At most 15 characters are kept.
inline void NameThisThread(const char *Name) {
    pthread_setname_np(pthread_self(), Name);
}
