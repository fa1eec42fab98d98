// Version of the installed network-audio package, as the unit shows it: "V" + version, and
// "_" + date when the package has a date file.
#pragma once

#include <string>

constexpr const char* kNetaudioVersionFile = "/usr/local/netaudio/tarvo_package/version";
constexpr const char* kNetaudioVersionDateFile = "/usr/local/netaudio/tarvo_package/version_date";

// The first word of version_file holding "NETAUDIO_VERSION=" gives the version (the rest of the
// word after the marker); empty when the file is missing or has no such word.
std::string ParseNetaudioVersion(const char* version_file, const char* date_file);
