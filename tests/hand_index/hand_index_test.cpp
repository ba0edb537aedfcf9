#include "cards/hand_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <random>
#include <vector>

namespace {

// The isomorphism class of a hand prefix, computed the obvious way: the
// multiset of the four suits' histories, a history being the suit's rank set
// in each round. Two hands are suit-isomorphic round by round exactly when
// their keys are equal.
using ClassKey = std::array<uint64_t, 4>;

ClassKey class_key(const hand_indexer_s& ix, const uint8_t* cards, uint64_t round) {
  ClassKey key{};
  for (uint64_t r = 0; r <= round; ++r)
    for (uint64_t i = 0; i < ix.round_card_counts[r]; ++i) {
      const uint8_t card = cards[ix.round_first_card[r] + i];
      key[card & 3] |= uint64_t{1} << (13 * (3 - r) + (card >> 2));
    }
  std::sort(key.begin(), key.end());
  return key;
}

class Indexer {
 public:
  explicit Indexer(std::vector<uint8_t> counts) {
    built_ = hand_indexer_init(counts.size(), counts.data(), &ix_);
  }
  ~Indexer() { hand_indexer_free(&ix_); }
  Indexer(const Indexer&) = delete;
  Indexer& operator=(const Indexer&) = delete;

  bool built() const { return built_; }
  const hand_indexer_s& operator*() const { return ix_; }
  const hand_indexer_s* get() const { return &ix_; }
  uint64_t rounds() const { return ix_.rounds; }
  uint64_t cards() const { return ix_.round_first_card[rounds() - 1] + ix_.round_card_counts[rounds() - 1]; }
  uint64_t size(uint64_t round) const { return hand_indexer_size(&ix_, round); }

 private:
  hand_indexer_s ix_;
  bool built_;
};

void deal(std::mt19937_64& rng, uint8_t* cards, uint64_t n) {
  uint8_t deck[52];
  std::iota(deck, deck + 52, 0);
  for (uint64_t i = 0; i < n; ++i) {
    std::swap(deck[i], deck[std::uniform_int_distribution<uint64_t>(i, 51)(rng)]);
    cards[i] = deck[i];
  }
}

// A canonical hand lists each round's cards suit by suit, low ranks first.
void expect_canonical_layout(const hand_indexer_s& ix, const uint8_t* cards, uint64_t round) {
  bool seen[52] = {};
  for (uint64_t r = 0; r <= round; ++r)
    for (uint64_t i = 0; i < ix.round_card_counts[r]; ++i) {
      const uint8_t card = cards[ix.round_first_card[r] + i];
      ASSERT_LT(card, 52);
      ASSERT_FALSE(seen[card]);
      seen[card] = true;
      if (i > 0) {
        const uint8_t prev = cards[ix.round_first_card[r] + i - 1];
        ASSERT_LT((prev & 3) * 16 + (prev >> 2), (card & 3) * 16 + (card >> 2));
      }
    }
}

TEST(HandIndexerInit, SizesAndConfigurationCounts) {
  struct Case {
    std::vector<uint8_t> counts;
    std::vector<uint64_t> sizes, configs;
  };
  const Case cases[] = {
      {{2}, {169}, {2}},
      {{2, 3}, {169, 1286792}, {2, 15}},
      {{2, 4}, {169, 13960050}, {2, 25}},
      {{2, 5}, {169, 123156254}, {2, 36}},
      {{2, 3, 1, 1}, {169, 1286792, 55190538, 2428287420}, {2, 15, 46, 158}},
      {{1}, {13}, {1}},
      // A full deck: the missing card's rank decides the class, then the
      // last card is forced.
      {{51, 1}, {13, 13}, {1, 1}},
      {{2, 0}, {169, 169}, {2, 2}},
  };
  for (const Case& c : cases) {
    Indexer ix(c.counts);
    ASSERT_TRUE(ix.built());
    for (uint64_t r = 0; r < c.counts.size(); ++r) {
      EXPECT_EQ(ix.size(r), c.sizes[r]) << "round " << r << " of " << c.counts.size();
      EXPECT_EQ((*ix).config_count[r], c.configs[r]) << "round " << r << " of " << c.counts.size();
    }
  }
}

TEST(HandIndexerInit, RefusesStructuresItCannotIndex) {
  const std::vector<std::vector<uint8_t>> refused = {
      {},
      {1, 1, 1, 1, 1},
      {26, 27},  // 53 cards
      // A suit with 3, 3, 3 and 4 cards has over 2^20 rank-set histories.
      {3, 3, 3, 4},
      // Index space beyond 64 bits.
      {10, 10, 10},
  };
  for (const auto& counts : refused) {
    hand_indexer_s ix;
    std::memset(&ix, 0x5a, sizeof ix);
    EXPECT_FALSE(hand_indexer_init(counts.size(), counts.data(), &ix)) << counts.size() << " rounds";
    EXPECT_EQ(ix.rounds, 0u);
    EXPECT_EQ(ix.perm_to_config[0], nullptr);
    hand_indexer_free(&ix);  // harmless on a refused record
  }
}

// Indexes every hand of the structure and checks the indices against the
// class keys: each index below the size, equal indices exactly for equal
// keys, every index reached; then unindexes every index and indexes it back.
void check_exhaustively(const std::vector<uint8_t>& counts) {
  Indexer ix(counts);
  ASSERT_TRUE(ix.built());
  const uint64_t last = ix.rounds() - 1, size = ix.size(last);
  std::vector<ClassKey> key_of(size);
  std::vector<bool> reached(size);
  uint64_t mismatches = 0, out_of_range = 0;
  uint8_t cards[52];

  // Depth-first over rounds; within a round over ascending card combinations.
  auto visit = [&](auto&& self, uint64_t round, uint64_t pos, uint64_t filled, uint64_t used,
                   const hand_index_cursor& cursor) -> void {
    const uint64_t first = (*ix).round_first_card[round], n = (*ix).round_card_counts[round];
    if (filled == n) {
      hand_index_cursor next = cursor;
      const hand_index_t index = hand_index_next_round(ix.get(), cards + first, &next);
      if (index >= ix.size(round)) {
        ++out_of_range;
      } else if (round < last) {
        self(self, round + 1, 0, 0, used, next);
      } else {
        const ClassKey key = class_key(*ix, cards, round);
        if (!reached[index]) {
          reached[index] = true;
          key_of[index] = key;
        } else if (key_of[index] != key) {
          ++mismatches;
        }
      }
      return;
    }
    for (uint64_t card = pos; card < 52; ++card) {
      if (used & (uint64_t{1} << card)) continue;
      cards[first + filled] = static_cast<uint8_t>(card);
      self(self, round, card + 1, filled + 1, used | (uint64_t{1} << card), cursor);
    }
  };
  hand_index_cursor start;
  hand_indexer_state_init(ix.get(), &start);
  visit(visit, 0, 0, 0, 0, start);

  ASSERT_EQ(out_of_range, 0u);
  ASSERT_EQ(mismatches, 0u) << "hands of different classes share an index";
  ASSERT_EQ(std::count(reached.begin(), reached.end(), true), static_cast<long>(size));
  std::vector<ClassKey> keys = key_of;
  std::sort(keys.begin(), keys.end());
  ASSERT_EQ(std::adjacent_find(keys.begin(), keys.end()), keys.end())
      << "one class has two indices";

  for (hand_index_t i = 0; i < size; ++i) {
    ASSERT_TRUE(hand_unindex(ix.get(), last, i, cards));
    ASSERT_EQ(hand_index_last(ix.get(), cards), i);
    ASSERT_EQ(class_key(*ix, cards, last), key_of[i]);
  }
}

TEST(HandIndexExhaustive, HoleCards) { check_exhaustively({2}); }
TEST(HandIndexExhaustive, HoleCardsAndFlop) { check_exhaustively({2, 3}); }
// One card of each suit puts all four suits in one group of equal counts.
TEST(HandIndexExhaustive, FourCards) { check_exhaustively({4}); }

// Random hands: every prefix index is in range, unindexing the last index
// gives a canonical hand of the same class whose prefixes index the same;
// random indices unindex and index back.
TEST(HandIndexRandom, RoundTrips) {
  std::mt19937_64 rng(7);
  for (const std::vector<uint8_t>& counts :
       {std::vector<uint8_t>{2, 4}, {2, 5}, {2, 3, 1, 1}, {4, 4}}) {
    Indexer ix(counts);
    ASSERT_TRUE(ix.built());
    const uint64_t last = ix.rounds() - 1;
    uint8_t cards[52], canonical[52];
    hand_index_t indices[4], again[4];
    for (int n = 0; n < 500000; ++n) {
      deal(rng, cards, ix.cards());
      hand_index_all(ix.get(), cards, indices);
      for (uint64_t r = 0; r <= last; ++r) ASSERT_LT(indices[r], ix.size(r));
      ASSERT_TRUE(hand_unindex(ix.get(), last, indices[last], canonical));
      ASSERT_EQ(class_key(*ix, canonical, last), class_key(*ix, cards, last));
      ASSERT_EQ(hand_index_all(ix.get(), canonical, again), indices[last]);
      ASSERT_TRUE(std::equal(indices, indices + last, again));
    }
    for (int n = 0; n < 500000; ++n) {
      const uint64_t round = std::uniform_int_distribution<uint64_t>(0, last)(rng);
      const hand_index_t index = std::uniform_int_distribution<uint64_t>(0, ix.size(round) - 1)(rng);
      ASSERT_TRUE(hand_unindex(ix.get(), round, index, canonical));
      expect_canonical_layout(*ix, canonical, round);
      hand_index_cursor cursor;
      hand_indexer_state_init(ix.get(), &cursor);
      hand_index_t got = 0;
      for (uint64_t r = 0; r <= round; ++r)
        got = hand_index_next_round(ix.get(), canonical + (*ix).round_first_card[r], &cursor);
      ASSERT_EQ(got, index) << "round " << round;
    }
  }
}

// Renaming the suits and reordering cards within a round keep every prefix
// index; moving a card to another round changes the index exactly when it
// changes the class.
TEST(HandIndexRandom, IsomorphicHandsShareIndices) {
  std::mt19937_64 rng(11);
  for (const std::vector<uint8_t>& counts : {std::vector<uint8_t>{2, 5}, {2, 3, 1, 1}}) {
    Indexer ix(counts);
    ASSERT_TRUE(ix.built());
    const uint64_t last = ix.rounds() - 1;
    uint8_t cards[7], renamed[7];
    hand_index_t indices[4], other[4];
    int suits[4] = {0, 1, 2, 3};
    for (int n = 0; n < 20000; ++n) {
      deal(rng, cards, ix.cards());
      hand_index_all(ix.get(), cards, indices);
      std::shuffle(suits, suits + 4, rng);
      for (uint64_t i = 0; i < ix.cards(); ++i) renamed[i] = (cards[i] & ~3) | suits[cards[i] & 3];
      for (uint64_t r = 0; r <= last; ++r) {
        uint8_t* block = renamed + (*ix).round_first_card[r];
        std::shuffle(block, block + (*ix).round_card_counts[r], rng);
      }
      hand_index_all(ix.get(), renamed, other);
      ASSERT_TRUE(std::equal(indices, indices + last + 1, other));

      // Swap a hole card with a later round's card.
      const uint64_t later = std::uniform_int_distribution<uint64_t>(2, ix.cards() - 1)(rng);
      std::copy(cards, cards + ix.cards(), renamed);
      std::swap(renamed[n % 2], renamed[later]);
      const bool same_class = class_key(*ix, cards, last) == class_key(*ix, renamed, last);
      ASSERT_EQ(hand_index_last(ix.get(), renamed) == indices[last], same_class);
    }
  }
}

TEST(HandIndex, CardMovedBetweenRoundsChangesIndex) {
  Indexer ix({2, 3});
  ASSERT_TRUE(ix.built());
  // Cards: rank * 4 + suit, suits c d h s. Same five cards, same pair of aces
  // in the hole; the ace that shares its suit with the trey differs.
  const uint8_t ace_c = 48, ace_d = 49, ace_h = 50, two_c = 0, three_d = 5;
  const uint8_t a[5] = {ace_c, ace_d, ace_h, two_c, three_d};
  const uint8_t b[5] = {ace_c, ace_h, ace_d, two_c, three_d};
  hand_index_t ia[2], ib[2];
  hand_index_all(ix.get(), a, ia);
  hand_index_all(ix.get(), b, ib);
  EXPECT_EQ(ia[0], ib[0]);
  EXPECT_NE(ia[1], ib[1]);
  // With the trey in clubs as well, the diamond and heart aces are
  // interchangeable, so the two splits are isomorphic.
  const uint8_t three_c = 4;
  const uint8_t c[5] = {ace_c, ace_d, ace_h, two_c, three_c};
  const uint8_t d[5] = {ace_c, ace_h, ace_d, two_c, three_c};
  EXPECT_EQ(hand_index_last(ix.get(), c), hand_index_last(ix.get(), d));
}

TEST(HandUnindex, RangeEnds) {
  Indexer ix({2, 5});
  ASSERT_TRUE(ix.built());
  uint8_t cards[7];
  for (uint64_t round = 0; round < 2; ++round) {
    for (hand_index_t index : {hand_index_t{0}, ix.size(round) - 1}) {
      ASSERT_TRUE(hand_unindex(ix.get(), round, index, cards));
      hand_index_cursor cursor;
      hand_indexer_state_init(ix.get(), &cursor);
      hand_index_t got = hand_index_next_round(ix.get(), cards, &cursor);
      if (round == 1) got = hand_index_next_round(ix.get(), cards + 2, &cursor);
      EXPECT_EQ(got, index);
    }
    std::memset(cards, 0xab, sizeof cards);
    EXPECT_FALSE(hand_unindex(ix.get(), round, ix.size(round), cards));
    EXPECT_FALSE(hand_unindex(ix.get(), 2, 0, cards));
    EXPECT_TRUE(std::all_of(cards, cards + 7, [](uint8_t c) { return c == 0xab; }));
  }
}

TEST(HandIndexDeathTest, BadHandsStopWithTheirCheck) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Indexer ix({2, 3});
  ASSERT_TRUE(ix.built());
  const uint8_t off_deck[5] = {52, 1, 2, 3, 4};
  const uint8_t twice_in_round[5] = {7, 7, 2, 3, 4};
  const uint8_t twice_across_rounds[5] = {7, 8, 2, 7, 4};
  EXPECT_DEATH(hand_index_last(ix.get(), off_deck), "cards\\[i\\] < 52");
  EXPECT_DEATH(hand_index_last(ix.get(), twice_in_round), "!\\(ranks\\[suit\\]&rank_bit\\)");
  EXPECT_DEATH(hand_index_last(ix.get(), twice_across_rounds),
               "!\\(state->used_ranks\\[i\\]&ranks\\[i\\]\\)");
  EXPECT_DEATH(hand_indexer_size(ix.get(), 2), "round < indexer->rounds");
  // A third round on a two-round indexer.
  const uint8_t fine[5] = {0, 1, 2, 3, 4};
  hand_index_cursor cursor;
  hand_indexer_state_init(ix.get(), &cursor);
  hand_index_next_round(ix.get(), fine, &cursor);
  hand_index_next_round(ix.get(), fine + 2, &cursor);
  EXPECT_DEATH(hand_index_next_round(ix.get(), fine, &cursor), "round < indexer->rounds");
}

}  // namespace
