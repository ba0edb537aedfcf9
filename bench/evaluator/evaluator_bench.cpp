// Evaluator benchmarks. The table comes from POKER_TEST_LOOKUP (or "lookup")
// when a valid one is there, and is generated otherwise.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "cards/qel.h"
#include "cards/table_checks.h"
#include "cards/tpt.h"
#include "cards/tpt_generator.h"
#include "common/util.h"
#include "cards/win_estimate.h"

namespace {

const int* table() {
  static std::unique_ptr<int[]> t = [] {
    const char* env = std::getenv("POKER_TEST_LOOKUP");
    const std::string path = std::string(env ? env : "lookup") + "/tpt";
    if (table_file_ok(path, TPT_SIZE * sizeof(int)))
      return std::unique_ptr<int[]>(loadIntTable(path.c_str(), TPT_SIZE));
    return generateTptTable(false);
  }();
  return t.get();
}

// The content check run on every load of the table, next to reading the
// 130 MB file (BM_ReadTable).
void BM_CheckTable(benchmark::State& state) {
  const int* t = table();
  for (auto _ : state) benchmark::DoNotOptimize(stateTableProblem(t));
}
BENCHMARK(BM_CheckTable)->Unit(benchmark::kMillisecond);

void BM_ReadTable(benchmark::State& state) {
  const char* env = std::getenv("POKER_TEST_LOOKUP");
  const std::string path = std::string(env ? env : "lookup") + "/tpt";
  if (!table_file_ok(path, TPT_SIZE * sizeof(int))) {
    state.SkipWithError("no table file");
    return;
  }
  for (auto _ : state) {
    std::unique_ptr<int[]> read(loadIntTable(path.c_str(), TPT_SIZE));
    benchmark::DoNotOptimize(read.get());
  }
}
BENCHMARK(BM_ReadTable)->Unit(benchmark::kMillisecond);

void BM_GenerateTable(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(generateTptTable(false));
}
BENCHMARK(BM_GenerateTable)->Unit(benchmark::kMillisecond)->Iterations(3);

// Random seven-card hands, each walked from the root.
void BM_RandomSevenCardHands(benchmark::State& state) {
  const int* t = table();
  constexpr int HANDS = 1 << 20;
  std::vector<uint8_t> hands(HANDS * 7);
  std::mt19937 rng(1);
  uint8_t deck[52];
  for (int c = 0; c < 52; ++c) deck[c] = static_cast<uint8_t>(c);
  for (int h = 0; h < HANDS; ++h) {
    for (int i = 0; i < 7; ++i) std::swap(deck[i], deck[i + rng() % (52 - i)]);
    std::copy(deck, deck + 7, &hands[h * 7]);
  }
  for (auto _ : state) {
    int sum = 0;
    for (int h = 0; h < HANDS; ++h) sum += tptRank7(t, &hands[h * 7]);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * HANDS);
}
BENCHMARK(BM_RandomSevenCardHands)->Unit(benchmark::kMillisecond);

// Every seven-card hand in order, each prefix walked once.
void BM_EnumerateSevenCardHands(benchmark::State& state) {
  const int* t = table();
  for (auto _ : state) {
    int sum = 0;
    for (int a = 0; a < 52; ++a) {
      const int sa = t[TPT_ROOT + a + 1];
      for (int b = a + 1; b < 52; ++b) {
        const int sb = t[sa + b + 1];
        for (int c = b + 1; c < 52; ++c) {
          const int sc = t[sb + c + 1];
          for (int d = c + 1; d < 52; ++d) {
            const int sd = t[sc + d + 1];
            for (int e = d + 1; e < 52; ++e) {
              const int se = t[sd + e + 1];
              for (int f = e + 1; f < 52; ++f) {
                const int sf = t[se + f + 1];
                for (int g = f + 1; g < 52; ++g) sum += t[sf + g + 1];
              }
            }
          }
        }
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * 133784560LL);
}
BENCHMARK(BM_EnumerateSevenCardHands)->Unit(benchmark::kMillisecond)->Iterations(3);

// One qel estimate (10,000 samples) before the flop; the argument is the
// number of players.
void BM_QelEstimatePreflop(benchmark::State& state) {
  twoPlusTwoTable = const_cast<int*>(table());
  rng_state_t rng;
  init_genrand(&rng, 5);
  setQELRNG(&rng);
  uint8_t cards[2] = {makeCard(12, 0), makeCard(11, 0)};
  const unsigned players = static_cast<unsigned>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(evaluateHand2(cards, players));
  twoPlusTwoTable = nullptr;
}
BENCHMARK(BM_QelEstimatePreflop)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

// The equity builder's estimate: 1,000 samples with the process-wide engine's
// shuffle, on the river.
void BM_BuilderEstimateRiver(benchmark::State& state) {
  const int* t = table();
  uint8_t cards[7] = {makeCard(12, 0), makeCard(11, 0), makeCard(3, 1), makeCard(7, 2),
                      makeCard(9, 3), makeCard(0, 0), makeCard(5, 1)};
  const unsigned players = static_cast<unsigned>(state.range(0));
  for (auto _ : state)
    benchmark::DoNotOptimize(estimateWinProbability(t, cards, 7, players, 1000, shuffle));
}
BENCHMARK(BM_BuilderEstimateRiver)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
