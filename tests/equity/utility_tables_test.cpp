// Hold'em bucket tables from utility and equity tables, and the automatic
// chain that makes every table of the pre-flop round from an empty lookup
// directory: equities, clusters, the one-street game's utilities, buckets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "abstraction/EquityTables.h"
#include "tablemaking/street_solver.h"
#include "lookup_dir.h"

namespace {


void copyStreetGames() {
  for (const char* street : {"preflop", "flop", "turn", "river"}) {
    const std::string name = std::string("kuhn.") + street + ".2p.game";
    std::filesystem::copy_file(std::string(POKER_GAMES_DIR) + "/" + name, name);
  }
}

// Ranks 0 .. n-1 by value, ties sharing their mean rank.
std::vector<double> ranks(const std::vector<double>& v) {
  std::vector<size_t> order(v.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return v[a] < v[b]; });
  std::vector<double> r(v.size());
  for (size_t i = 0; i < order.size();) {
    size_t j = i;
    while (j + 1 < order.size() && v[order[j + 1]] == v[order[i]]) ++j;
    for (size_t k = i; k <= j; ++k) r[order[k]] = (i + j) / 2.0;
    i = j + 1;
  }
  return r;
}

double spearman(const std::vector<double>& a, const std::vector<double>& b) {
  const std::vector<double> x = ranks(a), y = ranks(b);
  const double mx = std::accumulate(x.begin(), x.end(), 0.0) / x.size();
  const double my = std::accumulate(y.begin(), y.end(), 0.0) / y.size();
  double sxy = 0, sxx = 0, syy = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    sxy += (x[i] - mx) * (y[i] - my);
    sxx += (x[i] - mx) * (x[i] - mx);
    syy += (y[i] - my) * (y[i] - my);
  }
  return sxy / std::sqrt(sxx * syy);
}

TEST(HoldemBuckets, UtilityHalvesTimesFivePlusEquityFifths) {
  const uint64_t n = 169;
  std::vector<double> u(n), e(n);
  for (uint64_t k = 0; k < n; ++k) {
    u[k] = std::sin(k * 0.7) - 0.3;  // negative and positive, as utilities are
    e[k] = 0.2 + 0.6 * std::fabs(std::cos(k * 1.3));
  }
  u[17] = -5.0, e[17] = 0.01;  // smallest of both
  u[99] = 4.0, e[99] = 0.95;   // largest of both
  std::vector<uint8_t> b(n);
  computeHoldemBuckets(n, u.data(), e.data(), b.data());
  for (uint64_t k = 0; k < n; ++k) EXPECT_LE(b[k], 9) << k;
  EXPECT_EQ(b[17], 0);
  EXPECT_EQ(b[99], 9);
  // Utility -1 lies below the midpoint of -5 .. 4; equity 0.48 is the
  // middle fifth of 0.01 .. 0.95.
  u[5] = -1.0, e[5] = 0.48;
  computeHoldemBuckets(n, u.data(), e.data(), b.data());
  EXPECT_EQ(b[5], 2);
}

TEST(HoldemBuckets, ConstantTablesGiveBucketZeroNotADivisionByZero) {
  const uint64_t n = 169;
  std::vector<uint8_t> b(n, 77);
  for (double value : {0.25, -0.75, 0.0}) {
    const std::vector<double> u(n, value), e(n, std::fabs(value));
    computeHoldemBuckets(n, u.data(), e.data(), b.data());
    EXPECT_EQ(std::count(b.begin(), b.end(), 0), static_cast<long>(n)) << value;
  }
  // Constant utility, varying equity: only the equity part is left.
  std::vector<double> u(n, 1.5), e(n);
  for (uint64_t k = 0; k < n; ++k) e[k] = k / 168.0;
  computeHoldemBuckets(n, u.data(), e.data(), b.data());
  EXPECT_EQ(b[0], 0);
  EXPECT_EQ(b[168], 4);
  EXPECT_EQ(*std::max_element(b.begin(), b.end()), 4);
}

// From nothing but the state table and the game files: every pre-flop table
// is made on the way to the bucket tables, and the utilities behave as the
// one-street game's must. Then a run with everything present only loads.
TEST(UtilityChain, PreflopRoundFromAnEmptyLookupDirectory) {
  REQUIRE_STATE_TABLE(T);
  (void)T;
  LookupDir dir(true);
  copyStreetGames();
  global_urng().seed(11);
  std::vector<double> u0, u1, e;
  {
    EquityTables tables;
    tables.setStreetSolver(solveStreetGame);
    tables.setUtilityIterations(20000);
    const std::string out = capture([&] { tables.loadHoldemRound(0); });
    EXPECT_EQ(out.find("ERROR"), std::string::npos);
    EXPECT_NE(out.find("Indexing pre-flop hands...\n"), std::string::npos);
    EXPECT_NE(out.find("generating pre-flop clusters 2p\n"), std::string::npos);
    EXPECT_NE(out.find("File lookup/utility_preflop_2p_0 is missing!\n"
                       "Computing ne for 2 players and round 0\n"
                       "Loading game kuhn.preflop.2p.game!\n"),
              std::string::npos)
        << out;
    for (int players = 2; players <= 3; ++players) {
      EXPECT_EQ(fileSize(EquityTables::equityFileName(players, 0)), 1352);
      EXPECT_EQ(fileSize(EquityTables::clusterFileName(players, 0)), 169);
      for (int position = 0; position < players; ++position) {
        EXPECT_EQ(fileSize(EquityTables::holdemFileName(players, 0, position)), 169);
        const uint8_t* b = tables.getHoldemTable(players, 0, position);
        ASSERT_NE(b, nullptr);
        EXPECT_LE(*std::max_element(b, b + 169), 9);
      }
    }
    EXPECT_EQ(fileSize(EquityTables::utilityFileName(0, 0)), 1352);
    EXPECT_EQ(fileSize(EquityTables::utilityFileName(0, 1)), 1352);
    EXPECT_EQ(fileSize(EquityTables::equityFileName(2, 1)), -1) << "only pre-flop was asked for";
    u0.assign(tables.getUtilityTable(0, 0), tables.getUtilityTable(0, 0) + 169);
    u1.assign(tables.getUtilityTable(0, 1), tables.getUtilityTable(0, 1) + 169);
    e.assign(tables.getEquityTable(2, 0), tables.getEquityTable(2, 0) + 169);
  }

  // Utility rises with equity in both seats, through the noise of ten
  // samples per class.
  EXPECT_GT(spearman(u0, e), 0.7);
  EXPECT_GT(spearman(u1, e), 0.7);
  // Zero-sum: over all hands, weighted by the card combinations a class
  // stands for (6 for a pair, 4 suited, 12 offsuit), seat 0's and seat 1's
  // utilities cancel. Each entry averages ten samples of at most 2 chips,
  // so the weighted mean has a standard deviation below 0.08.
  EquityTables indexers;
  const hand_indexer_s* preflop = indexers.getIndexer(0);
  double sum = 0, weights = 0;
  for (int i = 0; i < 169; ++i) {
    uint8_t hand[2];
    ASSERT_TRUE(hand_unindex(preflop, 0, i, hand));
    const double w = hand[0] / 4 == hand[1] / 4 ? 6 : hand[0] % 4 == hand[1] % 4 ? 4 : 12;
    sum += w * (u0[i] + u1[i]);
    weights += w;
  }
  EXPECT_EQ(weights, 1326);
  EXPECT_LT(std::fabs(sum / weights), 0.25);

  {
    EquityTables tables;
    tables.setStreetSolver(solveStreetGame);
    const std::string out = capture([&] { tables.loadHoldemRound(0); });
    std::string expected;
    for (int players = 2; players <= 3; ++players)
      for (int position = 0; position < players; ++position)
        expected += "Loading table " + EquityTables::holdemFileName(players, 0, position) + "!\n";
    EXPECT_EQ(out, expected);
  }

  // With the first utility file missing the second is not looked at (its
  // wrong size goes unreported) before the street is solved again, and
  // both files are rewritten.
  std::remove(EquityTables::utilityFileName(0, 0).c_str());
  ASSERT_EQ(truncate(EquityTables::utilityFileName(0, 1).c_str(), 100), 0);
  std::remove(EquityTables::holdemFileName(2, 0, 1).c_str());
  {
    EquityTables tables;
    tables.setStreetSolver(solveStreetGame);
    tables.setUtilityIterations(100);
    const std::string out = capture([&] { tables.loadHoldemRound(0); });
    EXPECT_EQ(out.find("Warning: lookup/utility_preflop_2p_1"), std::string::npos) << out;
    EXPECT_NE(out.find("File lookup/utility_preflop_2p_0 is missing!\n"), std::string::npos);
    EXPECT_EQ(fileSize(EquityTables::utilityFileName(0, 0)), 1352);
    EXPECT_EQ(fileSize(EquityTables::utilityFileName(0, 1)), 1352);
    EXPECT_EQ(fileSize(EquityTables::holdemFileName(2, 0, 1)), 169);
  }

  // A wrong-size file is reported and made again.
  ASSERT_EQ(truncate(EquityTables::utilityFileName(0, 1).c_str(), 100), 0);
  std::remove(EquityTables::holdemFileName(2, 0, 1).c_str());
  {
    EquityTables tables;
    tables.setStreetSolver(solveStreetGame);
    tables.setUtilityIterations(100);
    const std::string out = capture([&] { tables.loadHoldemRound(0); });
    EXPECT_NE(out.find("Warning: lookup/utility_preflop_2p_1 has 100 bytes"), std::string::npos)
        << out;
    EXPECT_EQ(fileSize(EquityTables::utilityFileName(0, 1)), 1352);
  }
}

TEST(UtilityChainDeathTest, AMissingStreetGameEndsWithTheErrorLine) {
  LookupDir dir(false);
  EquityTables tables;
  tables.setStreetSolver(solveStreetGame);
  tables.setEquityExtremes(2, 0, 0.0, 1.0);
  tables.setClusterTable(2, 0, new uint8_t[169]());
  EXPECT_EXIT(tables.solveUtility(0), ::testing::ExitedWithCode(1),
              "ERROR: could not open game kuhn.preflop.2p.game");
}

// Solving street games is handed in by the owner; without it a missing
// utility table is an error, not a silent table of zeros.
TEST(UtilityChainDeathTest, WithoutAStreetSolverAMissingUtilityTableEndsWithTheErrorLine) {
  LookupDir dir(false);
  EquityTables tables;
  tables.setEquityExtremes(2, 0, 0.0, 1.0);
  tables.setClusterTable(2, 0, new uint8_t[169]());
  EXPECT_EXIT(tables.loadUtility(0), ::testing::ExitedWithCode(1),
              "ERROR: the pre-flop utility tables must be made, and this program cannot solve "
              "street games");
}

// The solver handed in receives the round's game and class count, and what it
// writes is what is kept and saved.
TEST(UtilityChain, TheStreetSolverHandedInFillsTheSavedTables) {
  LookupDir dir(false);
  copyStreetGames();
  EquityTables tables;
  int calls = 0;
  tables.setStreetSolver([&](EquityTables& owner, const Game& game, int round, double* const out[2]) {
    ++calls;
    EXPECT_EQ(&owner, &tables);
    EXPECT_EQ(round, 0);
    EXPECT_EQ(game.numPlayers, 2);
    for (uint64_t i = 0; i < owner.getRoundSize(round); ++i) {
      out[0][i] = static_cast<double>(i);
      out[1][i] = -static_cast<double>(i);
    }
  });
  tables.setEquityExtremes(2, 0, 0.0, 1.0);
  tables.setClusterTable(2, 0, new uint8_t[169]());
  capture([&] { tables.solveUtility(0); });
  EXPECT_EQ(calls, 1);
  ASSERT_NE(tables.getUtilityTable(0, 1), nullptr);
  EXPECT_EQ(tables.getUtilityTable(0, 1)[168], -168.0);
  EXPECT_EQ(fileSize(EquityTables::utilityFileName(0, 0)), 169 * 8);
}

}  // namespace
