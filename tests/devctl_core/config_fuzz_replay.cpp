// Runs the configuration fuzz target without libFuzzer: small seeds, a whole saved document, and
// deterministic mutations of them (byte flips, cuts, splices, runs of JSON characters).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_file.h"
#include "tests/fuzz/seed_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  long iterations = argc > 1 ? std::atol(argv[1]) : 3000;
  std::vector<std::string> seeds = {
      R"({"user_cnt":2,"user":[{"user":"a","password":"b","enabled":1,"matrix":1}]})",
      R"({"user_cnt":-1,"user":[1,"x",[],{}],"device":{"type":"RX","model":5}})",
      R"({"input":{"input_name":["x",1,null,"0123456789012345678901234567890123"]}})",
      R"({"peq":{"input_flat_date0":{"gain":[1e300,-1e300,"x",true],"type_name":[1,"LOW"]}}})",
      R"({"system":{"power":1e300,"baudrate":-1e300},"preset":{"preset_name":[[],{}]}})",
      R"({"control":[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16],"network":{"hostname":""}})",
  };
  std::string whole;
  app_config_s defaults;
  ResetAppConfig("", &defaults, "");
  if (!PrintAppConfig(&defaults, &whole)) return 1;
  seeds.push_back(whole);

  std::mt19937 rng(4242);
  auto run = [](const std::string& s) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(s.data()), s.size());
  };
  for (const auto& seed : seeds) run(seed);
  for (long i = 0; i < iterations; ++i) {
    // The whole document is large; mutate it in one input of ten.
    std::string s = i % 10 == 0 ? whole : seeds[rng() % (seeds.size() - 1)];
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
          s.insert(pos, seeds[rng() % (seeds.size() - 1)].substr(0, rng() % 60));
          break;
        case 3:
          s.insert(pos, std::string(1 + rng() % 300, "a9\"{}[],:-.e\\"[rng() % 13]));
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
