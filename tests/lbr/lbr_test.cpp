// The local best response against fixed strategies: the results the
// baselines pin down exactly, the opponent's range after its actions, the
// equities, the raise sizes and the independence from the thread count.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

#include "lbr.h"
#include "support.h"

namespace {

GamePtr holdem(const char* betting) {
  return readGameFile(std::string(POKER_GAMES_DIR) + "/holdem." + betting +
                      ".2p.reverse_blinds.game");
}

lbr::Summary play(const Game* game, const char* opponentName, lbr::ActionSet set, uint64_t deals,
                  unsigned threads = 2, lbr::Rounds rounds = lbr::Rounds::all) {
  auto opponent = lbr::makeBaseline(opponentName, game);
  lbr::Settings settings;
  settings.actions = set;
  settings.rounds = rounds;
  settings.seed = 7;
  lbr::LocalBestResponse best(game, *opponent, settings);
  return lbr::run(best, deals, threads);
}

TEST(LbrBaselines, AlwaysFoldingLosesExactlyThreeQuartersOfABigBlind) {
  // The LBR wins the small blind as the big blind and raises the opponent
  // out as the small blind: (0.5 + 1) / 2 big blinds on every deal.
  for (const char* betting : {"limit", "nolimit"}) {
    GamePtr game = holdem(betting);
    const auto set = std::string(betting) == "limit" ? lbr::ActionSet::fcr : lbr::ActionSet::fcpa;
    for (lbr::Rounds rounds : {lbr::Rounds::all, lbr::Rounds::late}) {
      const lbr::Summary s = play(game.get(), "fold", set, 40, 2, rounds);
      EXPECT_EQ(s.deals, 40u);
      // Late, it checks to the turn as the small blind and bets there.
      EXPECT_DOUBLE_EQ(s.mean, 750.0) << betting;
      EXPECT_DOUBLE_EQ(s.half, 0.0) << betting;
    }
  }
}

TEST(LbrBaselines, FoldingAndCallingBreaksEvenAgainstACallingStation) {
  GamePtr game = holdem("nolimit");
  const lbr::Summary s = play(game.get(), "call", lbr::ActionSet::fc, 300);
  EXPECT_LE(std::abs(s.mean), s.half + 1e-9) << s.mean << " +- " << s.half;
}

TEST(LbrBaselines, ResultsDoNotDependOnTheThreads) {
  GamePtr game = holdem("nolimit");
  const lbr::Summary one = play(game.get(), "random", lbr::ActionSet::wide, 60, 1);
  const lbr::Summary three = play(game.get(), "random", lbr::ActionSet::wide, 60, 3);
  EXPECT_EQ(one.mean, three.mean);
  EXPECT_EQ(one.half, three.half);
  EXPECT_NE(one.half, 0.0);
}

TEST(LbrBaselines, ProgressReportsTheDealsDoneAndEndsWithTheResult) {
  GamePtr game = holdem("nolimit");
  auto opponent = lbr::makeBaseline("random", game.get());
  lbr::LocalBestResponse best(game.get(), *opponent, lbr::Settings{lbr::ActionSet::fcpa});
  std::vector<lbr::Summary> reports;
  const lbr::Summary s = lbr::run(best, 80, 2, [&](const lbr::Summary& soFar) { reports.push_back(soFar); });
  ASSERT_FALSE(reports.empty());
  for (size_t i = 1; i < reports.size(); ++i) EXPECT_LE(reports[i - 1].deals, reports[i].deals);
  EXPECT_EQ(reports.back().deals, 80u);
  EXPECT_NEAR(reports.back().mean, s.mean, 1e-6 * std::abs(s.mean));
  EXPECT_NEAR(reports.back().half, s.half, 1e-6 * s.half);
}

// Raises with every pocket pair, with a quarter of the suited aces, and calls
// with the rest; folds nothing.
class PairRaiser : public lbr::SingleRaiseOpponent {
 public:
  explicit PairRaiser(const Game* game) : SingleRaiseOpponent(game) {}
  static double raiseShare(const uint8_t* hand) {
    if (rankOfCard(hand[0]) == rankOfCard(hand[1])) return 1.0;
    const bool suited = suitOfCard(hand[0]) == suitOfCard(hand[1]);
    const bool ace = rankOfCard(hand[0]) == 12 || rankOfCard(hand[1]) == 12;
    return suited && ace ? 0.25 : 0.0;
  }
  void actionProbabilities(const State& state, uint8_t, const uint8_t (*hands)[2], size_t count,
                           double (*p)[3]) const override {
    int32_t lo, hi;
    const bool canRaise = lbr::raiseRange(game_, state, &lo, &hi);
    for (size_t k = 0; k < count; ++k) {
      p[k][0] = 0.0;
      p[k][2] = canRaise ? raiseShare(hands[k]) : 0.0;
      p[k][1] = 1.0 - p[k][2];
    }
  }
};

// One hand in which the opponent (seat 1, first to act before the flop)
// holds a pair of sevens and the LBR (seat 0) the ace and king of clubs; the
// opponent's range at the LBR's first decision.
const uint8_t kHole[2][2] = {{makeCard(12, 0), makeCard(11, 0)}, {makeCard(5, 1), makeCard(5, 2)}};
const uint8_t kBoard[5] = {makeCard(0, 3), makeCard(1, 3), makeCard(7, 1), makeCard(9, 2), makeCard(3, 0)};

std::vector<double> rangeAtFirstDecision(const lbr::LocalBestResponse& best) {
  std::vector<double> seen;
  lbr::LocalBestResponse watched = best;
  watched.setObserver([&](const State& state, const double* w) {
    if (seen.empty() && state.round == 0) seen.assign(w, w + lbr::NUM_PAIRS);
  });
  lbr::Rng rng(3);
  watched.playHand(kHole, kBoard, 0, rng);
  return seen;
}

bool blockedByTheLbr(const uint8_t* hand) {
  return hand[0] == kHole[0][0] || hand[0] == kHole[0][1] || hand[1] == kHole[0][0] || hand[1] == kHole[0][1];
}

TEST(LbrRange, AfterARaiseOnlyTheHandsThatRaiseKeepWeightInProportion) {
  GamePtr game = holdem("limit");
  PairRaiser opponent(game.get());
  // The opponent's pair raises.
  const std::vector<double> seen =
      rangeAtFirstDecision(lbr::LocalBestResponse(game.get(), opponent, lbr::Settings{lbr::ActionSet::fcr}));
  ASSERT_EQ(seen.size(), static_cast<size_t>(lbr::NUM_PAIRS));
  int pairs = 0, suitedAces = 0;
  for (int i = 0; i < lbr::NUM_PAIRS; ++i) {
    const uint8_t hand[2] = {lbr::holePairs.first[i], lbr::holePairs.second[i]};
    const bool blocked = blockedByTheLbr(hand);
    const double expected = blocked ? 0.0 : PairRaiser::raiseShare(hand);
    ASSERT_DOUBLE_EQ(seen[i], expected) << int(hand[0]) << " " << int(hand[1]);
    pairs += expected == 1.0;
    suitedAces += expected == 0.25;
  }
  // 78 pairs less the three of aces and the three of kings that hold a
  // club; the suited aces of the three suits other than clubs.
  EXPECT_EQ(pairs, 72);
  EXPECT_EQ(suitedAces, 36);
}

// A no-limit opponent with two raise sizes: the smallest raise with every
// pocket pair, all-in with the suited aces, a call with the rest. It notes
// the raise draws it is handed, which play no part in its answer.
class TwoSizeRaiser : public lbr::Opponent {
 public:
  explicit TwoSizeRaiser(const Game* game) : Opponent(game) {}
  void actionList(const State& state, uint8_t, const uint8_t (*hands)[2], size_t count,
                  const RaiseDraw& draw, ActionList* list) const override {
    draws.push_back({draw(0), draw(1)});
    int32_t lo, hi;
    if (!lbr::raiseRange(game_, state, &lo, &hi)) {
      list->actions = {Action{a_call, 0}};
      list->probabilities.assign(count, 1.0);
      return;
    }
    list->actions = {Action{a_call, 0}, Action{a_raise, lo}, Action{a_raise, hi}};
    list->probabilities.clear();
    for (size_t k = 0; k < count; ++k) {
      const bool pair = rankOfCard(hands[k][0]) == rankOfCard(hands[k][1]);
      const bool suitedAce = suitOfCard(hands[k][0]) == suitOfCard(hands[k][1]) &&
                             (rankOfCard(hands[k][0]) == 12 || rankOfCard(hands[k][1]) == 12);
      list->probabilities.insert(list->probabilities.end(),
                                 {pair || suitedAce ? 0.0 : 1.0, pair ? 1.0 : 0.0, suitedAce ? 1.0 : 0.0});
    }
  }
  mutable std::vector<std::pair<double, double>> draws;
};

TEST(LbrRange, AnOpponentWithSeveralSizesKeepsTheHandsOfTheSizeItSent) {
  GamePtr game = holdem("nolimit");
  TwoSizeRaiser opponent(game.get());
  const lbr::LocalBestResponse best(game.get(), opponent, lbr::Settings{lbr::ActionSet::wide});
  // The opponent's pair makes the smallest raise.
  const std::vector<double> seen = rangeAtFirstDecision(best);
  ASSERT_EQ(seen.size(), static_cast<size_t>(lbr::NUM_PAIRS));
  for (int i = 0; i < lbr::NUM_PAIRS; ++i) {
    const uint8_t hand[2] = {lbr::holePairs.first[i], lbr::holePairs.second[i]};
    ASSERT_EQ(seen[i], !blockedByTheLbr(hand) && rankOfCard(hand[0]) == rankOfCard(hand[1]) ? 1.0 : 0.0);
  }
  // Every query of the hand, the LBR's trial raises among them, had the same
  // draws; another hand has others.
  ASSERT_GT(opponent.draws.size(), 2u);
  for (const auto& d : opponent.draws) EXPECT_EQ(d, opponent.draws.front());
  const auto first = opponent.draws.front();
  opponent.draws.clear();
  lbr::Rng rng(4);
  best.playHand(kHole, kBoard, 1, rng);
  ASSERT_FALSE(opponent.draws.empty());
  EXPECT_NE(opponent.draws.front(), first);
}

TEST(LbrRange, BoardCardsRemoveTheHandsTheyBlock) {
  GamePtr game = holdem("limit");
  auto opponent = lbr::makeBaseline("call", game.get());
  lbr::LocalBestResponse best(game.get(), *opponent, lbr::Settings{lbr::ActionSet::fcr});
  std::vector<std::vector<double>> ranges;
  best.setObserver([&](const State&, const double* w) { ranges.emplace_back(w, w + lbr::NUM_PAIRS); });
  const uint8_t hole[2][2] = {{0, 1}, {2, 3}};
  const uint8_t board[5] = {10, 20, 30, 40, 50};
  lbr::Rng rng(5);
  best.playHand(hole, board, 1, rng);
  ASSERT_FALSE(ranges.empty());
  const std::vector<double>& last = ranges.back();
  int live = 0;
  for (int i = 0; i < lbr::NUM_PAIRS; ++i) live += last[i] > 0.0;
  // The calling station keeps every hand; the river leaves 45 unseen cards.
  EXPECT_EQ(live, 45 * 44 / 2);
}

// The LBR's share of the pot against the range w by plain enumeration of
// the board's completions.
double enumerateEquity(const uint8_t* hero, const uint8_t* board, int known, const double* w) {
  uint64_t used = gamecore::cardBit(hero[0]) | gamecore::cardBit(hero[1]);
  uint64_t fixed = 0;
  for (int c = 0; c < known; ++c) fixed |= gamecore::cardBit(board[c]);
  used |= fixed;
  double won = 0.0, total = 0.0;
  auto score = [&](uint64_t full) {
    const int mine = gamecore::rankShowdownHand(full | gamecore::cardBit(hero[0]) | gamecore::cardBit(hero[1]));
    for (int i = 0; i < lbr::NUM_PAIRS; ++i) {
      if (lbr::holePairs.mask[i] & (full | used)) continue;
      const int theirs = gamecore::rankShowdownHand(full | lbr::holePairs.mask[i]);
      won += w[i] * (mine > theirs ? 1.0 : mine == theirs ? 0.5 : 0.0);
      total += w[i];
    }
  };
  if (known == 5) score(fixed);
  for (int a = 0; a < 52 && known == 4; ++a)
    if (!(gamecore::cardBit(a) & used)) score(fixed | gamecore::cardBit(a));
  for (int a = 0; a < 52 && known == 3; ++a)
    for (int b = a + 1; b < 52; ++b)
      if (!(gamecore::cardBit(a) & used) && !(gamecore::cardBit(b) & used))
        score(fixed | gamecore::cardBit(a) | gamecore::cardBit(b));
  return won / total;
}

TEST(LbrShowdowns, TurnAndRiverAreExactAndTheFlopIsANearEstimate) {
  std::vector<double> w(lbr::NUM_PAIRS);
  for (int i = 0; i < lbr::NUM_PAIRS; ++i) w[i] = (i % 7) * 0.25;  // an uneven range
  const uint8_t hero[2] = {makeCard(10, 0), makeCard(9, 0)};     // queen and jack of clubs
  const uint8_t board[5] = {makeCard(8, 0), makeCard(2, 1), makeCard(12, 0), makeCard(7, 2),
                            makeCard(0, 3)};
  lbr::Rng rng(11);
  lbr::Showdowns s;
  for (int known : {5, 4}) {
    s.prepare(hero, board, known, 64, rng);
    EXPECT_NEAR(s.equity(w.data()), enumerateEquity(hero, board, known, w.data()), 1e-12) << known;
  }
  s.prepare(hero, board, 3, 400, rng);
  EXPECT_NEAR(s.equity(w.data()), enumerateEquity(hero, board, 3, w.data()), 0.03);
  // A board royal flush splits every pot.
  const uint8_t royal[5] = {makeCard(12, 3), makeCard(11, 3), makeCard(10, 3), makeCard(9, 3),
                            makeCard(8, 3)};
  s.prepare(hero, royal, 5, 64, rng);
  EXPECT_DOUBLE_EQ(s.equity(w.data()), 0.5);
}

TEST(LbrRaiseSizes, PotFractionsAreMadeLegal) {
  GamePtr game = holdem("nolimit");  // blinds 100 and 50, stacks 20000
  State state;
  initState(game.get(), 0, &state);
  // The small blind to act: the pot after calling is 200, so a pot raise is
  // to 300 and half of it (a raise by 100) to 200, the minimum.
  EXPECT_EQ(lbr::raiseSizes(game.get(), state, lbr::ActionSet::fcpa), (std::vector<int32_t>{300, 20000}));
  EXPECT_EQ(lbr::raiseSizes(game.get(), state, lbr::ActionSet::wide),
            (std::vector<int32_t>{200, 300, 500, 20000}));
  EXPECT_TRUE(lbr::raiseSizes(game.get(), state, lbr::ActionSet::fc).empty());
  // Facing a raise to 15000, a pot raise is beyond the stack: only all-in.
  const Action raise{a_raise, 15000};
  doAction(game.get(), &raise, &state);
  EXPECT_EQ(lbr::raiseSizes(game.get(), state, lbr::ActionSet::wide), (std::vector<int32_t>{20000}));
  // All-in: nothing left to raise.
  const Action shove{a_raise, 20000};
  doAction(game.get(), &shove, &state);
  EXPECT_TRUE(lbr::raiseSizes(game.get(), state, lbr::ActionSet::wide).empty());

  GamePtr limit = holdem("limit");
  initState(limit.get(), 0, &state);
  EXPECT_EQ(lbr::raiseSizes(limit.get(), state, lbr::ActionSet::fcr), (std::vector<int32_t>{0}));
}

}  // namespace
