#include "tarvo/TarvoVersion.h"

#include <cstdio>

#ifndef TARVO_COMMIT_HASH
#define TARVO_COMMIT_HASH "00000000"
#endif

namespace {

const char* const kTagVersion = "1.2.0.rc2";
const char* const kVersionType = "";
const char* const kShortHash = TARVO_COMMIT_HASH;

char versionStr[256];

}  // namespace

extern "C" const char* getVersionInfo() {
  snprintf(versionStr, sizeof versionStr, "netaudio_examples : v%s:%s:%s", kTagVersion,
           kVersionType, kShortHash);
  return versionStr;
}
