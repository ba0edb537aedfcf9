// Strategy files: a raw dump of the solver's node maps. For each map, in
// index order: a 4-byte entry count, then per entry in key order a 60-byte
// zero-padded key and the six doubles regretSum[0..2], strategySum[0..2].
// Native little-endian byte order, no header; only a solver for the same
// game reads it back, expecting exactly as many maps. The flat store and the
// keyed maps write the same bytes for the same information sets.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <ostream>

#include "solver/cfr.h"
#include "solver/flat_cfr.h"
#include "common/util.h"

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

// Buffered sequential access, so that a file of many gigabytes is written
// and read in large blocks without ever being held whole.
constexpr size_t CHUNK_BYTES = size_t(8) << 20;

class RecordWriter {
 public:
  explicit RecordWriter(int fd) : fd(fd) { buffer.reserve(CHUNK_BYTES); }
  bool count(size_t n) {
    const uint32_t c = static_cast<uint32_t>(n);
    if (c != n) return false;
    return put(&c, sizeof(c));
  }
  // One record; false for a key with no room for its terminating zero.
  bool record(const char* key, size_t length, const CFRNode& node) {
    if (length >= KEY_BYTES) return false;
    char bytes[RECORD_BYTES] = {};
    std::memcpy(bytes, key, length);
    std::memcpy(bytes + KEY_BYTES, node.regretSum, sizeof(node.regretSum));
    std::memcpy(bytes + KEY_BYTES + sizeof(node.regretSum), node.strategySum, sizeof(node.strategySum));
    return put(bytes, RECORD_BYTES);
  }
  bool flush() {
    const bool ok = writeAll(fd, buffer.data(), buffer.size());
    buffer.clear();
    return ok;
  }

 private:
  bool put(const void* data, size_t n) {
    if (buffer.size() + n > CHUNK_BYTES && !flush()) return false;
    const char* p = static_cast<const char*>(data);
    buffer.insert(buffer.end(), p, p + n);
    return true;
  }
  int fd;
  std::vector<char> buffer;
};

class RecordReader {
 public:
  RecordReader(int fd, uint64_t size) : fd(fd), remaining(size), buffer(CHUNK_BYTES) {}
  // The next `n` bytes (n <= CHUNK_BYTES), or null when the file ends first.
  const char* take(size_t n) {
    if (end - at < n) {
      std::memmove(buffer.data(), buffer.data() + at, end - at);
      end -= at;
      at = 0;
      const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size() - end, remaining));
      if (end + want < n || !readAll(fd, buffer.data() + end, want)) return nullptr;
      end += want;
      remaining -= want;
    }
    const char* p = buffer.data() + at;
    at += n;
    return p;
  }
  bool count(uint32_t* c) {
    const char* p = take(sizeof(*c));
    if (p) std::memcpy(c, p, sizeof(*c));
    return p != nullptr;
  }
  // Bytes not yet taken.
  uint64_t left() const { return remaining + (end - at); }

 private:
  int fd;
  uint64_t remaining;
  std::vector<char> buffer;
  size_t at = 0, end = 0;
};

// The key of a record: the characters before the first zero byte, or -1.
int recordKeyLength(const char* record) {
  const void* zero = std::memchr(record, 0, KEY_BYTES);
  return zero ? static_cast<int>(static_cast<const char*>(zero) - record) : -1;
}

void readSums(const char* record, CFRNode& node) {
  std::memcpy(node.regretSum, record + KEY_BYTES, sizeof(node.regretSum));
  std::memcpy(node.strategySum, record + KEY_BYTES + sizeof(node.regretSum), sizeof(node.strategySum));
}

bool writeMaps(int fd, const std::vector<CFR::NodeMap>& maps) {
  RecordWriter out(fd);
  for (const CFR::NodeMap& m : maps) {
    if (!out.count(m.size())) return false;
    for (const auto& [key, node] : m)
      if (!out.record(key.data(), key.size(), *node)) return false;
  }
  return out.flush();
}

bool writeStore(int fd, const InfoSetStore& store) {
  RecordWriter out(fd);
  char key[KEY_BYTES];
  const CFRNode* node = store.nodes();
  for (int m = 0; m < store.numMaps(); ++m) {
    if (!out.count(store.mapSize(m))) return false;
    for (int k = 0; k < static_cast<int>(store.buckets().size()); ++k)
      for (size_t j = 0; j < store.mapDecisions(m); ++j) {
        const int length = store.key(m, k, j, key, sizeof(key));
        if (!out.record(key, static_cast<size_t>(length), *node++)) return false;
      }
  }
  return out.flush();
}

}  // namespace

bool CFR::save(const std::string& path) const {
  // Every map is its record count and its records.
  uint64_t bytes = 0;
  if (store) {
    for (int m = 0; m < store->numMaps(); ++m)
      bytes += sizeof(uint32_t) + static_cast<uint64_t>(store->mapSize(m)) * RECORD_BYTES;
  } else {
    for (const NodeMap& m : nodeMaps) bytes += sizeof(uint32_t) + static_cast<uint64_t>(m.size()) * RECORD_BYTES;
  }
  if (!enoughFreeSpace(path, bytes)) return false;
  // Written under a temporary name and renamed into place, so that an
  // interrupted save never leaves a file that loads.
  const std::string tmp = path + ".tmp";
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  const bool written = store ? writeStore(fd, *store) : writeMaps(fd, nodeMaps);
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || std::rename(tmp.c_str(), path.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return false;
  }
  return true;
}

// Reads a file laid out exactly like the store: every block as large as the
// store's map and every key the one of its position. `mismatch` is set (and
// false returned) when the file holds another set of keys.
bool CFR::loadStore(int fd, uint64_t size, bool* mismatch) {
  *mismatch = false;
  RecordReader in(fd, size);
  char key[KEY_BYTES];
  CFRNode* node = store->nodes();
  for (int m = 0; m < store->numMaps(); ++m) {
    uint32_t count = 0;
    if (!in.count(&count)) return false;
    if (count != store->mapSize(m)) {
      *mismatch = static_cast<uint64_t>(count) * RECORD_BYTES <= in.left();
      return false;
    }
    for (int k = 0; k < static_cast<int>(store->buckets().size()); ++k)
      for (size_t j = 0; j < store->mapDecisions(m); ++j, ++node) {
        const char* record = in.take(RECORD_BYTES);
        if (!record) return false;
        const int length = store->key(m, k, j, key, sizeof(key));
        if (recordKeyLength(record) != length || std::memcmp(record, key, static_cast<size_t>(length)) != 0) {
          *mismatch = true;
          return false;
        }
        readSums(record, *node);
        // An action the betting rules exclude stays excluded, whatever the
        // file says: the passes only follow actions the tree has.
        const BettingTree::Decision& d = store->tree().decision(store->tree().decisionsOf(m)[j]);
        for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a)
          if (d.child[a] == BettingTree::NONE) node->setActionInvalid(a);
      }
  }
  return true;
}

bool CFR::loadMaps(int fd, uint64_t size) {
  for (NodeMap& m : nodeMaps) m.clear();
  RecordReader in(fd, size);
  for (NodeMap& m : nodeMaps) {
    uint32_t count = 0;
    if (!in.count(&count)) return false;
    // A count the rest of the file cannot hold is refused before anything
    // is allocated for it.
    if (static_cast<uint64_t>(count) * RECORD_BYTES > in.left()) return false;
    for (uint32_t e = 0; e < count; ++e) {
      const char* record = in.take(RECORD_BYTES);
      const int length = record ? recordKeyLength(record) : -1;
      if (length < 0) return false;
      auto node = std::make_unique<CFRNode>();
      readSums(record, *node);
      if (!m.emplace(std::string(record, static_cast<size_t>(length)), std::move(node)).second) return false;
    }
  }
  return true;
}

bool CFR::load(const std::string& path, bool* otherKeys) {
  if (!file_exist(path)) return false;
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    ::close(fd);
    return false;
  }
  const uint64_t size = static_cast<uint64_t>(st.st_size);

  // A file of the store's own keys goes straight into the store; any other
  // set of keys into the maps.
  bool ok = false;
  bool mismatch = true;
  if (flatStoreSupported()) {
    if (!store) buildStore(defaultBuckets());
    ok = loadStore(fd, size, &mismatch);
    if (!ok) {
      flat.reset();
      store.reset();
    }
  }
  if (!ok && mismatch && otherKeys && flatStoreSupported())
    *otherKeys = true;
  else if (!ok && mismatch)
    ok = ::lseek(fd, 0, SEEK_SET) == 0 && loadMaps(fd, size);
  const bool closed = ::close(fd) == 0;
  if (!ok || !closed) {
    // Nothing half-read stays behind to be trained on or saved again.
    forgetInformationSets();
    return false;
  }
  if (store)
    for (NodeMap& m : nodeMaps) m.clear();
  treeBuilt = true;
  return true;
}

std::ostream& operator<<(std::ostream& out, const CFR& cfr) {
  const Game* game = cfr.game;
  // Maps are visited seat by seat and round by round, which is map order.
  cfr.forEachInformationSet(
      [&](const std::string& key, const CFRNode& node) { out << key << " \xC2\xBB " << node << "\n"; });
  out << "\n";
  if (cfr.gameUtility) {
    out << "Game utility: ( ";
    for (int p = 0; p < game->numPlayers; ++p) out << cfr.gameUtility[p] << " ";
    out << " )\n";
  }
  return out;
}
