// A ring log file with levels, time stamps and a self-repairing header. Records follow a 12-byte
// little-endian header {position of the next record, version 1, magic}; when a record would reach
// the size limit, writing starts again at offset 12 over the oldest records.
// No caller yet: devctl prints its diagnostics. Kept as the unit's ring log, for the first
// diagnostic that has to outlive a restart.
#pragma once

#include <pthread.h>

#include <cstdint>
#include <cstdio>

struct log_file_s {
  char path[256];  // unit path, resolved under the platform root
  FILE* stream;
  int32_t size_limit;
  int32_t enabled;  // 0: nothing is written
  pthread_mutex_t mutex;
};

// Levels; only err, pri, warning, epool and wron records reach the file.
enum : unsigned {
  LOG_LEVEL_ERR = 0x1,
  LOG_LEVEL_PRI = 0x2,
  LOG_LEVEL_DBG = 0x4,
  LOG_LEVEL_WARNING = 0x8,
  LOG_LEVEL_MAIN_DBG = 0x10,
  LOG_LEVEL_AV_DBG = 0x20,
  LOG_LEVEL_NET_DBG = 0x40,
  LOG_LEVEL_T_DBG = 0x80,
  LOG_LEVEL_EPOOL = 0x100,  // written without the name/line prefix
  LOG_LEVEL_WRON = 0x200,
};

constexpr uint32_t kLogMagic = 0x20171109;
constexpr uint32_t kLogVersion = 1;
constexpr int32_t kLogHeaderSize = 12;

// The unit's log is "/tmp/log.txt", 512 KiB, enabled; debug levels are not let through.

// Opens the log file, creating it or repairing its header.
void init_log(log_file_s* log);

// Formats one record ("[time] [name line] level: message") and appends it to the ring.
void log_write(log_file_s* log, unsigned level, const char* name, int line, const char* fmt, ...)
    __attribute__((format(printf, 5, 6)));
