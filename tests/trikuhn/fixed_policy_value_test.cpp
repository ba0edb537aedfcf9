// The exact evaluator used to judge the bot's results (lineups of equal
// players earn nothing on average, a player that always gives up loses its
// ante), and with it the equilibrium property of the family-1 table.
#include <gtest/gtest.h>

#include <algorithm>

#include "fixed_policy_value.h"
#include "kuhn_bot.h"
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

namespace {

using trikuhn_test::Profile;

// Family 1 with free parameters in their bounds is an equilibrium: no seat
// gains by deviating. This checks the table the bot writes, cell by cell.
TEST(FamilyOneTest, NoSeatGainsByDeviating) {
  struct Free {
    double beta, b32, c33Share, c34;
  };
  for (Free const f : {Free{0.25, 0.9375, 0.5, 1}, Free{0, 0, 0, 0}, Free{0.1, 0.3, 0.7, 0.4},
                       Free{0.2, 0.8, 1, 0.9}}) {
    PlayerModel m;
    m.at(1, 3, 2) = f.b32;
    double const lo = std::max(0.0, 0.5 - f.b32);
    double const hi = std::min(1.0, std::max(0.0, 0.5 - f.b32 + 1.75 * f.beta));
    m.at(2, 3, 3) = lo + (hi - lo) * f.c33Share;
    m.at(2, 3, 4) = f.c34;
    writeFamilyOne(m, f.beta);
    auto const strategy = [&m](int seat, CardIndex card, InfoSetSituation s) {
      return m.probabilities[seat][card][s];
    };
    Profile const profile{strategy, strategy, strategy};
    double total = 0;
    for (int seat = 0; seat < 3; ++seat) {
      double const value = trikuhn_test::profileValue(kuhnGame(), profile, seat);
      EXPECT_NEAR(trikuhn_test::bestResponseValue(kuhnGame(), profile, seat), value, 1e-12)
          << "seat " << seat << " beta " << f.beta << " b32 " << f.b32;
      total += value;
    }
    EXPECT_NEAR(total, 0, 1e-12);
  }
}

TEST(FamilyOneTest, ABetOutOfLineIsExploitable) {
  // Seat 1 bluffing the jack every time is punished.
  PlayerModel m;
  writeFamilyOne(m, 0.25);
  auto const family = [&m](int seat, CardIndex card, InfoSetSituation s) {
    return m.probabilities[seat][card][s];
  };
  auto const bluffer = [&m](int seat, CardIndex card, InfoSetSituation s) {
    return seat == 1 && card == jack && s == noBetYet ? 1.0 : m.probabilities[seat][card][s];
  };
  Profile const profile{family, bluffer, family};
  EXPECT_GT(trikuhn_test::bestResponseValue(kuhnGame(), profile, 2),
            trikuhn_test::profileValue(kuhnGame(), profile, 2) + 1e-3);
}

}  // namespace

namespace {

TEST(FamilyOneTest, BothEvaluatorsAgreeOnFixedOpponents) {
  PlayerModel m;
  m.at(1, 3, 2) = 0.6;
  m.at(2, 3, 3) = 0.2;
  m.at(2, 3, 4) = 0.7;
  writeFamilyOne(m, 0.15);
  auto const family = [&m](int seat, CardIndex card, InfoSetSituation s) {
    return m.probabilities[seat][card][s];
  };
  std::pair<FixedPolicy, trikuhn_test::KuhnStrategy> const policies[] = {
      {FixedPolicy::call, callPolicy},
      {FixedPolicy::raise, raisePolicy},
      {FixedPolicy::random, randomPolicy}};
  for (auto const& [policy, asStrategy] : policies)
    for (int seat = 0; seat < 3; ++seat) {
      Profile profile{asStrategy, asStrategy, asStrategy};
      profile[seat] = family;
      EXPECT_NEAR(trikuhn_test::profileValue(kuhnGame(), profile, seat),
                  valueInSeat(kuhnGame(), family, policy, seat), 1e-12);
    }
}

}  // namespace
