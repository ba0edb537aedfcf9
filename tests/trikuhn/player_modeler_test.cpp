// Counting observed decisions into the opponent models, and the beta and
// b32 rules.
#include <gtest/gtest.h>

#include <random>

#include "kuhn_bot.h"
#include "player_modeler.h"
#include "test_support.h"

using namespace KuhnPoker::ThreePlayer;
using trikuhn_test::kuhnGame;
using trikuhn_test::matchState;

namespace {

class PlayerModelerTest : public testing::Test {
 protected:
  std::mt19937 engine;
  PlayerModeler modeler{kuhnGame(), engine};

  void observe(char const* text) {
    modeler.lastMatchState = matchState(text);
    modeler.updateOpponentModels();
  }
};

TEST_F(PlayerModelerTest, NewModelFixesTheCellsFamilyOneFixes) {
  PlayerModel const m;
  for (int p = 0; p < 3; ++p) {
    for (int s = facingBet; s <= facingBetAfterCall; ++s) {
      EXPECT_EQ(m.probabilities[p][jack][s], 0);
      EXPECT_EQ(m.probabilities[p][ace][s], 1);
    }
    EXPECT_EQ(m.probabilities[p][queen][facingBetAfterCall], 0);
    for (int c = 0; c < 4; ++c)
      for (int s = 0; s < 4; ++s) {
        EXPECT_EQ(m.visitWeights[p][c][s], 0);
        EXPECT_EQ(m.aggressiveWeights[p][c][s], 0);
      }
  }
}

TEST_F(PlayerModelerTest, SpreadsADecisionOverThePossibleCards) {
  // The bot in seat 2 holds J; nextPlayer (seat 0) opens with a bet, seat 1
  // folds, the bot folds.
  observe("MATCHSTATE:2:0:rff:||Js");
  PlayerModel const& next = modeler.models[nextPlayer];
  for (CardIndex k : {queen, king, ace}) {
    EXPECT_DOUBLE_EQ(next.visitWeights[0][k][noBetYet], 1.0 / 3);
    EXPECT_DOUBLE_EQ(next.aggressiveWeights[0][k][noBetYet], 1.0 / 3);
    EXPECT_DOUBLE_EQ(next.probabilities[0][k][noBetYet], 1);
  }
  EXPECT_EQ(next.visitWeights[0][jack][noBetYet], 0);

  // previousPlayer (seat 1) folded with a hidden card: never the ace.
  PlayerModel const& prev = modeler.models[previousPlayer];
  EXPECT_DOUBLE_EQ(prev.visitWeights[1][queen][facingBet], 0.5);
  EXPECT_DOUBLE_EQ(prev.visitWeights[1][king][facingBet], 0.5);
  EXPECT_EQ(prev.visitWeights[1][ace][facingBet], 0);
  EXPECT_EQ(prev.aggressiveWeights[1][queen][facingBet], 0);
  EXPECT_EQ(prev.probabilities[1][queen][facingBet], 0);
  EXPECT_EQ(prev.probabilities[1][ace][facingBet], 1);  // untouched

  // The bot's own decisions are never counted.
  EXPECT_EQ(modeler.models[thisPlayer].visitWeights[2][jack][facingBetAfterFold], 0);

  // A check by the same player in the same cells halves the frequency (the
  // hand is still open, so the ace stays possible).
  observe("MATCHSTATE:2:1:c:||Js");
  for (CardIndex k : {queen, king, ace}) {
    EXPECT_DOUBLE_EQ(next.visitWeights[0][k][noBetYet], 2.0 / 3);
    EXPECT_DOUBLE_EQ(next.probabilities[0][k][noBetYet], 0.5);
  }
}

TEST_F(PlayerModelerTest, CallsAreAggressiveWhenFacingABet) {
  // Seen from seat 1: seat 0 (previousPlayer) bets the king, seat 1 calls,
  // seat 2 (nextPlayer) calls with the jack.
  observe("MATCHSTATE:1:0:rcc:Ks|As|Js");
  PlayerModel const& prev = modeler.models[previousPlayer];
  PlayerModel const& next = modeler.models[nextPlayer];
  EXPECT_EQ(prev.visitWeights[0][king][noBetYet], 1);
  EXPECT_EQ(prev.probabilities[0][king][noBetYet], 1);
  EXPECT_EQ(next.visitWeights[2][jack][facingBetAfterCall], 1);
  EXPECT_EQ(next.aggressiveWeights[2][jack][facingBetAfterCall], 1);
  EXPECT_EQ(next.probabilities[2][jack][facingBetAfterCall], 1);
}

// Opponent models at family-1 values: D and E vanish whatever the free
// parameters, so the bot takes the largest beta and b32.
TEST_F(PlayerModelerTest, FamilyOneOpponentsGiveZeroCriteria) {
  for (double beta : {0.0, 0.1, 0.25}) {
    for (PlayerIndex i : {previousPlayer, nextPlayer}) {
      PlayerModel& m = modeler.models[i];
      m.at(1, 3, 2) = 0.3;
      m.at(2, 3, 3) = 0.7;
      m.at(2, 3, 4) = beta * 2;
      writeFamilyOne(m, beta);
    }
    EXPECT_EQ(modeler.betaCriterion(), 0);
    EXPECT_EQ(modeler.b32Criterion(), 0);
    modeler.optimizeBetaAccordingToOpponents();
    modeler.optimizeB32AccordingToOpponents();
    PlayerModel const& self = modeler.models[thisPlayer];
    EXPECT_EQ(self.at(1, 1, 1), 0.25);
    EXPECT_EQ(self.at(1, 2, 1), 0.25);
    EXPECT_EQ(self.at(1, 3, 2), 0.9375);
  }
}

double cellA(int card, int s) { return ((card * 7 + s * 3) % 10) / 10.0 + 0.05; }
double cellC(int card, int s) { return ((card * 3 + s * 5) % 10) / 10.0 + 0.05; }

TEST_F(PlayerModelerTest, CriteriaOnGeneralModels) {
  // Values worked out separately from the polynomials as written.
  for (int card = 1; card <= 4; ++card)
    for (int s = 1; s <= 4; ++s) {
      modeler.models[previousPlayer].at(0, card, s) = cellA(card, s);
      modeler.models[nextPlayer].at(2, card, s) = cellC(card, s);
    }
  EXPECT_NEAR(modeler.betaCriterion(), 17.883875, 1e-9);
  EXPECT_NEAR(modeler.b32Criterion(), 5.395, 1e-9);
}

TEST_F(PlayerModelerTest, RulesFollowTheSigns) {
  for (PlayerIndex i : {previousPlayer, nextPlayer}) writeFamilyOne(modeler.models[i], 0.1);
  PlayerModel& prev = modeler.models[previousPlayer];
  PlayerModel const& self = modeler.models[thisPlayer];

  // The seat in position a always bets the jack: D = -1.5, E = 3.
  prev.at(0, 1, 1) = 1;
  EXPECT_NEAR(modeler.betaCriterion(), -1.5, 1e-12);
  modeler.optimizeBetaAccordingToOpponents();
  modeler.optimizeB32AccordingToOpponents();
  EXPECT_EQ(self.at(1, 1, 1), 0);
  EXPECT_EQ(self.at(1, 2, 1), 0);
  EXPECT_EQ(self.at(1, 3, 2), 0.5);

  // It bets the ace instead: D = 4, E = -2.
  prev.at(0, 1, 1) = 0;
  prev.at(0, 4, 1) = 1;
  EXPECT_NEAR(modeler.betaCriterion(), 4, 1e-12);
  EXPECT_NEAR(modeler.b32Criterion(), -2, 1e-12);
  modeler.optimizeBetaAccordingToOpponents();
  modeler.optimizeB32AccordingToOpponents();
  EXPECT_EQ(self.at(1, 1, 1), 0.25);
  EXPECT_EQ(self.at(1, 3, 2), 0);
}

}  // namespace
