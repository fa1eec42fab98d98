// One firmware upload being received in chunks: the bytes written so far and the open file.
#pragma once

#include <cstdint>
#include <fstream>

struct upload_slot_s {
  uint32_t size = 0;
  std::ofstream file;
};
