// Equity estimation for the equity tables.
//
// An equity is the fraction of 1,000 samples in which a hand beats every one
// of (players - 1) random opponents outright, ties counting as losses. The
// straightforward estimator (evaluateHand2 .. evaluateHand7 below) walks the
// 130 MB state table for the hero and for every opponent in every sample.
// Within one hand class most of that work repeats, so ClassEstimator does it
// once per class:
//   river: the hero's value is fixed, and so is the board; which of the 990
//          opponent holdings the hero beats is tabulated, and a sample is a
//          byte lookup per opponent;
//   turn:  the hero's value for each river card and the state of board, river
//          and an opponent's first card are tabulated, leaving one table read
//          per opponent and sample;
//   flop:  the hero's value and the board state for each completion of the
//          board are tabulated, leaving two table reads per opponent;
//   pre-flop: the hero's two-card state is shared (169 classes only).
// ClassEstimator::wins deals a sample exactly as the straightforward
// estimator does (the first cards of the remaining deck complete the board,
// the next pairs go to the opponents) through a dealing policy: with
// EngineShuffle, the process-wide engine's partial shuffle, it gives the very
// results of the straightforward estimator for the same engine state.
// ClassEstimator::winsUniform, which fills the tables, draws instead with an
// exactly uniform distribution on a fast generator (xoshiro256**, unbiased
// range reduction): a board completion or a holding is one draw among the
// pairs of remaining cards, redrawn when it collides with a card already
// dealt. Its difference from the partial shuffle's slight bias is far below
// the noise of 1,000 samples.
//
// generateEquities splits the classes of a round into chunks of consecutive
// classes, shares them out to threads, and reports progress in index order.
// Each chunk has its own generator, seeded from one seed and the chunk's
// number, so the tables do not depend on the number of threads.
#ifndef MORVANE_EQUITY_GENERATOR_H
#define MORVANE_EQUITY_GENERATOR_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "cards/hand_index.h"
#include "cards/tpt.h"
#include "common/util.h"

// Value of seven cards, walked through the state table.
int rankHand(int* table, uint8_t* cards);

// The straightforward estimators: 1,000 samples dealt with the partial
// shuffle of the process-wide engine. The digit is the number of known cards
// (hole cards, then the board so far).
double evaluateHand2(uint8_t* cards, unsigned players, int* table);
double evaluateHand5(uint8_t* cards, unsigned players, int* table);
double evaluateHand6(uint8_t* cards, unsigned players, int* table);
double evaluateHand7(uint8_t* cards, unsigned players, int* table);

constexpr int EQUITY_SAMPLES = 1000;

// xoshiro256** (Blackman and Vigna): small, fast, and with a 2^256 period the
// streams of different chunks never overlap in practice.
class SampleRng {
 public:
  explicit SampleRng(uint64_t seed);
  uint64_t next() {
    const uint64_t result = rotl(s_[1] * 5, 7) * 9;
    const uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = rotl(s_[3], 45);
    return result;
  }
  // Exactly uniform on 0 .. n-1 (n >= 1): Lemire's multiply-and-shift range
  // reduction of a 32-bit draw, rejecting the few products that would favour
  // low values. Each 64-bit output serves two draws.
  uint32_t below(uint32_t n) {
    uint64_t m = static_cast<uint64_t>(next32()) * n;
    uint32_t low = static_cast<uint32_t>(m);
    if (low < n) {
      const uint32_t threshold = (0u - n) % n;
      while (low < threshold) {
        m = static_cast<uint64_t>(next32()) * n;
        low = static_cast<uint32_t>(m);
      }
    }
    return static_cast<uint32_t>(m >> 32);
  }

 private:
  static uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  uint32_t next32() {
    if (haveSpare_) {
      haveSpare_ = false;
      return spare_;
    }
    const uint64_t x = next();
    spare_ = static_cast<uint32_t>(x);
    haveSpare_ = true;
    return static_cast<uint32_t>(x >> 32);
  }
  uint64_t s_[4];
  uint32_t spare_ = 0;
  bool haveSpare_ = false;
};

// Dealing policies: randomise deck[0 .. count-1] of a deck of `size` cards.
struct EngineShuffle {
  void operator()(uint8_t* deck, int count, int size) const { shuffle(deck, count, size); }
};

// Partial Fisher-Yates: position i takes a card drawn uniformly from the
// positions not dealt yet, so the dealt cards are a uniform ordered draw
// whatever order the deck was left in by earlier samples.
struct UniformDeal {
  SampleRng& rng;
  void operator()(uint8_t* deck, int count, int size) {
    for (int i = 0; i < count; ++i) {
      const int j = i + static_cast<int>(rng.below(static_cast<uint32_t>(size - i)));
      const uint8_t t = deck[i];
      deck[i] = deck[j];
      deck[j] = t;
    }
  }
};

// The pairs of positions 0 .. size-1 of a deck, numbered in a fixed order,
// with their position masks and the number of every two positions.
struct DeckPairs {
  static constexpr int kMaxPairs = 47 * 46 / 2;
  uint32_t count;
  uint8_t first[kMaxPairs];
  uint8_t second[kMaxPairs];
  uint64_t mask[kMaxPairs];
  uint16_t index[52][52];
};
// For the decks left after the flop, turn and river: size 45, 46 or 47.
const DeckPairs& deckPairs(int size);

// Per-class estimator over a state table. setHand tabulates what the samples
// of one class share; wins and winsUniform then run the samples. One
// estimator per thread.
class ClassEstimator {
 public:
  explicit ClassEstimator(const int* table) : table_(table) {}

  // cards: two hole cards, then the board so far; known is 2, 5, 6 or 7.
  void setHand(const uint8_t* cards, int known);

  // Number of samples, out of `samples`, in which the hand beats every one of
  // players - 1 opponents. The deck carries over from call to call as it
  // does in the straightforward estimator, which setHand starts afresh.
  template <typename Deal>
  int wins(unsigned players, int samples, Deal& deal);

  // The same estimate with exactly uniform draws, taken the quickest way:
  // a holding (and on the flop the board completion) is one draw among the
  // pairs of the remaining cards, drawn again while it shares a card with
  // what the sample has dealt already (which keeps it uniform over the pairs
  // still possible), and a sample stops at the first opponent not beaten.
  // Pre-flop deals with UniformDeal.
  int winsUniform(unsigned players, int samples, SampleRng& rng);

 private:
  int flopUniform(int opponents, int samples, SampleRng& rng);
  int turnUniform(int opponents, int samples, SampleRng& rng);
  int riverUniform(int opponents, int samples, SampleRng& rng);

  template <typename Deal>
  int preflopWins(int opponents, int samples, Deal& deal);
  template <typename Deal>
  int flopWins(int opponents, int samples, Deal& deal);
  template <typename Deal>
  int turnWins(int opponents, int samples, Deal& deal);
  template <typename Deal>
  int riverWins(int opponents, int samples, Deal& deal);

  // Number of the pair of two cards of the remaining deck.
  uint32_t pairOf(uint8_t a, uint8_t b) const { return pairs_->index[position_[a]][position_[b]]; }

  const int* table_;
  int known_ = 0;
  int size_ = 0;
  uint8_t cards_[52] = {};     // the remaining deck in increasing order
  uint8_t position_[52] = {};  // position of a card in cards_
  uint8_t deck_[52] = {};      // the same cards, as the dealing policies leave them
  const DeckPairs* pairs_ = nullptr;
  int heroState_ = 0;  // pre-flop: state of the two hole cards
  // Turn: the hero's value by river card, and the state of the board, the
  // river card and an opponent's first card.
  int heroValue_[52] = {};
  int state2_[52][52] = {};
  // Flop, by pair of the remaining deck as the board's completion: the
  // hero's value and the state of the five board cards.
  int completionHero_[DeckPairs::kMaxPairs] = {};
  int completionBoard_[DeckPairs::kMaxPairs] = {};
  // River: whether the hero beats an opponent holding the pair.
  uint8_t pairBeats_[DeckPairs::kMaxPairs] = {};
};

template <typename Deal>
int ClassEstimator::wins(unsigned players, int samples, Deal& deal) {
  if (players <= 1) return samples;
  const int opponents = static_cast<int>(players) - 1;
  switch (known_) {
    case 2: return preflopWins(opponents, samples, deal);
    case 5: return flopWins(opponents, samples, deal);
    case 6: return turnWins(opponents, samples, deal);
    default: return riverWins(opponents, samples, deal);
  }
}

template <typename Deal>
int ClassEstimator::preflopWins(int opponents, int samples, Deal& deal) {
  const int* T = table_;
  int wins = 0;
  for (int s = 0; s < samples; ++s) {
    deal(deck_, 5 + 2 * opponents, size_);
    const int board = tptWalk(T, TPT_ROOT, deck_, 5);
    const int hero = tptWalk(T, heroState_, deck_, 5);
    bool won = true;
    for (int j = 0; j < opponents && won; ++j) {
      const uint8_t* hole = deck_ + 5 + 2 * j;
      won = T[T[board + hole[0] + 1] + hole[1] + 1] < hero;
    }
    wins += won;
  }
  return wins;
}

template <typename Deal>
int ClassEstimator::flopWins(int opponents, int samples, Deal& deal) {
  const int* T = table_;
  int wins = 0;
  for (int s = 0; s < samples; ++s) {
    deal(deck_, 2 + 2 * opponents, size_);
    const uint32_t completion = pairOf(deck_[0], deck_[1]);
    const int hero = completionHero_[completion];
    const int board = completionBoard_[completion];
    bool won = true;
    for (int j = 0; j < opponents && won; ++j) {
      const uint8_t* hole = deck_ + 2 + 2 * j;
      won = T[T[board + hole[0] + 1] + hole[1] + 1] < hero;
    }
    wins += won;
  }
  return wins;
}

template <typename Deal>
int ClassEstimator::turnWins(int opponents, int samples, Deal& deal) {
  const int* T = table_;
  int wins = 0;
  for (int s = 0; s < samples; ++s) {
    deal(deck_, 1 + 2 * opponents, size_);
    const uint8_t river = deck_[0];
    const int hero = heroValue_[river];
    bool won = true;
    for (int j = 0; j < opponents && won; ++j) {
      const uint8_t* hole = deck_ + 1 + 2 * j;
      won = T[state2_[river][hole[0]] + hole[1] + 1] < hero;
    }
    wins += won;
  }
  return wins;
}

template <typename Deal>
int ClassEstimator::riverWins(int opponents, int samples, Deal& deal) {
  int wins = 0;
  for (int s = 0; s < samples; ++s) {
    deal(deck_, 2 * opponents, size_);
    unsigned won = 1;
    for (int j = 0; j < opponents; ++j) won &= pairBeats_[pairOf(deck_[2 * j], deck_[2 * j + 1])];
    wins += static_cast<int>(won);
  }
  return wins;
}

// The evaluator state table (TPT_SIZE integers) in memory the kernel may back
// with 2 MB pages: the samples read it at scattered places, and with 4 KB
// pages most of those reads would miss the TLB as well as the cache.
class StateTable {
 public:
  explicit StateTable(const int* table);  // copies it
  // Reads the table file; a file that cannot be read stops the program with
  // an "ERROR: " line (callers check its size first).
  explicit StateTable(const std::string& path);
  ~StateTable();
  StateTable(const StateTable&) = delete;
  StateTable& operator=(const StateTable&) = delete;
  const int* data() const { return data_; }

 private:
  int* data_;
};

// How to enumerate the classes of one round: the indexer and its index
// round, the number of known cards of a class's canonical hand, and the
// condition text reported if unindexing fails.
struct EquityRound {
  const hand_indexer_s* indexer;
  uint64_t indexRound;
  int known;
  const char* unindexCheck;
};

// Fills out2p[i - begin] and out3p[i - begin] with the two- and three-player
// equities of classes begin .. end-1 (ClassEstimator::winsUniform). Classes are
// handed out in chunks of `step` consecutive classes. progress(i) is called
// for the first class of every chunk, in increasing order, as soon as every
// class before it is done (so first with `begin`, before any work); calls are
// serialised. threads = 0 means one per core.
// `table` is the whole state table, best a StateTable's.
void generateEquities(const int* table, const EquityRound& round, uint64_t begin,
                      uint64_t end, double* out2p, double* out3p, unsigned threads,
                      uint64_t seed, uint64_t step,
                      const std::function<void(uint64_t)>& progress);

// Number of threads generateEquities uses for `threads` (0: one per core).
unsigned equityThreads(unsigned threads);

#endif  // MORVANE_EQUITY_GENERATOR_H
