// The evaluator state table against the engine's showdown ranking, the
// generator's rule-based reference, and the properties every walk relies on.
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>

#include "hands.h"
#include "lookup_fixture.h"
#include "cards/qel.h"
#include "cards/tpt_generator.h"

namespace {

using gamecore::cardBit;
using gamecore::rankShowdownHand;

int walk(const std::vector<uint8_t>& cards) {
  const int* t = sharedTable();
  switch (cards.size()) {
    case 5: return tptRank5(t, cards.data());
    case 6: return tptRank6(t, cards.data());
    default: return tptRank7(t, cards.data());
  }
}

int value(int category, int rank) { return category * 4096 + rank; }

TEST(TptTable, KnownHandsHaveTheirValues) {
  REQUIRE_TABLE();
  const struct {
    const char* cards;
    int expected;
  } cases[] = {
      {"7c5d4h3s2c", value(HIGH_CARD, 1)},
      {"AcKdQhJs9c", value(HIGH_CARD, 1277)},
      {"2c2d3h4s5c", value(ONE_PAIR, 1)},
      {"AcAdKhQsJc", value(ONE_PAIR, 2860)},
      {"3c3d2h2s4c", value(TWO_PAIR, 1)},
      {"AcAdKhKsQc", value(TWO_PAIR, 858)},
      {"2c2d2h3s4c", value(THREE_OF_A_KIND, 1)},
      {"Ac2d3h4s5c", value(STRAIGHT, 1)},
      {"AcKdQhJsTc", value(STRAIGHT, 10)},
      {"7c5c4c3c2c", value(FLUSH, 1)},
      {"2c2d2h3s3c", value(FULL_HOUSE, 1)},
      {"AcAdAhKsKc", value(FULL_HOUSE, 156)},
      {"2c2d2h2s3c", value(FOUR_OF_A_KIND, 1)},
      {"AcAdAhAsKc", value(FOUR_OF_A_KIND, 156)},
      {"5h4h3h2hAh", value(STRAIGHT_FLUSH, 1)},
      {"AsKsQsJsTs", 36874},
      // More cards: the best five count, a sixth flush card or a third pair
      // as kicker included.
      {"AsKsQsJsTs2c", 36874},
      {"AsKsQsJsTs2c3d", 36874},
      {"AhAdKhKdQhQd2c", value(TWO_PAIR, 858)},
      {"9h8h7h6h5h4h2h", value(STRAIGHT_FLUSH, 5)},
      {"2c2d2h3s3c3d4h", value(FULL_HOUSE, 13)},  // threes full of deuces
  };
  for (const auto& c : cases) {
    const std::vector<uint8_t> cards = hand(c.cards);
    EXPECT_EQ(walk(cards), c.expected) << c.cards;
    EXPECT_EQ(referenceHandValue(cards.data(), static_cast<int>(cards.size())), c.expected) << c.cards;
  }
}

TEST(TptTable, OrderOfTheCardsNeverMatters) {
  REQUIRE_TABLE();
  std::mt19937 rng(7);
  for (int trial = 0; trial < 60; ++trial) {
    std::vector<uint8_t> deck(52);
    for (int c = 0; c < 52; ++c) deck[c] = static_cast<uint8_t>(c);
    std::shuffle(deck.begin(), deck.end(), rng);
    for (int n = 5; n <= 7; ++n) {
      std::vector<uint8_t> cards(deck.begin(), deck.begin() + n);
      std::sort(cards.begin(), cards.end());
      const int expected = walk(cards);
      EXPECT_EQ(expected, referenceHandValue(cards.data(), n));
      do {
        ASSERT_EQ(walk(cards), expected);
      } while (std::next_permutation(cards.begin(), cards.end()));
    }
  }
}

TEST(TptTable, RandomSevenCardHandsMatchTheReferenceAndTheEngine) {
  REQUIRE_TABLE();
  std::mt19937 rng(11);
  OrderAgreement agreement;
  uint8_t deck[52];
  for (int c = 0; c < 52; ++c) deck[c] = static_cast<uint8_t>(c);
  for (int trial = 0; trial < 300000; ++trial) {
    for (int i = 0; i < 7; ++i) std::swap(deck[i], deck[i + rng() % (52 - i)]);
    const int v = tptRank7(sharedTable(), deck);
    ASSERT_EQ(v, referenceHandValue(deck, 7));
    agreement.add(v, rankShowdownHand(cardSet(deck, 7)));
  }
  agreement.check();
}

// Every 5- and 6-card hand, walking shared prefixes once; categories are
// compared with the engine's and the self-tests' printed counts.
TEST(TptTable, EveryFiveAndSixCardHandAgreesWithTheEngine) {
  REQUIRE_TABLE();
  const int* t = sharedTable();
  OrderAgreement five, six;
  long fiveCount = 0, sixCount = 0;
  long sixPerCategory[10] = {};
  for (int a = 0; a < 52; ++a) {
    const int sa = t[TPT_ROOT + a + 1];
    const uint64_t ma = cardBit(a);
    for (int b = a + 1; b < 52; ++b) {
      const int sb = t[sa + b + 1];
      const uint64_t mb = ma | cardBit(b);
      for (int c = b + 1; c < 52; ++c) {
        const int sc = t[sb + c + 1];
        const uint64_t mc = mb | cardBit(c);
        for (int d = c + 1; d < 52; ++d) {
          const int sd = t[sc + d + 1];
          const uint64_t md = mc | cardBit(d);
          for (int e = d + 1; e < 52; ++e) {
            const int se = t[sd + e + 1];
            const uint64_t me = md | cardBit(e);
            five.add(t[se], rankShowdownHand(me));
            ++fiveCount;
            for (int f = e + 1; f < 52; ++f) {
              const int v = t[t[se + f + 1]];
              six.add(v, rankShowdownHand(me | cardBit(f)));
              ++sixPerCategory[tptCategory(v)];
              ++sixCount;
            }
          }
        }
      }
    }
  }
  EXPECT_EQ(fiveCount, 2598960);
  EXPECT_EQ(sixCount, 20358520);
  five.check();
  six.check();
  EXPECT_EQ(five.distinct(), HAND_CLASSES);

  std::string expected = "Rank 6 hand cards:\n";
  char line[80];
  std::snprintf(line, sizeof line, "Min value: %d\nMax value: %d\nCount: %ld\n",
                walk(hand("8c7d5h4s3c2d")), 36874, sixCount);
  expected += line;
  for (int category = 1; category <= 9; ++category) {
    std::snprintf(line, sizeof line, "Rank %s: %ld\n", handNames[category - 1].c_str(),
                  sixPerCategory[category]);
    expected += line;
  }
  expected += "--------------------------------------\n";
  twoPlusTwoTable = const_cast<int*>(t);
  EXPECT_EQ(capturedOutput(testRankHand6), expected);
  twoPlusTwoTable = nullptr;
}

TEST(TptTable, SelfTestPrintsThePublishedFiveCardCounts) {
  REQUIRE_TABLE();
  twoPlusTwoTable = const_cast<int*>(sharedTable());
  const std::string out = capturedOutput(testRankHand5);
  twoPlusTwoTable = nullptr;
  EXPECT_EQ(out,
            "Rank 5 hand cards:\n"
            "Min value: 4097\n"
            "Max value: 36874\n"
            "Count: 2598960\n"
            "Rank High card: 1302540\n"
            "Rank One pair: 1098240\n"
            "Rank Two pair: 123552\n"
            "Rank Three of a kind: 54912\n"
            "Rank Straight: 10200\n"
            "Rank Flush: 5108\n"
            "Rank Full house: 3744\n"
            "Rank Four of a kind: 624\n"
            "Rank Straight flush: 40\n"
            "--------------------------------------\n");
}

TEST(TptTable, IndexesRankTheClassesFromWorstToBest) {
  const std::string path = testLookupDir() + "/tpt.indexes";
  ASSERT_TRUE(table_file_ok(path, TPT_INDEXES_SIZE * sizeof(int))) << path;
  std::unique_ptr<int[]> onDisk(loadIntTable(path.c_str(), TPT_INDEXES_SIZE));
  std::unique_ptr<int[]> fresh = generateTptIndexes();
  ASSERT_TRUE(std::equal(fresh.get(), fresh.get() + TPT_INDEXES_SIZE, onDisk.get()));

  // Nonzero exactly at the hand values, counting up 1 .. 7462 with the value.
  int expected = 1;
  for (int category = 1; category <= 9; ++category)
    for (int rank = 1; rank < 4096 && value(category, rank) < static_cast<int>(TPT_INDEXES_SIZE); ++rank) {
      const int v = value(category, rank);
      if (rank <= handClassesInCategory[category])
        EXPECT_EQ(onDisk[v], expected++) << v;
      else
        EXPECT_EQ(onDisk[v], 0) << v;
    }
  EXPECT_EQ(expected, HAND_CLASSES + 1);
  for (int v = 0; v < 4096; ++v) EXPECT_EQ(onDisk[v], 0);
}

}  // namespace
