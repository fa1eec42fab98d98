// One entry of the text protocol's HELP table.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct text_command_s {
  // 0 listed for every device type; 1 hidden when the type begins "RX"; 2 when it begins "TX".
  uint32_t variant = 0;
  std::string keyword;
  std::function<bool(int fd, char* line, int len, std::string& reply)> handler;
  std::string help;
};
