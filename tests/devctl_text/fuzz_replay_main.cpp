// Runs a fuzz target without libFuzzer: every seed, then deterministic mutations of the seeds, so
// the ordinary sanitizer build exercises the target too.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/fuzz/seed_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern const std::vector<std::string> kFuzzSeeds;

int main(int argc, char** argv) {
  const long iterations = argc > 1 ? std::atol(argv[1]) : 20000;
  // The seeds compiled in, then the checked-in seed files (second argument: their folder).
  std::vector<std::string> seeds = kFuzzSeeds;
  for (std::string& s : ReadSeedFiles(argc > 2 ? argv[2] : nullptr)) seeds.push_back(std::move(s));
  std::mt19937 rng(4242);
  auto run = [](const std::string& s) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(s.data()), s.size());
  };
  for (const auto& seed : seeds) run(seed);
  for (long i = 0; i < iterations; ++i) {
    std::string s = seeds[rng() % seeds.size()];
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits && !s.empty(); ++e) {
      const size_t pos = rng() % s.size();
      switch (rng() % 5) {
        case 0:
          s[pos] = static_cast<char>(rng() % 256);
          break;
        case 1:
          s.erase(pos, 1 + rng() % 8);
          break;
        case 2:
          s.insert(pos, seeds[rng() % seeds.size()].substr(0, rng() % 40));
          break;
        case 3:
          s.insert(pos, std::string(1 + rng() % 3000, "\xff\r\x7f\b\x1b[A9 "[rng() % 9]));
          break;
        default:
          s = s.substr(0, pos);
          break;
      }
    }
    run(s);
  }
  std::printf("%ld inputs\n", iterations + static_cast<long>(seeds.size()));
  return 0;
}
