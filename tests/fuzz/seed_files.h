// The checked-in seed files of a fuzz target (tests/fuzz/<target>/seeds), for the replay programs
// that run the targets without libFuzzer.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// Every file of dir, in name order; nothing when dir is null or missing.
inline std::vector<std::string> ReadSeedFiles(const char* dir) {
  std::vector<std::string> seeds;
  if (dir == nullptr) return seeds;
  std::error_code ec;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const auto& path : files) {
    std::ifstream in(path, std::ios::binary);
    seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return seeds;
}
