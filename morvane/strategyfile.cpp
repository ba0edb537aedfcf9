// Strategy files: a raw dump of the solver's node maps. For each map, in
// index order: a 4-byte entry count, then per entry in key order a 60-byte
// zero-padded key and the six doubles regretSum[0..2], strategySum[0..2].
// Native little-endian byte order, no header; only a solver for the same
// game reads it back, expecting exactly as many maps.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ostream>

#include "cfr.h"
#include "dealtrees.h"
#include "util.h"

namespace {

constexpr size_t KEY_BYTES = 60;
constexpr size_t SUMS_BYTES = 6 * sizeof(double);
constexpr size_t RECORD_BYTES = KEY_BYTES + SUMS_BYTES;  // 108
static_assert(RECORD_BYTES == 108);

// Writes all of `bytes`, retrying short writes and interruptions.
bool writeAll(int fd, const void* data, size_t bytes) {
  const char* p = static_cast<const char*>(data);
  while (bytes > 0) {
    const ssize_t done = ::write(fd, p, bytes);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    p += done;
    bytes -= static_cast<size_t>(done);
  }
  return true;
}

bool readAll(int fd, void* data, size_t bytes) {
  char* p = static_cast<char*>(data);
  while (bytes > 0) {
    const ssize_t done = ::read(fd, p, bytes);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    p += done;
    bytes -= static_cast<size_t>(done);
  }
  return true;
}

bool writeMaps(int fd, const std::vector<CFR::NodeMap>& maps) {
  std::vector<char> block;
  for (const CFR::NodeMap& m : maps) {
    const uint32_t count = static_cast<uint32_t>(m.size());
    if (count != m.size()) return false;
    block.assign(sizeof(count) + m.size() * RECORD_BYTES, 0);
    std::memcpy(block.data(), &count, sizeof(count));
    char* record = block.data() + sizeof(count);
    for (const auto& [key, node] : m) {
      // The key needs at least one terminating zero byte in its field.
      if (key.size() >= KEY_BYTES) return false;
      std::memcpy(record, key.data(), key.size());
      std::memcpy(record + KEY_BYTES, node->regretSum, sizeof(node->regretSum));
      std::memcpy(record + KEY_BYTES + sizeof(node->regretSum), node->strategySum,
                  sizeof(node->strategySum));
      record += RECORD_BYTES;
    }
    if (!writeAll(fd, block.data(), block.size())) return false;
  }
  return true;
}

}  // namespace

bool CFR::save(const std::string& path) const {
  // Written under a temporary name and renamed into place, so that an
  // interrupted save never leaves a file that loads.
  const std::string tmp = path + ".tmp";
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  const bool written = writeMaps(fd, nodeMaps);
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || std::rename(tmp.c_str(), path.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return false;
  }
  return true;
}

bool CFR::load(const std::string& path) {
  if (!file_exist(path)) return false;
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    ::close(fd);
    return false;
  }
  // Whatever is in the maps is replaced; the resolved trees point into them.
  dealTrees.reset();
  for (NodeMap& m : nodeMaps) m.clear();

  uint64_t remaining = static_cast<uint64_t>(st.st_size);
  bool ok = true;
  std::vector<char> block;
  for (NodeMap& m : nodeMaps) {
    uint32_t count = 0;
    if (remaining < sizeof(count) || !readAll(fd, &count, sizeof(count))) {
      ok = false;
      break;
    }
    remaining -= sizeof(count);
    // A count the rest of the file cannot hold is refused before anything
    // is allocated for it.
    if (static_cast<uint64_t>(count) * RECORD_BYTES > remaining) {
      ok = false;
      break;
    }
    block.resize(static_cast<size_t>(count) * RECORD_BYTES);
    if (!readAll(fd, block.data(), block.size())) {
      ok = false;
      break;
    }
    remaining -= block.size();
    const char* record = block.data();
    for (uint32_t e = 0; e < count && ok; ++e, record += RECORD_BYTES) {
      const void* end = std::memchr(record, 0, KEY_BYTES);
      if (!end) {
        ok = false;
        break;
      }
      auto node = std::make_unique<CFRNode>();
      std::memcpy(node->regretSum, record + KEY_BYTES, sizeof(node->regretSum));
      std::memcpy(node->strategySum, record + KEY_BYTES + sizeof(node->regretSum),
                  sizeof(node->strategySum));
      std::string key(record, static_cast<const char*>(end) - record);
      if (!m.emplace(std::move(key), std::move(node)).second) ok = false;
    }
    if (!ok) break;
  }
  const bool closed = ::close(fd) == 0;
  if (!ok || !closed) {
    // Nothing half-read stays behind to be trained on or saved again.
    for (NodeMap& m : nodeMaps) m.clear();
    return false;
  }
  treeBuilt = true;
  return true;
}

std::ostream& operator<<(std::ostream& out, const CFR& cfr) {
  const Game* game = cfr.game;
  for (int seat = 0; seat < game->numPlayers; ++seat)
    for (int round = 0; round < game->numRounds; ++round)
      for (const auto& [key, node] : cfr.nodeMaps[round + seat * game->numRounds])
        out << key << " \xC2\xBB " << *node << "\n";
  out << "\n";
  if (cfr.gameUtility) {
    out << "Game utility: ( ";
    for (int p = 0; p < game->numPlayers; ++p) out << cfr.gameUtility[p] << " ";
    out << " )\n";
  }
  return out;
}
