#include "devctl/core/stored_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

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

bool ReadFirstWordOfPlainFile(const char* unit_path, std::string* word, size_t limit) {
  const int fd =
      open(platform::Path(unit_path).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  std::string text;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    text.resize(limit);
    size_t got = 0;
    while (got < limit) {
      const ssize_t n = read(fd, &text[got], limit - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += size_t(n);
    }
    text.resize(got);
  }
  close(fd);
  std::istringstream in(text);
  std::string w;
  if (!(in >> w)) return false;
  *word = w;
  return true;
}

bool UnitFileExists(const char* unit_path) {
  return access(platform::Path(unit_path).c_str(), F_OK) == 0;
}
