// Fuzz target: a run of upload chunks (any kind, any query tail, any body) through the chunk
// handler, with the staging file system's free space chosen by the input.
//
// Input: one byte of free space (in KiB beyond the reserve), then chunks, each
//   <kind byte> <tail length byte> <body length, 2 bytes little-endian> <tail> <body>
// cut short where the input ends.
//
// Only chunks of an upload a first chunk of the same kind started, and that no refusal ended, are
// taken; the kinds interleave. A chunk of another kind may remove an unfinished upload (to make
// room for itself; the clock never moves, so none goes stale): then its file is gone and the
// chunk was taken (or was a last chunk, whose staging may still fail). Each reply is the progress line or the result JSON, matching what
// the handler returned; the progress line counts the chunk's bytes and the bytes of the upload
// since its first chunk, and the received file holds exactly those bytes.
#include <cjson/cJSON.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "devctl/core/upgrade_staging.h"
#include "devctl/web/upload_slot.h"
#include "devctl/web/uploads.h"
#include "platform/clock.h"
#include "platform/command.h"
#include "platform/paths.h"
#include "platform/storage.h"

namespace {

platform::RecordingCommandRunner& runner() {
  static platform::RecordingCommandRunner recorder;
  return recorder;
}

void Prepare() {
  static bool done = [] {
    static char root[] = "/tmp/devctl_upload_fuzz_XXXXXX";
    if (mkdtemp(root) == nullptr) abort();
    atexit([] { std::system((std::string("rm -rf '") + root + "'").c_str()); });
    platform::SetRoot(root);
    // Staging logs each refused package on standard output: thousands a second here.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) abort();
    static platform::FakeClock clock;
    platform::SetClock(&clock);
    platform::SetHostSync(false);
    // Staging only records its commands: nothing is unpacked or started.
    platform::SetCommandRunner(&runner());
    for (const char* dir : {"/oem/x", "/tmp/x", "/run/x", "/userdata/x"}) {
      platform::MakeParentDirs(platform::Path(dir));
    }
    return true;
  }();
  (void)done;
}

const char* FileOf(web::UploadKind kind) {
  switch (kind) {
    case web::UploadKind::kNetaudioPackage:
      return upgrade::kNetaudioPackageFile;
    case web::UploadKind::kSystemPackage:
      return upgrade::kSystemPackageFile;
    case web::UploadKind::kOtaImage:
      break;
  }
  return upgrade::kOtaImageFile;
}

long FileSize(const char* unit_path) {
  struct stat st;
  return stat(platform::Path(unit_path).c_str(), &st) == 0 ? long(st.st_size) : -1;
}

// The result JSON of a chunk: true when it says success.
bool ResultSucceeded(const std::string& reply) {
  cJSON* json = cJSON_Parse(reply.c_str());
  if (json == nullptr) abort();
  const cJSON* result = cJSON_GetObjectItemCaseSensitive(json, "result");
  const cJSON* command = cJSON_GetObjectItemCaseSensitive(json, "command");
  if (!cJSON_IsString(result) || !cJSON_IsString(command)) abort();
  const bool success = std::strcmp(result->valuestring, "success") == 0;
  if (!success && std::strcmp(result->valuestring, "fail") != 0) abort();
  cJSON_Delete(json);
  return success;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Prepare();
  if (size == 0) return 0;
  platform::SetAvailableBytesForTest(static_cast<long long>(web::kStagingReserveBytes) +
                                     1024LL * data[0]);
  upload_slots_s slots;
  // Per kind: an upload a first chunk started may still take chunks, and its bytes so far.
  bool open[3] = {false, false, false};
  long received[3] = {0, 0, 0};
  size_t at = 1;
  while (at + 4 <= size) {
    const auto kind = static_cast<web::UploadKind>(data[at] % 3);
    const int k = data[at] % 3;
    const size_t tail_len = data[at + 1];
    const size_t body_len = data[at + 2] | (size_t(data[at + 3]) << 8);
    at += 4;
    const std::string tail(reinterpret_cast<const char*>(data) + at, std::min(tail_len, size - at));
    at += tail.size();
    const std::string body(reinterpret_cast<const char*>(data) + at, std::min(body_len, size - at));
    at += body.size();

    unsigned char chunk = 0;
    const bool readable = web::ReadChunkCommand(tail.c_str(), &chunk);
    const bool first = readable && chunk == web::kFirstChunk;
    const bool last = readable && chunk == web::kLastChunk;
    std::string reply;
    const bool taken = web::HandleUploadChunk(kind, slots, tail.c_str(), body.data(),
                                              static_cast<int>(body.size()), reply);
    runner().Clear();

    if (taken && (!readable || (!first && !open[k]))) abort();
    if (first) {
      open[k] = true;
      received[k] = 0;
    }
    for (int other = 0; other < 3; ++other) {
      if (other == k) continue;
      if (slots.slot[other].opened && !open[other]) abort();
      if (!open[other] || slots.slot[other].opened) continue;
      // Removed to make room for this chunk.
      if (!taken && !last) abort();
      if (FileSize(FileOf(static_cast<web::UploadKind>(other))) != -1) abort();
      open[other] = false;
    }
    if (taken) received[k] += static_cast<long>(body.size());

    if (taken && !last) {
      char line[128];
      std::snprintf(line, sizeof line, "length: %d upLength: %ld \n", static_cast<int>(body.size()),
                    received[k]);
      if (reply != line) abort();
      upload_slot_s& slot = slots.slot[k];
      slot.file.flush();
      if (!slot.opened || slot.failed || long(slot.received) != received[k]) abort();
      if (FileSize(FileOf(kind)) != received[k]) abort();
    } else {
      if (ResultSucceeded(reply) != taken) abort();
      if (readable) open[k] = false;  // a last chunk, or one refused, ends what can be taken
    }
  }
  return 0;
}
