// Loading, regenerating and clustering the full-size tables. The flop, turn
// and river files are sparse files of the right size (all zero, no disk
// blocks), so only the pre-flop round is ever generated here; still every
// load reads all 2.2 GB of equity tables, hence the "heavy" label.
#include <gtest/gtest.h>

#include <cfloat>
#include <fcntl.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "abstraction/EquityTables.h"
#include "tablemaking/street_solver.h"
#include "lookup_dir.h"

namespace {




bool has(const std::string& text, const std::string& line) {
  return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

const char* const kSizes =
    "pre-flop size: 169\nflop size: 1286792\nturn size: 13960050\nriver size: 123156254\n";

TEST(TableFiles, EquityFilesRegenerateExactlyWhatIsMissingOrShortThenCluster) {
  REQUIRE_STATE_TABLE(T);
  LookupDir dir(true);
  EquityTables tables;
  tables.setStreetSolver(solveStreetGame);
  for (int round = 1; round < 4; ++round)
    for (int players = 2; players <= 3; ++players)
      sparseFile(EquityTables::equityFileName(players, round),
                 tables.getRoundSize(round) * sizeof(double));
  global_urng().seed(7);

  std::string out = capture([&] { tables.load(); });
  EXPECT_EQ(out.rfind(kSizes, 0), 0u) << out.substr(0, 200);
  EXPECT_TRUE(has(out, "Generating equity lookup tables..."));
  EXPECT_TRUE(has(out, "Loading twoplustwo table... done!"));
  EXPECT_TRUE(has(out, "Indexing pre-flop hands..."));
  EXPECT_FALSE(has(out, "Indexing flop hands..."));
  for (int players = 2; players <= 3; ++players) {
    EXPECT_EQ(fileSize(EquityTables::equityFileName(players, 0)), 1352);
    for (int round = 1; round < 4; ++round)
      EXPECT_TRUE(untouched(EquityTables::equityFileName(players, round)));
  }
  // Extremes after generating are those a load computes.
  const std::vector<double> pre2(tables.getEquityTable(2, 0), tables.getEquityTable(2, 0) + 169);
  EXPECT_EQ(tables.getMaxEquity(2, 0), *std::max_element(pre2.begin(), pre2.end()));
  EXPECT_EQ(tables.getMinEquity(2, 0), *std::min_element(pre2.begin(), pre2.end()));
  EXPECT_EQ(tables.getMinEquity(3, 2), 0.0);
  EXPECT_EQ(tables.getMaxEquity(3, 2), DBL_MIN);

  out = capture([&] { tables.load(); });
  EXPECT_EQ(out, std::string(kSizes) +
                     "Equity tables loaded from file!\nCalculating max and min equities\n");
  EXPECT_TRUE(std::equal(pre2.begin(), pre2.end(), tables.getEquityTable(2, 0)));

  // One byte short: reported, then the round is generated again.
  ASSERT_EQ(truncate("lookup/preflop_3p", 1351), 0);
  out = capture([&] { tables.load(); });
  EXPECT_TRUE(has(out, "Warning: lookup/preflop_3p has 1351 bytes, expected 1352; it is "
                       "generated again"));
  EXPECT_TRUE(has(out, "Indexing pre-flop hands..."));
  EXPECT_EQ(fileSize("lookup/preflop_3p"), 1352);

  // One file missing: only the pre-flop round is generated again.
  ASSERT_EQ(unlink("lookup/preflop_2p"), 0);
  out = capture([&] { tables.load(); });
  EXPECT_TRUE(has(out, "Indexing pre-flop hands..."));
  EXPECT_FALSE(has(out, "Indexing turn hands..."));
  EXPECT_EQ(fileSize("lookup/preflop_2p"), 1352);
  for (int round = 1; round < 4; ++round)
    EXPECT_TRUE(untouched(EquityTables::equityFileName(2, round)));

  // The right size, but an equity above 1: reported, and again only the
  // pre-flop round is generated.
  {
    std::vector<double> damaged(tables.getEquityTable(3, 0), tables.getEquityTable(3, 0) + 169);
    damaged[5] = 2.0;
    saveDoubleTable("lookup/preflop_3p", damaged.data(), damaged.size());
  }
  out = capture([&] { tables.load(); });
  EXPECT_TRUE(has(out, "Warning: lookup/preflop_3p is damaged (an equity outside [0, 1] at "
                       "entry 5) and is made again"))
      << out;
  EXPECT_TRUE(has(out, "Indexing pre-flop hands..."));
  EXPECT_FALSE(has(out, "Indexing flop hands..."));
  EXPECT_LE(tables.getEquityTable(3, 0)[5], 1.0);
  for (int round = 1; round < 4; ++round)
    EXPECT_TRUE(untouched(EquityTables::equityFileName(3, round)));

  // Clusters: rebuilt from the equity tables, then loaded.
  out = capture([&] { tables.loadCluster(); });
  EXPECT_EQ(out, std::string(kSizes) +
                     "loading clusters...\n"
                     "generating pre-flop clusters 2p\ngenerating pre-flop clusters 3p\n"
                     "generating flop clusters 2p\ngenerating flop clusters 3p\n"
                     "generating turn clusters 2p\ngenerating turn clusters 3p\n"
                     "generating river clusters 2p\ngenerating river clusters 3p\n");
  for (int round = 0; round < 4; ++round)
    for (int players = 2; players <= 3; ++players)
      EXPECT_EQ(fileSize(EquityTables::clusterFileName(players, round)),
                static_cast<long long>(tables.getRoundSize(round)));
  const uint8_t aces[2] = {51, 50};
  const uint64_t acesClass = hand_index_last(tables.getIndexer(0), aces);
  const double* equity = tables.getEquityTable(3, 0);
  const uint8_t* clusters = tables.getClusterTable(3, 0);
  const long weakest = std::min_element(equity, equity + 169) - equity;
  EXPECT_EQ(clusters[acesClass], 100);
  EXPECT_EQ(tables.getCluster(aces, 3, 0), 100);
  EXPECT_EQ(clusters[weakest], 0);
  for (int i = 0; i < 169; ++i)
    for (int j = 0; j < 169; ++j)
      if (equity[i] == equity[j]) {
        ASSERT_EQ(clusters[i], clusters[j]);
      }
  EXPECT_EQ(tables.findClusterIndex(100, 3, 0), acesClass);
  EXPECT_EQ(tables.getClusterTable(2, 3)[123156253], 0);  // all-zero river table
  const std::vector<uint8_t> before(clusters, clusters + 169);

  out = capture([&] { tables.loadCluster(); });
  EXPECT_EQ(out, std::string(kSizes) + "loading clusters...\nCluster tables loaded from file!\n");
  EXPECT_TRUE(std::equal(before.begin(), before.end(), tables.getClusterTable(3, 0)));

  // A cluster above 100 in a file of the right size: all eight are rebuilt.
  std::vector<uint8_t> damaged = before;
  damaged[7] = 200;
  saveByteTable("lookup/preflop_3p_c", damaged.data(), damaged.size());
  out = capture([&] { tables.loadCluster(); });
  EXPECT_TRUE(has(out, "Warning: lookup/preflop_3p_c is damaged (a cluster above 100 at entry 7) "
                       "and is made again"))
      << out;
  EXPECT_TRUE(has(out, "generating river clusters 3p"));
  EXPECT_TRUE(std::equal(before.begin(), before.end(), tables.getClusterTable(3, 0)));
}

TEST(TableFiles, BucketTablesAreComputedFromUtilityAndEquityAndSaved) {
  LookupDir dir(false);
  EquityTables tables;
  tables.setStreetSolver(solveStreetGame);
  for (int players = 2; players <= 3; ++players)
    for (int round = 1; round < 4; ++round)
      for (int position = 0; position < players; ++position)
        sparseFile(EquityTables::holdemFileName(players, round, position),
                   tables.getRoundSize(round));
  // Utility of seat 0 and the equities rise with the class; seat 1's utility
  // falls. Halfway values sit on the rounding boundaries.
  double* u0 = new double[169];
  double* u1 = new double[169];
  double* e2 = new double[169];
  double* e3 = new double[169];
  for (int k = 0; k < 169; ++k) {
    u0[k] = -2.0 + k;
    u1[k] = 168.0 - k;
    e2[k] = 0.3 + 0.5 * k / 168.0;
    e3[k] = 0.1 + 0.6 * k / 168.0;
  }
  tables.setUtilityTable(0, 0, u0);
  tables.setUtilityTable(0, 1, u1);
  tables.setEquityTable(2, 0, e2);
  tables.setEquityTable(3, 0, e3);

  std::string out = capture([&] { tables.loadHoldemTables(); });
  EXPECT_TRUE(has(out, "File lookup/holdem_preflop_2p_0 is missing!\n"
                       "Computing hsut for 2 players and round 0"));
  EXPECT_TRUE(has(out, "File lookup/holdem_preflop_3p_2 is missing!\n"
                       "Computing hsut for 3 players and round 0"));
  EXPECT_TRUE(has(out, "Loading table lookup/holdem_river_3p_2!"));
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 5 * 2 + 15);

  const uint8_t* seat0 = tables.getHoldemTable(2, 0, 0);
  const uint8_t* seat1 = tables.getHoldemTable(3, 0, 1);
  ASSERT_NE(seat0, nullptr);
  EXPECT_EQ(seat0[0], 0);    // smallest utility and equity
  EXPECT_EQ(seat0[168], 9);  // largest of both
  EXPECT_EQ(seat1[0], 5);    // largest utility, smallest equity
  EXPECT_EQ(seat1[168], 4);
  for (int players = 2; players <= 3; ++players)
    for (int position = 0; position < players; ++position)
      for (int k = 0; k < 169; ++k) ASSERT_LE(tables.getHoldemTable(players, 0, position)[k], 9);
  // Seat 2 of three players reads the two-player utility of seat 1.
  EXPECT_TRUE(std::equal(seat1, seat1 + 169, tables.getHoldemTable(3, 0, 2)));
  // Utility bucket: round((u - min) / (max - min)); equity bucket: round(4 x).
  EXPECT_EQ(seat0[84], 5 * 1 + 2);
  EXPECT_EQ(seat0[83], 5 * 0 + 2);

  const uint8_t aces[2] = {51, 50};
  const uint64_t acesClass = hand_index_last(tables.getIndexer(0), aces);
  EXPECT_EQ(tables.holdemTableIndex(2, 0, 0, aces), seat0[acesClass]);
  uint8_t* saved = loadByteTable("lookup/holdem_preflop_2p_0", 169);
  EXPECT_TRUE(std::equal(saved, saved + 169, seat0));
  const std::vector<uint8_t> seat0Saved(saved, saved + 169);
  delete[] saved;

  out = capture([&] { tables.loadHoldemTables(); });
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 20);
  EXPECT_TRUE(has(out, "Loading table lookup/holdem_preflop_2p_0!"));

  // A bucket above 9 in a file of the right size: that table is computed again.
  std::vector<uint8_t> damaged(seat0Saved.begin(), seat0Saved.end());
  damaged[3] = 10;
  saveByteTable("lookup/holdem_preflop_2p_0", damaged.data(), damaged.size());
  out = capture([&] { tables.loadHoldemTables(); });
  EXPECT_TRUE(has(out, "Warning: lookup/holdem_preflop_2p_0 is damaged (a bucket above 9 at "
                       "entry 3) and is made again"))
      << out;
  EXPECT_TRUE(has(out, "File lookup/holdem_preflop_2p_0 is missing!"));
  EXPECT_TRUE(std::equal(seat0Saved.begin(), seat0Saved.end(), tables.getHoldemTable(2, 0, 0)));
}

}  // namespace
