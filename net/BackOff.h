#pragma once

// The wait before each new attempt to reach the broker: 1 s, doubling up to 30 s, back to
// 1 s once a connection was accepted. Hundreds of consoles losing one broker then come back
// spread out instead of all at once every second.
//
// Thread contract: the owner's thread only.

class TBackOff {
  public:
    static constexpr int FirstMs = 1000, MaxMs = 30000;

    // The wait before the next attempt; each call doubles the one after.
    int Next() {
        const int wait = FNextMs;
        FNextMs = FNextMs >= MaxMs / 2 ? MaxMs : FNextMs * 2;
        return wait;
    }
    void Reset() { FNextMs = FirstMs; }

  private:
    int FNextMs = FirstMs;
};
