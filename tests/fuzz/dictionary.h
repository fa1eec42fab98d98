// The tokens of a libFuzzer dictionary file (tests/fuzz/<target>/<target>.dict), for the replay
// programs that run the targets without libFuzzer. Each line is `"token"` or `name="token"`, with
// \\, \" and \xNN escapes; blank lines and lines starting with # are skipped.
#pragma once

#include <cctype>
#include <fstream>
#include <string>
#include <vector>

// The token of one dictionary line; false when the line holds none.
inline bool ParseDictionaryLine(const std::string& line, std::string* token) {
  const size_t open = line.find('"');
  const size_t close = line.rfind('"');
  if (line.empty() || line[0] == '#' || open == std::string::npos || close <= open) return false;
  token->clear();
  for (size_t i = open + 1; i < close; ++i) {
    if (line[i] != '\\' || i + 1 >= close) {
      *token += line[i];
      continue;
    }
    const char next = line[++i];
    if (next == 'x' && i + 2 < close && std::isxdigit(static_cast<unsigned char>(line[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(line[i + 2]))) {
      *token += static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      *token += next;
    }
  }
  return true;
}

// Every token of the file at path, in order; nothing when path is null or the file is missing.
inline std::vector<std::string> ReadDictionary(const char* path) {
  std::vector<std::string> tokens;
  if (path == nullptr) return tokens;
  std::ifstream in(path);
  std::string line, token;
  while (std::getline(in, line)) {
    if (ParseDictionaryLine(line, &token)) tokens.push_back(token);
  }
  return tokens;
}
