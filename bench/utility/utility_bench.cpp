// Speed of the utility and hold'em bucket tables, on synthetic cluster tables
// (a hash of the class index) so that no lookup files are needed:
//
//   BM_TrainIS/round/fast        trainIS passes per second (one pass per hero
//                                seat and starting-hand class); fast = 1 runs
//                                the resolved cluster trees, 0 the reference
//                                recursion; full_street_s extrapolates to the
//                                100,000 iterations of a street
//   BM_FillUtility/round/threads classes per second of the threaded fill;
//                                full_street_s extrapolates to the round
//   BM_FillReference/round       the same for the plain loop, one thread
//   BM_HoldemBuckets/round       classes per second of one bucket table
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "abstraction/EquityTables.h"
#include "solver/cfr.h"
#include "tablemaking/cluster_trees.h"
#include "common/game_file.h"
#include "common/util.h"

namespace {

const char* const kStreets[4] = {"preflop", "flop", "turn", "river"};

EquityTables& tables() {
  static EquityTables* t = [] {
    auto* tables = new EquityTables;
    for (int round = 0; round < 4; ++round) {
      const uint64_t n = tables->getRoundSize(round);
      uint8_t* clusters = new uint8_t[n];
      for (uint64_t i = 0; i < n; ++i)
        clusters[i] = static_cast<uint8_t>((i * 0x9e3779b97f4a7c15ULL >> 40) % 101);
      tables->setClusterTable(2, round, clusters);
      tables->setEquityExtremes(2, round, 0.0, 1.0);
    }
    return tables;
  }();
  return *t;
}

Game* streetGame(int round) {
  static Game* games[4] = {};
  if (!games[round]) {
    const std::string path = std::string(POKER_GAMES_DIR) + "/kuhn." + kStreets[round] + ".2p.game";
    games[round] = readGameFile(path).release();
  }
  return games[round];
}

std::unique_ptr<CFR> solver(int round, bool fast) {
  auto cfr = std::make_unique<CFR>(streetGame(round));
  cfr->setEquityTables(&tables());
  cfr->setUseClusterTrees(fast);
  cfr->trainIS(1, tables().getIndexer(round), static_cast<int>(EquityTables::indexRound(round)),
               round);
  return cfr;
}

void BM_TrainIS(benchmark::State& state) {
  const int round = static_cast<int>(state.range(0));
  const auto cfr = solver(round, state.range(1) != 0);
  const uint64_t iterations = 3000;
  for (auto _ : state)
    cfr->trainIS(iterations, tables().getIndexer(round),
                 static_cast<int>(EquityTables::indexRound(round)), round);
  const double passes = static_cast<double>(state.iterations()) * iterations * 2 * 169;
  state.counters["passes_per_s"] = benchmark::Counter(passes, benchmark::Counter::kIsRate);
  state.counters["full_street_s"] = benchmark::Counter(
      passes / (100000.0 * 2 * 169), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_TrainIS)->ArgsProduct({{0, 1, 2, 3}, {1}})->Args({1, 0})->Iterations(1)->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_FillUtility(benchmark::State& state) {
  const int round = static_cast<int>(state.range(0));
  const auto cfr = solver(round, true);
  const UtilityFill fill(*cfr, round);
  const uint64_t n = tables().getRoundSize(round);
  const uint64_t count = round == 0 ? 169 : 20000;
  const uint64_t begin = round == 0 ? 0 : n / 3 / 1000 * 1000;
  std::vector<double> t0(count), t1(count);
  double* out[2] = {t0.data(), t1.data()};
  uint64_t seed = 1;
  for (auto _ : state)
    fill.fillThreaded(out, begin, begin + count, static_cast<unsigned>(state.range(1)), seed++,
                      [](uint64_t) {});
  const double classes = static_cast<double>(state.iterations()) * count;
  state.counters["classes_per_s"] = benchmark::Counter(classes, benchmark::Counter::kIsRate);
  state.counters["full_street_s"] = benchmark::Counter(
      classes / n, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FillUtility)->ArgsProduct({{0, 1, 2, 3}, {1, 2}})->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_FillReference(benchmark::State& state) {
  const int round = static_cast<int>(state.range(0));
  const auto cfr = solver(round, true);
  const uint64_t n = tables().getRoundSize(round);
  const uint64_t count = round == 0 ? 169 : 2000;
  const uint64_t begin = round == 0 ? 0 : n / 3 / 1000 * 1000 + 1;  // no progress lines
  std::vector<double> t0(count), t1(count);
  double* out[2] = {t0.data(), t1.data()};
  for (auto _ : state) cfr->fillUtilityReference(out, begin, begin + count, round);
  const double classes = static_cast<double>(state.iterations()) * count;
  state.counters["classes_per_s"] = benchmark::Counter(classes, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FillReference)->DenseRange(1, 3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HoldemBuckets(benchmark::State& state) {
  const uint64_t n = tables().getRoundSize(static_cast<int>(state.range(0)));
  std::vector<double> u(n), e(n);
  for (uint64_t i = 0; i < n; ++i) {
    u[i] = static_cast<double>((i * 2654435761u) % 1000) / 500.0 - 1.0;
    e[i] = static_cast<double>((i * 40503u) % 1000) / 1000.0;
  }
  std::vector<uint8_t> out(n);
  for (auto _ : state) computeHoldemBuckets(n, u.data(), e.data(), out.data());
  state.counters["classes_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * n, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HoldemBuckets)->DenseRange(1, 2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
