#include "devctl/core/markers.h"

#include "devctl/core/stored_file.h"
#include "platform/storage.h"

int WriteSubIfaceDownFlag() {
  int result = WriteStoredFile("/tmp/enp1s0_down", "1");
  platform::SyncFileSystems();
  return result;
}
