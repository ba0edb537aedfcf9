// Showdown ranking runs at every terminal node of the solver's trees, and the
// match-state parser on every dealer line; both should cost well under a
// microsecond.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "game.h"
#include "showdown.h"

namespace {

std::vector<uint64_t> randomSevenCardSets(size_t count) {
  rng_state_t rng;
  init_genrand(&rng, 1);
  std::vector<uint64_t> sets;
  for (size_t i = 0; i < count; ++i) {
    uint64_t mask = 0;
    int cards = 0;
    while (cards < 7) {
      const uint8_t card = static_cast<uint8_t>(genrand_int32(&rng) % 52);
      const uint64_t bit = gamecore::cardBit(card);
      if (!(mask & bit)) {
        mask |= bit;
        ++cards;
      }
    }
    sets.push_back(mask);
  }
  return sets;
}

void BM_RankSevenCards(benchmark::State& state) {
  const std::vector<uint64_t> sets = randomSevenCardSets(4096);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(gamecore::rankShowdownHand(sets[i]));
    i = (i + 1) & 4095;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RankSevenCards);

const char kNoLimit[] =
    "nolimit\nnumPlayers 2\nnumRounds 4\nstack 20000 20000\nblind 100 50\nfirstPlayer 2 1 1 1\n"
    "numSuits 4\nnumRanks 13\nnumHoleCards 2\nnumBoardCards 0 3 1 1\n";

void BM_ReadMatchState(benchmark::State& state) {
  FILE* in = fmemopen(const_cast<char*>(kNoLimit), strlen(kNoLimit), "r");
  Game* game = readGame(in);
  fclose(in);
  MatchState ms;
  const char* line = "MATCHSTATE:0:17:r250c/cr700c/r1500c/cr4000:AhKd|/Th5c3s/7d/As";
  for (auto _ : state) benchmark::DoNotOptimize(readMatchState(line, game, &ms));
  free(game);
}
BENCHMARK(BM_ReadMatchState);

}  // namespace

BENCHMARK_MAIN();
