// The qel module: loading its tables, the converting rankers, the Monte Carlo
// estimators against exact enumeration, and winProb.
#include <algorithm>
#include <functional>
#include <filesystem>
#include <fstream>
#include <vector>

#include "hands.h"
#include "lookup_fixture.h"
#include "cards/qel.h"
#include "scratch_dir.h"
#include "cards/tpt_generator.h"
#include "common/util.h"

namespace {

namespace fs = std::filesystem;

// Runs with lookup/tpt and lookup/tpt.indexes linked to the shared tables.
class QelTest : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    ASSERT_NE(sharedTable(), nullptr) << "no valid table in POKER_TEST_LOOKUP";
    fs::create_symlink(testLookupDir() + "/tpt", "lookup/tpt");
    fs::create_symlink(testLookupDir() + "/tpt.indexes", "lookup/tpt.indexes");
    init_genrand(&rng_, 20240601);
    setQELRNG(&rng_);
  }
  void TearDown() override {
    freeLookupTables();
    ScratchDirTest::TearDown();
  }
  void load() { output_ = capturedOutput(loadLookupTables); }
  rng_state_t rng_;
  std::string output_;
};

// Estimators on the shared table, without reading the files again.
class EstimatorTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(sharedTable(), nullptr) << "no valid table in POKER_TEST_LOOKUP";
    twoPlusTwoTable = const_cast<int*>(sharedTable());
    init_genrand(&rng_, 20240601);
    setQELRNG(&rng_);
  }
  void TearDown() override { twoPlusTwoTable = nullptr; }
  rng_state_t rng_;
};

// Exact probability that the hero beats every one of `opponents` random
// hands (ties lose), by enumerating every remaining board and deal.
double exactWinProbability(const std::vector<uint8_t>& known, int opponents) {
  const int* t = sharedTable();
  std::vector<uint8_t> rest;
  for (int c = 0; c < 52; ++c)
    if (std::find(known.begin(), known.end(), c) == known.end()) rest.push_back(static_cast<uint8_t>(c));
  const int n = static_cast<int>(rest.size());
  const int boardKnown = static_cast<int>(known.size()) - 2;
  long wins = 0, total = 0;
  std::vector<uint8_t> full(known);
  // Completes the board with the missing cards (rest indices above `from`), then deals.
  std::function<void(int, int)> board = [&](int from, int missing) {
    if (missing > 0) {
      for (int i = from; i < n; ++i) {
        full.push_back(rest[i]);
        board(i + 1, missing - 1);
        full.pop_back();
      }
      return;
    }
    const int b = tptWalk(t, TPT_ROOT, full.data() + 2, 5);
    const int hero = t[t[b + full[0] + 1] + full[1] + 1];
    std::vector<uint8_t> free;
    for (uint8_t c : rest)
      if (std::find(full.begin(), full.end(), c) == full.end()) free.push_back(c);
    const int m = static_cast<int>(free.size());
    for (int i = 0; i < m; ++i)
      for (int j = i + 1; j < m; ++j) {
        const bool beatsFirst = t[t[b + free[i] + 1] + free[j] + 1] < hero;
        if (opponents == 1) {
          wins += beatsFirst;
          ++total;
          continue;
        }
        for (int k = 0; k < m; ++k)
          for (int l = k + 1; l < m; ++l) {
            if (k == i || k == j || l == i || l == j) continue;
            wins += beatsFirst && t[t[b + free[k] + 1] + free[l] + 1] < hero;
            ++total;
          }
      }
  };
  board(0, 5 - boardKnown);
  return static_cast<double>(wins) / total;
}

TEST_F(QelTest, LoadsItsTablesAndNamesTheMissingOnes) {
  load();
  ASSERT_NE(twoPlusTwoTable, nullptr);
  ASSERT_NE(twoPlusTwoConversion, nullptr);
  EXPECT_EQ(qelIndexes, nullptr);
  EXPECT_EQ(qelRiver, nullptr);
  EXPECT_EQ(output_,
            "Warning: not loaded (missing or wrong size, left empty): lookup/qel.indexes, "
            "lookup/qel.preflop, lookup/qel.flop, lookup/qel.turn, lookup/qel.river\n");

  std::vector<uint8_t> royal = hand("AsKsQsJsTs2c3d"), worst = hand("7c5d4h3s2c");
  EXPECT_EQ(rankHand7(royal.data()), 36874);
  EXPECT_EQ(rankHand6(royal.data()), 36874);
  EXPECT_EQ(rankHand7C(royal.data()), HAND_CLASSES);
  EXPECT_EQ(rankHand5C(worst.data()), 1);
  std::vector<uint8_t> bestPairs = hand("AcAdKhKsQc2d");
  EXPECT_EQ(rankHand6C(bestPairs.data()), 1277 + 2860 + 858);  // best two pair
  freeLookupTables();
  EXPECT_EQ(twoPlusTwoTable, nullptr);
}

TEST_F(QelTest, LoadsQelTablesWhenPresent) {
  const struct {
    const char* name;
    size_t bytes;
  } files[] = {{"lookup/qel.indexes", 2704 * 4}, {"lookup/qel.preflop", 2704 * 8},
               {"lookup/qel.flop", 1261078 * 8}, {"lookup/qel.turn", 1261078 * 8},
               {"lookup/qel.river", 100}};  // wrong size: left out
  for (const auto& f : files) {
    std::ofstream out(f.name, std::ios::binary);
    out << std::string(f.bytes, '\0');
  }
  load();
  EXPECT_NE(qelIndexes, nullptr);
  EXPECT_NE(qelPreFlop, nullptr);
  EXPECT_NE(qelFlop, nullptr);
  EXPECT_NE(qelTurn, nullptr);
  EXPECT_EQ(qelRiver, nullptr);
  EXPECT_EQ(output_, "Warning: not loaded (missing or wrong size, left empty): lookup/qel.river\n");
}

TEST_F(EstimatorTest, CertainOutcomes) {
  std::vector<uint8_t> cards = hand("2c7dAsKsQsJsTs");  // royal flush on the board
  for (unsigned players : {0u, 1u}) {
    EXPECT_EQ(evaluateHand2(cards.data(), players), 1.0);
    EXPECT_EQ(evaluateHand5(cards.data(), players), 1.0);
    EXPECT_EQ(evaluateHand6(cards.data(), players), 1.0);
    EXPECT_EQ(evaluateHand7(cards.data(), players), 1.0);
  }
  // Everybody plays the board: every sample ties, and ties lose.
  EXPECT_EQ(evaluateHand7(cards.data()), 0.0);
  EXPECT_EQ(evaluateHand7(cards.data(), 3), 0.0);
  // The hero holds the royal flush: nobody can tie it.
  std::vector<uint8_t> nuts = hand("AhKhQhJhTh2c3d");
  EXPECT_EQ(evaluateHand7(nuts.data(), 4), 1.0);
  EXPECT_EQ(evaluateHand6(nuts.data(), 3), 1.0);
  EXPECT_EQ(evaluateHand5(nuts.data()), 1.0);
}

TEST_F(EstimatorTest, PocketAcesBeatOneRandomHandAboutEightyFivePercent) {
  std::vector<uint8_t> aces = hand("AcAd");
  EXPECT_NEAR(evaluateHand2(aces.data()), 0.85, 0.015);
  EXPECT_NEAR(evaluateHand2(aces.data(), 2), 0.85, 0.015);
}

// 10,000 samples give a standard error of at most 0.005; the bound leaves
// room for the partial shuffle's slight bias.
TEST_F(EstimatorTest, EstimatesAgreeWithExactEnumeration) {
  const struct {
    const char* cards;
    unsigned players;
  } cases[] = {
      {"AhKhQh7h2c", 2}, {"9s8s7s6d2cKh", 2}, {"QdQcQs7h2d9c3s", 2},
      {"Td9dTs4c4h8c2s", 3},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> cards = hand(c.cards);
    const double exact = exactWinProbability(cards, static_cast<int>(c.players) - 1);
    double estimate = 0;
    switch (cards.size()) {
      case 5: estimate = evaluateHand5(cards.data(), c.players); break;
      case 6: estimate = evaluateHand6(cards.data(), c.players); break;
      case 7: estimate = evaluateHand7(cards.data(), c.players); break;
    }
    EXPECT_NEAR(estimate, exact, 0.02) << c.cards;
  }
}

TEST_F(EstimatorTest, EstimatesRepeatWithTheSameGenerator) {
  std::vector<uint8_t> cards = hand("JcTc9h4d2s");
  rng_state_t a, b;
  init_genrand(&a, 99);
  init_genrand(&b, 99);
  setQELRNG(&a);
  const double first = evaluateHand5(cards.data(), 3);
  setQELRNG(&b);
  EXPECT_EQ(evaluateHand5(cards.data(), 3), first);
}

TEST_F(EstimatorTest, WinProbFollowsTheRound) {
  MatchState ms{};
  ms.viewingPlayer = 1;
  const std::vector<uint8_t> hole = hand("AhKh"), board = hand("QhJhTh2c3d");
  std::copy(hole.begin(), hole.end(), ms.state.holeCards[1]);
  ms.state.holeCards[0][0] = 0;  // the other seat's cards are not used
  ms.state.holeCards[0][1] = 1;
  std::copy(board.begin(), board.end(), ms.state.boardCards);
  const double untouched = -7.0;
  for (int round = 0; round < 4; ++round) {
    ms.state.round = static_cast<uint8_t>(round);
    double out[4] = {untouched, -1, -1, -1};
    winProb(&ms, out);
    EXPECT_EQ(out[0], untouched);
    EXPECT_EQ(out[1], 1.0);
    if (round >= 1) {  // the flop already makes the royal flush
      EXPECT_EQ(out[2], 1.0) << round;
      EXPECT_EQ(out[3], 1.0) << round;
    } else {
      EXPECT_GT(out[2], 0.6);
      EXPECT_LT(out[3], out[2]);
    }
  }
  ms.state.round = 4;
  double out[4] = {untouched, -1, -1, -1};
  winProb(&ms, out);
  EXPECT_EQ(out[0], untouched);
  EXPECT_EQ(out[1], 0.0);
  EXPECT_EQ(out[2], 0.0);
  EXPECT_EQ(out[3], 0.0);
}

}  // namespace
