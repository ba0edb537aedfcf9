// The large no-limit betting abstraction: legal sizes on hand-made states and
// on random hands, and the pseudo-harmonic reading of other sizes.
#include "abstraction/bet_abstraction.h"

#include <gtest/gtest.h>

#include <random>

#include "holdem_agent_support.h"
#include "support.h"

namespace {

class BetSizes : public ::testing::Test {
 protected:
  void SetUp() override {
    game = readGameFile(holdemGamePath("holdem.nolimit.2p.reverse_blinds.game"));
    ASSERT_TRUE(game);
  }
  std::vector<int32_t> sizesAfter(const char* betting) {
    std::string text = std::string("MATCHSTATE:0:0:") + betting + ":Kh9c|";
    if (std::string(betting).find('/') != std::string::npos) text += "/2c3d4h";
    MatchState ms;
    EXPECT_GT(readMatchState(text.c_str(), game.get(), &ms), 0) << text;
    return abstractRaiseSizes(game.get(), &ms.state);
  }
  GamePtr game;
};

TEST_F(BetSizes, FewerSizesDeeperInARoundAndAllInAlways) {
  // The small blind opens into a pot of 200 after its call.
  EXPECT_EQ(sizesAfter(""), (std::vector<int32_t>{200, 300, 500, 20000}));
  // The second raise of the round: the pot (600 after a call), twice the
  // pot or all-in.
  EXPECT_EQ(sizesAfter("r300"), (std::vector<int32_t>{900, 1500, 20000}));
  // The third: the pot (1,800 after a call) or all-in.
  EXPECT_EQ(sizesAfter("r300r900"), (std::vector<int32_t>{2700, 20000}));
  // The fourth: all-in only.
  EXPECT_EQ(sizesAfter("r300r900r2700"), (std::vector<int32_t>{20000}));
  // A new round starts over: half pot, pot, twice the pot of 600.
  EXPECT_EQ(sizesAfter("r300c/"), (std::vector<int32_t>{600, 900, 1500, 20000}));
}

TEST_F(BetSizes, SizesMeetAtTheStackAndVanishWhenNoRaiseIsLeft) {
  // A pot raise beyond the stack is all-in, kept once; the minimum raise
  // (37,900) is beyond the stack too, so all-in is the only raise.
  EXPECT_EQ(sizesAfter("r19000"), (std::vector<int32_t>{20000}));
  // Re-raising 6,000: the pot (12,000 after a call) makes 18,000; twice the
  // pot is beyond the stack and meets all-in.
  EXPECT_EQ(sizesAfter("r6000"), (std::vector<int32_t>{18000, 20000}));
  // Facing all-in nobody can raise.
  EXPECT_TRUE(sizesAfter("r20000").empty());
  // A stack of 450 leaves the half pot and pot raises, the others all-in.
  Game small = *game;
  small.stack[0] = small.stack[1] = 450;
  State state;
  initState(&small, 0, &state);
  EXPECT_EQ(abstractRaiseSizes(&small, &state), (std::vector<int32_t>{200, 300, 450}));
}

TEST_F(BetSizes, EverySizeIsLegalInRandomHands) {
  std::mt19937 rng(7);
  for (int hand = 0; hand < 300; ++hand) {
    Game g = *game;
    // Uneven stacks, some shorter than a few raises.
    g.stack[0] = 150 + static_cast<int32_t>(rng() % 20000);
    g.stack[1] = 150 + static_cast<int32_t>(rng() % 20000);
    State state;
    initState(&g, hand, &state);
    while (!state.finished) {
      const std::vector<int32_t> sizes = abstractRaiseSizes(&g, &state);
      for (size_t i = 0; i < sizes.size(); ++i) {
        Action raise = {a_raise, sizes[i]};
        ASSERT_TRUE(isValidAction(&g, &state, 0, &raise)) << sizes[i];
        if (i > 0) {
          ASSERT_LT(sizes[i - 1], sizes[i]);
        }
      }
      int32_t minimum = 0, maximum = 0;
      if (raiseIsValid(&g, &state, &minimum, &maximum)) {
        ASSERT_EQ(sizes.back(), maximum);
      }
      Action action = {a_call, 0};
      const unsigned pick = rng() % 4;
      if (pick < 2 && !sizes.empty()) action = {a_raise, sizes[rng() % sizes.size()]};
      if (pick == 3) {
        Action fold = {a_fold, 0};
        if (isValidAction(&g, &state, 0, &fold)) action = fold;
      }
      doAction(&g, &action, &state);
    }
  }
}

TEST_F(BetSizes, RaiseFractionOfThePotAfterACall) {
  State state;
  initState(game.get(), 0, &state);
  EXPECT_EQ(potAfterCall(game.get(), &state), 200);
  EXPECT_DOUBLE_EQ(raiseFraction(game.get(), &state, 300), 1.0);
  EXPECT_DOUBLE_EQ(raiseFraction(game.get(), &state, 200), 0.5);
}

TEST_F(BetSizes, AbstractRaisesAreSentAsLegalAmounts) {
  State state;
  initState(game.get(), 0, &state);
  EXPECT_EQ(abstractRaiseFractions(game.get(), &state), (std::vector<double>{0.5, 1.0, 2.0, 99.5}));
  EXPECT_EQ(legalRaiseTo(game.get(), &state, 1.0), 300);
  EXPECT_EQ(legalRaiseTo(game.get(), &state, 0.1), 200);    // the minimum raise
  EXPECT_EQ(legalRaiseTo(game.get(), &state, 500.0), 20000);  // all-in
}

TEST_F(BetSizes, RealHistoriesAreReadInTheAbstraction) {
  const auto read = [&](const char* betting, double draw) {
    std::string text = std::string("MATCHSTATE:0:0:") + betting + ":Kh9c|";
    if (std::string(betting).find('/') != std::string::npos) text += "/2c3d4h";
    MatchState ms;
    EXPECT_GT(readMatchState(text.c_str(), game.get(), &ms), 0) << text;
    const AbstractHistory h = readHistory(game.get(), ms.state, [&](int) { return draw; });
    char text2[512] = "";
    printState(game.get(), &h.state, sizeof text2, text2);
    // "STATE:hand:betting:cards": the betting alone.
    std::string out = text2;
    out = out.substr(out.find(':', 6) + 1);
    out = out.substr(0, out.find(':'));
    EXPECT_EQ(h.state.holeCards[0][0], ms.state.holeCards[0][0]);
    return std::make_pair(out, h.complete);
  };
  using Read = std::pair<std::string, bool>;
  // A size of the abstraction is kept; calls and folds are copied.
  EXPECT_EQ(read("r300c/cr900f", 0.5), Read("r300c/cr900f", true));
  // Three quarters of the pot: half pot with chance 0.4286, else the pot.
  EXPECT_EQ(read("r250", 0.42), Read("r200", true));
  EXPECT_EQ(read("r250", 0.43), Read("r300", true));
  // A re-raise to 5,000 lies between twice the pot (1,500) and all-in.
  EXPECT_EQ(read("r300r5000", 0.1), Read("r300r1500", true));
  EXPECT_EQ(read("r300r5000", 0.9), Read("r300r20000", true));
  // Read as all-in and called, the abstract hand is over before the real one.
  EXPECT_EQ(read("r300r5000c/", 0.9).second, false);
  // A third raise below the pot is read as the pot; a fourth has only all-in
  // left.
  EXPECT_EQ(read("r300r900r2000", 0.5), Read("r300r900r2700", true));
  EXPECT_EQ(read("r300r900r2000r5000", 0.5), Read("r300r900r2700r20000", true));
  // A fifth has none and is read as a call, so that the real fold after it
  // has no reading.
  EXPECT_EQ(read("r300r900r2000r5000r9000f", 0.5).second, false);
}

TEST(PseudoHarmonic, ReadsSizesBetweenAtAndBeyondTheAbstraction) {
  // f(x) = ((B - x)(1 + A)) / ((B - A)(1 + x)).
  EXPECT_DOUBLE_EQ(pseudoHarmonicLowerChance(0.5, 1.0, 0.75), (0.25 * 1.5) / (0.5 * 1.75));
  EXPECT_DOUBLE_EQ(pseudoHarmonicLowerChance(1.0, 2.0, 1.5), (0.5 * 2.0) / (1.0 * 2.5));
  EXPECT_DOUBLE_EQ(pseudoHarmonicLowerChance(0.5, 1.0, 0.5), 1.0);
  EXPECT_DOUBLE_EQ(pseudoHarmonicLowerChance(0.5, 1.0, 1.0), 0.0);

  const std::vector<double> sizes = {0.5, 1.0, 2.0, 99.5};
  SizeReading r = readRaiseSize(sizes, 0.75);
  EXPECT_EQ(r.lower, 0);
  EXPECT_EQ(r.upper, 1);
  EXPECT_DOUBLE_EQ(r.lowerChance, (0.25 * 1.5) / (0.5 * 1.75));
  r = readRaiseSize(sizes, 10.0);  // between twice the pot and all-in
  EXPECT_EQ(r.lower, 2);
  EXPECT_EQ(r.upper, 3);
  EXPECT_DOUBLE_EQ(r.lowerChance, (89.5 * 3.0) / (97.5 * 11.0));
  r = readRaiseSize(sizes, 1.0);  // at a size
  EXPECT_EQ(r.lower, 1);
  EXPECT_EQ(r.upper, 1);
  EXPECT_DOUBLE_EQ(r.lowerChance, 1.0);
  r = readRaiseSize(sizes, 0.1);  // below the smallest
  EXPECT_EQ(r.lower, 0);
  EXPECT_EQ(r.upper, 0);
  r = readRaiseSize(sizes, 150.0);  // beyond the largest
  EXPECT_EQ(r.lower, 3);
  EXPECT_EQ(r.upper, 3);
}

}  // namespace
