// Fold or call by price on worked no-limit states (blinds 100 and 50, stacks
// 20,000; seat 1 acts first pre-flop, seat 0 after it).
#include "price_answer.h"

#include <gtest/gtest.h>

#include "holdem_agent_support.h"
#include "support.h"

namespace {

class PriceAnswer : public ::testing::Test {
 protected:
  void SetUp() override {
    game = readGameFile(holdemGamePath("holdem.nolimit.2p.reverse_blinds.game"));
    ASSERT_TRUE(game);
  }
  State parse(const char* text) {
    MatchState ms;
    EXPECT_GT(readMatchState(text, game.get(), &ms), 0) << text;
    return ms.state;
  }
  GamePtr game;
};

TEST_F(PriceAnswer, RangeAndPriceFollowTheLastRaiseOfTheRound) {
  // A raise to 300 bets 200 into the 200 of the pot after a call: the better
  // half; the big blind pays 200 of a final pot of 600.
  State s = parse("MATCHSTATE:0:0:r300:Kh9c|");
  EXPECT_DOUBLE_EQ(raiserRangeShare(game.get(), &s, 0), 0.5);
  EXPECT_DOUBLE_EQ(callPrice(game.get(), &s, 0), 200.0 / 600.0);

  // A shove reads as no narrower than a third; the call pays 19,900 of 40,000.
  s = parse("MATCHSTATE:0:0:r20000:Kh9c|");
  EXPECT_DOUBLE_EQ(raiserRangeShare(game.get(), &s, 0), MIN_RAISER_SHARE);
  EXPECT_DOUBLE_EQ(callPrice(game.get(), &s, 0), 19900.0 / 40000.0);

  // On the flop a bet of 600 into 600, after a check.
  s = parse("MATCHSTATE:0:1:r300c/cr900:Kh9c|/2c3d4h");
  EXPECT_DOUBLE_EQ(raiserRangeShare(game.get(), &s, 0), 0.5);
  EXPECT_DOUBLE_EQ(callPrice(game.get(), &s, 0), 600.0 / 1800.0);

  // A raise of an earlier round does not narrow the range, and a check costs
  // nothing.
  s = parse("MATCHSTATE:1:1:r300c/c:|Kh9c/2c3d4h");
  EXPECT_DOUBLE_EQ(raiserRangeShare(game.get(), &s, 1), 1.0);
  EXPECT_DOUBLE_EQ(callPrice(game.get(), &s, 1), 0.0);
}

TEST_F(PriceAnswer, CallsWhenTheEquityPaysThePriceNeverRaises) {
  const State raised = parse("MATCHSTATE:0:0:r300:Kh9c|");  // price 1/3
  EXPECT_EQ(priceAnswer(game.get(), &raised, 0, 0.30).type, a_fold);
  const Action call = priceAnswer(game.get(), &raised, 0, 0.34);
  EXPECT_EQ(call.type, a_call);
  EXPECT_EQ(call.size, 0);
  EXPECT_EQ(priceAnswer(game.get(), &raised, 0, 1.0).type, a_call);
  // Nothing owed: a check whatever the hand, as a fold would be illegal.
  const State checked = parse("MATCHSTATE:1:1:r300c/c:|Kh9c/2c3d4h");
  EXPECT_EQ(priceAnswer(game.get(), &checked, 1, 0.0).type, a_call);
}

TEST(PriceEquity, Log5CombinesChancesAgainstARandomHand) {
  EXPECT_DOUBLE_EQ(log5WinChance(0.5, 0.5), 0.5);
  EXPECT_DOUBLE_EQ(log5WinChance(0.6, 0.4), 0.36 / 0.52);
  EXPECT_DOUBLE_EQ(log5WinChance(0.4, 0.6), 0.16 / 0.52);
  EXPECT_DOUBLE_EQ(log5WinChance(1.0, 0.3), 1.0);
  EXPECT_DOUBLE_EQ(log5WinChance(0.0, 0.0), 0.5);  // no information: even
}

TEST(PriceEquity, RangeIsTheTopShareWithTheCutOffHoldingInPart) {
  const std::vector<double> values = {3, 9, 1, 10, 5, 7, 2, 8, 4, 6};
  // Showdown values: the whole range, the tie counting a half.
  EXPECT_DOUBLE_EQ(equityAgainstRange(5, values, 1.0, true), 4.5 / 10);
  // The top 30% are 10, 9 and 8: all beat a 5.
  EXPECT_DOUBLE_EQ(equityAgainstRange(5, values, 0.3, true), 0.0);
  // The top 25%: 10, 9 and half of 8; a 9 loses to 10, ties 9, beats 8.
  EXPECT_DOUBLE_EQ(equityAgainstRange(9, values, 0.25, true), (0.0 + 0.5 + 0.5) / 2.5);
  // A share below one holding still holds the strongest.
  EXPECT_DOUBLE_EQ(equityAgainstRange(11, values, 0.0, true), 1.0);
  // Chances against a random hand, combined by log5.
  EXPECT_DOUBLE_EQ(equityAgainstRange(0.5, {0.5, 0.5}, 1.0, false), 0.5);
  EXPECT_DOUBLE_EQ(equityAgainstRange(0.6, {0.4, 0.9}, 0.5, false), log5WinChance(0.6, 0.9));
  EXPECT_DOUBLE_EQ(equityAgainstRange(0.6, {}, 0.5, false), 0.5);
}

TEST(PriceEquity, HoldingsAvoidTheDeadCards) {
  const uint8_t hole[2] = {0, 51};
  int calls = 0;
  const std::vector<double> strengths = holdingStrengths(hole, 2, [&](uint8_t a, uint8_t b) {
    EXPECT_LT(a, b);
    EXPECT_TRUE(a != 0 && a != 51 && b != 51);
    ++calls;
    return a * 100.0 + b;
  });
  EXPECT_EQ(strengths.size(), 50u * 49 / 2);
  EXPECT_EQ(calls, 50 * 49 / 2);
  EXPECT_DOUBLE_EQ(strengths.front(), 1 * 100.0 + 2);
  const uint8_t river[7] = {0, 1, 2, 3, 4, 5, 6};
  EXPECT_EQ(holdingStrengths(river, 7, [](uint8_t, uint8_t) { return 0.0; }).size(), 45u * 44 / 2);
}

}  // namespace
