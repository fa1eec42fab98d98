#include "devctl/hardware/menu_pages_lock.h"

#include <atomic>

#include "devctl/hardware/menu_pages.h"
#include "platform/state_resets.h"

namespace {

std::recursive_mutex& PagesMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

std::atomic<bool> g_redraw_left{false};
thread_local int t_holds = 0;

const platform::StateReset kReset([] { g_redraw_left = false; });

}  // namespace

MenuPagesLock::MenuPagesLock() : owns_(true) {
  PagesMutex().lock();
  ++t_holds;
}

MenuPagesLock::MenuPagesLock(std::try_to_lock_t) : owns_(PagesMutex().try_lock()) {
  if (owns_) ++t_holds;
}

MenuPagesLock::~MenuPagesLock() {
  if (!owns_) return;
  if (t_holds > 1) {
    --t_holds;
    PagesMutex().unlock();
    return;
  }
  // A redraw left while this thread held the pages is drawn before they go; one left between the
  // check and the release is drawn here too, unless another thread took the pages meanwhile (its
  // release draws it then).
  for (;;) {
    if (g_redraw_left.exchange(false)) RedrawHeldPage();
    --t_holds;
    PagesMutex().unlock();
    if (!g_redraw_left.load() || !PagesMutex().try_lock()) return;
    ++t_holds;
  }
}

void LeaveRedrawToPagesHolder() { g_redraw_left = true; }
