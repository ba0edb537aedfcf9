// The one-street cluster games: tree and keys of clusters mode, trainIS's
// progress, and the fast passes pinned bit for bit to the reference loops.
//
// The cluster tables here are synthetic (a hash of the class index), with
// equity extremes 0 and 1, so that winProb(c) = c / 100 prunes as it would
// on real tables; no state table is needed.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "abstraction/EquityTables.h"
#include "solver/cfr.h"
#include "tablemaking/cluster_trees.h"
#include "support.h"
#include "common/util.h"

namespace {

EquityTables& syntheticTables() {
  static EquityTables* tables = [] {
    auto* t = new EquityTables;
    for (int round = 0; round < 4; ++round) {
      const uint64_t n = t->getRoundSize(round);
      for (int players = 2; players <= 3; ++players) {
        uint8_t* clusters = new uint8_t[n];
        for (uint64_t i = 0; i < n; ++i)
          clusters[i] = static_cast<uint8_t>(((i + players) * 0x9e3779b97f4a7c15ULL >> 40) % 101);
        t->setClusterTable(players, round, clusters);
        t->setEquityExtremes(players, round, 0.0, 1.0);
      }
    }
    return t;
  }();
  return *tables;
}

const char* const kStreets[4] = {"preflop", "flop", "turn", "river"};

GamePtr streetGame(int round) {
  return readGameFile(std::string(POKER_GAMES_DIR) + "/kuhn." + kStreets[round] + ".2p.game");
}

// A solver for the street with its tree built and `iterations` done.
std::unique_ptr<CFR> trained(const Game* game, int round, uint64_t iterations, bool fast,
                             uint32_t seed) {
  EquityTables& tables = syntheticTables();
  auto cfr = std::make_unique<CFR>(game);
  cfr->setEquityTables(&tables);
  cfr->setUseClusterTrees(fast);
  global_urng().seed(seed);
  ::testing::internal::CaptureStdout();
  cfr->trainIS(iterations, tables.getIndexer(round), static_cast<int>(EquityTables::indexRound(round)),
               round);
  ::testing::internal::GetCapturedStdout();
  return cfr;
}

bool sameBits(const double* a, const double* b, size_t n) {
  return std::memcmp(a, b, n * sizeof(double)) == 0;
}

TEST(ClusterTraining, TreeHasRoundZeroKeysForEveryClusterAndProgressCountsTenths) {
  GamePtr game = streetGame(0);
  ASSERT_TRUE(game);
  EquityTables& tables = syntheticTables();
  CFR cfr(game.get());
  cfr.setEquityTables(&tables);
  CFR::logProgress = true;
  ::testing::internal::CaptureStdout();
  cfr.trainIS(10, tables.getIndexer(0), 0, 0);
  const std::string out = ::testing::internal::GetCapturedStdout();
  CFR::logProgress = false;

  std::istringstream lines(out);
  std::string line;
  int estou = 0;
  std::vector<int> tenths;
  while (std::getline(lines, line)) {
    if (line.rfind("Estou aqui: ", 0) == 0) {
      ++estou;
      EXPECT_EQ(line, "Estou aqui: 0.591716%");  // (1 + 0) / 169
      EXPECT_TRUE(tenths.empty()) << "printed after training began";
    }
    if (line.rfind("CFR progress: ", 0) == 0) tenths.push_back(std::stoi(line.substr(14)));
  }
  EXPECT_EQ(estou, 1);
  EXPECT_EQ(tenths, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_NE(out.find("Number of information sets: 404\n"), std::string::npos);

  // Four betting histories (seat 0 first to act, seat 1 after a check or a
  // bet, seat 0 after check-bet), each for clusters 0 .. 100, all in round 0.
  std::map<std::string, std::set<int>> bucketsByHistory;
  for (const CFR::NodeMap& m : cfr.maps())
    for (const auto& [key, node] : m) {
      const std::vector<std::string> f = split(key, ':');
      ASSERT_GE(f.size(), 3u) << key;
      EXPECT_EQ(f[1], "0") << key;
      bucketsByHistory[f[0] + ":" + (f.size() > 3 ? f[3] : "")].insert(std::stoi(f[2]));
    }
  EXPECT_EQ(bucketsByHistory.size(), 4u);
  for (const auto& [history, buckets] : bucketsByHistory) {
    EXPECT_EQ(buckets.size(), 101u) << history;
    EXPECT_EQ(*buckets.begin(), 0) << history;
    EXPECT_EQ(*buckets.rbegin(), 100) << history;
  }
  // Pruned by cluster equity: a near-certain winner never folds to a bet,
  // a near-certain loser facing a bet it cannot raise never calls.
  EXPECT_FALSE(cfr.map(0, 1).at("1:0:100:r")->isActionValid(0));
  EXPECT_FALSE(cfr.map(0, 1).at("1:0:3:r")->isActionValid(1));
  EXPECT_TRUE(cfr.map(0, 1).at("1:0:50:r")->isActionValid(0));
  EXPECT_FALSE(cfr.useCardAbstraction || cfr.useClusters);
}

TEST(ClusterTraining, FastPassesGiveTheReferenceSumsOnEveryStreet) {
  for (int round = 0; round < 4; ++round) {
    GamePtr game = streetGame(round);
    ASSERT_TRUE(game);
    const auto fast = trained(game.get(), round, 4, true, 1234 + round);
    const uint32_t engineAfterFast = global_urng()();
    const auto reference = trained(game.get(), round, 4, false, 1234 + round);
    EXPECT_EQ(global_urng()(), engineAfterFast) << "the two paths dealt differently";
    for (size_t m = 0; m < fast->maps().size(); ++m) {
      const CFR::NodeMap& a = fast->maps()[m];
      const CFR::NodeMap& b = reference->maps()[m];
      ASSERT_EQ(a.size(), b.size());
      for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
        ASSERT_EQ(i->first, j->first);
        EXPECT_TRUE(sameBits(i->second->regretSum, j->second->regretSum, 3)) << i->first;
        EXPECT_TRUE(sameBits(i->second->strategySum, j->second->strategySum, 3)) << i->first;
      }
    }
  }
}

TEST(UtilityFill, FastFillGivesTheReferenceTablesOnARangeOfEveryStreet) {
  const uint64_t count = 40;
  for (int round = 0; round < 4; ++round) {
    GamePtr game = streetGame(round);
    const auto cfr = trained(game.get(), round, 30, true, 99);
    const uint64_t n = syntheticTables().getRoundSize(round);
    const uint64_t begin = round == 0 ? 120 : n / 3 + 7;
    std::vector<double> ref0(count), ref1(count), fast0(count), fast1(count);
    double* ref[2] = {ref0.data(), ref1.data()};
    double* fast[2] = {fast0.data(), fast1.data()};

    global_urng().seed(5);
    ::testing::internal::CaptureStdout();
    cfr->fillUtilityReference(ref, begin, begin + count, round);
    ::testing::internal::GetCapturedStdout();
    global_urng().seed(5);
    UtilityFill(*cfr, round).fillWithEngine(fast, begin, begin + count);

    EXPECT_TRUE(sameBits(ref0.data(), fast0.data(), count)) << kStreets[round];
    EXPECT_TRUE(sameBits(ref1.data(), fast1.data(), count)) << kStreets[round];
    // Payoffs are at most the two-chip bet either way.
    for (uint64_t i = 0; i < count; ++i) {
      EXPECT_LE(std::abs(ref0[i]), 2.0);
      EXPECT_LE(std::abs(ref1[i]), 2.0);
    }
  }
}

TEST(UtilityFill, TenSamplesBeforeTheRiverAndTwoOnItDrawingFromEveryRemainingCard) {
  for (int round = 0; round < 4; ++round) {
    GamePtr game = streetGame(round);
    const auto cfr = trained(game.get(), round, 2, true, 3);
    const int board = game->numBoardCards[0];
    const uint64_t index = syntheticTables().getRoundSize(round) / 2;
    double u0, u1;
    double* tables[2] = {&u0, &u1};
    global_urng().seed(17);
    ::testing::internal::CaptureStdout();
    cfr->fillUtilityReference(tables, index, index + 1, round);
    ::testing::internal::GetCapturedStdout();
    const uint32_t after = global_urng()();

    // The same draws: per sample and seat a shuffle of 4 positions over the
    // 52 - board - 2 cards left.
    const int samples = round < 3 ? 10 : 2;
    uint8_t deck[52] = {};
    global_urng().seed(17);
    for (int k = 0; k < samples * 2; ++k) shuffle(deck, 4, 52 - board - 2);
    EXPECT_EQ(global_urng()(), after) << kStreets[round];
  }
}

TEST(UtilityFill, ThreadedFillDoesNotDependOnTheThreadCount) {
  GamePtr game = streetGame(1);
  const auto cfr = trained(game.get(), 1, 30, true, 8);
  const uint64_t begin = 970, end = 3017, count = end - begin;
  const UtilityFill fill(*cfr, 1);
  std::vector<std::vector<double>> results;
  for (unsigned threads : {1u, 3u}) {
    std::vector<double> t0(count), t1(count);
    double* tables[2] = {t0.data(), t1.data()};
    std::vector<uint64_t> progress;
    fill.fillThreaded(tables, begin, end, threads, 77, [&](uint64_t i) { progress.push_back(i); });
    EXPECT_EQ(progress, (std::vector<uint64_t>{1000, 2000, 3000}));
    t0.insert(t0.end(), t1.begin(), t1.end());
    results.push_back(t0);
  }
  EXPECT_TRUE(sameBits(results[0].data(), results[1].data(), results[0].size()));
  // Another seed, other samples.
  std::vector<double> t0(count), t1(count);
  double* tables[2] = {t0.data(), t1.data()};
  fill.fillThreaded(tables, begin, end, 2, 78, [](uint64_t) {});
  EXPECT_FALSE(sameBits(results[0].data(), t0.data(), count));
}

}  // namespace
