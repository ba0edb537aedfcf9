// The exact evaluator used to judge the bot's results: lineups of equal
// players earn nothing on average, and a player that always gives up loses
// its ante.
#include <gtest/gtest.h>

#include "fixed_policy_value.h"
#include "test_support.h"

using namespace KuhnPoker::ThreePlayer;
using trikuhn_test::FixedPolicy;
using trikuhn_test::kuhnGame;
using trikuhn_test::valueInSeat;
using trikuhn_test::valueOverSeats;

namespace {

double callPolicy(int, CardIndex, InfoSetSituation s) { return s == noBetYet ? 0 : 1; }
double raisePolicy(int, CardIndex, InfoSetSituation) { return 1; }
double randomPolicy(int, CardIndex, InfoSetSituation) { return 0.5; }
double giveUp(int, CardIndex, InfoSetSituation) { return 0; }

TEST(FixedPolicyValueTest, PlayersLikeTheirOpponentsBreakEven) {
  EXPECT_NEAR(valueOverSeats(kuhnGame(), callPolicy, FixedPolicy::call), 0, 1e-12);
  EXPECT_NEAR(valueOverSeats(kuhnGame(), raisePolicy, FixedPolicy::raise), 0, 1e-12);
  EXPECT_NEAR(valueOverSeats(kuhnGame(), randomPolicy, FixedPolicy::random), 0, 1e-12);
  // Showdowns only: each seat is equally likely to hold the best card.
  for (int seat = 0; seat < 3; ++seat)
    EXPECT_NEAR(valueInSeat(kuhnGame(), callPolicy, FixedPolicy::call, seat), 0, 1e-12);
}

TEST(FixedPolicyValueTest, GivingUpToEveryBetLosesTheAnte) {
  for (int seat = 0; seat < 3; ++seat)
    EXPECT_DOUBLE_EQ(valueInSeat(kuhnGame(), giveUp, FixedPolicy::raise, seat), -1);
  // Folders give the pot to a bettor: seat 0 bets and wins both antes.
  EXPECT_DOUBLE_EQ(valueInSeat(kuhnGame(), raisePolicy, FixedPolicy::fold, 0), 2);
}

}  // namespace
