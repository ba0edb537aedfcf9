// Reading how wide an opponent raises: the rank of a shown holding and the
// running share it gives.
#include "agents/raise_reads.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(RaiseReads, RankCountsStrongerHoldingsAndHalfTheEqualOnes) {
  // Strongest first, with a tie of two at 0.5.
  const std::vector<Holding> range = {
      {0.9, {0, 1}}, {0.7, {2, 3}}, {0.5, {4, 5}}, {0.5, {6, 7}}, {0.1, {8, 9}}};
  EXPECT_DOUBLE_EQ(holdingRank(range, 0.95), 0.0);
  EXPECT_DOUBLE_EQ(holdingRank(range, 0.9), 0.5 / 5);
  EXPECT_DOUBLE_EQ(holdingRank(range, 0.5), (2 + 1.0) / 5);
  EXPECT_DOUBLE_EQ(holdingRank(range, 0.3), 4.0 / 5);
  EXPECT_DOUBLE_EQ(holdingRank(range, 0.0), 1.0);
  EXPECT_DOUBLE_EQ(holdingRank({}, 0.4), 0.5);
}

TEST(RaiseReads, ShareFollowsTheRecentRaisesFromAThird) {
  RaiseReads reads;
  EXPECT_DOUBLE_EQ(reads.share(), MIN_RAISER_SHARE);
  EXPECT_EQ(reads.count(), 0u);
  // One raise moves the mean by 1/SPAN of the way to its rank.
  reads.read(0.5);
  EXPECT_NEAR(reads.share(), 2.0 * (1.0 / 6 + (0.5 - 1.0 / 6) / RaiseReads::SPAN), 1e-12);
  // A player raising with any holding reads as raising with all of them,
  // and never more.
  for (int i = 0; i < 2000; ++i) reads.read(i % 2 ? 0.75 : 0.25);
  EXPECT_NEAR(reads.share(), 1.0, 0.02);
  for (int i = 0; i < 2000; ++i) reads.read(1.0);
  EXPECT_DOUBLE_EQ(reads.share(), 1.0);
  // One that turns to raising with its best tenth is read anew.
  for (int i = 0; i < 2000; ++i) reads.read(0.05);
  EXPECT_NEAR(reads.share(), 0.1, 0.001);
  EXPECT_EQ(reads.count(), 6001u);
}

}  // namespace
