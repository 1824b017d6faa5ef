#pragma once
// The program-wide cursor: the hourglass while the program is busy in the GUI thread, the
// normal one otherwise. Forms ask CursorHandle() when the system asks them for a cursor
// (WM_SETCURSOR), so the hourglass shows over every window of the program, not just the
// one under the mouse when it was set.

#include "gui/Graphics.h"

#include <windows.h>

namespace gui {

class TScreen {
  public:
    TCursor Cursor() const { return cursor_; }
    // Shows the cursor at once and keeps it until changed.
    void SetCursor(TCursor cursor);
    // The cursor to show over our windows; nullptr for crDefault (the window's own).
    HCURSOR CursorHandle() const;

  private:
    TCursor cursor_ = TCursor::crDefault;
};

TScreen& Screen();

// Sets a cursor for a scope and puts the previous one back on every way out, exceptions
// included.
class TCursorScope {
  public:
    explicit TCursorScope(TCursor cursor = TCursor::crHourGlass) : previous_(Screen().Cursor()) {
        Screen().SetCursor(cursor);
    }
    ~TCursorScope() { Screen().SetCursor(previous_); }
    TCursorScope(const TCursorScope&) = delete;
    TCursorScope& operator=(const TCursorScope&) = delete;

  private:
    TCursor previous_;
};

} // namespace gui
