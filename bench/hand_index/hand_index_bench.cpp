// Speed and memory of the hand indexer: the one-time module tables, building
// the four indexers the equity tables use, and indexing and unindexing river
// hands ({2, 5}).
//
//   hand_index_bench --benchmark_filter=Tables   (first-call cost; run it alone
//                                                 or first, the tables are built once)
#include "cards/hand_index.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <numeric>
#include <random>
#include <vector>

namespace {

long max_rss_kib() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Bytes an indexer allocated for its per-round arrays.
uint64_t indexer_bytes(const hand_indexer_s& ix) {
  uint64_t bytes = 0;
  for (uint64_t r = 0; r < ix.rounds; ++r)
    bytes += ix.perm_count[r] * 2 * sizeof(uint64_t) + ix.config_count[r] * 10 * sizeof(uint64_t);
  return bytes;
}

// Must run before anything else builds the tables.
void BM_TablesInit(benchmark::State& state) {
  const long before = max_rss_kib();
  for (auto _ : state) hand_index_tables_init();
  state.counters["max_rss_growth_KiB"] = static_cast<double>(max_rss_kib() - before);
}
BENCHMARK(BM_TablesInit)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_IndexerInit(benchmark::State& state) {
  const uint8_t counts[2] = {2, static_cast<uint8_t>(state.range(0))};
  const uint64_t rounds = counts[1] ? 2 : 1;
  hand_index_tables_init();
  uint64_t bytes = 0;
  for (auto _ : state) {
    hand_indexer_s ix;
    if (!hand_indexer_init(rounds, counts, &ix)) state.SkipWithError("init failed");
    bytes = indexer_bytes(ix);
    hand_indexer_free(&ix);
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
// Argument: cards of the second round (0 for the one-round {2}).
BENCHMARK(BM_IndexerInit)->Arg(0)->Arg(3)->Arg(4)->Arg(5)->Unit(benchmark::kMicrosecond);

struct River {
  hand_indexer_s ix;
  River() {
    const uint8_t counts[2] = {2, 5};
    hand_indexer_init(2, counts, &ix);
  }
  ~River() { hand_indexer_free(&ix); }
};

void BM_IndexLastRiver(benchmark::State& state) {
  River river;
  constexpr int kHands = 4096;
  std::vector<uint8_t> hands(kHands * 7);
  std::mt19937_64 rng(1);
  uint8_t deck[52];
  std::iota(deck, deck + 52, 0);
  for (int h = 0; h < kHands; ++h) {
    for (int i = 0; i < 7; ++i) std::swap(deck[i], deck[std::uniform_int_distribution<int>(i, 51)(rng)]);
    std::copy(deck, deck + 7, hands.begin() + h * 7);
  }
  int h = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(hand_index_last(&river.ix, &hands[h * 7]));
    h = (h + 1) & (kHands - 1);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IndexLastRiver);

void BM_UnindexRiver(benchmark::State& state) {
  River river;
  constexpr int kHands = 4096;
  std::vector<hand_index_t> indices(kHands);
  std::mt19937_64 rng(2);
  std::uniform_int_distribution<hand_index_t> pick(0, hand_indexer_size(&river.ix, 1) - 1);
  for (auto& index : indices) index = pick(rng);
  uint8_t cards[7];
  int h = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(hand_unindex(&river.ix, 1, indices[h], cards));
    benchmark::ClobberMemory();
    h = (h + 1) & (kHands - 1);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_UnindexRiver);

}  // namespace

BENCHMARK_MAIN();
