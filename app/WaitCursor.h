#pragma once

// The wait cursor while the program works on something the user waits for: a search, a long
// list, a print, a form that reads much before it shows, or a write that waits for another
// copy of the program to let go of the books. Scopes nest; the cursor returns when the
// outermost one ends. Without a window system (the administrator tool) it does nothing.

namespace orvik::app {

class WaitCursor {
  public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

    // Whether a wait cursor is showing now (for tests).
    static bool active();

  private:
    bool set_ = false;
};

// The ordinary cursor for as long as the user is asked something under a wait cursor (a
// message box while a list is read, a form's own message while it loads).
class ArrowCursor {
  public:
    ArrowCursor();
    ~ArrowCursor();
    ArrowCursor(const ArrowCursor&) = delete;
    ArrowCursor& operator=(const ArrowCursor&) = delete;

  private:
    bool set_ = false;
};

}  // namespace orvik::app
