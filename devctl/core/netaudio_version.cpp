#include "devctl/core/netaudio_version.h"

#include <cstring>
#include <fstream>

#include "platform/paths.h"

std::string ParseNetaudioVersion(const char* version_file, const char* date_file) {
  static constexpr const char* kMarker = "NETAUDIO_VERSION=";
  std::ifstream versions(platform::Path(version_file));
  if (!versions) return "";
  for (;;) {
    // The date file is read afresh for every word.
    std::string date;
    std::ifstream dates(platform::Path(date_file));
    bool has_date_file = bool(dates);
    if (has_date_file) dates >> date;

    std::string word;
    if (!(versions >> word)) return "";
    size_t p = word.find(kMarker);
    if (p == std::string::npos) continue;
    std::string version = "V" + word.substr(p + std::strlen(kMarker));
    if (has_date_file) version += "_" + date;
    return version;
  }
}
