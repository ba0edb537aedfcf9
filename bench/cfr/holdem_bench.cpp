// The solver on the real hold'em betting trees (argument: 0 two-player
// limit, 1 three-player limit, 2 two-player no-limit, 3 two-player limit with
// the large player's 2,000 buckets per round) with synthetic bucket tables: building the betting tree and the information-set store,
// trainHoldem iterations per second, saving and loading the strategy, and
// the check of a loaded strategy's sums.
// Resident memory is reported as the process's peak after each step; run one
// game per process (--benchmark_filter=.../1) to see that game's own peak.
// Strategy files go to $HOLDEM_BENCH_DIR (default /tmp) and are removed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "solver/strategy_check.h"
#include "synthetic_buckets.h"
#include "common/game_file.h"
#include "common/util.h"

namespace {

constexpr int GAMES = 4;
const char* const GAME_FILES[GAMES] = {"holdem.limit.2p.reverse_blinds.game", "holdem.limit.3p.game",
                                       "holdem.nolimit.2p.reverse_blinds.game",
                                       "holdem.limit.2p.reverse_blinds.game"};

Game* holdemGame(int g) {
  static Game* games[GAMES] = {};
  if (!games[g]) {
    games[g] = readGameFile(std::string(POKER_GAMES_DIR) + "/" + GAME_FILES[g]).release();
    if (!games[g]) std::abort();
  }
  return games[g];
}

// Synthetic buckets at the large limit player's counts: 169 pre-flop, 2,000
// later, so that the records a deal touches are spread over as much memory.
class LargeSyntheticBuckets : public SyntheticBuckets {
 public:
  explicit LargeSyntheticBuckets(const Game* game) : SyntheticBuckets(game) { setHoldemBuckets(2000); }
  int holdemTableBucket(int players, int round, int seat, const uint8_t* cards) const override {
    const int seen = game->numHoleCards + sumBoardCards(game, static_cast<uint8_t>(round));
    uint32_t h = 2166136261u ^ static_cast<uint32_t>(players * 31 + seat);
    for (int c = 0; c < seen; ++c) h = (h ^ cards[c]) * 16777619u;
    return static_cast<int>(h % (round == 0 ? 169u : 2000u));
  }
};

std::unique_ptr<CFR> makeSolver(int g) {
  if (g == 3) return std::make_unique<LargeSyntheticBuckets>(holdemGame(g));
  return std::make_unique<SyntheticBuckets>(holdemGame(g));
}

// Peak resident memory of the process so far, in GB.
double peakResidentGB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / (1024.0 * 1024.0);
  return 0.0;
}

// Runs `f` with standard output discarded (its lines would mix with the report).
template <typename F>
void quietly(F&& f) {
  std::streambuf* saved = std::cout.rdbuf();
  std::ostringstream sink;
  std::cout.rdbuf(sink.rdbuf());
  f();
  std::cout.rdbuf(saved);
}

// One trained solver per game, kept between benchmarks, and the iterations
// it has been trained.
std::unique_ptr<CFR> kept[GAMES];
uint64_t trained[GAMES];

CFR& solver(int g) {
  if (!kept[g]) {
    kept[g] = makeSolver(g);
    quietly([&] { kept[g]->trainHoldem(0); });
    trained[g] = 0;
  }
  return *kept[g];
}

std::string strategyPath(int g) {
  const char* dir = std::getenv("HOLDEM_BENCH_DIR");
  return std::string(dir ? dir : "/tmp") + "/holdem_bench_strategy_" + std::to_string(g);
}

void BM_BuildTreeAndStore(benchmark::State& state) {
  const int g = static_cast<int>(state.range(0));
  kept[g].reset();
  size_t informationSets = 0;
  for (auto _ : state) {
    const std::unique_ptr<CFR> cfr = makeSolver(g);
    quietly([&] { cfr->trainHoldem(0); });
    informationSets = cfr->numInformationSets();
  }
  state.counters["information_sets"] = static_cast<double>(informationSets);
  state.counters["peak_rss_GB"] = peakResidentGB();
}

// Arguments: game, iterations per batch, threads (0: one per core), the
// iterations the solver has had before the timing starts, and the least tree
// decisions for which the threads are used. A fresh store
// plays uniformly and every pass visits the whole tree; once regrets have
// grown, many actions have probability zero and the pass skips the
// subtrees below them where nothing can change, as it does for most of a
// real training.
void BM_TrainHoldem(benchmark::State& state) {
  const int g = static_cast<int>(state.range(0));
  const uint64_t batch = static_cast<uint64_t>(state.range(1));
  const uint64_t before = static_cast<uint64_t>(state.range(3));
  CFR& cfr = solver(g);
  cfr.setThreads(static_cast<unsigned>(state.range(2)), static_cast<size_t>(state.range(4)));
  if (trained[g] < before) quietly([&] { cfr.trainHoldem(before - trained[g]); });
  trained[g] = std::max(trained[g], before);
  for (auto _ : state) quietly([&] { cfr.trainHoldem(batch); });
  trained[g] += state.iterations() * batch;
  state.counters["iterations/s"] =
      benchmark::Counter(static_cast<double>(state.iterations() * batch), benchmark::Counter::kIsRate);
  state.counters["peak_rss_GB"] = peakResidentGB();
}

void BM_SaveStrategy(benchmark::State& state) {
  const int g = static_cast<int>(state.range(0));
  CFR& cfr = solver(g);
  for (auto _ : state)
    if (!cfr.save(strategyPath(g))) state.SkipWithError("save failed");
  std::ifstream file(strategyPath(g), std::ios::binary | std::ios::ate);
  state.counters["file_GB"] = static_cast<double>(file.tellg()) / 1e9;
}

// The sweep over the store that a loaded strategy passes before play.
void BM_CheckSums(benchmark::State& state) {
  const int g = static_cast<int>(state.range(0));
  const CFR& cfr = solver(g);
  for (auto _ : state)
    if (!sumsProblem(cfr).empty()) state.SkipWithError("a trained strategy was refused");
  state.counters["records/s"] = benchmark::Counter(
      static_cast<double>(state.iterations() * cfr.numInformationSets()), benchmark::Counter::kIsRate);
}

void BM_LoadStrategy(benchmark::State& state) {
  const int g = static_cast<int>(state.range(0));
  kept[g].reset();  // at most one store of the game in memory
  for (auto _ : state) {
    kept[g].reset();
    kept[g] = makeSolver(g);
    if (!kept[g]->load(strategyPath(g))) state.SkipWithError("load failed");
  }
  std::remove(strategyPath(g).c_str());
  state.counters["peak_rss_GB"] = peakResidentGB();
}

}  // namespace

BENCHMARK(BM_BuildTreeAndStore)->DenseRange(0, 3)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_TrainHoldem)
    ->Args({0, 10000, 1, 0, 100000})
    ->Args({0, 10000, 1, 100000, 100000})
    ->Args({1, 4, 1, 0, 100000})
    ->Args({1, 4, 0, 0, 100000})
    ->Args({1, 20, 0, 500, 100000})
    ->Args({2, 100000, 1, 0, 100000})
    ->Args({3, 20000, 1, 2000000, 0})
    ->Args({3, 20000, 0, 2000000, 1000})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveStrategy)->DenseRange(0, 2)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_CheckSums)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadStrategy)->DenseRange(0, 2)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_MAIN();
