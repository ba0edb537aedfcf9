// Helpers shared by morvane's tests: the Kuhn game, scratch directories and
// the bytes of files.
#ifndef TESTS_MORVANE_SUPPORT_H
#define TESTS_MORVANE_SUPPORT_H

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "common/game_file.h"
#include "solver/cfr.h"
#include "game.h"
#include "temp_dir.h"

inline std::string kuhnGamePath() { return std::string(POKER_GAMES_DIR) + "/kuhn.limit.3p.game"; }

inline GamePtr kuhnGame() { return readGameFile(kuhnGamePath()); }

// Every information set of a solver with a copy of its sums, in key order,
// whichever representation holds them.
inline std::vector<std::pair<std::string, CFRNode>> informationSets(CFR& cfr) {
  std::vector<std::pair<std::string, CFRNode>> all;
  cfr.forEachInformationSet([&](const std::string& key, const CFRNode& node) { all.emplace_back(key, node); });
  return all;
}

// Writes `text` to `path`.
inline void writeText(const std::string& path, const std::string& text) {
  FILE* file = std::fopen(path.c_str(), "w");
  std::fputs(text.c_str(), file);
  std::fclose(file);
}

inline std::string slurp(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The bytes of a file, and a file of exactly these bytes (binary-safe).
inline std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The bytes of a strategy file of `blocks` maps with `edit` called on every
// record: its 60-byte key field and its six sums (regrets, then strategy
// sums), written back after the call.
inline std::string everyRecord(std::string bytes, int blocks,
                               const std::function<void(char* key, double* sums)>& edit) {
  constexpr size_t keyBytes = 60, recordBytes = 108;
  size_t at = 0;
  for (int b = 0; b < blocks; ++b) {
    uint32_t count;
    std::memcpy(&count, bytes.data() + at, 4);
    at += 4;
    for (uint32_t e = 0; e < count; ++e, at += recordBytes) {
      double sums[6];
      std::memcpy(sums, bytes.data() + at + keyBytes, sizeof sums);
      edit(bytes.data() + at, sums);
      std::memcpy(bytes.data() + at + keyBytes, sums, sizeof sums);
    }
  }
  return bytes;
}

#endif
