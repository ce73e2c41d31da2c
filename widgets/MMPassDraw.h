#pragma once

// Draws a display once per connector pass: blocks handed out within a pass run
// the laws and only mark the picture owed; the pass's end draws it. Outside a
// pass (a block handed by hand, a value set) the drawing is not held back.
//
// Thread contract: the connector's refreshing thread, under its display lock.
class TMMPassDraw {
  public:
    void Begin() { ++FDepth; }
    // True when the drawing waits for the end of the pass.
    bool Defer() {
        if (FDepth == 0) return false;
        FOwed = true;
        return true;
    }
    // True when the pass ended with a drawing owed.
    bool End() {
        if (FDepth > 0) --FDepth;
        if (FDepth > 0 || !FOwed) return false;
        FOwed = false;
        return true;
    }

  private:
    int FDepth = 0;
    bool FOwed = false;
};
