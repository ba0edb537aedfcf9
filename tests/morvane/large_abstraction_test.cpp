// The large two-player limit abstraction: its bucket rule and tables, the
// linear weighting of its training, where its strategy lives, and the agent
// that plays it, while the standard agent's paths stay as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <vector>

#include "abstraction/large_buckets.h"
#include "agents/LimitHoldemAgent.h"
#include "holdem_agent_support.h"
#include "holdem_support.h"
#include "common/util.h"

namespace {

constexpr uint64_t kFlop = 1286792, kTurn = 13960050, kRiver = 123156254;

// Sum of squared distances of the points to their clusters' means.
double clusterCost(uint64_t n, const float* features, int dims, int buckets, const uint16_t* labels) {
  std::vector<double> sum(static_cast<size_t>(buckets) * dims, 0.0);
  std::vector<uint64_t> count(buckets, 0);
  for (uint64_t i = 0; i < n; ++i) {
    ++count[labels[i]];
    for (int q = 0; q < dims; ++q) sum[labels[i] * dims + q] += features[i * dims + q];
  }
  double cost = 0.0;
  for (uint64_t i = 0; i < n; ++i)
    for (int q = 0; q < dims; ++q) {
      const double e = features[i * dims + q] - sum[labels[i] * dims + q] / count[labels[i]];
      cost += e * e;
    }
  return cost;
}

// A working directory for the large agent: the game files, and sparse large
// bucket tables (every hand in bucket 0) that load without being made.
bool makeLargeWorkDir(const std::string& dir) {
  namespace fs = std::filesystem;
  fs::copy_file(holdemGamePath(kHoldemGames[0]), dir + "/" + kHoldemGames[0]);
  fs::create_directory(dir + "/strategies");
  fs::create_directory(dir + "/lookup");
  const uint64_t sizes[4] = {0, kFlop, kTurn, kRiver};
  bool ok = true;
  for (int round = 1; round < 4; ++round)
    ok = ok && sparseFile(dir + "/" + LargeBuckets::fileName(round), sizes[round] * sizeof(uint16_t));
  // The limit player's clustered flop and turn tables.
  for (int round = 1; round < 3; ++round)
    ok = ok && sparseFile(dir + "/" + LargeBuckets::limitTableName(round), sizes[round] * sizeof(uint16_t));
  return ok;
}

// The same, with the two-player equity tables of the rounds before the river
// (every chance 0) that the large limit player reads raises with.
bool makeLargeAgentDir(const std::string& dir) {
  const uint64_t sizes[3] = {169, kFlop, kTurn};
  bool ok = makeLargeWorkDir(dir);
  for (int round = 0; round < 3; ++round)
    ok = ok && sparseFile(dir + "/" + EquityTables::equityFileName(2, round), sizes[round] * sizeof(double));
  return ok;
}

class InDirectory {
 public:
  explicit InDirectory(const std::string& dir) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~InDirectory() { std::filesystem::current_path(previous_); }

 private:
  std::filesystem::path previous_;
};

}  // namespace

TEST(LargeBuckets, EqualSharesInEquityOrderWithTiesTogether) {
  // Eight distinct equities into four buckets: two each, in order.
  const double eight[8] = {0.8, 0.1, 0.7, 0.2, 0.6, 0.3, 0.5, 0.4};
  uint16_t out[8];
  testing::internal::CaptureStdout();
  computeLargeBuckets(8, eight, 4, out);
  const std::vector<int> expected = {3, 0, 3, 0, 2, 1, 2, 1};
  EXPECT_EQ(std::vector<int>(out, out + 8), expected);

  // Many classes: monotone in equity, equal equities together, every bucket
  // within a tenth of its share.
  const uint64_t n = 200000;
  std::vector<double> equity(n);
  uint64_t h = 88172645463325252ull;
  for (uint64_t i = 0; i < n; ++i) {
    h ^= h << 13, h ^= h >> 7, h ^= h << 17;
    // A third of the classes share five values, as made hands on a board do.
    equity[i] = i % 3 == 0 ? (h % 5) / 4.0 : (h >> 11) * 0x1.0p-53;
  }
  constexpr int kShares = 200;
  std::vector<uint16_t> buckets(n);
  computeLargeBuckets(n, equity.data(), kShares, buckets.data());
  std::vector<uint64_t> order(n);
  for (uint64_t i = 0; i < n; ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](uint64_t a, uint64_t b) { return equity[a] < equity[b]; });
  for (uint64_t k = 1; k < n; ++k) {
    ASSERT_LE(buckets[order[k - 1]], buckets[order[k]]) << k;
    if (equity[order[k - 1]] == equity[order[k]]) {
      ASSERT_EQ(buckets[order[k - 1]], buckets[order[k]]);
    }
  }
  // A player's coarse bucket read from the fine table is the run the same
  // ranking gives at the player's count, entry for entry, ties included.
  std::vector<uint16_t> fine(n);
  computeLargeBuckets(n, equity.data(), LARGE_FINE_BUCKETS, fine.data());
  std::vector<uint16_t> limit(n), nolimit(n);
  computeLargeBuckets(n, equity.data(), LARGE_LIMIT_BUCKETS, limit.data());
  computeLargeBuckets(n, equity.data(), LARGE_NOLIMIT_BUCKETS, nolimit.data());
  for (uint64_t i = 0; i < n; ++i) {
    ASSERT_EQ(fine[i] * kShares / LARGE_FINE_BUCKETS, buckets[i]) << i;
    ASSERT_EQ(fine[i] * LARGE_LIMIT_BUCKETS / LARGE_FINE_BUCKETS, limit[i]) << i;
    ASSERT_EQ(fine[i] * LARGE_NOLIMIT_BUCKETS / LARGE_FINE_BUCKETS, nolimit[i]) << i;
  }
  // Without ties every bucket holds its share, n / 200, within a tenth.
  for (uint64_t i = 0; i < n; i += 3) equity[i] = 0.5 + equity[i + 1] / 4;
  computeLargeBuckets(n, equity.data(), kShares, buckets.data());
  testing::internal::GetCapturedStdout();
  std::vector<uint64_t> count(kShares, 0);
  for (uint16_t b : buckets) ++count[b];
  for (int b = 0; b < kShares; ++b) {
    EXPECT_GT(count[b], n / kShares * 9 / 10) << b;
    EXPECT_LT(count[b], n / kShares * 11 / 10) << b;
  }

  EXPECT_EQ(largeBucketTableProblem(fine.data(), n), "");
  fine[7] = LARGE_FINE_BUCKETS;
  EXPECT_EQ(largeBucketTableProblem(fine.data(), n), "a bucket above 59999 at entry 7");
  // Only divisors of the fine count can be read from the tables.
  EquityTables tables;
  EXPECT_THROW(LargeBuckets(tables, 7), std::invalid_argument);
  EXPECT_THROW(LargeBuckets(tables, 0), std::invalid_argument);
}

// Nested buckets: mean runs first, then each run cut by spread, every
// bucket its share.
TEST(LargeBuckets, NestedBucketsRankBySpreadWithinEachMeanRun) {
  // Eight classes, two mean runs of two spread runs: the four lowest means
  // form run 0, and within each run the two lowest spreads come first.
  const double mean[8] = {0.1, 0.2, 0.3, 0.4, 0.9, 0.8, 0.7, 0.6};
  const double spread[8] = {0.9, 0.1, 0.5, 0.2, 0.0, 0.3, 0.6, 0.2};
  uint16_t out[8];
  testing::internal::CaptureStdout();
  computeNestedBuckets(8, mean, spread, 2, 2, out);
  const std::vector<int> expected = {1, 0, 1, 0, 2, 3, 3, 2};
  EXPECT_EQ(std::vector<int>(out, out + 8), expected);

  // Many classes: the mean run is the one computeLargeBuckets gives, spread
  // ranks within it, and every bucket holds its share within a tenth.
  const uint64_t n = 240000;
  constexpr int kMeanRuns = 24, kSpreadRuns = 10, kBuckets = kMeanRuns * kSpreadRuns;
  std::vector<double> m(n), s(n);
  uint64_t h = 88172645463325252ull;
  for (uint64_t i = 0; i < n; ++i) {
    h ^= h << 13, h ^= h >> 7, h ^= h << 17;
    m[i] = (h >> 11) * 0x1.0p-53;
    s[i] = (h & 0xfffff) * 0x1.0p-20 * m[i];  // spread grows with the mean, as it does
  }
  std::vector<uint16_t> nested(n), runs(n);
  computeNestedBuckets(n, m.data(), s.data(), kMeanRuns, kSpreadRuns, nested.data());
  computeLargeBuckets(n, m.data(), kMeanRuns, runs.data());
  testing::internal::GetCapturedStdout();
  std::vector<uint64_t> count(kBuckets, 0);
  for (uint64_t i = 0; i < n; ++i) {
    ASSERT_EQ(nested[i] / kSpreadRuns, runs[i]) << i;
    ++count[nested[i]];
  }
  for (uint64_t i = 1; i < n; ++i)
    for (uint64_t j : {i / 2, i / 3 + 7}) {
      if (runs[i] != runs[j]) continue;
      if (s[i] < s[j]) {
        ASSERT_LE(nested[i], nested[j]) << i << " " << j;
      }
    }
  for (int b = 0; b < kBuckets; ++b) {
    EXPECT_GT(count[b], n / kBuckets * 9 / 10) << b;
    EXPECT_LT(count[b], n / kBuckets * 11 / 10) << b;
  }

  // Spread runs must divide the buckets.
  EquityTables tables;
  EXPECT_THROW(LargeBuckets(tables, LARGE_LIMIT_BUCKETS, 7), std::invalid_argument);
  EXPECT_THROW(LargeBuckets(tables, LARGE_LIMIT_BUCKETS, 0), std::invalid_argument);
  EXPECT_EQ(LargeBuckets(tables, LARGE_LIMIT_BUCKETS, LARGE_LIMIT_SPREAD_RUNS).tableName(1),
            "lookup/large_buckets_flop_240x10");
  EXPECT_EQ(LargeBuckets::limitTableName(1), "lookup/large_buckets_flop_k2400");
  EXPECT_EQ(LargeBuckets::limitTableName(2), "lookup/large_buckets_turn_k2400");
  EXPECT_EQ(LargeBuckets::limitTableName(3), "lookup/large_buckets_river");
  // Only nested flop and turn buckets are clustered.
  EXPECT_THROW(LargeBuckets(tables, LARGE_LIMIT_BUCKETS, 1, 1), std::invalid_argument);
  EXPECT_THROW(LargeBuckets(tables, LARGE_LIMIT_BUCKETS, LARGE_LIMIT_SPREAD_RUNS, 3),
               std::invalid_argument);
  EXPECT_EQ(LargeBuckets(tables, LARGE_LIMIT_BUCKETS, LARGE_LIMIT_SPREAD_RUNS).tableName(3),
            "lookup/large_buckets_river");
  EXPECT_EQ(LargeBuckets(tables, LARGE_NOLIMIT_BUCKETS).tableName(1), "lookup/large_buckets_flop");
}

// k-means from a given partition: points move to their nearest centre, an
// empty bucket stays empty, and a pass that moves nothing ends it.
TEST(LargeBuckets, ClusteringMovesPointsToTheNearestMean) {
  // Two groups on a line, started across them: one pass sorts them out.
  const float line[6] = {0.0f, 0.1f, 0.2f, 0.8f, 0.9f, 1.0f};
  uint16_t labels[6] = {0, 1, 0, 1, 0, 1};
  testing::internal::CaptureStdout();
  clusterBuckets(6, line, 1, 3, 10, labels);
  const std::string out = testing::internal::GetCapturedStdout();
  // The centres start near the middle (0.37 and 0.63): 0.1 and 0.9 move.
  EXPECT_EQ(std::vector<int>(labels, labels + 6), (std::vector<int>{0, 0, 0, 1, 1, 1}));
  EXPECT_NE(out.find("k-means pass 1 of 10: 2 hands moved"), std::string::npos) << out;
  // The second pass moves nothing and ends the clustering.
  EXPECT_NE(out.find("k-means pass 2 of 10: 0 hands moved"), std::string::npos) << out;
  EXPECT_EQ(out.find("pass 3"), std::string::npos) << out;
}

// The flop table is made from a test-made turn equity table (the turn and
// river ones are given); a damaged table is made again; the pre-flop keeps
// its 169 classes.
TEST(LargeBuckets, MadeFromTheNextRoundsEquitiesOnFirstUse) {
  TempDir dir;
  ASSERT_TRUE(makeLargeWorkDir(dir.path()));
  InDirectory in(dir.path());
  // Turn equity: a fixed mix of the class, so that flop hands differ.
  std::unique_ptr<double[]> turn(new double[kTurn]);
  for (uint64_t i = 0; i < kTurn; ++i) turn[i] = static_cast<double>((i * 2654435761u) % 1001) / 1000.0;
  saveDoubleTable(EquityTables::equityFileName(2, 2).c_str(), turn.get(), kTurn);
  // A damaged flop table of the right size.
  std::vector<uint16_t> bad(kFlop, 0);
  bad[5] = 60000;
  saveShortTable(LargeBuckets::fileName(1).c_str(), bad.data(), kFlop);

  EquityTables tables;
  LargeBuckets large(tables, LARGE_LIMIT_BUCKETS);
  testing::internal::CaptureStdout();
  large.load();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Warning: lookup/large_buckets_flop is damaged (a bucket above 59999 at entry 5)"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Making the large flop buckets from the turn equities"), std::string::npos);
  EXPECT_NE(out.find("% done, about "), std::string::npos);
  EXPECT_EQ(out.find("Making the large turn"), std::string::npos);
  EXPECT_FALSE(tables.getEquityTable(2, 2));  // released once used

  const std::string bytes = readBytes(LargeBuckets::fileName(1));
  ASSERT_EQ(bytes.size(), kFlop * sizeof(uint16_t));
  std::vector<uint16_t> flop(kFlop);
  std::memcpy(flop.data(), bytes.data(), bytes.size());
  // The file ranks the first classes by their mean squared turn equity.
  const uint64_t sample = 20000;
  std::vector<double> squares(sample);
  testing::internal::CaptureStdout();
  std::vector<double> means(sample);
  computeNextRoundMoments(tables.getIndexer(1), tables.getIndexer(2), 5, sample, turn.get(),
                          means.data(), squares.data());
  testing::internal::GetCapturedStdout();
  for (uint64_t i = 0; i < sample; ++i)
    for (uint64_t j : {i / 2, i / 3 + 7}) {
      const int bi = flop[i], bj = flop[j];
      ASSERT_LT(bi, LARGE_FINE_BUCKETS);
      if (squares[i] < squares[j]) {
        ASSERT_LE(bi, bj) << i << " " << j;
      }
      if (squares[i] == squares[j]) {
        ASSERT_EQ(bi, bj) << i << " " << j;
      }
    }
  // A flop hand's measure is the mean of its 47 turns' squares (and the
  // nested buckets' mean that of the turns' equities).
  uint8_t cards[7];
  ASSERT_TRUE(hand_unindex(tables.getIndexer(1), 1, 12345, cards));
  const uint8_t flopHand[5] = {cards[0], cards[1], cards[2], cards[3], cards[4]};
  double sum = 0.0, plain = 0.0;
  int turns = 0;
  for (uint8_t c = 0; c < 52; ++c) {
    if (std::count(cards, cards + 5, c)) continue;
    cards[5] = c;
    const double e = turn[hand_index_last(tables.getIndexer(2), cards)];
    sum += e * e;
    plain += e;
    ++turns;
  }
  EXPECT_EQ(turns, 47);
  EXPECT_DOUBLE_EQ(squares[12345], sum / 47);
  // Its clustering features: the 47 turn equities sorted, as eight slices'
  // means (slices of 5 or 6).
  std::vector<double> sorted;
  for (uint8_t c = 0; c < 52; ++c) {
    if (std::count(cards, cards + 5, c)) continue;
    cards[5] = c;
    sorted.push_back(turn[hand_index_last(tables.getIndexer(2), cards)]);
  }
  std::sort(sorted.begin(), sorted.end());
  std::vector<float> quantiles((12345 + 1) * LARGE_CLUSTER_QUANTILES);
  testing::internal::CaptureStdout();
  computeNextRoundQuantiles(tables.getIndexer(1), tables.getIndexer(2), 5, 12345 + 1, turn.get(),
                            quantiles.data());
  testing::internal::GetCapturedStdout();
  for (int q = 0; q < LARGE_CLUSTER_QUANTILES; ++q) {
    const int from = q * 47 / 8, to = (q + 1) * 47 / 8;
    double slice = 0.0;
    for (int k = from; k < to; ++k) slice += sorted[k];
    EXPECT_FLOAT_EQ(quantiles[12345 * LARGE_CLUSTER_QUANTILES + q], slice / (to - from)) << q;
  }
  EXPECT_DOUBLE_EQ(means[12345], plain / 47);
  EXPECT_EQ(large.bucket(1, flopHand), flop[12345] * LARGE_LIMIT_BUCKETS / LARGE_FINE_BUCKETS);

  // The limit player's tables are read by their shape's name, each entry a
  // bucket as it is.
  std::vector<uint16_t> shaped(kFlop);
  for (uint64_t i = 0; i < kFlop; ++i) shaped[i] = static_cast<uint16_t>(i % LARGE_LIMIT_BUCKETS);
  saveShortTable(LargeBuckets::limitTableName(1).c_str(), shaped.data(), kFlop);
  LargeBuckets limitPlayer(tables, LARGE_LIMIT_BUCKETS, LARGE_LIMIT_SPREAD_RUNS,
                           LARGE_LIMIT_CLUSTERED_ROUNDS);
  testing::internal::CaptureStdout();
  limitPlayer.load();
  std::string loaded = testing::internal::GetCapturedStdout();
  EXPECT_NE(loaded.find("Loading table lookup/large_buckets_flop_k2400!"), std::string::npos);
  EXPECT_EQ(loaded.find("Making"), std::string::npos) << loaded;
  EXPECT_EQ(limitPlayer.bucket(1, flopHand), 12345 % LARGE_LIMIT_BUCKETS);

  // A clustered flop table (of 60 buckets here, to stay quick) is made from
  // the turn equities: its buckets fit the features closer than the nested
  // ones it starts from.
  LargeBuckets clustered(tables, 60, 10, 1);
  ASSERT_TRUE(sparseFile(clustered.tableName(2), kTurn * sizeof(uint16_t)));  // not made here
  testing::internal::CaptureStdout();
  clustered.load();
  loaded = testing::internal::GetCapturedStdout();
  EXPECT_NE(loaded.find("Making the large flop buckets from the turn equities"), std::string::npos);
  EXPECT_NE(loaded.find("k-means pass 1 of 15"), std::string::npos) << loaded;
  const std::string made = readBytes("lookup/large_buckets_flop_k60");
  ASSERT_EQ(made.size(), kFlop * sizeof(uint16_t));
  std::vector<uint16_t> kmeans(kFlop);
  std::memcpy(kmeans.data(), made.data(), made.size());
  std::vector<double> allMeans(kFlop), allSquares(kFlop);
  std::vector<float> features(kFlop * LARGE_CLUSTER_QUANTILES);
  std::vector<uint16_t> nested(kFlop);
  testing::internal::CaptureStdout();
  computeNextRoundMoments(tables.getIndexer(1), tables.getIndexer(2), 5, kFlop, turn.get(),
                          allMeans.data(), allSquares.data());
  for (uint64_t i = 0; i < kFlop; ++i)
    allSquares[i] = 2.0 * std::sqrt(std::max(0.0, allSquares[i] - allMeans[i] * allMeans[i]));
  computeNestedBuckets(kFlop, allMeans.data(), allSquares.data(), 6, 10, nested.data());
  computeNextRoundQuantiles(tables.getIndexer(1), tables.getIndexer(2), 5, kFlop, turn.get(),
                            features.data());
  testing::internal::GetCapturedStdout();
  for (uint16_t b : kmeans) ASSERT_LT(b, 60);
  EXPECT_LT(clusterCost(kFlop, features.data(), LARGE_CLUSTER_QUANTILES, 60, kmeans.data()),
            clusterCost(kFlop, features.data(), LARGE_CLUSTER_QUANTILES, 60, nested.data()));
  EXPECT_EQ(clustered.bucket(1, flopHand), kmeans[12345]);

  // Pre-flop: the 169 classes, suits aside.
  std::set<int> classes;
  for (uint8_t a = 0; a < 52; ++a)
    for (uint8_t b = a + 1; b < 52; ++b) {
      const uint8_t hole[2] = {a, b};
      const int bucket = large.bucket(0, hole);
      ASSERT_LT(bucket, LARGE_PREFLOP_BUCKETS);
      classes.insert(bucket);
    }
  EXPECT_EQ(classes.size(), 169u);
  const uint8_t aks[2] = {makeCard(12, 0), makeCard(11, 0)}, akh[2] = {makeCard(12, 2), makeCard(11, 2)},
                ako[2] = {makeCard(12, 0), makeCard(11, 1)};
  EXPECT_EQ(large.bucket(0, aks), large.bucket(0, akh));
  EXPECT_NE(large.bucket(0, aks), large.bucket(0, ako));
}

// Block-linear weighting: after exactly one block every sum is half what
// plain training of the same deals gives (a quarter for the strategy sums
// under discounted CFR's square), and weighting never touches a solver that
// does not ask for it.
TEST(LinearWeighting, HalvesTheSumsOfTheFirstBlock) {
  GamePtr game = holdemGame("holdem.limit.2p.reverse_blinds.game");
  ASSERT_TRUE(game);
  SyntheticBuckets plain(game.get()), weighted(game.get()), discounted(game.get()),
      plainAgain(game.get());
  weighted.setDiscountedWeighting(40, CFR::LINEAR);
  discounted.setDiscountedWeighting(40, CFR::DCFR);
  trainHoldemQuietly(plain, 40, 3);
  trainHoldemQuietly(weighted, 40, 3);
  trainHoldemQuietly(discounted, 40, 3);
  const auto a = informationSets(plain), b = informationSets(weighted), d = informationSets(discounted);
  ASSERT_EQ(a.size(), b.size());
  ASSERT_EQ(a.size(), d.size());
  size_t moved = 0;
  for (size_t k = 0; k < a.size(); ++k)
    for (int s = 0; s < NUM_ABSTRACT_ACTIONS; ++s) {
      const double r = a[k].second.regretSum[s], w = b[k].second.regretSum[s];
      if (r != r) {
        EXPECT_NE(w, w);  // the exclusion mark stays
        continue;
      }
      ASSERT_EQ(w, r * 0.5) << a[k].first;
      ASSERT_EQ(d[k].second.regretSum[s], r * 0.5) << a[k].first;
      ASSERT_EQ(b[k].second.strategySum[s], a[k].second.strategySum[s] * 0.5);
      ASSERT_EQ(d[k].second.strategySum[s], a[k].second.strategySum[s] * 0.25);
      moved += r != 0.0;
    }
  EXPECT_GT(moved, 0u);
  // Without the weighting the same seed gives the same bits again.
  trainHoldemQuietly(plainAgain, 40, 3);
  expectSameInformationSets(plain, plainAgain);
}

// Discounted weighting over two blocks. The first block's discount is one
// half for every regret whatever the powers, so up to the second discount
// two solvers that differ only in beta hold the same bits; the second then
// multiplies positive regrets alike (2^1.5 / (2^1.5 + 1)), negative ones by
// 1/2 (beta 0) against 2/3 (beta 1), and strategy sums alike.
TEST(DiscountedWeighting, PositiveAndNegativeRegretsFadeAtTheirOwnRates) {
  GamePtr game = holdemGame("holdem.limit.2p.reverse_blinds.game");
  ASSERT_TRUE(game);
  SyntheticBuckets dcfr(game.get()), linearNegatives(game.get());
  dcfr.setDiscountedWeighting(20, CFR::DCFR);
  linearNegatives.setDiscountedWeighting(20, {1.5, 1.0, 2.0});
  trainHoldemQuietly(dcfr, 40, 5);
  trainHoldemQuietly(linearNegatives, 40, 5);

  const auto a = informationSets(dcfr), b = informationSets(linearNegatives);
  ASSERT_EQ(a.size(), b.size());
  size_t positive = 0, negative = 0;
  for (size_t k = 0; k < a.size(); ++k)
    for (int s = 0; s < NUM_ABSTRACT_ACTIONS; ++s) {
      const double r = a[k].second.regretSum[s], l = b[k].second.regretSum[s];
      ASSERT_EQ(b[k].second.strategySum[s], a[k].second.strategySum[s]) << a[k].first;
      if (r != r) {
        EXPECT_NE(l, l);  // the exclusion mark stays
      } else if (l > 0.0) {
        ASSERT_EQ(r, l) << a[k].first;
        ++positive;
      } else if (l < 0.0) {
        ASSERT_DOUBLE_EQ(r * 2.0 / 3.0, l * 0.5) << a[k].first;
        ++negative;
      }
    }
  EXPECT_GT(positive, 0u);
  EXPECT_GT(negative, 0u);
}

TEST(LargeAgent, OwnStrategyFileAndBucketsStandardPathsUntouched) {
  GamePtr limit = holdemGame(kHoldemGames[0]);
  GamePtr nolimit = holdemGame(kHoldemGames[2]);
  EXPECT_STREQ(LimitHoldemAgent::strategyPath(limit.get()), "strategies/holdem.limit.2p/strategy");
  EXPECT_STREQ(LimitHoldemAgent::strategyPath(limit.get(), Abstraction::standard),
               "strategies/holdem.limit.2p/strategy");
  EXPECT_STREQ(LimitHoldemAgent::strategyPath(nolimit.get(), Abstraction::standard),
               "strategies/holdem.nolimit.2p/strategy");
  EXPECT_STREQ(LimitHoldemAgent::strategyPath(limit.get(), Abstraction::large),
               "strategies/holdem.limit.2p.large/strategy");

  TempDir dir;
  ASSERT_TRUE(makeLargeAgentDir(dir.path()));
  InDirectory in(dir.path());
  testing::internal::CaptureStdout();
  auto agent = std::make_unique<LimitHoldemAgent>(kHoldemGames[0], Abstraction::large, 20);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Training hold'em agent with 20 iterations"), std::string::npos);
  EXPECT_NE(out.find("Number of information sets: 15307200"), std::string::npos) << out;
  EXPECT_TRUE(file_exist("strategies/holdem.limit.2p.large/strategy"));
  EXPECT_FALSE(std::filesystem::exists("strategies/holdem.limit.2p"));
  // Its keys reach bucket 2399.
  EXPECT_TRUE(agent->getSolver()->lookupNode("1:0:2399:"));
  EXPECT_FALSE(agent->getSolver()->lookupNode("1:0:2400:"));

  // The query covers a state for any hand, all in bucket 0 here.
  State state;
  initState(limit.get(), 0, &state);
  const uint8_t hands[2][2] = {{makeCard(12, 0), makeCard(12, 1)}, {makeCard(0, 0), makeCard(5, 1)}};
  double p[2][NUM_ABSTRACT_ACTIONS];
  EXPECT_TRUE(agent->actionProbabilities(state, 1, hands, 2, p));
  EXPECT_NEAR(p[0][0] + p[0][1] + p[0][2], 1.0, 1e-12);

  // A later start loads the file and trains nothing.
  agent.reset();
  testing::internal::CaptureStdout();
  agent = std::make_unique<LimitHoldemAgent>(kHoldemGames[0], Abstraction::large, 20);
  out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.find("Training"), std::string::npos) << out;
  EXPECT_NE(out.find("Loading table lookup/large_buckets_river!"), std::string::npos);

  // Beside the strategy, the note of its bucket tables.
  const std::string note = "strategies/holdem.limit.2p.large/strategy.buckets";
  EXPECT_EQ(slurp(note),
            "lookup/large_buckets_flop_k2400\nlookup/large_buckets_turn_k2400\n"
            "lookup/large_buckets_river\n");
  EXPECT_EQ(LimitHoldemAgent::largeBucketsProblem(LimitHoldemAgent::LARGE_STRATEGY_FILE), "");
  // A note of other tables (an earlier version's 240 x 10 flop and turn) is told.
  std::ofstream(note) << "lookup/large_buckets_flop_240x10\nlookup/large_buckets_turn_240x10\n"
                         "lookup/large_buckets_river\n";
  EXPECT_EQ(LimitHoldemAgent::largeBucketsProblem(LimitHoldemAgent::LARGE_STRATEGY_FILE),
            "trained on other bucket tables (" + note + ")");
  // A strategy and checkpoint without a note (an earlier version's) are
  // removed and trained again, the checkpoint never read.
  agent.reset();
  std::filesystem::remove(note);
  std::ofstream("strategies/holdem.limit.2p.large/strategy.checkpoint") << "not a checkpoint\n";
  std::ofstream("strategies/holdem.limit.2p.large/strategy.checkpoint.7") << "sums\n";
  testing::internal::CaptureStdout();
  agent = std::make_unique<LimitHoldemAgent>(kHoldemGames[0], Abstraction::large, 20);
  out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Warning: strategy strategies/holdem.limit.2p.large/strategy is refused: no note " +
                     note + " of its bucket tables; it is trained again"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Training hold'em agent with 20 iterations"), std::string::npos);
  EXPECT_EQ(out.find("training checkpoint"), std::string::npos) << out;
  EXPECT_FALSE(std::filesystem::exists("strategies/holdem.limit.2p.large/strategy.checkpoint.7"));
  EXPECT_EQ(LimitHoldemAgent::largeBucketsProblem(LimitHoldemAgent::LARGE_STRATEGY_FILE), "");
}

// scripts/match plays morvane:large against the standard player, both from
// small strategies over test-made tables, as a duplicate match: every run
// ends, each player keeps its own log, and the tables name both.
TEST(LargeAgent, DuplicateMatchAgainstTheStandardPlayer) {
  TempDir dir;
  ASSERT_TRUE(makeHoldemWorkDir(dir.path()));
  std::filesystem::remove(dir.file(kHoldemGames[0]));
  ASSERT_TRUE(makeLargeWorkDir(dir.path()));
  {
    InDirectory in(dir.path());
    ASSERT_TRUE(saveHoldemStrategy(kHoldemGames[0], "strategies/holdem.limit.2p/strategy"));
    testing::internal::CaptureStdout();
    LimitHoldemAgent large(kHoldemGames[0], Abstraction::large, 10);
    testing::internal::GetCapturedStdout();
  }
  const std::string build =
      std::filesystem::path(MORVANE_PATH).parent_path().parent_path().string();
  const std::string command = std::string(POKER_GAMES_DIR) + "/../scripts/match --no-build --build-dir '" +
                              build + "' --run-dir '" + dir.path() +
                              "' --duplicate --game holdem.limit.2p --hands 20 --seed 3 "
                              "morvane:large morvane > " + dir.file("match.out") + " 2>&1";
  const int status = std::system(command.c_str());
  const std::string out = slurp(dir.file("match.out"));
  ASSERT_EQ(status, 0) << out;
  EXPECT_NE(out.find("match: run 2 of 2: morvane morvane.large"), std::string::npos) << out;
  EXPECT_NE(out.find("duplicate result of the 2 runs"), std::string::npos);
  const std::string table = out.substr(out.rfind("player"));
  EXPECT_NE(table.find("\nmorvane.large "), std::string::npos) << table;
  EXPECT_NE(table.find("\nmorvane "), std::string::npos) << table;
  for (const char* log : {"logs/run1/morvane.large.log", "logs/run2/morvane.log"})
    EXPECT_TRUE(std::filesystem::exists(dir.file(log))) << log;
  EXPECT_NE(slurp(dir.file("logs/run1/morvane.large.log")).find("--abstraction\nlarge\n"),
            std::string::npos);
  EXPECT_EQ(slurp(dir.file("logs/run1/morvane.log")).find("--abstraction"), std::string::npos);
}
