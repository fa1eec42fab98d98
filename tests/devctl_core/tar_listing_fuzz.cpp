// Fuzz target: what "tar -t" and "tar -tv" print for a received package, through the checks that
// decide whether it is unpacked. The input is the name listing, a NUL, then the verbose listing
// (the whole input is both when there is no NUL).
//
// The staging of the network-audio package runs against canned command outputs; whenever it goes
// on to unpack, every name must be relative and free of "..", and every verbose line must be a
// file, a folder or a link. A listing the name check accepts stays accepted with its last line,
// or its second half, taken off.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "devctl/core/upgrade_staging.h"
#include "platform/clock.h"
#include "platform/command.h"
#include "platform/paths.h"
#include "platform/storage.h"

namespace {

platform::RecordingCommandRunner& Runner() {
  static platform::RecordingCommandRunner* runner = [] {
    static char root[] = "/tmp/devctl_tar_fuzz_XXXXXX";
    if (mkdtemp(root) == nullptr) abort();
    atexit([] { std::system((std::string("rm -rf '") + root + "'").c_str()); });
    platform::SetRoot(root);
    // Staging logs each refused package on standard output: thousands a second here.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) abort();
    static platform::FakeClock clock;
    platform::SetClock(&clock);
    platform::SetHostSync(false);
    auto* r = new platform::RecordingCommandRunner;
    platform::SetCommandRunner(r);
    return r;
  }();
  return *runner;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

// A name that leaves the folder it is unpacked into on its own (absolute, or with a ".." part).
bool LeavesTheFolder(const std::string& name) {
  if (name[0] == '/') return true;
  std::istringstream parts(name);
  std::string part;
  while (std::getline(parts, part, '/')) {
    if (part == "..") return true;
  }
  return false;
}

bool Unpacked(const std::vector<std::string>& commands) {
  for (const std::string& command : commands) {
    if (command.find("tar --no-same-owner") != std::string::npos) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t nul = input.find('\0');
  const std::string listing = input.substr(0, nul);
  const std::string verbose = nul == std::string::npos ? input : input.substr(nul + 1);

  platform::RecordingCommandRunner& runner = Runner();
  runner.Clear();
  runner.SetReply("tar -tf /tmp/netaudio.tar", 0, listing);
  runner.SetReply("tar -tvf /tmp/netaudio.tar", 0, verbose);
  if (upgrade::StageNetaudioPackage()) abort();  // nothing was really unpacked
  if (Unpacked(runner.Commands())) {
    for (const std::string& name : Lines(listing)) {
      if (LeavesTheFolder(name)) abort();
    }
    for (const std::string& line : Lines(verbose)) {
      if (line[0] != '-' && line[0] != 'd' && line[0] != 'l') abort();
    }
  }

  if (upgrade::ArchiveListingIsSafe(listing)) {
    const std::vector<std::string> names = Lines(listing);
    for (size_t keep : {names.size() / 2, names.size() - (names.empty() ? 0 : 1)}) {
      std::string shorter;
      for (size_t i = 0; i < keep; ++i) shorter += names[i] + "\n";
      if (!upgrade::ArchiveListingIsSafe(shorter)) abort();
    }
  }
  return 0;
}
