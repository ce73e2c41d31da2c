#include "core/MainThread.h"

#include <gtest/gtest.h>

#include <thread>

// A broken main-thread contract aborts, naming the function, in the builds made to find
// faults; a release build refuses quietly and the caller returns.
TEST(MainThread, BrokenContractAbortsOrRefuses) {
    EXPECT_TRUE(CheckMainThread());
    const auto offMain = [] {
        bool kept = true;
        std::thread([&kept] { kept = CheckMainThread(); }).join();
        return kept;
    };
#ifdef VELMORA_THREAD_CHECKS
    // g++ names a lambda "<lambda()>", clang "(anonymous class)::operator()()".
    EXPECT_DEATH(offMain(),
                 "(lambda|anonymous class).* called off the main thread \\(.*MainThreadTest\\.cpp:");
#else
    EXPECT_FALSE(offMain());
#endif
}
