// The solver on three-player Kuhn poker: keys, deals, tree, pruning,
// training against the reference recursion, utility and exploitability.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <stdexcept>
#include <string>

#include "solver/cfr.h"
#include "cards/combinator.h"
#include "analysis/exploitability.h"
#include "support.h"
#include "common/util.h"

namespace {

class KuhnSolver : public ::testing::Test {
 protected:
  void SetUp() override {
    game = kuhnGame();
    ASSERT_TRUE(game);
  }
  GamePtr game;
};

State stateAfter(const Game* game, const char* actions, const uint8_t cards[3]) {
  State state;
  initState(game, 0, &state);
  for (int p = 0; p < 3; ++p) state.holeCards[p][0] = cards[p];
  for (const char* c = actions; *c; ++c) {
    Action action{*c == 'f' ? a_fold : *c == 'c' ? a_call : a_raise, 0};
    EXPECT_TRUE(isValidAction(game, &state, 0, &action));
    doAction(game, &action, &state);
  }
  return state;
}

}  // namespace

TEST(Combinator, VisitsEverySubsetOnceInOrder) {
  const uint8_t elements[5] = {10, 11, 12, 13, 14};
  combinator c(elements, 5, 3);
  std::vector<std::vector<int>> seen;
  while (c.next()) {
    const uint8_t* s = c.getCurrent();
    seen.push_back({s[0], s[1], s[2]});
  }
  ASSERT_EQ(seen.size(), 10u);
  EXPECT_EQ(seen.front(), (std::vector<int>{10, 11, 12}));
  EXPECT_EQ(seen.back(), (std::vector<int>{12, 13, 14}));
  EXPECT_EQ(std::set<std::vector<int>>(seen.begin(), seen.end()).size(), 10u);
  for (const auto& s : seen) EXPECT_TRUE(s[0] < s[1] && s[1] < s[2]);

  c.reset();
  int again = 0;
  while (c.next()) ++again;
  EXPECT_EQ(again, 10);

  combinator whole(elements, 5, 5);
  int count = 0;
  while (whole.next()) ++count;
  EXPECT_EQ(count, 1);
}

TEST_F(KuhnSolver, KeysUseSeatRoundRankBucketAndHistory) {
  CFR cfr(game.get());
  // Dealer cards: jack to ace of spades are ranks 9 to 12.
  const uint8_t dealt[3] = {makeCard(9, 3), makeCard(11, 3), makeCard(12, 3)};
  State s = stateAfter(game.get(), "", dealt);
  EXPECT_EQ(cfr.abstraction(&s), "0:0:0:");
  s = stateAfter(game.get(), "c", dealt);
  EXPECT_EQ(cfr.abstraction(&s), "1:0:2:c");
  s = stateAfter(game.get(), "cr", dealt);
  EXPECT_EQ(cfr.abstraction(&s), "2:0:3:cr");
  // The training deck's ranks 0 to 3 give the same buckets.
  const uint8_t training[3] = {makeCard(0, 0), makeCard(2, 0), makeCard(3, 0)};
  s = stateAfter(game.get(), "cr", training);
  EXPECT_EQ(cfr.abstraction(&s), "2:0:3:cr");
}

TEST_F(KuhnSolver, EnumeratesTwentyFourDistinctDeals) {
  CFR cfr(game.get());
  std::set<std::vector<uint8_t>> deals;
  cfr.forEachDeal([&](const uint8_t* c) { deals.insert({c[0], c[1], c[2]}); });
  EXPECT_EQ(deals.size(), 24u);
  for (const auto& d : deals)
    for (uint8_t card : d) EXPECT_LT(card, 16);
}

TEST_F(KuhnSolver, TreeHasFortyEightInformationSetsAndPrunesByCard) {
  CFR cfr(game.get());
  testing::internal::CaptureStdout();
  cfr.train(0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Number of starting nodes: 24\n"), std::string::npos);
  EXPECT_NE(out.find("Number of information sets: 48\n"), std::string::npos);
  EXPECT_TRUE(cfr.treeBuilt);
  // No train(0) average is added.
  EXPECT_EQ(cfr.gameUtility[0], 0.0);

  for (const auto& [key, info] : informationSets(cfr)) {
    const CFRNode* node = &info;
    {
      const int bucket = key[4] - '0';
      const std::string history = key.substr(6);
      const bool facing = history.find('r') != std::string::npos;
      // Fold never appears where checking is free, and never for the ace.
      EXPECT_EQ(node->isActionValid(0), facing && bucket != 3) << key;
      // Facing a bet nobody may raise again; the jack then only folds.
      EXPECT_EQ(node->isActionValid(2), !facing) << key;
      EXPECT_EQ(node->isActionValid(1), !(facing && bucket == 0)) << key;
    }
  }
}

TEST_F(KuhnSolver, UntrainedUtilityIsThatOfUniformPlayAndSumsToZero) {
  CFR cfr(game.get());
  testing::internal::CaptureStdout();
  cfr.train(0);
  testing::internal::GetCapturedStdout();
  double utility[3];
  cfr.calcUtility(utility);
  EXPECT_NEAR(utility[0] + utility[1] + utility[2], 0.0, 1e-12);
  // Called again, the result is the same, not accumulated.
  double again[3];
  cfr.calcUtility(again);
  for (int p = 0; p < 3; ++p) EXPECT_EQ(utility[p], again[p]);
  EXPECT_GT(nashConv(cfr), 0.5);
}

TEST_F(KuhnSolver, FlatStoreMatchesTheReferenceRecursionBitForBit) {
  CFR fast(game.get());
  CFR plain(game.get());
  plain.setUseFlatStore(false);
  testing::internal::CaptureStdout();
  global_urng().seed(12345);
  fast.train(20000);
  fast.train(3000);
  global_urng().seed(12345);
  plain.train(20000);
  plain.train(3000);
  testing::internal::GetCapturedStdout();
  ASSERT_TRUE(fast.usesFlatStore());
  ASSERT_FALSE(plain.usesFlatStore());

  const auto a = informationSets(fast);
  const auto b = informationSets(plain);
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    ASSERT_EQ(a[i].first, b[i].first);
    EXPECT_EQ(std::memcmp(a[i].second.regretSum, b[i].second.regretSum, 24), 0) << a[i].first;
    EXPECT_EQ(std::memcmp(a[i].second.strategySum, b[i].second.strategySum, 24), 0) << a[i].first;
  }
  for (int p = 0; p < 3; ++p) EXPECT_EQ(fast.gameUtility[p], plain.gameUtility[p]);
}

TEST_F(KuhnSolver, SecondTrainKeepsTreeAndAddsItsAverage) {
  CFR cfr(game.get());
  testing::internal::CaptureStdout();
  global_urng().seed(7);
  cfr.train(1000);
  const double first = cfr.gameUtility[1];
  cfr.train(1000);
  const std::string out = testing::internal::GetCapturedStdout();
  // Built once: one "starting nodes" line for two calls.
  EXPECT_EQ(out.find("Number of starting nodes"), out.rfind("Number of starting nodes"));
  EXPECT_NE(cfr.gameUtility[1], first);
  EXPECT_LT(std::fabs(cfr.gameUtility[1]), 2.0);  // a sum of two averages
}

TEST_F(KuhnSolver, ProgressIsPrintedForEveryIterationOfShortRuns) {
  CFR cfr(game.get());
  CFR::logProgress = true;
  testing::internal::CaptureStdout();
  cfr.train(5);
  cfr.train(250);
  const std::string out = testing::internal::GetCapturedStdout();
  CFR::logProgress = false;
  size_t lines = 0;
  for (size_t at = out.find("CFR progress: "); at != std::string::npos;
       at = out.find("CFR progress: ", at + 1))
    ++lines;
  // Every iteration of the short run; every second of the 250, whose
  // percentage (i / 2) passes 99 near the end.
  EXPECT_EQ(lines, 5u + 125u);
  EXPECT_NE(out.find("CFR progress: 99%"), std::string::npos);
}

TEST_F(KuhnSolver, TrainingAMillionIterationsApproachesEquilibrium) {
  CFR cfr(game.get());
  testing::internal::CaptureStdout();
  cfr.train(1000000);
  testing::internal::GetCapturedStdout();
  const Exploitability e = computeExploitability(cfr);
  EXPECT_LT(e.nashConv, 0.01);
  double profile = 0.0;
  double utility[3];
  cfr.calcUtility(utility);
  for (int p = 0; p < 3; ++p) {
    EXPECT_GE(e.gain[p], -1e-12);
    EXPECT_NEAR(e.profileValue[p], utility[p], 1e-12);
    profile += e.profileValue[p];
  }
  EXPECT_NEAR(profile, 0.0, 1e-12);
}

// The switches that steer a solver are set by guards: a training that fails
// half-way leaves no mode on, and the progress setting comes back.
TEST(SolverSwitches, AFailedHoldemTrainingLeavesNoBucketModeOn) {
  const GamePtr game = readGameFile(std::string(POKER_GAMES_DIR) + "/holdem.limit.2p.reverse_blinds.game");
  ASSERT_TRUE(game);
  CFR cfr(game.get());
  const ProgressLines quiet(false);
  testing::internal::CaptureStdout();
  std::string message;
  try {
    cfr.trainHoldem(1);  // no equity tables lent: the first deal cannot be bucketed
  } catch (const std::logic_error& error) {
    message = error.what();
  }
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(message, "Deve carregar equity tables para correr cfr no hold'em poker");
  EXPECT_FALSE(cfr.useCardAbstraction);
  EXPECT_FALSE(cfr.useHoldemTables);
}

TEST(SolverSwitches, ProgressLinesComeBackAfterAnException) {
  CFR::logProgress = false;
  try {
    const ProgressLines on(true);
    EXPECT_TRUE(CFR::logProgress);
    throw std::runtime_error("stop");
  } catch (const std::runtime_error&) {
  }
  EXPECT_FALSE(CFR::logProgress);
}
