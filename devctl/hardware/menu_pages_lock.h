// The menu pages (the records of g_panel.menu and the page on show) have one owner at a time:
// the thread holding this lock. The key thread holds it while a page handles a key, the panel
// thread while it refreshes the page, a redraw while it draws.
//
// Lock order: this lock before the configuration lock. A page's handler reads the settings and
// commits changes (configuration lock, then the change's turn) while holding the pages; code that
// holds the configuration lock, or may be waited for by a change's turn, never waits for the
// pages: it takes them only when they are free (MenuRedraw) and otherwise leaves its redraw to
// the holder, who draws the page as it lets go.
#pragma once

#include <mutex>

class MenuPagesLock {
 public:
  MenuPagesLock();                            // waits for the pages
  // Takes the pages only when they are free (or already this thread's).
  explicit MenuPagesLock(std::try_to_lock_t);
  ~MenuPagesLock();  // the last hold of the thread draws a redraw left to it, then lets go
  MenuPagesLock(const MenuPagesLock&) = delete;
  MenuPagesLock& operator=(const MenuPagesLock&) = delete;

  bool owns() const { return owns_; }

 private:
  bool owns_;
};

// Asks the holder of the pages to redraw the current page as it lets go (for a thread that could
// not take them).
void LeaveRedrawToPagesHolder();
