// Firmware uploads in chunks, one request per chunk: the network-audio package
// ("update_netaudio.cgi"), the system package ("update_soc.cgi") and the OTA image
// ("update_ota.cgi"). Each kind has one slot and one fixed file; the last chunk hands the file
// to its staging step.
#pragma once

#include <cstdint>
#include <string>

#include "devctl/web/upload_slot.h"

namespace web {

enum class UploadKind { kNetaudioPackage, kSystemPackage, kOtaImage };

// The chunk's kind byte (the third of the five values of "cmd=hex(a,b,c,d,e)").
constexpr unsigned char kFirstChunk = 0x00;
constexpr unsigned char kLastChunk = 0x80;

// Reads the chunk command of a query tail. False when the tail does not hold all five values or
// one of them is not a byte.
bool ReadChunkCommand(const char* tail, unsigned char* kind_byte);

// Free space the staging file system keeps beyond any upload: the reboot request and the
// upgrade markers must always fit.
constexpr uint64_t kStagingReserveBytes = 4u << 20;

// An unfinished upload that took no chunk for this long is given up when a chunk of another kind
// comes: it only holds space.
constexpr int64_t kStaleUploadMs = 60000;

// One chunk: a first chunk (re)starts the upload of its kind; every chunk appends its bytes; the
// last one stages the file. The three kinds are independent and their uploads may interleave. A
// first or middle chunk answers "length: <bytes> upLength: <received> \n"; the last chunk, and
// any chunk that cannot be taken, answers the result JSON. A chunk that is not part of an upload
// a first chunk started, of one whose file could not be written, or that would leave the staging
// file system less than kStagingReserveBytes free answers "fail", removes the partial file and
// stages nothing. An unfinished upload of another kind is removed (its partial file only; what
// a finished staging left stays) when it is stale (kStaleUploadMs) or when the chunk would fit
// only without it. Returns true when the chunk was taken.
bool HandleUploadChunk(UploadKind kind, upload_slots_s& slots, const char* tail, const char* body,
                       int length, std::string& reply);

// A chunk whose body did not arrive whole: the upload it belongs to is lost; answers "fail".
void HandleBrokenChunk(UploadKind kind, upload_slots_s& slots, std::string& reply);

// {"command": <command>, "result": "success" | "fail"}. Always returns 1.
int BuildUploadResultJson(const std::string& command, std::string& out, bool ok);

}  // namespace web
