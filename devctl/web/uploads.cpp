#include "devctl/web/uploads.h"

#include <cstdio>

#include "devctl/core/upgrade_staging.h"
#include "devctl/web/json_members.h"
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

// True when length more bytes leave the file system of path its reserve.
bool LeavesReserve(const char* unit_path, int length) {
  const uint64_t available = platform::AvailableBytes(platform::Path(unit_path));
  return available >= uint64_t(length) + kStagingReserveBytes;
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
    // An upload that never got its last chunk only holds space: a new one of any kind ends it.
    for (UploadKind other : kKinds) {
      if (other != kind && SlotOf(other, slots).opened)
        Abandon(InfoOf(other), SlotOf(other, slots));
    }
    StartUpload(info, slot);
  } else if (!slot.opened) {
    // A middle or last chunk with no upload under way: its bytes belong to nothing.
    return Fail(info, reply);
  }
  if (length > 0 && !slot.failed && !LeavesReserve(info.file, length)) {
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
