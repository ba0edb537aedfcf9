#include "cards/tpt_generator.h"

#include <array>
#include <bit>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "cards/tpt.h"
#include "common/util.h"

namespace {

constexpr int RANKS = 13;
constexpr int CARDS = 52;
constexpr int BLOCK = 53;
constexpr int MASKS = 1 << RANKS;

// ---- Rank-set helpers --------------------------------------------------------

int topRank(unsigned mask) { return 31 - std::countl_zero(mask); }

// Keeps the n highest ranks of the mask.
unsigned highest(unsigned mask, int n) {
  while (std::popcount(mask) > n) mask &= mask - 1;
  return mask;
}

// Removes rank r from the rank space: ranks above it move down by one.
unsigned squeezeOut(unsigned mask, int r) {
  return ((mask >> (r + 1)) << r) | (mask & ((1u << r) - 1));
}

// Colexicographic index of a rank set: sum of C(r_i, i) over its ranks
// r_1 < r_2 < ..., counting from i = 1. Among sets of one size it orders them
// as their masks compare as numbers, which is how poker compares kickers.
int colex(unsigned mask) {
  static const auto binomial = [] {
    std::array<std::array<int, 6>, RANKS + 1> c{};
    for (int n = 0; n <= RANKS; ++n) {
      c[n][0] = 1;
      for (int k = 1; k < 6; ++k) c[n][k] = n == 0 ? 0 : c[n - 1][k - 1] + c[n - 1][k];
    }
    return c;
  }();
  int index = 0;
  for (int i = 1; mask; ++i, mask &= mask - 1) index += binomial[std::countr_zero(mask)][i];
  return index;
}

struct RankTables {
  std::array<int8_t, MASKS> straightTop;  // top rank of the highest straight, -1 for none
  std::array<int16_t, MASKS> fiveRank;    // rank of a non-straight five-rank set, 1 .. 1277
  RankTables() {
    for (unsigned m = 0; m < MASKS; ++m) {
      straightTop[m] = -1;
      for (int top = 12; top >= 4; --top) {
        const unsigned run = 0x1Fu << (top - 4);
        if ((m & run) == run) {
          straightTop[m] = static_cast<int8_t>(top);
          break;
        }
      }
      const unsigned wheel = (1u << 12) | 0xFu;
      if (straightTop[m] < 0 && (m & wheel) == wheel) straightTop[m] = 3;
    }
    // Sets of equal size compare as numbers, so counting in numeric order gives
    // the rank among the five-card high hands (straights excluded).
    int rank = 0;
    for (unsigned m = 0; m < MASKS; ++m)
      fiveRank[m] = std::popcount(m) == 5 && straightTop[m] < 0 ? ++rank : 0;
  }
};

const RankTables& rankTables() {
  static const RankTables tables;
  return tables;
}

int value(int category, int rank) { return category * 4096 + rank; }

// ---- States ------------------------------------------------------------------

// A set of cards as far as its future ranking is concerned: 3 bits of count
// per rank, and 13 bits of ranks per suit for the suits that can still make a
// flush (zero for the others).
struct StateKey {
  uint64_t counts = 0;
  uint64_t suits = 0;
  bool operator==(const StateKey&) const = default;
  int count(int rank) const { return static_cast<int>((counts >> (3 * rank)) & 7); }
  unsigned suit(int s) const { return static_cast<unsigned>((suits >> (13 * s)) & 0x1FFF); }
};

// Open-addressing map from keys to their index in insertion order.
class StateIndex {
 public:
  explicit StateIndex(size_t expected) {
    size_t cap = 1024;
    while (cap < 2 * expected) cap *= 2;
    slots_.assign(cap, -1);
  }
  // Index of the key, inserting it at the end when new.
  int find_or_add(const StateKey& key) {
    const size_t mask = slots_.size() - 1;
    size_t h = (key.counts * 0x9E3779B97F4A7C15ull) ^ (key.suits * 0xC2B2AE3D27D4EB4Full);
    h ^= h >> 29;
    for (size_t i = h & mask;; i = (i + 1) & mask) {
      const int slot = slots_[i];
      if (slot < 0) {
        if (2 * (keys_.size() + 1) > slots_.size()) {
          grow();
          return find_or_add(key);
        }
        slots_[i] = static_cast<int>(keys_.size());
        keys_.push_back(key);
        return slots_[i];
      }
      if (keys_[slot] == key) return slot;
    }
  }
  const std::vector<StateKey>& keys() const { return keys_; }

 private:
  void grow() {
    std::vector<StateKey> keys;
    keys.swap(keys_);
    slots_.assign(slots_.size() * 2, -1);
    for (const StateKey& k : keys) find_or_add(k);
  }
  std::vector<int> slots_;
  std::vector<StateKey> keys_;
};

// Can `suit` of a state of `cards` cards still hold five cards by the seventh?
bool flushLive(unsigned suitRanks, int cards) {
  return std::popcount(suitRanks) + (7 - cards) >= 5;
}

// The state after adding card c to a state of `cards` cards, or false when no
// card set of the state can take c (every such set already holds it).
bool addCard(const StateKey& from, int cards, int c, StateKey* to) {
  const int rank = c / 4, suit = c % 4;
  const int count = from.count(rank);
  if (count == 4) return false;
  // Before the third card every suit is still live, even an empty one;
  // afterwards a live suit holds at least one card, so zero means forgotten.
  bool live[4];
  int liveWithRank = 0, forgotten = 0;
  for (int s = 0; s < 4; ++s) {
    live[s] = cards <= 2 || from.suit(s) != 0;
    if (live[s])
      liveWithRank += (from.suit(s) >> rank) & 1;
    else
      ++forgotten;
  }
  if (live[suit] ? (from.suit(suit) >> rank) & 1 : count - liveWithRank >= forgotten)
    return false;

  to->counts = from.counts + (1ull << (3 * rank));
  to->suits = 0;
  for (int s = 0; s < 4; ++s) {
    if (!live[s]) continue;
    unsigned ranks = from.suit(s);
    if (s == suit) ranks |= 1u << rank;
    if (flushLive(ranks, cards + 1)) to->suits |= static_cast<uint64_t>(ranks) << (13 * s);
  }
  return true;
}

int valueOfKey(const StateKey& key) {
  uint8_t counts[RANKS];
  for (int r = 0; r < RANKS; ++r) counts[r] = static_cast<uint8_t>(key.count(r));
  unsigned flush = 0;
  for (int s = 0; s < 4; ++s)
    if (std::popcount(key.suit(s)) >= 5) flush = key.suit(s);
  return handValueOfRanks(counts, flush);
}

}  // namespace

int handValueOfRanks(const uint8_t rankCount[13], unsigned flushRanks) {
  const RankTables& t = rankTables();
  if (flushRanks && t.straightTop[flushRanks] >= 0)
    return value(STRAIGHT_FLUSH, t.straightTop[flushRanks] - 2);

  unsigned any = 0, pairs = 0, trips = 0, quads = 0;
  for (int r = 0; r < RANKS; ++r) {
    const unsigned bit = 1u << r;
    if (rankCount[r] >= 1) any |= bit;
    if (rankCount[r] >= 2) pairs |= bit;
    if (rankCount[r] >= 3) trips |= bit;
    if (rankCount[r] >= 4) quads |= bit;
  }
  // Index of a (first, second) pair of different ranks ordered by first,
  // then second: full houses and quads with their kicker, 0 .. 155.
  const auto pairIndex = [](int first, int second) { return first * 12 + second - (second > first); };

  // Five or more cards: quads always come with a kicker.
  if (quads) {
    const int q = topRank(quads);
    return value(FOUR_OF_A_KIND, pairIndex(q, topRank(any & ~(1u << q))) + 1);
  }
  if (trips) {
    const int tr = topRank(trips);
    const unsigned rest = pairs & ~(1u << tr);
    if (rest) return value(FULL_HOUSE, pairIndex(tr, topRank(rest)) + 1);
  }
  if (flushRanks) return value(FLUSH, t.fiveRank[highest(flushRanks, 5)]);
  if (t.straightTop[any] >= 0) return value(STRAIGHT, t.straightTop[any] - 2);
  if (trips) {
    const int tr = topRank(trips);
    const unsigned kickers = squeezeOut(highest(any & ~(1u << tr), 2), tr);
    return value(THREE_OF_A_KIND, tr * 66 + colex(kickers) + 1);
  }
  if (pairs) {
    const int hi = topRank(pairs);
    const unsigned lower = pairs & ~(1u << hi);
    if (lower) {
      const int lo = topRank(lower);
      const unsigned rest = any & ~(1u << hi) & ~(1u << lo);
      const int k = rest ? topRank(rest) : 0;
      const int squeezed = k - (k > lo) - (k > hi);
      return value(TWO_PAIR, colex((1u << hi) | (1u << lo)) * 11 + squeezed + 1);
    }
    const unsigned kickers = squeezeOut(highest(any & ~(1u << hi), 3), hi);
    return value(ONE_PAIR, hi * 220 + colex(kickers) + 1);
  }
  return value(HIGH_CARD, t.fiveRank[highest(any, 5)]);
}

int referenceHandValue(const uint8_t* cards, int n) {
  uint8_t counts[RANKS] = {};
  unsigned suits[4] = {};
  for (int i = 0; i < n; ++i) {
    ++counts[cards[i] / 4];
    suits[cards[i] % 4] |= 1u << (cards[i] / 4);
  }
  unsigned flush = 0;
  for (unsigned s : suits)
    if (std::popcount(s) >= 5) flush = s;
  return handValueOfRanks(counts, flush);
}

std::unique_ptr<int[]> generateTptTable(bool progress) {
  std::unique_ptr<int[]> table(new int[TPT_SIZE]());
  const size_t blocks = TPT_SIZE / BLOCK;

  // Level k holds the states of k cards; states get blocks level after level,
  // block 0 unused and block 1 (offset 53, TPT_ROOT) for the empty set.
  std::vector<StateKey> level{StateKey{}};
  size_t levelBase = 1;
  if (progress) std::printf("Generating the evaluator state table...\n");
  for (int cards = 0; cards < 7; ++cards) {
    const size_t nextBase = levelBase + level.size();
    if (nextBase > blocks) throw std::logic_error("evaluator state table overflow");
    StateIndex next(cards < 6 ? level.size() * 8 : 0);
    for (size_t i = 0; i < level.size(); ++i) {
      int* row = &table[(levelBase + i) * BLOCK];
      if (cards >= 5) row[0] = valueOfKey(level[i]);
      if (cards == 6) {
        for (int c = 0; c < CARDS; ++c) {
          StateKey child;
          if (addCard(level[i], cards, c, &child)) row[c + 1] = valueOfKey(child);
        }
        continue;
      }
      for (int c = 0; c < CARDS; ++c) {
        StateKey child;
        if (addCard(level[i], cards, c, &child))
          row[c + 1] = static_cast<int>((nextBase + next.find_or_add(child)) * BLOCK);
      }
    }
    if (progress) {
      std::printf("  %d card%s: %zu states\n", cards, cards == 1 ? "" : "s", level.size());
      std::fflush(stdout);
    }
    if (cards == 6) break;
    level = next.keys();
    levelBase = nextBase;
    if (levelBase + level.size() > blocks) throw std::logic_error("evaluator state table overflow");
  }
  if (progress) std::printf("done!\n");
  return table;
}

std::unique_ptr<int[]> generateTptIndexes() {
  std::unique_ptr<int[]> indexes(new int[TPT_INDEXES_SIZE]());
  int below = 0;
  for (int category = HIGH_CARD; category <= STRAIGHT_FLUSH; ++category) {
    for (int rank = 1; rank <= handClassesInCategory[category]; ++rank)
      indexes[value(category, rank)] = below + rank;
    below += handClassesInCategory[category];
  }
  return indexes;
}

bool writeTptFiles(const std::string& dir) {
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error || !std::filesystem::is_directory(dir)) {
    std::fprintf(stderr, "ERROR: cannot create directory %s: %s\n", dir.c_str(),
                 error ? error.message().c_str() : "not a directory");
    return false;
  }
  const std::string tpt = dir + "/tpt", indexes = dir + "/tpt.indexes";
  std::unique_ptr<int[]> table = generateTptTable(true);
  std::printf("Saving %s...\n", tpt.c_str());
  std::fflush(stdout);
  saveIntTable(tpt.c_str(), table.get(), TPT_SIZE);
  table.reset();
  std::printf("Saving %s...\n", indexes.c_str());
  std::fflush(stdout);
  saveIntTable(indexes.c_str(), generateTptIndexes().get(), TPT_INDEXES_SIZE);
  std::printf("done!\n");
  std::fflush(stdout);
  return true;
}
