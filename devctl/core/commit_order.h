// The order in which changes are told. Every command frame (text, web) takes a ticket while it
// holds the configuration lock, so tickets follow the order in which the changes were made; once
// the lock is released and its save has finished, the frame hands what it tells the ports (reply,
// notices) to the ticket, which runs it only after every earlier ticket has been told. A client
// that watches the notices thus always ends on the value the unit holds.
#pragma once

#include <cstdint>
#include <functional>

class CommitTicket {
 public:
  // Takes the next place in the order. Call with the configuration lock held.
  CommitTicket();
  // A ticket never told gives its place up here, so no later one waits for it for ever.
  ~CommitTicket();
  CommitTicket(const CommitTicket&) = delete;
  CommitTicket& operator=(const CommitTicket&) = delete;

  // Waits until every earlier ticket has been told, runs tell (no lock of this module held: tell
  // may take the configuration lock) and lets the next ticket go. Call without the configuration
  // lock; once only.
  void Tell(const std::function<void()>& tell);

 private:
  uint64_t place_;
  bool told_ = false;
};
