// CFR iterations per second on three-player Kuhn poker, over the flat
// information-set store and with the reference recursion, plus the exact utility
// measurement the Kuhn agent runs after each training pass.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "solver/cfr.h"
#include "analysis/exploitability.h"
#include "common/game_file.h"
#include "common/util.h"

namespace {

Game* kuhnGame() {
  static Game* game = [] {
    Game* g = readGameFile(POKER_GAMES_DIR "/kuhn.limit.3p.game").release();
    if (!g) std::abort();
    return g;
  }();
  return game;
}

// Builds the tree quietly (its lines would interleave with the report).
void quietTrain(CFR& cfr, uint64_t iterations) {
  std::streambuf* saved = std::cout.rdbuf();
  std::ostringstream sink;
  std::cout.rdbuf(sink.rdbuf());
  cfr.train(iterations);
  std::cout.rdbuf(saved);
}

void trainIterations(benchmark::State& state, bool flat) {
  CFR cfr(kuhnGame());
  cfr.setUseFlatStore(flat);
  quietTrain(cfr, 1);
  const uint64_t batch = static_cast<uint64_t>(state.range(0));
  for (auto _ : state) quietTrain(cfr, batch);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(batch));
  state.counters["iterations/s"] =
      benchmark::Counter(static_cast<double>(state.iterations() * batch), benchmark::Counter::kIsRate);
}

void BM_TrainFlatStore(benchmark::State& state) { trainIterations(state, true); }
void BM_TrainReference(benchmark::State& state) { trainIterations(state, false); }

void BM_CalcUtility(benchmark::State& state) {
  CFR cfr(kuhnGame());
  quietTrain(cfr, 1000);
  double utility[3];
  for (auto _ : state) {
    cfr.calcUtility(utility);
    benchmark::DoNotOptimize(utility[0]);
  }
}

void BM_NashConv(benchmark::State& state) {
  CFR cfr(kuhnGame());
  quietTrain(cfr, 1000);
  for (auto _ : state) benchmark::DoNotOptimize(nashConv(cfr));
}

}  // namespace

BENCHMARK(BM_TrainFlatStore)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TrainReference)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CalcUtility)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NashConv)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
