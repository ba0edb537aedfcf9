#include "abstraction/large_buckets.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>
#include <stdexcept>
#include <vector>

#include "abstraction/EquityTables.h"
#include "cards/table_checks.h"
#include "common/parallel.h"
#include "common/util.h"

namespace {

const char* const roundFileNames[4] = {"preflop", "flop", "turn", "river"};
const char* const roundNames[4] = {"pre-flop", "flop", "turn", "river"};

// Equity cells of the ranking histogram, and the coarser cells of the
// spread within one mean run (a histogram per run).
constexpr uint64_t CELLS = uint64_t(1) << 20;
constexpr uint64_t SPREAD_CELLS = uint64_t(1) << 14;

uint64_t cellOf(double value, uint64_t cells) {
  const double scaled = value * static_cast<double>(cells);
  if (!(scaled > 0.0)) return 0;
  return std::min<uint64_t>(cells - 1, static_cast<uint64_t>(scaled));
}

// cellRun[c] = the run out of `runs` of the values in cell c, from the cells'
// counts (`total` values in all): the run of the middle of the cell's share
// in the ranking, so a cell holding many equal values lands where most of
// them belong.
void runsOfCells(const uint64_t* count, uint64_t cells, uint64_t total, int runs,
                 uint16_t* cellRun) {
  uint64_t below = 0;
  for (uint64_t c = 0; c < cells; ++c) {
    const double middle = static_cast<double>(below) + static_cast<double>(count[c]) / 2.0;
    const auto run = static_cast<int>(middle * runs / static_cast<double>(total ? total : 1));
    cellRun[c] = static_cast<uint16_t>(std::min(run, runs - 1));
    below += count[c];
  }
}

// Progress of a long pass: "N% done, about S s left" at every tenth.
class TenthLines {
 public:
  explicit TenthLines(uint64_t total) : total_(total), start_(Clock::now()) {}
  void at(uint64_t done) {
    const int tenth = total_ ? static_cast<int>(done * 10 / total_) : 10;
    if (tenth <= shown_) return;
    shown_ = tenth;
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    const double left = done ? seconds * static_cast<double>(total_ - done) / done : 0.0;
    std::cout << tenth * 10 << "% done, about " << static_cast<long>(left + 0.5) << " s left"
              << std::endl;
  }

 private:
  using Clock = std::chrono::steady_clock;
  uint64_t total_;
  Clock::time_point start_;
  int shown_ = 0;
};

// The two-player equity table of a round: held by `tables` already, or
// loaded (checked) or made; returns whether this call brought it in.
bool holdEquity(EquityTables& tables, int round) {
  if (tables.getEquityTable(2, round)) return false;
  const uint64_t n = tables.getRoundSize(round);
  const std::string name = EquityTables::equityFileName(2, round);
  if (table_file_ok(name, n * sizeof(double))) {
    std::cout << "Loading table " << name << "!" << std::endl;
    double* equity = loadDoubleTable(name.c_str(), n);
    tables.setEquityTable(2, round, equity);
    if (tableAccepted(name, equityTableProblem(equity, n))) return true;
    tables.setEquityTable(2, round, nullptr);
  }
  tables.prepareEquityRound(round);
  return true;
}

// Calls visit(i, equity, count) for each of the n classes i of `indexer`'s
// second round (`seen` cards), with equity[0 .. count) the next-round
// equities of the class's cards and each card not among them, in card
// order (visit may reorder them). On every core, with progress lines.
template <class Visit>
void forEachNextRound(const hand_indexer_s* indexer, const hand_indexer_s* next, int seen,
                      uint64_t n, const double* nextEquity, Visit visit) {
  const unsigned threads = threadCount(0);
  std::atomic<uint64_t> done{0};
  TenthLines progress(n);
  constexpr uint64_t CHUNK = 4096;
  runOnThreads(threads, [&](unsigned t) {
    uint8_t cards[8];
    double equity[52];
    for (uint64_t begin = t * CHUNK; begin < n; begin += threads * CHUNK) {
      const uint64_t end = std::min(n, begin + CHUNK);
      for (uint64_t i = begin; i < end; ++i) {
        hand_unindex(indexer, 1, i, cards);
        uint64_t used = 0;
        for (int c = 0; c < seen; ++c) used |= uint64_t(1) << cards[c];
        int count = 0;
        for (uint8_t c = 0; c < 52; ++c) {
          if (used >> c & 1) continue;
          cards[seen] = c;
          equity[count++] = nextEquity[hand_index_last(next, cards)];
        }
        visit(i, equity, count);
      }
      const uint64_t total = done.fetch_add(end - begin) + (end - begin);
      if (t == 0) progress.at(total);
    }
  });
  progress.at(n);
}

}  // namespace

void computeNextRoundMoments(const hand_indexer_s* indexer, const hand_indexer_s* next,
                             int seen, uint64_t n, const double* nextEquity, double* mean,
                             double* square) {
  forEachNextRound(indexer, next, seen, n, nextEquity, [&](uint64_t i, const double* equity, int count) {
    double sum = 0.0, sumOfSquares = 0.0;
    for (int k = 0; k < count; ++k) {
      sum += equity[k];
      sumOfSquares += equity[k] * equity[k];
    }
    if (mean) mean[i] = sum / count;
    square[i] = sumOfSquares / count;
  });
}

void computeLargeBuckets(uint64_t n, const double* equity, int buckets, uint16_t* out) {
  std::vector<uint64_t> count(CELLS, 0);
  for (uint64_t i = 0; i < n; ++i) ++count[cellOf(equity[i], CELLS)];
  std::vector<uint16_t> cellBucket(CELLS);
  runsOfCells(count.data(), CELLS, n, buckets, cellBucket.data());
  TenthLines progress(n);
  constexpr uint64_t STEP = uint64_t(1) << 22;
  for (uint64_t i = 0; i < n; i += STEP) {
    const uint64_t end = std::min(n, i + STEP);
    for (uint64_t k = i; k < end; ++k) out[k] = cellBucket[cellOf(equity[k], CELLS)];
    progress.at(end);
  }
}

void computeNestedBuckets(uint64_t n, const double* mean, const double* spread, int meanRuns,
                          int spreadRuns, uint16_t* out) {
  computeLargeBuckets(n, mean, meanRuns, out);
  // Each mean run ranks its own classes by spread, through its own histogram.
  const auto runs = static_cast<uint64_t>(meanRuns);
  std::vector<uint64_t> count(runs * SPREAD_CELLS, 0);
  for (uint64_t i = 0; i < n; ++i) ++count[out[i] * SPREAD_CELLS + cellOf(spread[i], SPREAD_CELLS)];
  std::vector<uint16_t> cellRun(runs * SPREAD_CELLS);
  for (uint64_t run = 0; run < runs; ++run) {
    const uint64_t* c = count.data() + run * SPREAD_CELLS;
    uint64_t total = 0;
    for (uint64_t k = 0; k < SPREAD_CELLS; ++k) total += c[k];
    runsOfCells(c, SPREAD_CELLS, total, spreadRuns, cellRun.data() + run * SPREAD_CELLS);
  }
  for (uint64_t i = 0; i < n; ++i)
    out[i] = static_cast<uint16_t>(out[i] * spreadRuns +
                                   cellRun[out[i] * SPREAD_CELLS + cellOf(spread[i], SPREAD_CELLS)]);
}

void computeNextRoundQuantiles(const hand_indexer_s* indexer, const hand_indexer_s* next,
                               int seen, uint64_t n, const double* nextEquity, float* out) {
  constexpr int Q = LARGE_CLUSTER_QUANTILES;
  forEachNextRound(indexer, next, seen, n, nextEquity, [&](uint64_t i, double* equity, int count) {
    std::sort(equity, equity + count);
    for (int q = 0; q < Q; ++q) {
      const int from = q * count / Q, to = (q + 1) * count / Q;
      double sum = 0.0;
      for (int k = from; k < to; ++k) sum += equity[k];
      out[i * Q + q] = static_cast<float>(sum / (to - from));
    }
  });
}

void clusterBuckets(uint64_t n, const float* features, int dims, int buckets, int iterations,
                    uint16_t* labels) {
  const auto k = static_cast<uint64_t>(buckets);
  const auto d = static_cast<uint64_t>(dims);
  // Centres stored by dimension, so that the scan over the centres of one
  // class runs down contiguous memory; an empty bucket's centre is out of
  // reach, so it stays empty.
  std::vector<float> centres(d * k);
  std::vector<double> sums(k * d);
  std::vector<uint64_t> counts(k);
  const unsigned threads = threadCount(0);
  const auto start = std::chrono::steady_clock::now();
  for (int pass = 0; pass < iterations; ++pass) {
    std::fill(sums.begin(), sums.end(), 0.0);
    std::fill(counts.begin(), counts.end(), 0);
    for (uint64_t i = 0; i < n; ++i) {
      ++counts[labels[i]];
      for (uint64_t q = 0; q < d; ++q) sums[labels[i] * d + q] += features[i * d + q];
    }
    for (uint64_t b = 0; b < k; ++b)
      for (uint64_t q = 0; q < d; ++q)
        centres[q * k + b] = counts[b] ? static_cast<float>(sums[b * d + q] / static_cast<double>(counts[b]))
                                       : std::numeric_limits<float>::infinity();
    std::atomic<uint64_t> moved{0};
    constexpr uint64_t CHUNK = 4096;
    runOnThreads(threads, [&](unsigned t) {
      std::vector<float> distance(k);
      uint64_t changed = 0;
      for (uint64_t begin = t * CHUNK; begin < n; begin += threads * CHUNK) {
        const uint64_t end = std::min(n, begin + CHUNK);
        for (uint64_t i = begin; i < end; ++i) {
          std::fill(distance.begin(), distance.end(), 0.0f);
          for (uint64_t q = 0; q < d; ++q) {
            const float x = features[i * d + q];
            const float* centre = centres.data() + q * k;
            for (uint64_t b = 0; b < k; ++b) {
              const float e = x - centre[b];
              distance[b] += e * e;
            }
          }
          const auto best = static_cast<uint16_t>(
              std::min_element(distance.begin(), distance.end()) - distance.begin());
          if (best != labels[i]) {
            labels[i] = best;
            ++changed;
          }
        }
      }
      moved += changed;
    });
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << "k-means pass " << pass + 1 << " of " << iterations << ": " << moved.load()
              << " hands moved, about " << static_cast<long>(seconds / (pass + 1) * (iterations - pass - 1) + 0.5)
              << " s left" << std::endl;
    if (moved.load() == 0) break;
  }
}

std::string largeBucketTableProblem(const uint16_t* table, uint64_t n, int limit) {
  for (uint64_t i = 0; i < n; ++i)
    if (table[i] >= limit)
      return "a bucket above " + std::to_string(limit - 1) + " at entry " + std::to_string(i);
  return "";
}

LargeBuckets::LargeBuckets(EquityTables& tables, int buckets, int spreadRuns, int clusteredRounds)
    : tables_(tables), buckets_(buckets), spreadRuns_(spreadRuns), clusteredRounds_(clusteredRounds) {
  if (buckets <= 0 || LARGE_FINE_BUCKETS % buckets != 0)
    throw std::invalid_argument("large buckets: " + std::to_string(buckets) +
                                " does not divide the fine buckets");
  if (spreadRuns <= 0 || buckets % spreadRuns != 0)
    throw std::invalid_argument("large buckets: " + std::to_string(spreadRuns) +
                                " spread runs do not divide " + std::to_string(buckets));
  if (clusteredRounds < 0 || clusteredRounds > 2 || (clusteredRounds > 0 && spreadRuns == 1))
    throw std::invalid_argument("large buckets: only nested flop and turn buckets are clustered");
}

LargeBuckets::~LargeBuckets() = default;

std::string LargeBuckets::fileName(int round) {
  return std::string("lookup/large_buckets_") + roundFileNames[round];
}

std::string LargeBuckets::tableName(int round, int buckets, int spreadRuns, int clusteredRounds) {
  if (!nested(round, spreadRuns)) return fileName(round);
  if (round <= clusteredRounds) return fileName(round) + "_k" + std::to_string(buckets);
  return fileName(round) + "_" + std::to_string(buckets / spreadRuns) + "x" +
         std::to_string(spreadRuns);
}

void LargeBuckets::load() {
  for (int round = 1; round < 4; ++round) loadRound(round);
}

void LargeBuckets::loadRound(int round) {
  const uint64_t n = tables_.getRoundSize(round);
  const std::string name = tableName(round);
  const int limit = nested(round) ? buckets_ : LARGE_FINE_BUCKETS;
  if (table_file_ok(name, n * sizeof(uint16_t))) {
    std::cout << "Loading table " << name << "!" << std::endl;
    table_[round].reset(loadShortTable(name.c_str(), n));
    if (tableAccepted(name, largeBucketTableProblem(table_[round].get(), n, limit))) return;
    table_[round].reset();
  }
  // The river ranks by equity; the flop and turn by the mean squared equity
  // after the next card, or, nested, by that equity's mean and spread. Only
  // two-player tables are read; the three-player one (as large) comes in
  // only when a round's equities must be generated.
  const bool last = round == 3;
  const int from = last ? round : round + 1;
  std::cout << "Making the large " << roundFileNames[round] << " buckets from the "
            << roundNames[from] << " equities" << std::endl;
  const bool brought = holdEquity(tables_, from);
  table_[round].reset(new uint16_t[n]);
  if (last) {
    computeLargeBuckets(n, tables_.getEquityTable(2, round), LARGE_FINE_BUCKETS,
                        table_[round].get());
  } else {
    std::unique_ptr<double[]> mean(nested(round) ? new double[n] : nullptr);
    std::unique_ptr<double[]> squares(new double[n]);
    std::cout << "Averaging the " << roundNames[from] << " equities of every "
              << roundNames[round] << " hand" << std::endl;
    computeNextRoundMoments(tables_.getIndexer(round), tables_.getIndexer(from),
                            2 + (round == 1 ? 3 : 4), n, tables_.getEquityTable(2, from),
                            mean.get(), squares.get());
    if (nested(round)) {
      // The spread, twice the standard deviation, lies within [0, 1].
      for (uint64_t i = 0; i < n; ++i)
        squares[i] = 2.0 * std::sqrt(std::max(0.0, squares[i] - mean[i] * mean[i]));
      computeNestedBuckets(n, mean.get(), squares.get(), buckets_ / spreadRuns_, spreadRuns_,
                           table_[round].get());
      if (round <= clusteredRounds_) {
        mean.reset();
        squares.reset();
        std::unique_ptr<float[]> quantiles(new float[n * LARGE_CLUSTER_QUANTILES]);
        std::cout << "Sorting the " << roundNames[from] << " equities of every "
                  << roundNames[round] << " hand" << std::endl;
        computeNextRoundQuantiles(tables_.getIndexer(round), tables_.getIndexer(from),
                                  2 + (round == 1 ? 3 : 4), n, tables_.getEquityTable(2, from),
                                  quantiles.get());
        clusterBuckets(n, quantiles.get(), LARGE_CLUSTER_QUANTILES, buckets_,
                       LARGE_CLUSTER_PASSES, table_[round].get());
      }
    } else {
      computeLargeBuckets(n, squares.get(), LARGE_FINE_BUCKETS, table_[round].get());
    }
  }
  saveShortTable(name.c_str(), table_[round].get(), n);
  if (brought) {
    tables_.setEquityTable(2, from, nullptr);
    tables_.setEquityTable(3, from, nullptr);
  }
}

int LargeBuckets::bucket(int round, const uint8_t* cards) const {
  const hand_index_t index = hand_index_last(tables_.getIndexer(round), cards);
  if (round == 0) return static_cast<int>(index);
  if (nested(round)) return table_[round][index];
  return static_cast<int>(uint32_t(table_[round][index]) * uint32_t(buckets_) / LARGE_FINE_BUCKETS);
}
