// One client of a control server: its line editor state, telnet state and pending output.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "devctl/text/telnet.h"

namespace session {
constexpr uint32_t kAccumulationSize = 20000;  // completed lines waiting to be handed on
constexpr int kEditSize = 2000;                // the line being typed, its CR included
constexpr int kEditMax = kEditSize - 1;        // characters that can be typed into it
constexpr int kRecallSize = 1024;              // longest history line recalled
}  // namespace session

struct tcp_session_s {
  int32_t fd = -1;
  std::string echo;  // staged echo, written once per chunk
  char acc[session::kAccumulationSize + 1] = {};
  uint32_t acc_len = 0;
  char edit[session::kEditSize] = {};
  int32_t edit_len = 0;
  int32_t cursor_offset = 0;  // characters between the terminal cursor and the line's end
  std::unique_ptr<telnet_state_s> telnet;

  // Output waiting for the socket to take it; guarded by the owning server's client lock.
  std::string out;
  bool dead = false;  // to be dropped by the server thread (queue overflow or send error)
};
