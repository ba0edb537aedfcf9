// Fold or call by price on worked no-limit states (blinds 100 and 50, stacks
// 20,000; seat 1 acts first pre-flop, seat 0 after it).
#include "agents/price_answer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

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

// In limit (blinds 10 and 5, bets 10, 10, 20, 20) calling down also pays one
// bet of each later round, which the raiser makes and the seat calls.
TEST(CallDownPrice, AddsOneCalledBetOfEachLaterRound) {
  GamePtr limit = readGameFile(holdemGamePath("holdem.limit.2p.reverse_blinds.game"));
  ASSERT_TRUE(limit);
  MatchState ms;
  // A flop bet of 10 into 20: the call pays 10 of 40, calling down 50 of 120.
  ASSERT_GT(readMatchState("MATCHSTATE:0:1:cc/cr:Kh9c|/2c3d4h", limit.get(), &ms), 0);
  EXPECT_DOUBLE_EQ(callPrice(limit.get(), &ms.state, 0), 10.0 / 40.0);
  EXPECT_DOUBLE_EQ(callDownPrice(limit.get(), &ms.state, 0), 50.0 / 120.0);
  // On the river the two agree; with nothing owed both are 0.
  ASSERT_GT(readMatchState("MATCHSTATE:0:1:cc/cc/cc/cr:Kh9c|/2c3d4h/5s/6c", limit.get(), &ms), 0);
  EXPECT_DOUBLE_EQ(callDownPrice(limit.get(), &ms.state, 0), 20.0 / 60.0);
  EXPECT_DOUBLE_EQ(callDownPrice(limit.get(), &ms.state, 0), callPrice(limit.get(), &ms.state, 0));
  ASSERT_GT(readMatchState("MATCHSTATE:0:1:cc/:Kh9c|/2c3d4h", limit.get(), &ms), 0);
  EXPECT_DOUBLE_EQ(callDownPrice(limit.get(), &ms.state, 0), 0.0);
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

// Holdings with made-up strengths: the pair of cards (a, b) is worth a + b.
std::vector<Holding> sumRange(std::vector<uint8_t> board) {
  return rangeHoldings(board.data(), static_cast<int>(board.size()),
                       [](uint8_t a, uint8_t b) { return double(a + b); });
}

TEST(PriceEquity, RangeHoldsEveryHoldingOffTheBoardStrongestFirst) {
  const std::vector<Holding> all = sumRange({});
  ASSERT_EQ(all.size(), 52u * 51 / 2);
  EXPECT_EQ(all.front().strength, 50 + 51);
  EXPECT_EQ(all.back().strength, 0 + 1);
  for (size_t i = 1; i < all.size(); ++i) ASSERT_GE(all[i - 1].strength, all[i].strength);
  const std::vector<Holding> river = sumRange({51, 50, 49, 48, 47});
  ASSERT_EQ(river.size(), 47u * 46 / 2);
  EXPECT_EQ(river.front().strength, 46 + 45);
}

TEST(PriceEquity, RangeIsTheTopShareOfWhatTheHandLeavesWithTheCutOffInPart) {
  // Cards 0 .. 4 only, worth their sum: ten holdings, of which the hand
  // (0, 1) leaves (2, 3) = 5, (2, 4) = 6 and (3, 4) = 7.
  const std::vector<uint8_t> board = [] {
    std::vector<uint8_t> b;
    for (uint8_t c = 5; c < 52; ++c) b.push_back(c);
    return b;
  }();
  const std::vector<Holding> range = sumRange(board);
  ASSERT_EQ(range.size(), 10u);
  const uint8_t hand[2] = {0, 1};
  // Showdown values: a 6 beats the 5, ties the 6, loses to the 7.
  EXPECT_DOUBLE_EQ(equityAgainstRange(6, hand, range, 1.0, true), 1.5 / 3);
  // Two thirds: the 7 and the 6. Half: the 7 and half of the 6.
  EXPECT_DOUBLE_EQ(equityAgainstRange(6, hand, range, 2.0 / 3, true), 0.5 / 2);
  EXPECT_DOUBLE_EQ(equityAgainstRange(6, hand, range, 0.5, true), 0.25 / 1.5);
  // A share below one holding still holds the strongest.
  EXPECT_DOUBLE_EQ(equityAgainstRange(8, hand, range, 0.0, true), 1.0);
  // Chances against a random hand combine by log5.
  const std::vector<Holding> chances = {{0.9, {10, 11}}, {0.4, {12, 13}}, {0.3, {0, 14}}};
  EXPECT_DOUBLE_EQ(equityAgainstRange(0.6, hand, chances, 1.0, false),
                   (log5WinChance(0.6, 0.9) + log5WinChance(0.6, 0.4)) / 2);
  EXPECT_DOUBLE_EQ(equityAgainstRange(0.6, hand, chances, 0.5, false), log5WinChance(0.6, 0.9));
  EXPECT_DOUBLE_EQ(equityAgainstRange(0.6, hand, {}, 0.5, false), 0.5);
}

double strengthOfCards(const std::vector<Holding>& range, uint8_t a, uint8_t b) {
  for (const Holding& h : range)
    if ((h.cards[0] == a && h.cards[1] == b) || (h.cards[0] == b && h.cards[1] == a)) return h.strength;
  return -1.0;
}

// The fast path against the plain reference: random strengths with many
// ties (the river's showdown values) and without (chances against a random
// hand), every hand off the board, shares from a single holding to all.
TEST(PriceEquity, FastPathEqualsTheReferenceForEveryHand) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> chance(0.0, 1.0);
  const std::vector<uint8_t> board = {3, 17, 30, 44, 51};
  for (const bool exact : {true, false}) {
    for (int boardCards : {0, 3, 5}) {
      const auto strength = [&](uint8_t, uint8_t) {
        return exact ? std::floor(chance(rng) * 40.0) : chance(rng);
      };
      const std::vector<Holding> range = rangeHoldings(board.data(), boardCards, strength);
      for (const double share : {0.0, 1e-4, 0.2, 1.0 / 3.0, 0.5, 0.77, 1.0}) {
        RangeEquity fast(range, share, exact);
        for (uint8_t a = 0; a < 52; ++a) {
          for (uint8_t b = a + 1; b < 52; ++b) {
            if (std::find(board.begin(), board.begin() + boardCards, a) != board.begin() + boardCards ||
                std::find(board.begin(), board.begin() + boardCards, b) != board.begin() + boardCards)
              continue;
            const uint8_t hand[2] = {a, b};
            // Hands of one strength share a memoised sum: ask some twice.
            const double hero = exact ? std::floor(chance(rng) * 40.0) : (a % 7) / 7.0 + 0.05;
            const double want = equityAgainstRange(hero, hand, range, share, exact);
            double own = -1.0;
            ASSERT_TRUE(fast.strengthOf(hand, &own));
            ASSERT_EQ(own, strengthOfCards(range, a, b));
            ASSERT_NEAR(fast.equity(hero, hand), want, 1e-12)
                << "exact " << exact << ", board " << boardCards << ", share " << share << ", hand "
                << int(a) << " " << int(b);
          }
        }
      }
    }
  }
  // Hand-made ranges that do not cover the deck, as the worked cases above.
  const std::vector<Holding> chances = {{0.9, {10, 11}}, {0.4, {12, 13}}, {0.3, {0, 14}}};
  const uint8_t hand[2] = {0, 1};
  for (const double share : {0.0, 0.5, 1.0}) {
    RangeEquity fast(chances, share, false);
    EXPECT_NEAR(fast.equity(0.6, hand), equityAgainstRange(0.6, hand, chances, share, false), 1e-15);
  }
  const std::vector<Holding> nothing;
  RangeEquity empty(nothing, 0.5, false);
  EXPECT_EQ(empty.equity(0.6, hand), 0.5);
  double own;
  EXPECT_FALSE(empty.strengthOf(hand, &own));
}

}  // namespace
