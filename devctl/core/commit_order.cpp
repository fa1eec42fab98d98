#include "devctl/core/commit_order.h"

#include <condition_variable>
#include <mutex>

namespace {

std::mutex g_order_mutex;
std::condition_variable g_turn_changed;
uint64_t g_next_place = 0;   // the place the next ticket takes
uint64_t g_now_telling = 0;  // the place whose turn it is

void WaitForTurn(uint64_t place) {
  std::unique_lock<std::mutex> lock(g_order_mutex);
  g_turn_changed.wait(lock, [place] { return g_now_telling == place; });
}

void PassTurn() {
  {
    std::lock_guard<std::mutex> lock(g_order_mutex);
    ++g_now_telling;
  }
  g_turn_changed.notify_all();
}

}  // namespace

CommitTicket::CommitTicket() {
  std::lock_guard<std::mutex> lock(g_order_mutex);
  place_ = g_next_place++;
}

CommitTicket::~CommitTicket() {
  if (told_) return;
  WaitForTurn(place_);
  PassTurn();
}

void CommitTicket::Tell(const std::function<void()>& tell) {
  if (told_) return;
  told_ = true;
  WaitForTurn(place_);
  // The turn passes on however tell ends.
  struct PassOnExit {
    ~PassOnExit() { PassTurn(); }
  } pass;
  // Only the ticket whose turn it is gets here: tell runs alone, in order, without this module's
  // lock (it may take the configuration lock or wait on a port's queue).
  if (tell) tell();
}
