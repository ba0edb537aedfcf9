#include "solver/training_checkpoint.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

constexpr const char* HEADER = "morvane training checkpoint";

// Largest text file accepted: a deck of 52 cards and an engine state are a
// few hundred bytes.
constexpr std::uintmax_t MAX_BYTES = 4096;

bool allDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

bool writeTrainingCheckpoint(const std::string& path, const TrainingCheckpoint& checkpoint) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << HEADER << "\n"
        << "done " << checkpoint.done << "\n"
        << "engine " << checkpoint.engine << "\n"
        << "deck";
    for (uint8_t card : checkpoint.deck) out << ' ' << static_cast<int>(card);
    out << "\n"
        << "sums " << checkpoint.sums << "\n";
    out.flush();
    if (!out) {
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

std::string readTrainingCheckpoint(const std::string& path, TrainingCheckpoint* checkpoint) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return "it is not a regular file";
  if (std::filesystem::file_size(path, error) > MAX_BYTES) return "it is too long";
  std::ifstream in(path);
  std::string header, line;
  if (!std::getline(in, header) || header != HEADER) return "it does not start with \"" + std::string(HEADER) + "\"";

  TrainingCheckpoint read;
  bool seen[4] = {};
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string name;
    fields >> name;
    std::string rest;
    std::getline(fields >> std::ws, rest);
    if (name == "done" && allDigits(rest)) {
      try {
        read.done = std::stoull(rest);
      } catch (...) {
        return "its iteration count is out of range";
      }
      seen[0] = true;
    } else if (name == "engine" && allDigits(rest)) {
      read.engine = rest;
      seen[1] = true;
    } else if (name == "deck") {
      std::istringstream cards(rest);
      for (int card; cards >> card;) {
        if (card < 0 || card > 255) return "its deck has a card out of range";
        read.deck.push_back(static_cast<uint8_t>(card));
      }
      if (!cards.eof()) return "its deck is malformed";
      seen[2] = true;
    } else if (name == "sums" && !rest.empty() && rest.find('/') == std::string::npos) {
      read.sums = rest;
      seen[3] = true;
    } else {
      return "it has a malformed line: " + line.substr(0, 80);
    }
  }
  for (bool s : seen)
    if (!s) return "it lacks a line";
  *checkpoint = read;
  return "";
}

std::string besideCheckpoint(const std::string& path, const std::string& name) {
  return (std::filesystem::path(path).parent_path() / name).string();
}

void removeTrainingCheckpoint(const std::string& path) {
  std::error_code error;
  const std::filesystem::path file(path);
  const std::string prefix = file.filename().string() + ".";
  std::filesystem::path directory = file.parent_path();
  if (directory.empty()) directory = ".";
  std::vector<std::filesystem::path> written;
  for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0 && allDigits(name.substr(prefix.size()))) written.push_back(entry.path());
  }
  for (const auto& sums : written) std::filesystem::remove(sums, error);
  std::filesystem::remove(file, error);
}
