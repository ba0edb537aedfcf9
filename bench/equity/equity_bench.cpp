// Speed of equity table generation, in hand classes per second (both the
// two- and three-player estimate of a class), on slices of each round:
//
//   BM_Generate/round/threads   the threaded generator of the tables; its
//                               counter full_round_s extrapolates the rate to
//                               the whole round
//   BM_Reference/round          the straightforward estimator, one thread
//   BM_SetHand, BM_Samples      the per-class tabulation and the sampling of
//                               the fast estimator on their own
//
// Reads the state table from $POKER_TEST_LOOKUP/tpt, else lookup/tpt.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "abstraction/EquityTables.h"
#include "abstraction/equity_generator.h"
#include "cards/tpt.h"
#include "common/util.h"

namespace {

const int kKnown[4] = {2, 5, 6, 7};

// Loaded as the generator loads it, into memory advised for huge pages.
const int* stateTable() {
  static std::unique_ptr<StateTable> table = [] {
    const char* dir = std::getenv("POKER_TEST_LOOKUP");
    const std::string path = std::string(dir ? dir : "lookup") + "/tpt";
    if (!table_file_ok(path, TPT_SIZE * sizeof(int))) return std::unique_ptr<StateTable>();
    return std::make_unique<StateTable>(path);
  }();
  return table ? table->data() : nullptr;
}

EquityTables& tables() {
  static EquityTables instance;
  return instance;
}

// A slice of consecutive classes from a third of the way into the round.
uint64_t sliceBegin(int round) { return tables().getRoundSize(round) / 3; }
uint64_t sliceLength(int round) {
  const uint64_t lengths[4] = {169, 4000, 4000, 6000};
  return lengths[round];
}

void BM_Generate(benchmark::State& state) {
  const int* T = stateTable();
  if (!T) return state.SkipWithError("no state table");
  const int round = static_cast<int>(state.range(0));
  const unsigned threads = static_cast<unsigned>(state.range(1));
  const uint64_t begin = round == 0 ? 0 : sliceBegin(round), n = sliceLength(round);
  std::vector<double> out2(n), out3(n);
  const EquityRound desc{tables().getIndexer(round), EquityTables::indexRound(round),
                         kKnown[round], "unindex"};
  for (auto _ : state)
    generateEquities(T, desc, begin, begin + n, out2.data(), out3.data(), threads, 42,
                     round == 0 ? 10 : 1000, [](uint64_t) {});
  const double classes = static_cast<double>(n) * state.iterations();
  state.counters["classes_per_s"] = benchmark::Counter(classes, benchmark::Counter::kIsRate);
  state.counters["full_round_s"] = benchmark::Counter(
      classes / static_cast<double>(tables().getRoundSize(round)),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  state.counters["max_rss_MiB"] = usage.ru_maxrss / 1024.0;
}
BENCHMARK(BM_Generate)
    ->ArgsProduct({{0, 1, 2, 3}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

void BM_Reference(benchmark::State& state) {
  const int* T = stateTable();
  if (!T) return state.SkipWithError("no state table");
  const int round = static_cast<int>(state.range(0));
  const uint64_t begin = round == 0 ? 0 : sliceBegin(round);
  const uint64_t n = 100;
  int* table = const_cast<int*>(T);
  double sink = 0;
  for (auto _ : state)
    for (uint64_t i = begin; i < begin + n; ++i) {
      uint8_t hand[7];
      hand_unindex(tables().getIndexer(round), EquityTables::indexRound(round), i, hand);
      for (unsigned players = 2; players <= 3; ++players) switch (round) {
          case 0: sink += evaluateHand2(hand, players, table); break;
          case 1: sink += evaluateHand5(hand, players, table); break;
          case 2: sink += evaluateHand6(hand, players, table); break;
          default: sink += evaluateHand7(hand, players, table); break;
        }
    }
  benchmark::DoNotOptimize(sink);
  state.counters["classes_per_s"] =
      benchmark::Counter(static_cast<double>(n) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Reference)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// Tabulation alone, and one estimate (range(1) players) alone.
void BM_SetHand(benchmark::State& state) {
  const int* T = stateTable();
  if (!T) return state.SkipWithError("no state table");
  const int round = static_cast<int>(state.range(0));
  ClassEstimator estimator(T);
  uint8_t hand[7];
  uint64_t i = sliceBegin(round);
  for (auto _ : state) {
    hand_unindex(tables().getIndexer(round), EquityTables::indexRound(round), i++, hand);
    estimator.setHand(hand, kKnown[round]);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SetHand)->DenseRange(1, 3);

void BM_Samples(benchmark::State& state) {
  const int* T = stateTable();
  if (!T) return state.SkipWithError("no state table");
  const int round = static_cast<int>(state.range(0));
  const unsigned players = static_cast<unsigned>(state.range(1));
  ClassEstimator estimator(T);
  SampleRng rng(7);
  uint8_t hand[7];
  uint64_t i = sliceBegin(round);
  int sink = 0;
  for (auto _ : state) {
    state.PauseTiming();
    hand_unindex(tables().getIndexer(round), EquityTables::indexRound(round), i++, hand);
    estimator.setHand(hand, kKnown[round]);
    state.ResumeTiming();
    sink += estimator.winsUniform(players, EQUITY_SAMPLES, rng);
  }
  benchmark::DoNotOptimize(sink);
  state.SetItemsProcessed(state.iterations() * EQUITY_SAMPLES);
}
BENCHMARK(BM_Samples)->ArgsProduct({{1, 2, 3}, {2, 3}});

}  // namespace

BENCHMARK_MAIN();
