// Prints what one configuration save and load cost: the document's size, and the time to build and
// print it, to save it (write, fsync, rename, sync) and to load it back.
// Usage: config_bench [rounds]   (uses a temporary folder as the unit's root)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_file.h"
#include "platform/paths.h"

namespace {

template <typename F>
double MicrosPerCall(int rounds, F&& f) {
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) f(i);
  std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
  return spent.count() / rounds;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 200;
  if (rounds <= 0) rounds = 200;
  char root[] = "/tmp/config_bench.XXXXXX";
  if (!mkdtemp(root)) return 1;
  platform::SetRoot(root);
  platform::MakeParentDirs(platform::Path("/oem/app.json"));

  auto cfg = std::make_unique<app_config_s>();
  cfg->type = "TRX";
  ResetAppConfig("", cfg.get(), "");
  std::string text;
  PrintAppConfig(cfg.get(), &text);

  double print_us = MicrosPerCall(rounds, [&](int) { PrintAppConfig(cfg.get(), &text); });
  double save_us = MicrosPerCall(rounds, [&](int i) {
    cfg->power = i & 1;
    SaveAppConfig(kConfigFile, cfg.get());
  });
  auto loaded = std::make_unique<app_config_s>();
  double load_us = MicrosPerCall(
      rounds, [&](int) { LoadAppConfigFile("", kConfigFile, loaded.get(), "", loaded->type); });

  std::printf("document: %zu bytes\n", text.size());
  std::printf("build and print: %.0f us\n", print_us);
  std::printf("save (print, write, fsync, rename, sync): %.0f us\n", save_us);
  std::printf("load (read, parse, fill): %.0f us\n", load_us);
  std::printf("rounds: %d\n", rounds);

  std::system((std::string("rm -rf '") + root + "'").c_str());
  return 0;
}
