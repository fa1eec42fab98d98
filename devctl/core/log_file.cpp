#include "devctl/core/log_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/paths.h"

namespace {

const uint32_t g_log_level_mask = 0;  // debug levels let through

constexpr size_t kMessageSize = 1941;
constexpr size_t kRecordSize = 2018;  // at most 2017 characters and the NUL

struct Header {
  uint32_t position;
  uint32_t version;
  uint32_t magic;
};

const char* LevelName(unsigned level) {
  switch (level) {
    case LOG_LEVEL_ERR:
      return "err";
    case LOG_LEVEL_PRI:
      return "pri";
    case LOG_LEVEL_DBG:
      return "dbg";
    case LOG_LEVEL_WARNING:
      return "warning";
    case LOG_LEVEL_MAIN_DBG:
      return "main_dbg";
    case LOG_LEVEL_AV_DBG:
      return "av_dbg";
    case LOG_LEVEL_NET_DBG:
      return "net_dbg";
    case LOG_LEVEL_T_DBG:
      return "t_dbg";
    case LOG_LEVEL_EPOOL:
      return "epool";
    case LOG_LEVEL_WRON:
      return "wron";
    default:
      return "none";
  }
}

bool PassesFilter(unsigned level) {
  if (level & g_log_level_mask) return true;
  switch (level) {
    case LOG_LEVEL_ERR:
    case LOG_LEVEL_PRI:
    case LOG_LEVEL_WARNING:
    case LOG_LEVEL_T_DBG:
    case LOG_LEVEL_EPOOL:
    case LOG_LEVEL_WRON:
      return true;
    default:
      return false;
  }
}

bool IsWritten(unsigned level) {
  switch (level) {
    case LOG_LEVEL_ERR:
    case LOG_LEVEL_PRI:
    case LOG_LEVEL_WARNING:
    case LOG_LEVEL_EPOOL:
    case LOG_LEVEL_WRON:
      return true;
    default:
      return false;
  }
}

void PutU32(unsigned char* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = uint8_t(value >> (8 * i));
}

uint32_t GetU32(const unsigned char* at) {
  return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

void WriteHeader(FILE* stream, const Header& header) {
  unsigned char bytes[kLogHeaderSize];
  PutU32(bytes, header.position);
  PutU32(bytes + 4, header.version);
  PutU32(bytes + 8, header.magic);
  std::fseek(stream, 0, SEEK_SET);
  std::fwrite(bytes, 1, sizeof bytes, stream);
  std::fflush(stream);
}

// Reads the header of an existing file and puts the stream at the next record, repairing a header
// that is short, of another format, or points outside the ring.
void RecoverPosition(log_file_s* log) {
  if (std::ftell(log->stream) < 0) {
    std::printf("ftell err in %s [%d]: %s\n", "log_recover_position", 81, std::strerror(errno));
    return;
  }
  unsigned char bytes[kLogHeaderSize] = {};
  std::fseek(log->stream, 0, SEEK_SET);
  bool complete = std::fread(bytes, 1, sizeof bytes, log->stream) == sizeof bytes;
  Header header = {GetU32(bytes), GetU32(bytes + 4), GetU32(bytes + 8)};
  bool in_ring =
      header.position >= uint32_t(kLogHeaderSize) && header.position < uint32_t(log->size_limit);
  if (!complete || header.version != kLogVersion || header.magic != kLogMagic || !in_ring) {
    std::printf("u32Version 0x%x,  u32MagicNum 0x%08x\n", header.version, header.magic);
    std::printf("log_recover_position log data error,position 0x%08x try to fix\n",
                header.position);
    header = {uint32_t(kLogHeaderSize), kLogVersion, kLogMagic};
    std::printf("log_recover_position fixed postion 0x%08x\n", header.position);
    WriteHeader(log->stream, header);
  }
  std::fseek(log->stream, long(header.position), SEEK_SET);
  std::printf("log_recover_position %u\n", header.position);
}

// The file was at the given offset before this record: store where the next one goes.
void RecordPosition(log_file_s* log) {
  long position = std::ftell(log->stream);
  if (position < 0) {
    std::printf("ftell err in %s [%d]: %s\n", "log_record_position", 53, std::strerror(errno));
    return;
  }
  unsigned char bytes[4];
  PutU32(bytes, uint32_t(position));
  std::fseek(log->stream, 0, SEEK_SET);
  std::fwrite(bytes, 1, sizeof bytes, log->stream);
  std::fflush(log->stream);
  std::fseek(log->stream, position, SEEK_SET);
}

bool Readable(const log_file_s* log) {
  return access(platform::Path(log->path).c_str(), R_OK) == 0;
}

}  // namespace

void init_log(log_file_s* log) {
  if (!log) {
    std::printf("%s[%s-%d]err: invalid parames.\n%s", "\033[1;31m", "init_log", 122, "\033[m");
    return;
  }
  std::string resolved = platform::Path(log->path);
  if (!Readable(log)) {
    log->stream = std::fopen(resolved.c_str(), "w+");
    if (!log->stream) {
      std::printf("fopen %s err: %s\n", log->path, std::strerror(errno));
      return;
    }
    WriteHeader(log->stream, {uint32_t(kLogHeaderSize), kLogVersion, kLogMagic});
  } else {
    log->stream = std::fopen(resolved.c_str(), "r+");
    if (!log->stream) {
      std::printf("err: fopen %s.\n", log->path);
      return;
    }
    RecoverPosition(log);
  }
  std::printf("\033[1;36mCreate a new file in %s \n\033[m", log->path);
}

void log_write(log_file_s* log, unsigned level, const char* name, int line, const char* fmt, ...) {
  if (!log || !fmt || !PassesFilter(level)) return;
  if (log->enabled) {
    pthread_mutex_lock(&log->mutex);
    if (Readable(log)) {
      if (!log->stream) init_log(log);
    } else {
      // The file was removed: start a new one.
      if (log->stream) std::fclose(log->stream);
      log->stream = nullptr;
      init_log(log);
    }
    pthread_mutex_unlock(&log->mutex);
  }

  char message[kMessageSize];
  va_list args;
  va_start(args, fmt);
  int length = std::vsnprintf(message, sizeof message, fmt, args);
  va_end(args);
  if (length < 0) return;
  if (size_t(length) >= sizeof message) std::strcpy(message + kMessageSize - 4, "..\n");

  char name_field[21];
  const char* shown = name ? name : "";
  if (std::strlen(shown) > 20) {
    std::snprintf(name_field, sizeof name_field, "%.18s..", shown);
  } else {
    std::snprintf(name_field, sizeof name_field, "%s", shown);
  }
  char prefix[64];
  std::snprintf(prefix, sizeof prefix, "[%-20s %04d] %s: ", name_field, line, LevelName(level));
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "[%04d-%02d-%02d %02d:%02d:%02d] ", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  char record[kRecordSize];
  int record_length =
      level == LOG_LEVEL_EPOOL
          ? std::snprintf(record, sizeof record, "%s %s", stamp, message)
          : std::snprintf(record, sizeof record, "%s %s %s", stamp, prefix, message);
  if (record_length < 0) return;

  if (!log->enabled || !IsWritten(level)) return;
  pthread_mutex_lock(&log->mutex);
  if (!log->stream) {
    init_log(log);
  } else {
    size_t size = std::strlen(record);
    long offset = std::ftell(log->stream);
    if (offset < 0 || offset + long(size) >= long(log->size_limit)) {
      std::fseek(log->stream, kLogHeaderSize, SEEK_SET);
    }
    std::fwrite(record, 1, size, log->stream);
    std::fflush(log->stream);
    RecordPosition(log);
  }
  pthread_mutex_unlock(&log->mutex);
}
