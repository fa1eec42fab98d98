#include "devctl/core/stored_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>

#include "platform/paths.h"
#include "platform/storage.h"

int WriteStoredFile(const char* unit_path, const std::string& data) {
  std::string target = platform::Path(unit_path);
  struct stat st;
  if (lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char resolved[PATH_MAX];
    if (realpath(target.c_str(), resolved) != nullptr) target = resolved;
  }
  return platform::WriteFileAtomic(target, data) ? 0 : -1;
}

bool ReadFirstWord(const char* unit_path, std::string* word) {
  std::ifstream in(platform::Path(unit_path));
  if (!in) return false;
  std::string w;
  if (!(in >> w)) return false;
  *word = w;
  return true;
}

bool UnitFileExists(const char* unit_path) {
  return access(platform::Path(unit_path).c_str(), F_OK) == 0;
}
