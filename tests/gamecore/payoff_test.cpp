// Showdown ranking (against a plain evaluator written from the category
// rules) and the payoffs of finished hands: folds, ties and side pots.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "showdown.h"
#include "test_games.h"

namespace {

using gamecore::cardBit;
using gamecore::rankShowdownHand;
using gamecore::showdownTables;

int choose(int n, int k) {
  if (k > n) return 0;
  long long r = 1;
  for (int i = 0; i < k; ++i) r = r * (n - i) / (i + 1);
  return static_cast<int>(r);
}

// Colex index of the highest k of the given ranks (all when fewer).
int colexTop(std::vector<int> ranks, int k) {
  std::sort(ranks.rbegin(), ranks.rend());
  if (static_cast<int>(ranks.size()) > k) ranks.resize(k);
  std::sort(ranks.begin(), ranks.end());
  int index = 0;
  for (size_t i = 0; i < ranks.size(); ++i) index += choose(ranks[i], static_cast<int>(i + 1));
  return index;
}

int bestStraight(const std::vector<bool>& present) {
  for (int top = 12; top >= 4; --top) {
    bool run = true;
    for (int r = top - 4; r <= top; ++r) run = run && present[r];
    if (run) return top;
  }
  return present[12] && present[0] && present[1] && present[2] && present[3] ? 3 : -1;
}

// The hand value straight from the category table, category by category.
int referenceValue(const std::vector<uint8_t>& cards) {
  int count[13] = {};
  std::vector<bool> present(13, false);
  std::vector<std::vector<bool>> bySuit(4, std::vector<bool>(13, false));
  for (uint8_t c : cards) {
    ++count[c / 4];
    present[c / 4] = true;
    bySuit[c % 4][c / 4] = true;
  }
  auto ranksWhere = [&](auto keep) {
    std::vector<int> r;
    for (int i = 0; i < 13; ++i)
      if (keep(i)) r.push_back(i);
    return r;
  };
  auto highest = [&](auto keep) {
    for (int i = 12; i >= 0; --i)
      if (keep(i)) return i;
    return -1;
  };
  for (int s = 0; s < 4; ++s) {
    const int top = bestStraight(bySuit[s]);
    if (top >= 0 && std::count(bySuit[s].begin(), bySuit[s].end(), true) >= 5) return 12103 + top;
  }
  const int quads = highest([&](int r) { return count[r] == 4; });
  if (quads >= 0) return 11934 + 13 * quads + std::max(0, highest([&](int r) { return present[r] && r != quads; }));
  const int trips = highest([&](int r) { return count[r] >= 3; });
  if (trips >= 0) {
    const int pair = highest([&](int r) { return count[r] >= 2 && r != trips; });
    if (pair >= 0) return 10920 + 78 * trips + pair;
  }
  int flush = -1;
  for (int s = 0; s < 4; ++s) {
    const auto ranks = ranksWhere([&](int r) { return bySuit[s][r]; });
    if (ranks.size() >= 5) flush = std::max(flush, 9633 + colexTop(ranks, 5));
  }
  if (flush >= 0) return flush;
  const int straight = bestStraight(present);
  if (straight >= 0) return 9620 + straight;
  if (trips >= 0) return 8606 + 78 * trips + colexTop(ranksWhere([&](int r) { return present[r] && r != trips; }), 2);
  const int hi = highest([&](int r) { return count[r] >= 2; });
  if (hi >= 0) {
    const int lo = highest([&](int r) { return count[r] >= 2 && r != hi; });
    if (lo >= 0)
      return 5005 + 286 * hi + 13 * lo + std::max(0, highest([&](int r) { return present[r] && r != hi && r != lo; }));
    return 1287 + 286 * hi + colexTop(ranksWhere([&](int r) { return present[r] && r != hi; }), 3);
  }
  return colexTop(ranksWhere([&](int r) { return present[r]; }), 5);
}

uint64_t maskOf(const std::vector<uint8_t>& cards) {
  uint64_t mask = 0;
  for (uint8_t c : cards) mask |= cardBit(c);
  return mask;
}

uint8_t card(const char* text) {
  uint8_t c = 0;
  EXPECT_EQ(readCard(text, &c), 2) << text;
  return c;
}

int rankOf(std::initializer_list<const char*> texts) {
  std::vector<uint8_t> cards;
  for (const char* t : texts) cards.push_back(card(t));
  return rankShowdownHand(maskOf(cards));
}

TEST(ShowdownTables, TellingEntries) {
  const auto& t = showdownTables;
  auto mask = [](std::initializer_list<int> ranks) {
    int m = 0;
    for (int r : ranks) m |= 1 << r;
    return m;
  };
  EXPECT_EQ(t.anySuitVal[mask({12})], 12);
  EXPECT_EQ(t.anySuitVal[mask({12, 11})], 77);
  EXPECT_EQ(t.anySuitVal[mask({12, 11, 10, 9, 7})], 1285);
  EXPECT_EQ(t.anySuitVal[mask({12, 0, 1, 2, 3})], 9623);
  EXPECT_EQ(t.oneSuitVal[mask({12, 11, 10, 9, 8})], 12115);
  EXPECT_EQ(t.oneSuitVal[mask({12, 11, 10, 9, 7})], 10918);
  EXPECT_EQ(t.oneSuitVal[mask({12, 11, 10, 9})], 0);
  EXPECT_EQ(t.topBit[0], 0);
  EXPECT_EQ(t.topBit[mask({3, 9})], 9);
  EXPECT_EQ(t.tripsOtherVal[mask({12, 11, 10})], 77);
  EXPECT_EQ(t.pairOtherVal[mask({12, 11, 10, 0})], 285);
  EXPECT_EQ(sizeof(gamecore::ShowdownTables), 65640u);
}

TEST(ShowdownRanking, CategoriesInOrder) {
  const int high = rankOf({"Ah", "Kd", "9c", "7s", "3h"});
  const int pair = rankOf({"2h", "2d", "9c", "7s", "3h"});
  const int twoPair = rankOf({"2h", "2d", "3c", "3s", "4h"});
  const int trips = rankOf({"2h", "2d", "2c", "7s", "3h"});
  const int straight = rankOf({"Ah", "2d", "3c", "4s", "5h"});
  const int flush = rankOf({"2h", "3h", "4h", "5h", "7h"});
  const int fullHouse = rankOf({"2h", "2d", "2c", "3s", "3h"});
  const int quads = rankOf({"2h", "2d", "2c", "2s", "3h"});
  const int straightFlush = rankOf({"Ah", "2h", "3h", "4h", "5h"});
  EXPECT_LT(high, 1287);
  EXPECT_EQ(pair, 1287 + colexTop({7, 5, 1}, 3));
  EXPECT_EQ(twoPair, 5005 + 286 * 1 + 0 + 2);
  EXPECT_EQ(trips, 8606 + colexTop({5, 1}, 2));
  EXPECT_EQ(straight, 9623);
  EXPECT_EQ(flush, 9633 + colexTop({0, 1, 2, 3, 5}, 5));
  EXPECT_EQ(fullHouse, 10920 + 1);
  EXPECT_EQ(quads, 11934 + 1);
  EXPECT_EQ(straightFlush, 12106);
  // A flush over a straight, a full house over a flush in seven cards.
  EXPECT_EQ(rankOf({"2h", "3h", "4h", "5h", "9h", "6d", "Ac"}), 9633 + colexTop({0, 1, 2, 3, 7}, 5));
  EXPECT_EQ(rankOf({"2h", "3h", "4h", "9h", "9d", "9c", "2c"}), 10920 + 78 * 7 + 0);
}

TEST(ShowdownRanking, QuadsWithoutKickerCountAsDeuceKicker) {
  EXPECT_EQ(rankOf({"Kh", "Kd", "Kc", "Ks"}), rankOf({"Kh", "Kd", "Kc", "Ks", "2h"}));
  EXPECT_EQ(rankOf({"Kh", "Kd", "Kc", "Ks"}), 11934 + 13 * 11);
}

TEST(ShowdownRanking, LoneCardIsItsRank) {
  for (int r = 0; r < 13; ++r) EXPECT_EQ(rankShowdownHand(cardBit(makeCard(r, 3))), r);
}

TEST(ShowdownRanking, MatchesReferenceOnRandomHands) {
  std::mt19937 rng(12345);
  // Full deck and two short decks (highest suits and ranks of each).
  const std::vector<std::pair<int, int>> decks = {{4, 13}, {2, 6}, {1, 9}};
  for (auto [suits, ranks] : decks) {
    std::vector<uint8_t> deck;
    for (int s = 4 - suits; s < 4; ++s)
      for (int r = 13 - ranks; r < 13; ++r) deck.push_back(makeCard(r, s));
    for (int n = 1; n <= 7 && n <= static_cast<int>(deck.size()); ++n) {
      for (int trial = 0; trial < 20000; ++trial) {
        std::shuffle(deck.begin(), deck.end(), rng);
        std::vector<uint8_t> hand(deck.begin(), deck.begin() + n);
        ASSERT_EQ(rankShowdownHand(maskOf(hand)), referenceValue(hand)) << "deck " << suits << "x" << ranks;
      }
    }
  }
}

// A finished hand with given stakes, folds and cards, for valueOfState.
class Payoff : public testing::Test {
 protected:
  void setUp(const char* definition, std::vector<int32_t> spent, std::vector<int> folded = {}) {
    game_ = parseGame(definition);
    ASSERT_NE(game_, nullptr);
    memset(&state_, 0, sizeof(state_));
    initState(game_.get(), 0, &state_);
    for (size_t p = 0; p < spent.size(); ++p) state_.spent[p] = spent[p];
    for (int p : folded) state_.playerFolded[p] = 1;
    state_.finished = 1;
    state_.round = game_->numRounds - 1;
  }
  void hole(int seat, std::initializer_list<const char*> cards) {
    int i = 0;
    for (const char* c : cards) state_.holeCards[seat][i++] = card(c);
  }
  void board(std::initializer_list<const char*> cards) {
    int i = 0;
    for (const char* c : cards) state_.boardCards[i++] = card(c);
  }
  double value(int seat) { return valueOfState(game_.get(), &state_, static_cast<uint8_t>(seat)); }
  double total() {
    double sum = 0;
    for (int p = 0; p < game_->numPlayers; ++p) sum += value(p);
    return sum;
  }

  GamePtr game_;
  State state_;
};

const char* const kThreeSeatOneCard =
    "nolimit\nnumPlayers 3\nnumRounds 1\nstack 1000 1000 1000\nblind 0 0 0\nnumSuits 4\nnumRanks 13\n"
    "numHoleCards 1\nnumBoardCards 0\n";

TEST_F(Payoff, HigherLoneCardWins) {
  setUp(kKuhn3p, {2, 2, 2}, {});
  hole(0, {"Js"});
  hole(1, {"As"});
  hole(2, {"Qs"});
  EXPECT_EQ(value(0), -2);
  EXPECT_EQ(value(1), 4);
  EXPECT_EQ(value(2), -2);
}

TEST_F(Payoff, SidePots) {
  setUp(kThreeSeatOneCard, {50, 100, 100});
  hole(0, {"As"});
  hole(1, {"Ks"});
  hole(2, {"Qs"});
  EXPECT_EQ(value(0), 100);
  EXPECT_EQ(value(1), 0);
  EXPECT_EQ(value(2), -100);
}

TEST_F(Payoff, LargestStakeIsReturnedUnmatched) {
  setUp(kThreeSeatOneCard, {50, 80, 300});
  hole(0, {"2s"});
  hole(1, {"3s"});
  hole(2, {"As"});
  EXPECT_EQ(value(2), 130);
  EXPECT_EQ(value(0), -50);
  EXPECT_EQ(value(1), -80);
}

TEST_F(Payoff, TiesSplit) {
  setUp(kHoldemNoLimit2p, {100, 100});
  hole(0, {"Ah", "Kd"});
  hole(1, {"Ac", "Ks"});
  board({"2c", "7d", "9h", "Jc", "3s"});
  EXPECT_EQ(value(0), 0);
  EXPECT_EQ(value(1), 0);

  setUp(kThreeSeatOneCard, {10, 10, 10});
  hole(0, {"As"});
  hole(1, {"Ah"});
  hole(2, {"Ks"});
  EXPECT_EQ(value(0), 5);
  EXPECT_EQ(value(1), 5);
  EXPECT_EQ(value(2), -10);

  // An odd pot split two ways gives halves.
  setUp(kThreeSeatOneCard, {7, 7, 7});
  hole(0, {"As"});
  hole(1, {"Ah"});
  hole(2, {"Ks"});
  EXPECT_DOUBLE_EQ(value(0), 3.5);
  EXPECT_DOUBLE_EQ(total(), 0);
}

TEST_F(Payoff, FoldedSeatsPayButNeverWin) {
  setUp(kThreeSeatOneCard, {30, 100, 100}, {0});
  hole(0, {"As"});  // the best card, but folded
  hole(1, {"Ks"});
  hole(2, {"Qs"});
  EXPECT_EQ(value(0), -30);
  EXPECT_EQ(value(1), 130);
  EXPECT_EQ(value(2), -100);
}

TEST_F(Payoff, OthersFoldedWinnerTakesAllStakes) {
  setUp(kHoldemLimit3p, {5, 30, 20}, {0, 2});
  EXPECT_EQ(value(1), 25);
  EXPECT_EQ(value(0), -5);
  EXPECT_EQ(value(2), -20);
}

TEST_F(Payoff, BlindsOfSeatsThatNeverActedCount) {
  game_ = parseGame(kHoldemLimit3p);
  ASSERT_NE(game_, nullptr);
  initState(game_.get(), 0, &state_);
  Action raise = act(a_raise), fold = act(a_fold);
  doAction(game_.get(), &raise, &state_);  // seat 2
  doAction(game_.get(), &fold, &state_);   // seat 0, small blind
  doAction(game_.get(), &fold, &state_);   // seat 1, big blind
  ASSERT_TRUE(state_.finished);
  EXPECT_EQ(value(2), 15);
}

TEST_F(Payoff, EarlyAllInUsesTheWholeBoard) {
  GamePtr game = parseGame(kHoldemNoLimit2p);
  ASSERT_NE(game, nullptr);
  MatchState ms;
  memset(&ms, 0, sizeof(ms));
  ASSERT_GT(readMatchState("MATCHSTATE:0:1:r20000c///:2c3d|AhAs/2h3h4d/5s/Kc", game.get(), &ms), 0);
  ASSERT_EQ(ms.state.round, 3);
  // On the flop alone seat 0's two pair would beat the aces; the turn gives
  // seat 1 the wheel.
  EXPECT_EQ(valueOfState(game.get(), &ms.state, 0), -20000);
  EXPECT_EQ(valueOfState(game.get(), &ms.state, 1), 20000);
}

TEST_F(Payoff, SeatWithNothingInTheHandNeitherWinsNorLoses) {
  setUp(kThreeSeatOneCard, {0, 0, 0});
  hole(0, {"As"});
  EXPECT_EQ(value(0), 0);
  setUp(kThreeSeatOneCard, {0, 40, 40});
  hole(0, {"As"});
  hole(1, {"Ks"});
  hole(2, {"Qs"});
  EXPECT_EQ(value(0), 0);
  EXPECT_EQ(value(1), 40);
}

}  // namespace
