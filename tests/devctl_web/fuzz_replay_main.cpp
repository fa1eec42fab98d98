// Runs the fuzz target without libFuzzer: every seed, then deterministic mutations of the seeds
// (byte flips, cuts, splices, repeated members), so the ordinary sanitizer build exercises it too.
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "tests/fuzz/seed_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

const std::vector<std::string> kSeeds = {
    "{\"comhead\":\"help\"}",
    "{\"comhead\":\"set input gain\",\"action\":0,\"chn\":0,\"gain\":5}",
    "{\"comhead\":\"set input gain\",\"action\":3,\"chn\":1,\"gain\":-30}",
    "{\"comhead\":\"set input gain\",\"action\":2,\"chn\":2,\"gain\":30.9}",
    "{\"comhead\":\"set input mute\",\"action\":1,\"chn\":7,\"mute\":1}",
    "{\"comhead\":\"set input mute\",\"action\":3,\"chn\":3,\"mute\":0}",
    "{\"comhead\":\"get status\"}",
    "{\"comhead\":\"set output vol\",\"action\":3,\"chn\":2,\"vol\":0}",
    "{\"comhead\":\"set output mute\",\"action\":2,\"chn\":1,\"mute\":1}",
    "{\"comhead\":\"set control status\",\"chn\":0,\"status\":3,\"action\":1}",
    "{\"comhead\":\"set control status\",\"chn\":14,\"status\":13}",
    "{\"comhead\":\"set output stereo\",\"action\":0,\"chn\":1,\"stereo\":1}",
    "{\"comhead\":\"set input stereo\",\"action\":4,\"chn\":5,\"stereo\":1}",
    "{\"comhead\":\"set output name\",\"chn\":16,\"name\":\"Hall \\u00e4\"}",
    "{\"comhead\":\"set input name\",\"chn\":1,\"name\":\"a\\r\\nb\"}",
    "{\"comhead\":\"set output delay\",\"action\":1,\"chn\":5,\"delay\":50}",
    "{\"COMHEAD\":\"set input gain\",\"ACTION\":\"0\",\"chn\":null,\"gain\":[1]}",
    "{\"comhead\":\"set input gain\",\"action\":1e300,\"chn\":-1e300,\"gain\":-0.5}",
    "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[]]]]",
    "{\"comhead\":\"\\u0000\\ud800\"}",
    "update_soc.cgi&cmd=hex(01,02,80,04,05)",
    "/cgi-bin/getjson.cgi?json=mxsta",
};

}  // namespace

int main(int argc, char** argv) {
  long iterations = argc > 1 ? std::atol(argv[1]) : 20000;
  // The seeds compiled in, then the checked-in seed files (second argument: their folder).
  std::vector<std::string> seeds = kSeeds;
  for (std::string& s : ReadSeedFiles(argc > 2 ? argv[2] : nullptr)) seeds.push_back(std::move(s));
  std::mt19937 rng(12345);
  auto run = [](const std::string& s) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(s.data()), s.size());
  };
  for (const auto& seed : seeds) run(seed);
  for (long i = 0; i < iterations; ++i) {
    std::string s = seeds[rng() % seeds.size()];
    int edits = 1 + int(rng() % 4);
    for (int e = 0; e < edits && !s.empty(); ++e) {
      size_t pos = rng() % s.size();
      switch (rng() % 5) {
        case 0:
          s[pos] = char(rng() % 256);
          break;
        case 1:
          s.erase(pos, 1 + rng() % 8);
          break;
        case 2:
          s.insert(pos, seeds[rng() % seeds.size()].substr(0, rng() % 40));
          break;
        case 3:
          s.insert(pos, std::string(1 + rng() % 300, char("a9\"{}[],:-.e\\"[rng() % 13])));
          break;
        default:
          s = s.substr(0, pos);
          break;
      }
    }
    run(s);
  }
  std::printf("%ld inputs\n", iterations + long(seeds.size()));
  return 0;
}
