// k-means, the linear equity clusters and their lookups, the uniform deal of
// the equity generator, and the table accessors; none needs the state table.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <map>
#include <vector>

#include "abstraction/EquityTables.h"
#include "tablemaking/street_solver.h"
#include "abstraction/equity_generator.h"
#include "lookup_dir.h"

namespace {

std::vector<double*> rowsOf(std::vector<std::vector<double>>& points) {
  std::vector<double*> rows;
  for (auto& p : points) rows.push_back(p.data());
  return rows;
}

TEST(KMeans, OneClusterPerPointWhenKIsN) {
  std::vector<std::vector<double>> points = {{0, 0}, {5, 1}, {-3, 2}, {8, 8}, {1, -7}};
  auto data = rowsOf(points);
  std::vector<std::vector<double>> centre(5, std::vector<double>(2));
  auto centroids = rowsOf(centre);
  uint8_t* labels = k_means(data.data(), 5, 2, 5, 0.0, centroids.data());
  for (int h = 0; h < 5; ++h) {
    EXPECT_EQ(labels[h], h);
    EXPECT_EQ(centre[h], points[h]);
  }
  std::free(labels);
}

TEST(KMeans, OneClusterHoldsEverythingAtTheMean) {
  std::vector<std::vector<double>> points = {{1, 10}, {2, 20}, {3, 30}, {6, 0}};
  auto data = rowsOf(points);
  std::vector<std::vector<double>> centre(1, std::vector<double>(2));
  auto centroids = rowsOf(centre);
  uint8_t* labels = k_means(data.data(), 4, 2, 1, 1e-9, centroids.data());
  for (int h = 0; h < 4; ++h) EXPECT_EQ(labels[h], 0);
  EXPECT_DOUBLE_EQ(centre[0][0], 3.0);
  EXPECT_DOUBLE_EQ(centre[0][1], 15.0);
  std::free(labels);
}

TEST(KMeans, SeparatesTwoGroupsAndEmptiedClusterGoesToZero) {
  std::vector<std::vector<double>> groups = {{0}, {1}, {2}, {100}, {101}, {102}};
  auto data = rowsOf(groups);
  std::vector<std::vector<double>> centre(2, std::vector<double>(1));
  auto centroids = rowsOf(centre);
  uint8_t* labels = k_means(data.data(), 6, 1, 2, 0.0, centroids.data());
  EXPECT_EQ(std::vector<int>(labels, labels + 6), (std::vector<int>{0, 0, 0, 1, 1, 1}));
  EXPECT_DOUBLE_EQ(centre[0][0], 1.0);
  EXPECT_DOUBLE_EQ(centre[1][0], 101.0);
  std::free(labels);

  // Equal points: both initial centroids coincide, every tie goes to cluster
  // 0 and cluster 1 is left without points.
  std::vector<std::vector<double>> same(4, std::vector<double>{1, 2});
  auto sameData = rowsOf(same);
  std::vector<std::vector<double>> centre2(2, std::vector<double>(2, -1));
  auto centroids2 = rowsOf(centre2);
  labels = k_means(sameData.data(), 4, 2, 2, 0.0, centroids2.data());
  for (int h = 0; h < 4; ++h) EXPECT_EQ(labels[h], 0);
  EXPECT_EQ(centre2[0], (std::vector<double>{1, 2}));
  EXPECT_EQ(centre2[1], (std::vector<double>{0, 0}));
  std::free(labels);

  // Without caller centroids the labels are the same.
  labels = k_means(data.data(), 6, 1, 2, 0.0, nullptr);
  EXPECT_EQ(std::vector<int>(labels, labels + 6), (std::vector<int>{0, 0, 0, 1, 1, 1}));
  std::free(labels);
}

TEST(DoCluster, SpansZeroToHundredAndSavesWhatItReturns) {
  LookupDir dir(false);
  std::vector<double> equity = {0.2, 0.5, 0.8, 0.5, 0.35, 0.2};
  uint8_t* clusters = doCluster(equity.size(), equity.data(), "lookup/c");
  EXPECT_EQ(std::vector<int>(clusters, clusters + 6), (std::vector<int>{0, 50, 100, 50, 25, 0}));
  ASSERT_EQ(fileSize("lookup/c"), 6);
  uint8_t* saved = loadByteTable("lookup/c", 6);
  EXPECT_EQ(std::vector<int>(saved, saved + 6), std::vector<int>(clusters, clusters + 6));
  delete[] saved;
  delete[] clusters;

  // All zero: the maximum stays at the smallest normal double, no 0 / 0.
  std::vector<double> zeros(10, 0.0);
  clusters = doCluster(zeros.size(), zeros.data(), "lookup/z");
  for (int i = 0; i < 10; ++i) EXPECT_EQ(clusters[i], 0);
  delete[] clusters;
  // All equal and positive: no spread to divide by either.
  std::vector<double> flat(10, 0.5);
  clusters = doCluster(flat.size(), flat.data(), "lookup/f");
  for (int i = 0; i < 10; ++i) EXPECT_EQ(clusters[i], 0);
  delete[] clusters;
}

// Pre-flop tables set by hand: equity rising with the class index.
class PreflopTables : public ::testing::Test {
 protected:
  void SetUp() override {
    double* equity = new double[169];
    for (int i = 0; i < 169; ++i) equity[i] = 0.1 + 0.8 * i / 168.0;
    tables.setEquityTable(2, 0, equity);
    tables.updateExtremes();
  }
  EquityTables tables;
};

TEST_F(PreflopTables, ClusterAndEquityConvertBothWays) {
  EXPECT_DOUBLE_EQ(tables.getMinEquity(2, 0), 0.1);
  EXPECT_DOUBLE_EQ(tables.getMaxEquity(2, 0), 0.9);
  EXPECT_DOUBLE_EQ(tables.clusterToEquity(0, 2, 0), 0.1);
  EXPECT_DOUBLE_EQ(tables.clusterToEquity(100, 2, 0), 0.9);
  for (int c = 0; c <= 100; ++c)
    EXPECT_EQ(tables.equityToCluster(tables.clusterToEquity(static_cast<uint8_t>(c), 2, 0), 2, 0), c);
  EXPECT_LT(tables.equityToCluster(0.05, 2, 0), 0);
  EXPECT_GT(tables.equityToCluster(0.95, 2, 0), 100);
}

TEST_F(PreflopTables, ClusterLookupsByHandAndByClass) {
  const hand_indexer_s* indexer = tables.getIndexer(0);
  uint8_t* clusters = new uint8_t[169];
  for (int i = 0; i < 169; ++i) clusters[i] = static_cast<uint8_t>(i % 50 == 7 ? 60 : i / 2);
  tables.setClusterTable(2, 0, clusters);

  const uint8_t aces[2] = {51, 50}, sevenDeuce[2] = {20, 1};
  for (const uint8_t* hand : {aces, sevenDeuce}) {
    const uint64_t index = hand_index_last(indexer, hand);
    EXPECT_EQ(tables.getCluster(hand, 2, 0), clusters[index]);
    EXPECT_EQ(tables.getCluster(static_cast<uint8_t>(index), 2, 0), clusters[index]);
  }
  // Cluster 60 holds classes 7, 57, 107, 157 and, by i / 2, 120 and 121.
  EXPECT_EQ(tables.findClusterIndex(60, 2, 0), 7u);
  EXPECT_EQ(tables.findClusterIndex(3, 2, 0), 6u);
  EXPECT_EQ(tables.findClusterIndex(99, 2, 0), 169u);  // no class has it
  uint8_t cards[2] = {0, 0};
  ASSERT_TRUE(tables.findClusterIndexHand(60, 2, 0, cards));
  EXPECT_EQ(hand_index_last(indexer, cards), 157u);
  uint8_t untouched[2] = {9, 9};
  EXPECT_FALSE(tables.findClusterIndexHand(99, 2, 0, untouched));
  EXPECT_EQ(untouched[0], 9);
}

TEST(EquityTablesAccess, RoundSizesAndOutOfRangeArguments) {
  EquityTables tables;
  EXPECT_EQ(tables.getRoundSize(0), 169u);
  EXPECT_EQ(tables.getRoundSize(1), 1286792u);
  EXPECT_EQ(tables.getRoundSize(2), 13960050u);
  EXPECT_EQ(tables.getRoundSize(3), 123156254u);
  EXPECT_EQ(tables.getRoundSize(4), 0u);
  EXPECT_EQ(tables.getRoundSize(-1), 0u);
  EXPECT_EQ(tables.getEquityTable(4, 0), nullptr);
  EXPECT_EQ(tables.getEquityTable(2, 4), nullptr);
  EXPECT_EQ(tables.getEquityTable(1, 0), nullptr);
  EXPECT_EQ(tables.getEquityTable(2, 0), nullptr);
  EXPECT_EQ(tables.getClusterTable(3, 4), nullptr);
  double notOwned[1];
  tables.setEquityTable(4, 0, notOwned);  // ignored, so never released
  EXPECT_EQ(tables.getEquityTable(4, 0), nullptr);
  EXPECT_EQ(EquityTables::equityFileName(3, 2), "lookup/turn_3p");
  EXPECT_EQ(EquityTables::clusterFileName(2, 0), "lookup/preflop_2p_c");
  EXPECT_EQ(EquityTables::holdemFileName(3, 3, 2), "lookup/holdem_river_3p_2");
  EXPECT_EQ(EquityTables::utilityFileName(1, 1), "lookup/utility_flop_2p_1");
}

// Without utility tables the bucket tables make them first: from the equities
// held, clusters are made and saved, then the street game is solved, which
// here is missing from the working directory.
TEST(EquityTablesDeathTest, BucketTablesWithoutUtilityTablesSolveTheStreetFirst) {
  LookupDir dir(false);
  EXPECT_EXIT(
      {
        EquityTables tables;
        tables.setStreetSolver(solveStreetGame);
        for (int players = 2; players <= 3; ++players) {
          double* equity = new double[169];
          for (int k = 0; k < 169; ++k) equity[k] = 0.2 + k / 300.0;
          tables.setEquityTable(players, 0, equity);
        }
        tables.updateExtremes();
        tables.loadHoldemTables();
      },
      ::testing::ExitedWithCode(1), "ERROR: could not open game kuhn.preflop.2p.game");
  EXPECT_EQ(fileSize("lookup/preflop_2p_c"), 169);
  EXPECT_EQ(fileSize("lookup/preflop_3p_c"), 169);
}

// Over many deals of 4 cards from 45, every card is equally likely at every
// position and every ordered pair at the first two: an off-by-one or a
// skewed reduction would leave cells empty or overfull.
TEST(UniformDeal, DealsEveryCardAndPairEquallyOften) {
  const int size = 45, count = 4, deals = 400000;
  uint8_t deck[size];
  for (int i = 0; i < size; ++i) deck[i] = static_cast<uint8_t>(i);
  SampleRng rng(12345);
  UniformDeal deal{rng};
  std::vector<double> single(count * size, 0), pair(size * size, 0);
  for (int d = 0; d < deals; ++d) {
    deal(deck, count, size);
    for (int p = 0; p < count; ++p) ++single[p * size + deck[p]];
    ++pair[deck[0] * size + deck[1]];
  }
  double singleChi = 0;
  for (double c : single) {
    const double expected = double(deals) / size;
    singleChi += (c - expected) * (c - expected) / expected;
  }
  const int singleDf = count * size - count;
  EXPECT_LT(std::abs(singleChi - singleDf), 6 * std::sqrt(2.0 * singleDf));
  double pairChi = 0;
  const double expected = double(deals) / (size * (size - 1));
  for (int a = 0; a < size; ++a)
    for (int b = 0; b < size; ++b) {
      const double c = pair[a * size + b];
      if (a == b)
        EXPECT_EQ(c, 0);
      else
        pairChi += (c - expected) * (c - expected) / expected;
    }
  const int pairDf = size * (size - 1) - 1;
  EXPECT_LT(std::abs(pairChi - pairDf), 6 * std::sqrt(2.0 * pairDf));
}

}  // namespace
