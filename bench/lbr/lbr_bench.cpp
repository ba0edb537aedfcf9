// Deals per second of the local best response, one thread (two threads play
// twice as many: deals are independent). Against `call` every hand reaches
// the river, the LBR's dearest case against a baseline; the player's own
// strategy is measured when the working directory holds its strategies and
// lookup tables (as after scripts/match), with the real games.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "agents/price_answer.h"
#include "lbr.h"
#include "morvane_opponent.h"

namespace {

struct GameFree {
  void operator()(Game* game) const { std::free(game); }
};

std::unique_ptr<Game, GameFree> readHoldem(const char* betting) {
  const std::string path =
      std::string(POKER_GAMES_DIR) + "/holdem." + betting + ".2p.reverse_blinds.game";
  FILE* file = std::fopen(path.c_str(), "r");
  if (!file) return nullptr;
  std::unique_ptr<Game, GameFree> game(readGame(file));
  std::fclose(file);
  return game;
}

void playDeals(benchmark::State& st, const Game* game, const lbr::Opponent& opponent,
               lbr::ActionSet set) {
  lbr::Settings settings;
  settings.actions = set;
  const lbr::LocalBestResponse best(game, opponent, settings);
  uint64_t deal = 0;
  for (auto _ : st) benchmark::DoNotOptimize(best.playDeal(deal++));
  st.counters["deals/s"] = benchmark::Counter(static_cast<double>(deal), benchmark::Counter::kIsRate);
}

void baseline(benchmark::State& st, const char* betting, const char* name, lbr::ActionSet set) {
  auto game = readHoldem(betting);
  if (!game) return st.SkipWithError("no game file");
  auto opponent = lbr::makeBaseline(name, game.get());
  playDeals(st, game.get(), *opponent, set);
}

void player(benchmark::State& st, const char* betting, lbr::ActionSet set) {
  auto game = readHoldem(betting);
  if (!game) return st.SkipWithError("no game file");
  const std::string problem = lbr::MorvaneOpponent::missing(game.get(), "standard");
  if (!problem.empty()) return st.SkipWithError(problem.c_str());
  static std::unique_ptr<lbr::MorvaneOpponent> opponents[2];
  auto& opponent = opponents[set == lbr::ActionSet::fcr ? 0 : 1];
  if (!opponent)
    opponent = std::make_unique<lbr::MorvaneOpponent>(
        game.get(), std::string(POKER_GAMES_DIR) + "/holdem." + betting + ".2p.reverse_blinds.game");
  playDeals(st, game.get(), *opponent, set);
}

void showdowns(benchmark::State& st) {
  const int boardCards = static_cast<int>(st.range(0));
  const uint8_t hero[2] = {0, 5};
  const uint8_t board[5] = {10, 17, 24, 33, 47};
  lbr::Rng rng(1);
  lbr::Showdowns s;
  for (auto _ : st) s.prepare(hero, board, boardCards, 64, rng);
}

// The price rule's equities of every hand against one raiser's range, as the
// player answers an off-tree raise for each hand the LBR's range holds:
// range(0) 0 the plain reference, 1 the fast path; range(1) 1 the river's
// showdown values (with ties), 0 chances against a random hand (log5).
void priceRange(benchmark::State& st) {
  const bool fast = st.range(0) != 0;
  const bool exact = st.range(1) != 0;
  const uint8_t board[3] = {10, 17, 24};
  const auto strength = [&](uint8_t a, uint8_t b) {
    const unsigned mix = (a * 31u + b * 17u) % 997u;
    return exact ? static_cast<double>(mix % 200u) : mix / 997.0;
  };
  const std::vector<Holding> range = rangeHoldings(board, 3, strength);
  double sum = 0.0;
  for (auto _ : st) {
    RangeEquity against(range, 0.5, exact);
    for (const Holding& h : range)
      sum += fast ? against.equity(h.strength, h.cards)
                  : equityAgainstRange(h.strength, h.cards, range, 0.5, exact);
  }
  benchmark::DoNotOptimize(sum);
}

}  // namespace

BENCHMARK_CAPTURE(baseline, limit_call, "limit", "call", lbr::ActionSet::fcr)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(baseline, nolimit_call_fcpa, "nolimit", "call", lbr::ActionSet::fcpa)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(baseline, nolimit_random_wide, "nolimit", "random", lbr::ActionSet::wide)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(player, limit_morvane, "limit", lbr::ActionSet::fcr)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(player, nolimit_morvane_fcpa, "nolimit", lbr::ActionSet::fcpa)->Unit(benchmark::kMillisecond);
// Equity preparation by board size: pre-flop and flop sampled, turn and river exact.
BENCHMARK(priceRange)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMicrosecond);
BENCHMARK(showdowns)->Arg(0)->Arg(3)->Arg(4)->Arg(5)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
