// Betting situations, the seat-to-opponent table, the decisions of a finished
// hand with their possible cards, and the walk over the statistics cells.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "kuhn_info_sets.h"
#include "test_support.h"

using namespace KuhnPoker::ThreePlayer;
using KuhnPoker::PlayerPosition;
using trikuhn_test::kuhnGame;
using trikuhn_test::matchState;

namespace {

TEST(SituationTest, EveryBettingPrefixOfTheGame) {
  std::vector<std::pair<std::string, InfoSetSituation>> const prefixes = {
      {"", noBetYet},           {"c", noBetYet},           {"cc", noBetYet},
      {"r", facingBet},         {"cr", facingBet},         {"ccr", facingBet},
      {"rf", facingBetAfterFold}, {"crf", facingBetAfterFold}, {"ccrf", facingBetAfterFold},
      {"rc", facingBetAfterCall}, {"crc", facingBetAfterCall}, {"ccrc", facingBetAfterCall},
  };
  for (auto const& [betting, expected] : prefixes)
    EXPECT_EQ(situation(matchState("MATCHSTATE:0:0:" + betting + ":Ks||")), expected)
        << "betting \"" << betting << "\"";
}

TEST(PositionTableTest, MapsSeatsToTheBotsView) {
  for (int bot = 0; bot < 3; ++bot)
    for (int seat = 0; seat < 3; ++seat)
      EXPECT_EQ(POS_REL_DEALER_TO_INDEX_TABLE[bot][seat], (seat - bot + 4) % 3);
}

struct Visit {
  InfoSetSituation situation;
  PlayerPosition seat;
  PlayerIndex index;
  ActionType type;
  CardSet cards;
};

std::vector<Visit> visits(std::string const& finalState) {
  std::vector<Visit> seen;
  replayInfoSets(matchState(finalState), kuhnGame(),
                 [&](InfoSetSituation s, PlayerPosition p, PlayerIndex i, ActionType t,
                     CardSet const& cards) {
                   seen.push_back({s, p, i, t, cards});
                   return false;
                 });
  return seen;
}

void expectVisit(Visit const& v, InfoSetSituation s, PlayerPosition p, PlayerIndex i,
                 ActionType t, CardSet const& cards) {
  EXPECT_EQ(v.situation, s);
  EXPECT_EQ(v.seat, p);
  EXPECT_EQ(v.index, i);
  EXPECT_EQ(v.type, t);
  EXPECT_EQ(v.cards, cards);
}

TEST(ReplayInfoSetsTest, FoldedHandWithHiddenCards) {
  std::vector<Visit> const v = visits("MATCHSTATE:0:7:crff:Qs||");
  ASSERT_EQ(v.size(), 4u);
  expectVisit(v[0], noBetYet, 0, thisPlayer, a_call, {queen});
  expectVisit(v[1], noBetYet, 1, nextPlayer, a_raise, {jack, king, ace});
  // Seat 2 folded, so it did not hold the ace.
  expectVisit(v[2], facingBet, 2, previousPlayer, a_fold, {jack, king});
  expectVisit(v[3], facingBetAfterFold, 0, thisPlayer, a_fold, {queen});
}

TEST(ReplayInfoSetsTest, ShowdownGivesOneCardSets) {
  // Seat 1's view: seat 0 bets with the king, seat 1 calls with the ace,
  // seat 2 calls with the jack.
  std::vector<Visit> const v = visits("MATCHSTATE:1:2:rcc:Ks|As|Js");
  ASSERT_EQ(v.size(), 3u);
  expectVisit(v[0], noBetYet, 0, previousPlayer, a_raise, {king});
  expectVisit(v[1], facingBet, 1, thisPlayer, a_call, {ace});
  expectVisit(v[2], facingBetAfterCall, 2, nextPlayer, a_call, {jack});
}

TEST(ReplayInfoSetsTest, KnownCardOfAFolderIsKeptAndVisitCanStop) {
  // The bot in seat 0 folds its own ace: its known card still stands, and
  // the folding opponent is known to hold neither the ace nor the bot's card.
  std::vector<Visit> const v = visits("MATCHSTATE:0:0:crff:As||");
  ASSERT_EQ(v.size(), 4u);
  expectVisit(v[2], facingBet, 2, previousPlayer, a_fold, {jack, queen, king});
  expectVisit(v[3], facingBetAfterFold, 0, thisPlayer, a_fold, {ace});

  int calls = 0;
  replayInfoSets(matchState("MATCHSTATE:0:0:crff:As||"), kuhnGame(),
                 [&](InfoSetSituation, PlayerPosition, PlayerIndex, ActionType, CardSet const&) {
                   return ++calls == 2;
                 });
  EXPECT_EQ(calls, 2);
}

TEST(ForEveryStatisticTest, VisitsCellsInOrderAndStopsEarly) {
  Statistics stats{};
  int count = 0;
  forEveryStatistic(stats, [&](double& cell, PlayerPosition p, CardIndex c, InfoSetSituation s) {
    EXPECT_EQ(p * 16 + c * 4 + s, count);  // situation varies fastest
    cell = count++;
    return false;
  });
  EXPECT_EQ(count, 48);
  EXPECT_EQ(stats[2][1][3], 2 * 16 + 1 * 4 + 3);

  std::vector<std::tuple<int, int, int>> seen;
  forEveryStatistic(stats, [&](double&, PlayerPosition p, CardIndex c, InfoSetSituation s) {
    seen.emplace_back(p, c, s);
    return true;
  });
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], std::make_tuple(0, 0, 0));
}

}  // namespace
