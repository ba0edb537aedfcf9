// The per-class equity estimator against the straightforward estimator (same
// engine draws give the same result) and against exact equities computed by
// enumeration (its own uniform draws are unbiased), and the threaded driver.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "abstraction/equity_generator.h"
#include "cards/hand_index.h"
#include "lookup_dir.h"

namespace {

struct Round {
  uint8_t structure[2];
  uint64_t rounds;
  int known;
};
const Round kRounds[4] = {{{2, 0}, 1, 2}, {{2, 3}, 2, 5}, {{2, 4}, 2, 6}, {{2, 5}, 2, 7}};

class Indexers {
 public:
  Indexers() {
    for (int r = 0; r < 4; ++r)
      EXPECT_TRUE(hand_indexer_init(kRounds[r].rounds, kRounds[r].structure, &indexer_[r]));
  }
  ~Indexers() {
    for (auto& i : indexer_) hand_indexer_free(&i);
  }
  const hand_indexer_s* operator[](int r) const { return &indexer_[r]; }
  uint64_t size(int r) const { return hand_indexer_size(&indexer_[r], kRounds[r].rounds - 1); }
  void hand(int r, uint64_t index, uint8_t* cards) const {
    ASSERT_TRUE(hand_unindex(&indexer_[r], kRounds[r].rounds - 1, index, cards));
  }

 private:
  hand_indexer_s indexer_[4];
};

const Indexers& indexers() {
  static Indexers instance;
  return instance;
}

// `count` classes spread over the round, the first and the last included.
std::vector<uint64_t> spreadClasses(int round, uint64_t count) {
  const uint64_t n = indexers().size(round);
  std::vector<uint64_t> out;
  for (uint64_t i = 0; i < count; ++i) out.push_back(i * (n - 1) / (count - 1));
  return out;
}

double reference(uint8_t* cards, int known, unsigned players, const int* table) {
  int* t = const_cast<int*>(table);
  switch (known) {
    case 2: return evaluateHand2(cards, players, t);
    case 5: return evaluateHand5(cards, players, t);
    case 6: return evaluateHand6(cards, players, t);
    default: return evaluateHand7(cards, players, t);
  }
}

// Exact probabilities of beating one and two random opponents, by
// enumerating every completion of the board and every opponent holding.
struct Exact {
  double p2, p3;
};

// River: hero value fixed; counts the opponent pairs it beats.
void riverCounts(const int* T, const uint8_t* cards7, double& beaten1, double& beaten2) {
  const int hero = tptRank7(T, cards7);
  bool used[52] = {};
  for (int i = 0; i < 7; ++i) used[cards7[i]] = true;
  std::vector<uint8_t> deck;
  for (int c = 0; c < 52; ++c)
    if (!used[c]) deck.push_back(static_cast<uint8_t>(c));
  const int board = tptWalk(T, TPT_ROOT, cards7 + 2, 5);
  const size_t n = deck.size();
  std::vector<std::vector<bool>> beats(n, std::vector<bool>(n));
  std::vector<long> degree(n, 0);
  long pairs = 0;
  for (size_t i = 0; i < n; ++i)
    for (size_t j = i + 1; j < n; ++j) {
      const bool b = T[T[board + deck[i] + 1] + deck[j] + 1] < hero;
      beats[i][j] = b;
      if (b) ++pairs, ++degree[i], ++degree[j];
    }
  long both = 0;  // unordered beaten pair, then a disjoint beaten pair
  for (size_t i = 0; i < n; ++i)
    for (size_t j = i + 1; j < n; ++j)
      if (beats[i][j]) both += pairs - degree[i] - degree[j] + 1;
  const double holdings = n * (n - 1) / 2.0;
  const double holdings2 = (n - 2) * (n - 3) / 2.0;
  beaten1 = pairs / holdings;
  beaten2 = both / (holdings * holdings2);
}

Exact exactEquity(const int* T, const uint8_t* cards, int known) {
  uint8_t full[7];
  for (int i = 0; i < known; ++i) full[i] = cards[i];
  bool used[52] = {};
  for (int i = 0; i < known; ++i) used[cards[i]] = true;
  double s2 = 0, s3 = 0, count = 0;
  auto add = [&]() {
    double a, b;
    riverCounts(T, full, a, b);
    s2 += a, s3 += b, count += 1;
  };
  if (known == 7) {
    add();
  } else if (known == 6) {
    for (int r = 0; r < 52; ++r)
      if (!used[r]) full[6] = static_cast<uint8_t>(r), add();
  } else {
    for (int t = 0; t < 52; ++t)
      for (int r = t + 1; r < 52; ++r)
        if (!used[t] && !used[r])
          full[5] = static_cast<uint8_t>(t), full[6] = static_cast<uint8_t>(r), add();
  }
  return {s2 / count, s3 / count};
}

TEST(ClassEstimator, GivesTheStraightforwardResultsForTheSameEngineDraws) {
  REQUIRE_STATE_TABLE(T);
  ClassEstimator estimator(T);
  const uint64_t perRound[4] = {169, 300, 300, 300};
  for (int r = 0; r < 4; ++r) {
    const int known = kRounds[r].known;
    for (uint64_t index : spreadClasses(r, perRound[r])) {
      uint8_t hand[7];
      indexers().hand(r, index, hand);
      for (unsigned players = 1; players <= 3; ++players) {
        const unsigned seed = 1 + static_cast<unsigned>(index % 100000) * 7 + players;
        global_urng().seed(seed);
        const double expected = reference(hand, known, players, T);
        global_urng().seed(seed);
        estimator.setHand(hand, known);
        EngineShuffle deal;
        const int wins = estimator.wins(players, EQUITY_SAMPLES, deal);
        ASSERT_EQ(static_cast<double>(wins) / EQUITY_SAMPLES, expected)
            << "round " << r << " class " << index << " players " << players;
      }
    }
  }
}

// For every class the number of wins in m uniform samples is binomial with
// the exact equity p. Summed over many classes, a biased draw shows as a
// shifted total or a chi-square statistic far from its degrees of freedom.
// Checks winsUniform, which fills the tables, and wins with UniformDeal.
void checkAgainstExact(int round, uint64_t classes, int samples, bool viaDeal) {
  const int* T = testStateTable();
  ASSERT_NE(T, nullptr);
  ClassEstimator estimator(T);
  SampleRng rng(0x5eed0000 + round);
  UniformDeal deal{rng};
  double shift = 0, variance = 0, chi2 = 0;
  int df = 0;
  for (uint64_t index : spreadClasses(round, classes)) {
    uint8_t hand[7];
    indexers().hand(round, index, hand);
    const Exact exact = exactEquity(T, hand, kRounds[round].known);
    estimator.setHand(hand, kRounds[round].known);
    for (unsigned players = 2; players <= 3; ++players) {
      const double p = players == 2 ? exact.p2 : exact.p3;
      const int wins = viaDeal ? estimator.wins(players, samples, deal)
                               : estimator.winsUniform(players, samples, rng);
      const double mean = samples * p, var = samples * p * (1 - p);
      if (var < 1e-9) {
        ASSERT_NEAR(wins, mean, 1e-6) << "class " << index << " players " << players;
        continue;
      }
      shift += wins - mean;
      variance += var;
      chi2 += (wins - mean) * (wins - mean) / var;
      ++df;
    }
  }
  ASSERT_GT(df, 0);
  EXPECT_LT(std::fabs(shift) / std::sqrt(variance), 5.0) << "round " << round;
  EXPECT_LT(std::fabs(chi2 - df), 5.0 * std::sqrt(2.0 * df)) << "round " << round;
}

TEST(ClassEstimator, UniformDrawsAgreeWithExactRiverEquities) {
  checkAgainstExact(3, 600, 1000, false);
  checkAgainstExact(3, 200, 1000, true);
}
TEST(ClassEstimator, UniformDrawsAgreeWithExactTurnEquities) {
  checkAgainstExact(2, 200, 2000, false);
  checkAgainstExact(2, 50, 2000, true);
}
TEST(ClassEstimator, UniformDrawsAgreeWithExactFlopEquities) {
  checkAgainstExact(1, 12, 20000, false);
  checkAgainstExact(1, 4, 20000, true);
}

TEST(GenerateEquities, TablesDoNotDependOnThreadsAndProgressComesInOrder) {
  REQUIRE_STATE_TABLE(T);
  const int r = 2;
  const EquityRound round{indexers()[r], 1, kRounds[r].known, "unindex"};
  const uint64_t begin = 5000, end = 7500;
  std::vector<double> a2(end - begin), a3(end - begin), b2(end - begin), b3(end - begin);
  std::vector<uint64_t> lines;
  auto record = [&](uint64_t i) { lines.push_back(i); };
  generateEquities(T, round, begin, end, a2.data(), a3.data(), 1, 99, 1000, record);
  EXPECT_EQ(lines, (std::vector<uint64_t>{5000, 6000, 7000}));
  lines.clear();
  generateEquities(T, round, begin, end, b2.data(), b3.data(), 2, 99, 1000, record);
  EXPECT_EQ(lines, (std::vector<uint64_t>{5000, 6000, 7000}));
  EXPECT_EQ(a2, b2);
  EXPECT_EQ(a3, b3);
  for (size_t i = 0; i < a2.size(); ++i) {
    ASSERT_GE(a3[i], 0.0);
    ASSERT_LE(a2[i], 1.0);
    ASSERT_EQ(a2[i] * EQUITY_SAMPLES, std::round(a2[i] * EQUITY_SAMPLES));
  }
}

}  // namespace
