// The firmware uploads being received in chunks: per kind, the bytes written so far and the open
// file.
#pragma once

#include <cstdint>
#include <fstream>

struct upload_slot_s {
  uint32_t received = 0;  // bytes written since the last first chunk
  std::ofstream file;
  bool opened = false;  // a first chunk started this upload and no last chunk ended it yet
  bool failed = false;  // the file could not be opened or a write failed: the upload is lost
  int64_t last_chunk_ms = 0;  // the process clock when this upload last took a chunk
};

// One slot per upload kind (web::UploadKind is the index).
struct upload_slots_s {
  upload_slot_s slot[3];
};
