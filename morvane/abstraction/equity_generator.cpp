#include "abstraction/equity_generator.h"

#include <algorithm>
#include <assert.h>
#include <atomic>
#include <cstdio>
#include <new>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/mman.h>
#include <thread>
#include <vector>

#include "cards/win_estimate.h"
#include "common/check.h"
#include "common/parallel.h"

int rankHand(int* table, uint8_t* cards) { return tptRank7(table, cards); }

namespace {

double referenceEstimate(uint8_t* cards, int known, unsigned players, int* table) {
  return estimateWinProbability(table, cards, known, players, EQUITY_SAMPLES,
                                EngineShuffle());
}

// SplitMix64: spreads a seed over the generator's 256 bits of state.
uint64_t splitmix64(uint64_t& x) {
  uint64_t z = (x += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

}  // namespace

double evaluateHand2(uint8_t* cards, unsigned players, int* table) {
  return referenceEstimate(cards, 2, players, table);
}
double evaluateHand5(uint8_t* cards, unsigned players, int* table) {
  return referenceEstimate(cards, 5, players, table);
}
double evaluateHand6(uint8_t* cards, unsigned players, int* table) {
  return referenceEstimate(cards, 6, players, table);
}
double evaluateHand7(uint8_t* cards, unsigned players, int* table) {
  return referenceEstimate(cards, 7, players, table);
}

SampleRng::SampleRng(uint64_t seed) {
  for (uint64_t& word : s_) word = splitmix64(seed);
}

const DeckPairs& deckPairs(int size) {
  static const std::vector<DeckPairs> tables = [] {
    std::vector<DeckPairs> t(3);
    for (int n = 45; n <= 47; ++n) {
      DeckPairs& p = t[n - 45];
      p.count = 0;
      for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j) {
          p.first[p.count] = static_cast<uint8_t>(i);
          p.second[p.count] = static_cast<uint8_t>(j);
          p.mask[p.count] = (1ULL << i) | (1ULL << j);
          p.index[i][j] = p.index[j][i] = static_cast<uint16_t>(p.count);
          ++p.count;
        }
    }
    return t;
  }();
  assert(size >= 45 && size <= 47);
  return tables[size - 45];
}

void ClassEstimator::setHand(const uint8_t* cards, int known) {
  assert(known == 2 || known == 5 || known == 6 || known == 7);
  const int* T = table_;
  known_ = known;
  bool used[52] = {};
  for (int i = 0; i < known; ++i) used[cards[i]] = true;
  size_ = 0;
  for (int c = 0; c < 52; ++c)
    if (!used[c]) {
      position_[c] = static_cast<uint8_t>(size_);
      cards_[size_] = deck_[size_] = static_cast<uint8_t>(c);
      ++size_;
    }
  pairs_ = known > 2 ? &deckPairs(size_) : nullptr;

  // Hero and board states share the known board; the hole cards go last so
  // the board state serves the opponents as well.
  const int board = tptWalk(T, TPT_ROOT, cards + 2, known - 2);
  const int hero = tptStep(T, tptStep(T, board, cards[0]), cards[1]);
  switch (known) {
    case 2:
      heroState_ = hero;
      break;
    case 5:
      for (uint32_t k = 0, i = 0; i < static_cast<uint32_t>(size_); ++i) {
        const int heroA = tptStep(T, hero, cards_[i]);
        const int boardA = tptStep(T, board, cards_[i]);
        for (uint32_t j = i + 1; j < static_cast<uint32_t>(size_); ++j, ++k) {
          completionHero_[k] = tptStep(T, heroA, cards_[j]);
          completionBoard_[k] = tptStep(T, boardA, cards_[j]);
        }
      }
      break;
    case 6:
      for (int i = 0; i < size_; ++i) {
        const uint8_t river = cards_[i];
        heroValue_[river] = tptStep(T, hero, river);
        const int boardRiver = tptStep(T, board, river);
        int* row = state2_[river];
        for (int j = 0; j < size_; ++j) row[cards_[j]] = tptStep(T, boardRiver, cards_[j]);
      }
      break;
    default:
      for (uint32_t k = 0, i = 0; i < static_cast<uint32_t>(size_); ++i) {
        const int boardA = tptStep(T, board, cards_[i]);
        for (uint32_t j = i + 1; j < static_cast<uint32_t>(size_); ++j, ++k)
          pairBeats_[k] = tptStep(T, boardA, cards_[j]) < hero;
      }
      break;
  }
}

int ClassEstimator::winsUniform(unsigned players, int samples, SampleRng& rng) {
  if (players <= 1) return samples;
  const int opponents = static_cast<int>(players) - 1;
  switch (known_) {
    case 2: {
      UniformDeal deal{rng};
      return preflopWins(opponents, samples, deal);
    }
    case 5: return flopUniform(opponents, samples, rng);
    case 6: return turnUniform(opponents, samples, rng);
    default: return riverUniform(opponents, samples, rng);
  }
}

int ClassEstimator::flopUniform(int opponents, int samples, SampleRng& rng) {
  const int* T = table_;
  const DeckPairs& p = *pairs_;
  int wins = 0;
  for (int s = 0; s < samples; ++s) {
    const uint32_t completion = rng.below(p.count);
    uint64_t dealt = p.mask[completion];
    const int hero = completionHero_[completion];
    const int board = completionBoard_[completion];
    bool won = true;
    for (int j = 0; j < opponents && won; ++j) {
      uint32_t k;
      do k = rng.below(p.count);
      while (p.mask[k] & dealt);
      dealt |= p.mask[k];
      won = T[T[board + cards_[p.first[k]] + 1] + cards_[p.second[k]] + 1] < hero;
    }
    wins += won;
  }
  return wins;
}

int ClassEstimator::turnUniform(int opponents, int samples, SampleRng& rng) {
  const int* T = table_;
  const DeckPairs& p = *pairs_;
  int wins = 0;
  for (int s = 0; s < samples; ++s) {
    const uint32_t riverAt = rng.below(static_cast<uint32_t>(size_));
    const uint8_t river = cards_[riverAt];
    uint64_t dealt = 1ULL << riverAt;
    const int hero = heroValue_[river];
    const int* row = state2_[river];
    bool won = true;
    for (int j = 0; j < opponents && won; ++j) {
      uint32_t k;
      do k = rng.below(p.count);
      while (p.mask[k] & dealt);
      dealt |= p.mask[k];
      won = T[row[cards_[p.first[k]]] + cards_[p.second[k]] + 1] < hero;
    }
    wins += won;
  }
  return wins;
}

int ClassEstimator::riverUniform(int opponents, int samples, SampleRng& rng) {
  const DeckPairs& p = *pairs_;
  int wins = 0;
  if (opponents == 1) {
    for (int s = 0; s < samples; ++s) wins += pairBeats_[rng.below(p.count)];
    return wins;
  }
  // Every opponent is dealt even after one has won the sample: a branch on
  // each outcome would be mispredicted half the time, which costs more than
  // the draws it saves.
  for (int s = 0; s < samples; ++s) {
    uint64_t dealt = 0;
    unsigned won = 1;
    for (int j = 0; j < opponents; ++j) {
      uint32_t k;
      do k = rng.below(p.count);
      while (p.mask[k] & dealt);
      dealt |= p.mask[k];
      won &= pairBeats_[k];
    }
    wins += static_cast<int>(won);
  }
  return wins;
}

namespace {

constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kStateTableBytes = TPT_SIZE * sizeof(int);

// Memory for the state table, advised for 2 MB pages where the kernel offers
// them; nullptr if it cannot be had.
int* hugePageBuffer() {
  const size_t bytes = (kStateTableBytes + kHugePage - 1) / kHugePage * kHugePage;
  void* p = nullptr;
  if (posix_memalign(&p, kHugePage, bytes) != 0) return nullptr;
  madvise(p, bytes, MADV_HUGEPAGE);
  return static_cast<int*>(p);
}

}  // namespace

StateTable::StateTable(const int* table) : data_(hugePageBuffer()) {
  if (!data_) throw std::bad_alloc();
  std::memcpy(data_, table, kStateTableBytes);
}

StateTable::StateTable(const std::string& path) : data_(hugePageBuffer()) {
  if (!data_) throw std::bad_alloc();
  FILE* file = std::fopen(path.c_str(), "rb");
  const bool read = file && std::fread(data_, sizeof(int), TPT_SIZE, file) == TPT_SIZE;
  if (file) std::fclose(file);
  if (!read) {
    std::fflush(stdout);
    std::fprintf(stderr, "ERROR: cannot read the state table %s\n", path.c_str());
    std::exit(1);
  }
}

StateTable::~StateTable() { std::free(data_); }

unsigned equityThreads(unsigned threads) { return threadCount(threads); }

void generateEquities(const int* table, const EquityRound& round, uint64_t begin,
                      uint64_t end, double* out2p, double* out3p, unsigned threads,
                      uint64_t seed, uint64_t step,
                      const std::function<void(uint64_t)>& progress) {
  if (end <= begin) return;
  assert(step > 0);
  const uint64_t chunks = (end - begin + step - 1) / step;
  ChunkQueue queue(chunks);
  progress(begin);

  auto worker = [&](unsigned) {
    ClassEstimator estimator(table);
    uint8_t hand[7];
    for (uint64_t chunk; queue.take(chunk);) {
      SampleRng rng(seed ^ (chunk * 0xd1342543de82ef95ULL));
      const uint64_t first = begin + chunk * step;
      const uint64_t last = std::min(end, first + step);
      for (uint64_t index = first; index < last; ++index) {
        MORVANE_CHECK_AS(hand_unindex(round.indexer, round.indexRound, index, hand),
                         round.unindexCheck);
        estimator.setHand(hand, round.known);
        out2p[index - begin] =
            static_cast<double>(estimator.winsUniform(2, EQUITY_SAMPLES, rng)) / EQUITY_SAMPLES;
        out3p[index - begin] =
            static_cast<double>(estimator.winsUniform(3, EQUITY_SAMPLES, rng)) / EQUITY_SAMPLES;
      }
      queue.finish(chunk, [&](uint64_t done) {
        if (done < chunks) progress(begin + done * step);
      });
    }
  };
  runOnThreads(static_cast<unsigned>(std::min<uint64_t>(equityThreads(threads), chunks)), worker);
}
