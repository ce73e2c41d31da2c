// The three-buffer hand-over between the connector's intake and its refresh.

#include "audio/MMTripleBuffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace {

void Write(TMMTripleBuffer &b, char value, int bytes) {
    std::memset(b.Back(), value, b.Size());
    b.Publish(bytes);
}

TEST(ConnectorHandOver, TheReaderKeepsItsBufferAndTakesOnlyTheNewest) {
    TMMTripleBuffer b;
    b.Allocate(16);
    EXPECT_FALSE(b.Take()); // nothing published yet
    EXPECT_EQ(b.FrontBytes(), 0);
    EXPECT_EQ(b.Front()[0], 0);

    Write(b, 'a', 10);
    EXPECT_EQ(b.NewestBytes(), 10); // published, not yet taken
    ASSERT_TRUE(b.Take());
    EXPECT_EQ(b.Front()[0], 'a');
    const char *front = b.Front();

    // Two buffers published while the reader looks at 'a': the newer one wins, and
    // neither write touched the reader's buffer.
    Write(b, 'b', 11);
    Write(b, 'c', 12);
    EXPECT_EQ(b.Front(), front);
    EXPECT_EQ(std::memchr(front, 'a', 16), front);
    EXPECT_NE(b.Back(), front);
    ASSERT_TRUE(b.Take());
    EXPECT_EQ(b.Front()[15], 'c');
    EXPECT_EQ(b.FrontBytes(), 12);
    EXPECT_FALSE(b.Take()); // 'b' was replaced, never shown
    EXPECT_EQ(b.Front()[0], 'c');

    // Silence reaches every buffer, whichever is shown next; the valid bytes stay.
    Write(b, 'd', 13);
    b.Fill(0x55);
    ASSERT_TRUE(b.Take());
    EXPECT_EQ(b.Front()[0], 0x55);
    EXPECT_EQ(b.FrontBytes(), 13);
    EXPECT_EQ(b.Back()[0], 0x55);

    b.Release();
    EXPECT_EQ(b.Size(), 0);
}

// Every buffer the reader takes is whole (one writer's fill from end to end) and
// newer than the one before, however the two threads meet.
TEST(ConnectorHandOver, AReaderOnAnotherThreadNeverSeesAHalfWrittenBuffer) {
    constexpr int Ints = 1024;
    constexpr int Takes = 2000;
    TMMTripleBuffer b;
    b.Allocate(Ints * 4);
    std::atomic<int> taken{0};
    std::atomic<bool> done{false};
    std::thread writer([&] {
        // Keeps writing while the reader reads, so the two really meet.
        for (int n = 1; taken < Takes && n < 50'000'000; ++n) {
            for (int i = 0; i < Ints; ++i)
                std::memcpy(b.Back() + i * 4, &n, 4);
            b.Publish(n);
        }
        done = true;
    });
    int last = 0, torn = 0, stale = 0;
    for (;;) {
        const bool finished = done; // read first: what was published before is still taken
        if (!b.Take()) {
            if (finished) break;
            continue;
        }
        ++taken;
        const int n = b.FrontBytes();
        for (int i = 0; i < Ints; ++i) {
            int v;
            std::memcpy(&v, b.Front() + i * 4, 4);
            if (v != n) ++torn;
        }
        if (n <= last) ++stale;
        last = n;
    }
    writer.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(stale, 0);
    EXPECT_GE(taken, Takes);
}

} // namespace
