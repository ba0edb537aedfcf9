// Regret matching, averaging, sampling and the invalid-action marks.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "solver/CFRNode.h"
#include "common/util.h"

namespace {

const bool allValid[3] = {true, true, true};
const bool noFold[3] = {false, true, true};

}  // namespace

TEST(CFRNode, FreshNodePlaysUniformlyAndAccumulatesWeight) {
  CFRNode node(allValid);
  double s[3];
  node.getStrategy(0.6, s);
  for (int a = 0; a < 3; ++a) {
    EXPECT_DOUBLE_EQ(s[a], 1.0 / 3);
    EXPECT_DOUBLE_EQ(node.strategySum[a], 0.6 / 3);
  }
  EXPECT_EQ(node.getNumValidActions(), 3);
}

TEST(CFRNode, RegretMatchingUsesPositiveRegretsOnly) {
  CFRNode node(allValid);
  node.regretSum[0] = -1;
  node.regretSum[1] = 2;
  node.regretSum[2] = 6;
  double s[3];
  node.getStrategy(2.0, s);
  EXPECT_DOUBLE_EQ(s[0], 0.0);
  EXPECT_DOUBLE_EQ(s[1], 0.25);
  EXPECT_DOUBLE_EQ(s[2], 0.75);
  EXPECT_DOUBLE_EQ(node.strategySum[2], 1.5);

  // No positive regret: uniform over the valid actions only.
  CFRNode pruned(noFold);
  pruned.regretSum[1] = -3;
  pruned.regretSum[2] = 0;
  pruned.getStrategy(1.0, s);
  EXPECT_EQ(s[0], 0.0);
  EXPECT_DOUBLE_EQ(s[1], 0.5);
  EXPECT_DOUBLE_EQ(s[2], 0.5);
  EXPECT_EQ(pruned.strategySum[0], 0.0);
}

TEST(CFRNode, AverageStrategyIgnoresInvalidActions) {
  CFRNode node(allValid);
  double s[3];
  node.getAverageStrategy(s);
  for (double p : s) EXPECT_DOUBLE_EQ(p, 1.0 / 3);

  node.strategySum[0] = 1;
  node.strategySum[1] = 1;
  node.strategySum[2] = 2;
  node.getAverageStrategy(s);
  EXPECT_DOUBLE_EQ(s[2], 0.5);
  // Excluded after it gathered weight: it still gets nothing.
  node.setActionInvalid(0);
  EXPECT_FALSE(node.isActionValid(0));
  EXPECT_EQ(node.getNumValidActions(), 2);
  node.getAverageStrategy(s);
  EXPECT_EQ(s[0], 0.0);
  EXPECT_DOUBLE_EQ(s[1] + s[2], 1.0);
}

TEST(CFRNode, SamplingFollowsTheAverageStrategy) {
  global_urng().seed(99);
  CFRNode node(noFold);
  node.strategySum[1] = 1;
  node.strategySum[2] = 3;
  int counts[3] = {0, 0, 0};
  for (int i = 0; i < 20000; ++i) ++counts[node.getRandomActionIndex()];
  EXPECT_EQ(counts[0], 0);
  EXPECT_NEAR(counts[2] / 20000.0, 0.75, 0.02);

  // Nothing accumulated yet: uniform among the valid actions.
  CFRNode fresh(noFold);
  int uniform[3] = {0, 0, 0};
  for (int i = 0; i < 20000; ++i) ++uniform[fresh.getRandomActionIndex()];
  EXPECT_EQ(uniform[0], 0);
  EXPECT_NEAR(uniform[1] / 20000.0, 0.5, 0.02);
}

TEST(CFRNode, TextFormListsValidActions) {
  CFRNode node(noFold);
  node.strategySum[1] = 1;
  node.strategySum[2] = 3;
  std::ostringstream out;
  out << node;
  EXPECT_EQ(out.str(), "( call: 0.25 raise: 0.75 )");
}
