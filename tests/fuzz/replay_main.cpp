// Runs a fuzz target without libFuzzer: every checked-in seed, then deterministic mutations of the
// seeds (byte flips, cuts, splices, the dictionary's tokens, runs of one byte), so the ordinary
// sanitizer build exercises the target too.
//
//   <program> <rounds> <seeds folder> <dictionary file>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/fuzz/dictionary.h"
#include "tests/fuzz/seed_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  const long rounds = argc > 1 ? std::atol(argv[1]) : 5000;
  std::vector<std::string> seeds = ReadSeedFiles(argc > 2 ? argv[2] : nullptr);
  std::vector<std::string> tokens = ReadDictionary(argc > 3 ? argv[3] : nullptr);
  if (seeds.empty()) seeds.push_back("");
  if (tokens.empty()) tokens.push_back("\r\n");

  std::mt19937 rng(4242);
  auto run = [](const std::string& s) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(s.data()), s.size());
  };
  for (const auto& seed : seeds) run(seed);
  for (long i = 0; i < rounds; ++i) {
    std::string s = seeds[rng() % seeds.size()];
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits; ++e) {
      const size_t pos = s.empty() ? 0 : rng() % (s.size() + 1);
      switch (rng() % 6) {
        case 0:
          if (pos < s.size()) s[pos] = static_cast<char>(rng() % 256);
          break;
        case 1:
          s.erase(pos, 1 + rng() % 8);
          break;
        case 2: {
          const std::string& other = seeds[rng() % seeds.size()];
          const size_t from = other.empty() ? 0 : rng() % other.size();
          s.insert(pos, other.substr(from, rng() % 64));
          break;
        }
        case 3:
          s.insert(pos, tokens[rng() % tokens.size()]);
          break;
        case 4:
          s.insert(pos, std::string(1 + rng() % 512, static_cast<char>(rng() % 256)));
          break;
        default:
          s.resize(pos);
          break;
      }
    }
    run(s);
  }
  std::printf("%ld inputs\n", rounds + static_cast<long>(seeds.size()));
  return 0;
}
