// Prints what the bot's starting strategy (the family-1 member it plays
// before it has seen a hand) earns per hand against two simplebots of each
// policy, exactly, averaged over the seats.
//
//   trikuhn_family1_value SEED
//
// SEED is the bot's random seed (its -r option): the starting strategy
// depends on the draws made at construction.
#include <cstdio>
#include <cstdlib>
#include <random>

#include "fixed_policy_value.h"
#include "kuhn_bot.h"
#include "test_support.h"

using namespace KuhnPoker::ThreePlayer;
using KuhnPoker::ThreePlayer::BetaAndFreeOptimized::BetaAndFreeOptimizedBot;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: trikuhn_family1_value SEED\n");
    return 1;
  }
  std::mt19937 engine(static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)));
  BetaAndFreeOptimizedBot const bot(trikuhn_test::kuhnGame(), engine);
  PlayerModel const& self = bot.modeler.models[thisPlayer];
  std::printf("starting parameters: b11 %.6f b21 %.6f b32 %.6f b33 %.6f b41 %.6f c33 %.6f c34 %.6f\n",
              self.at(1, 1, 1), self.at(1, 2, 1), self.at(1, 3, 2), self.at(1, 3, 3),
              self.at(1, 4, 1), self.at(2, 3, 3), self.at(2, 3, 4));
  auto const strategy = [&self](int seat, CardIndex card, InfoSetSituation s) {
    return self.probabilities[seat][card][s];
  };
  struct Lineup {
    char const* name;
    trikuhn_test::FixedPolicy policy;
  };
  for (Lineup const& lineup : {Lineup{"raise", trikuhn_test::FixedPolicy::raise},
                               Lineup{"call", trikuhn_test::FixedPolicy::call},
                               Lineup{"random", trikuhn_test::FixedPolicy::random}}) {
    std::printf("vs %-6s %-6s:", lineup.name, lineup.name);
    for (int seat = 0; seat < 3; ++seat)
      std::printf("  seat %d %+.6f", seat,
                  trikuhn_test::valueInSeat(trikuhn_test::kuhnGame(), strategy, lineup.policy, seat));
    std::printf("  mean %+.6f\n",
                trikuhn_test::valueOverSeats(trikuhn_test::kuhnGame(), strategy, lineup.policy));
  }
  return 0;
}
