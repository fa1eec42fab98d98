#include "devctl/core/file_copy.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "devctl/core/stored_file.h"
#include "platform/paths.h"

namespace {

constexpr size_t kCopyChunk = 10240;
constexpr size_t kMaxEntryPath = 255;
constexpr const char* kTarvoConfigDir = "/usr/local/netaudio/tarvo_package/tarvo_data/config";

}  // namespace

int CopyTextFile(const char* src, const char* dst) {
  if (src == nullptr || dst == nullptr) return -1;
  FILE* in = std::fopen(platform::Path(src).c_str(), "rb");
  if (in == nullptr) return -1;
  std::string content;
  char buffer[kCopyChunk];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) content.append(buffer, n);
  bool read_failed = std::ferror(in) != 0;
  std::fclose(in);
  if (read_failed) return -1;
  return WriteStoredFile(dst, content);
}

int RemoveFilesInDir(const char* dir) {
  if (dir == nullptr) return 1;
  std::string resolved_dir = platform::Path(dir);
  DIR* d = opendir(resolved_dir.c_str());
  if (d == nullptr) return 1;
  while (dirent* entry = readdir(d)) {
    std::string unit_path = std::string(dir) + "/" + entry->d_name;
    // A cut-short name could name some other file: such an entry is left alone.
    if (unit_path.size() > kMaxEntryPath) continue;
    std::string path = resolved_dir + "/" + entry->d_name;
    bool regular = entry->d_type == DT_REG;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat st;
      regular = lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }
    if (regular) unlink(path.c_str());
  }
  closedir(d);
  return 0;
}

void ClearTarvoConfigDir() { RemoveFilesInDir(kTarvoConfigDir); }
