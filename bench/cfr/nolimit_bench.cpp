// The no-limit solver on the real two-player no-limit betting tree with
// synthetic deals (uniform random buckets and hand orders): iterations per
// second for a few bucket counts per round (arguments: buckets after the
// pre-flop's 169), with the information sets and the strategy file's bytes
// as counters. Card bucketing is the caller's and not measured here.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "common/game_file.h"
#include "solver/nolimit_cfr.h"

namespace {

const NolimitTree& realTree() {
  static GamePtr game = readGameFile(std::string(POKER_GAMES_DIR) + "/holdem.nolimit.2p.reverse_blinds.game");
  if (!game) std::abort();
  static NolimitTree tree(game.get());
  return tree;
}

void BM_NolimitIterations(benchmark::State& state) {
  const NolimitTree& tree = realTree();
  const uint32_t later = static_cast<uint32_t>(state.range(0));
  const uint32_t buckets[MAX_ROUNDS] = {169, later, later, later};
  NolimitCFR cfr(tree, buckets);
  std::mt19937 rng(1);
  NolimitCFR::Deal deal{};
  double utility[2];
  auto dealOne = [&] {
    for (int r = 0; r < MAX_ROUNDS; ++r) {
      for (int p = 0; p < 2; ++p) deal.bucket[p][r] = rng() % buckets[r];
      deal.order[r] = static_cast<NolimitTree::Order>(rng() % 3);
    }
  };
  // Past the first iterations, where every strategy is uniform and nothing
  // is pruned.
  for (int i = 0; i < 2000; ++i) {
    dealOne();
    cfr.iterate(deal, utility);
  }
  for (auto _ : state) {
    dealOne();
    cfr.iterate(deal, utility);
    benchmark::DoNotOptimize(utility[0]);
  }
  state.counters["iterations/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["infosets"] = static_cast<double>(tree.informationSets(buckets));
  state.counters["file_bytes"] = static_cast<double>(cfr.fileBytes());
}
BENCHMARK(BM_NolimitIterations)->Arg(50)->Arg(200)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
