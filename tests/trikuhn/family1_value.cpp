// Prints what the bot's starting strategy earns per hand against two
// simplebots of each policy, exactly, per seat and averaged over the seats.
//
//   trikuhn_family1_value SEED
//
// SEED is the bot's random seed (its -r option): the starting strategy
// depends on the draws made at construction. Two strategies are shown: the
// one the bot plays in its first hand, whose b33 and b41 still follow the
// beta drawn at construction, and the family-1 member with the bot's
// starting free parameters throughout (b33 and b41 from its beta too).
#include <cstdio>
#include <cstdlib>
#include <random>

#include "fixed_policy_value.h"
#include "kuhn_bot.h"
#include "test_support.h"

using namespace KuhnPoker::ThreePlayer;
using KuhnPoker::ThreePlayer::BetaAndFreeOptimized::BetaAndFreeOptimizedBot;
using trikuhn_test::FixedPolicy;

namespace {

void report(char const* title, PlayerModel const& m) {
  std::printf("%s: b11 %.6f b21 %.6f b32 %.6f b33 %.6f b41 %.6f c33 %.6f c34 %.6f\n", title,
              m.at(1, 1, 1), m.at(1, 2, 1), m.at(1, 3, 2), m.at(1, 3, 3), m.at(1, 4, 1),
              m.at(2, 3, 3), m.at(2, 3, 4));
  auto const strategy = [&m](int seat, CardIndex card, InfoSetSituation s) {
    return m.probabilities[seat][card][s];
  };
  struct Lineup {
    char const* name;
    FixedPolicy policy;
  };
  for (Lineup const& lineup : {Lineup{"raise", FixedPolicy::raise}, Lineup{"call", FixedPolicy::call},
                               Lineup{"random", FixedPolicy::random}}) {
    std::printf("  vs %-6s %-6s:", lineup.name, lineup.name);
    for (int seat = 0; seat < 3; ++seat)
      std::printf("  seat %d %+.6f", seat,
                  trikuhn_test::valueInSeat(trikuhn_test::kuhnGame(), strategy, lineup.policy, seat));
    std::printf("  mean %+.6f\n",
                trikuhn_test::valueOverSeats(trikuhn_test::kuhnGame(), strategy, lineup.policy));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: trikuhn_family1_value SEED\n");
    return 1;
  }
  std::mt19937 engine(static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)));
  BetaAndFreeOptimizedBot const bot(trikuhn_test::kuhnGame(), engine);
  PlayerModel const& self = bot.modeler.models[thisPlayer];
  report("first-hand strategy", self);

  PlayerModel member = self;
  writeFamilyOne(member, member.at(1, 1, 1));
  report("family-1 member", member);
  return 0;
}
