#include "devctl/web/uploads.h"

#include <cstdio>
#include <vector>

#include "devctl/core/upgrade_staging.h"
#include "devctl/web/json_members.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/storage.h"

namespace web {
namespace {

struct UploadKindInfo {
  const char* file;
  const char* reply_name;
  bool (*stage)();
  void (*clean_up)();
};

const UploadKindInfo& InfoOf(UploadKind kind) {
  static const UploadKindInfo kNetaudio{upgrade::kNetaudioPackageFile, "update_netaudio.cgi",
                                        upgrade::StageNetaudioPackage,
                                        upgrade::CleanUpNetaudioPackage};
  static const UploadKindInfo kSystem{upgrade::kSystemPackageFile, "update_soc.cgi",
                                      upgrade::StageSystemPackage, upgrade::CleanUpSystemPackage};
  // The OTA result names "upload_ota.cgi", as the web pages expect.
  static const UploadKindInfo kOta{upgrade::kOtaImageFile, "upload_ota.cgi", upgrade::StageOtaImage,
                                   upgrade::CleanUpOtaImage};
  switch (kind) {
    case UploadKind::kNetaudioPackage:
      return kNetaudio;
    case UploadKind::kSystemPackage:
      return kSystem;
    case UploadKind::kOtaImage:
      break;
  }
  return kOta;
}

bool Fail(const UploadKindInfo& info, std::string& reply) {
  BuildUploadResultJson(info.reply_name, reply, false);
  return false;
}

constexpr UploadKind kKinds[] = {UploadKind::kNetaudioPackage, UploadKind::kSystemPackage,
                                 UploadKind::kOtaImage};

upload_slot_s& SlotOf(UploadKind kind, upload_slots_s& slots) {
  return slots.slot[static_cast<int>(kind)];
}

// Ends an upload without staging it: the partial file and what its kind unpacked are removed.
void Abandon(const UploadKindInfo& info, upload_slot_s& slot) {
  if (slot.file.is_open()) slot.file.close();
  slot.opened = false;
  slot.failed = false;
  slot.received = 0;
  info.clean_up();
}

// Gives up an unfinished upload of another kind: only its partial file goes. What a finished
// staging of that kind left (the unpacked folder, the markers) is not the upload's to remove.
void DropUnfinished(const UploadKindInfo& info, upload_slot_s& slot) {
  if (slot.file.is_open()) slot.file.close();
  slot.opened = false;
  slot.failed = false;
  slot.received = 0;
  std::remove(platform::Path(info.file).c_str());
}

// Unfinished uploads of other kinds that took no chunk for kStaleUploadMs are given up.
void DropStaleUploads(UploadKind kind, upload_slots_s& slots, int64_t now_ms) {
  for (UploadKind other : kKinds) {
    upload_slot_s& slot = SlotOf(other, slots);
    if (other == kind || !slot.opened || now_ms - slot.last_chunk_ms < kStaleUploadMs) continue;
    std::printf("upload: %s took no chunk for %lld ms; dropped\n", InfoOf(other).file,
                static_cast<long long>(now_ms - slot.last_chunk_ms));
    DropUnfinished(InfoOf(other), slot);
  }
}

// True when length more bytes of kind leave its file system the reserve. When they would only
// beside the unfinished uploads of other kinds on that file system, those are given up for them.
bool MakeRoom(UploadKind kind, upload_slots_s& slots, int length) {
  const std::string path = platform::Path(InfoOf(kind).file);
  const uint64_t needed = uint64_t(length) + kStagingReserveBytes;
  const uint64_t available = platform::AvailableBytes(path);
  if (available >= needed) return true;
  std::vector<UploadKind> beside;
  uint64_t held = 0;
  for (UploadKind other : kKinds) {
    const upload_slot_s& slot = SlotOf(other, slots);
    if (other == kind || !slot.opened) continue;
    if (!platform::OnSameFileSystem(path, platform::Path(InfoOf(other).file))) continue;
    beside.push_back(other);
    held += slot.received;
  }
  if (available + held < needed) return false;
  for (UploadKind other : beside) {
    std::printf("upload: %s dropped to make room for %s\n", InfoOf(other).file,
                InfoOf(kind).file);
    DropUnfinished(InfoOf(other), SlotOf(other, slots));
  }
  return true;
}

void StartUpload(const UploadKindInfo& info, upload_slot_s& slot) {
  if (slot.file.is_open()) slot.file.close();
  slot.file.clear();
  std::string path = platform::Path(info.file);
  platform::MakeParentDirs(path);
  slot.file.open(path, std::ios::binary | std::ios::out | std::ios::trunc);
  slot.received = 0;
  slot.opened = true;
  slot.failed = !slot.file.is_open();
}

// Closes the file and stages it; a lost upload is cleaned up instead.
bool FinishUpload(const UploadKindInfo& info, upload_slot_s& slot, std::string& reply) {
  slot.file.close();
  if (slot.file.fail()) slot.failed = true;
  slot.opened = false;
  if (slot.failed) {
    slot.failed = false;
    info.clean_up();
    return Fail(info, reply);
  }
  bool staged = info.stage();
  BuildUploadResultJson(info.reply_name, reply, staged);
  return staged;
}

}  // namespace

bool ReadChunkCommand(const char* tail, unsigned char* kind_byte) {
  unsigned int values[5];
  if (!tail || std::sscanf(tail, "cmd=hex(%x,%x,%x,%x,%x)", &values[0], &values[1], &values[2],
                           &values[3], &values[4]) != 5) {
    return false;
  }
  for (unsigned int value : values) {
    if (value > 0xff) return false;
  }
  *kind_byte = static_cast<unsigned char>(values[2]);
  return true;
}

bool HandleUploadChunk(UploadKind kind, upload_slots_s& slots, const char* tail, const char* body,
                       int length, std::string& reply) {
  const UploadKindInfo& info = InfoOf(kind);
  upload_slot_s& slot = SlotOf(kind, slots);
  unsigned char chunk = 0;
  if (!ReadChunkCommand(tail, &chunk)) return Fail(info, reply);
  if (chunk == kFirstChunk) {
    StartUpload(info, slot);
  } else if (!slot.opened) {
    // A middle or last chunk with no upload under way: its bytes belong to nothing.
    return Fail(info, reply);
  }
  const int64_t now_ms = platform::NowMs();
  slot.last_chunk_ms = now_ms;
  DropStaleUploads(kind, slots, now_ms);
  if (length > 0 && !slot.failed && !MakeRoom(kind, slots, length)) {
    std::printf("upload: no room for %d more bytes of %s; upload dropped\n", length, info.file);
    Abandon(info, slot);
    return Fail(info, reply);
  }
  if (length > 0 && !slot.failed) {
    slot.file.write(body, length);
    if (!slot.file) slot.failed = true;
  }
  if (length > 0) slot.received += static_cast<uint32_t>(length);
  if (chunk == kLastChunk) return FinishUpload(info, slot, reply);
  if (slot.failed) return Fail(info, reply);
  char line[256];
  std::snprintf(line, sizeof line, "length: %d upLength: %d \n", length,
                static_cast<int>(slot.received));
  reply = line;
  return true;
}

void HandleBrokenChunk(UploadKind kind, upload_slots_s& slots, std::string& reply) {
  upload_slot_s& slot = SlotOf(kind, slots);
  if (slot.opened) slot.failed = true;
  Fail(InfoOf(kind), reply);
}

int BuildUploadResultJson(const std::string& command, std::string& out, bool ok) {
  JsonPtr object(cJSON_CreateObject());
  cJSON_AddItemToObject(object.get(), "command", cJSON_CreateString(command.c_str()));
  cJSON_AddItemToObject(object.get(), "result", cJSON_CreateString(ok ? "success" : "fail"));
  PrintJsonReply(object.get(), out);
  return 1;
}

}  // namespace web
