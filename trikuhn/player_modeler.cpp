#include "player_modeler.h"

#include <algorithm>

namespace KuhnPoker::ThreePlayer {

namespace {

constexpr int POSITION_A = 0;
constexpr int POSITION_B = 1;
constexpr int POSITION_C = 2;

}  // namespace

PlayerModel::PlayerModel() {
  auto zero = [](double& cell, PlayerPosition, CardIndex, InfoSetSituation) {
    cell = 0;
    return false;
  };
  forEveryStatistic(visitWeights, zero);
  forEveryStatistic(aggressiveWeights, zero);

  for (int position = 0; position < NUM_PLAYERS; ++position) {
    for (int s : {facingBet, facingBetAfterFold, facingBetAfterCall}) {
      probabilities[position][jack][s] = 0;
      probabilities[position][ace][s] = 1;
    }
    probabilities[position][queen][facingBetAfterCall] = 0;
  }
}

PlayerModeler::PlayerModeler(Acpc::GameDef const& gameDefinition_, std::mt19937& randomEngine_)
    : gameDefinition(gameDefinition_), randomEngine(randomEngine_) {}

void PlayerModeler::updateOpponentModels() {
  replayInfoSets(lastMatchState, gameDefinition,
                 [this](InfoSetSituation s, PlayerPosition p, PlayerIndex i, ActionType t,
                        CardSet const& cards) {
                   if (cards.empty() || i == thisPlayer) return false;
                   double const w = 1.0 / static_cast<double>(cards.size());
                   PlayerModel& m = models[i];
                   bool const aggressive = s == noBetYet ? t == a_raise : t == a_call;
                   for (CardIndex k : cards) {
                     m.visitWeights[p][k][s] += w;
                     if (aggressive) m.aggressiveWeights[p][k][s] += w;
                     m.probabilities[p][k][s] =
                         m.aggressiveWeights[p][k][s] / m.visitWeights[p][k][s];
                   }
                   return false;
                 });
}

double PlayerModeler::betaCriterion() const {
  // The bot is in position b: the seat before it is in position a, the seat
  // after it in position c.
  PlayerModel const& prev = models[previousPlayer];
  PlayerModel const& next = models[nextPlayer];
  auto a = [&prev](int card, int s) { return prev.at(POSITION_A, card, s); };
  auto c = [&next](int card, int s) { return next.at(POSITION_C, card, s); };

  double const a11 = a(1, 1), a12 = a(1, 2), a13 = a(1, 3), a14 = a(1, 4);
  double const a21 = a(2, 1), a22 = a(2, 2), a23 = a(2, 3), a24 = a(2, 4);
  double const a31 = a(3, 1), a32 = a(3, 2), a33 = a(3, 3), a34 = a(3, 4);
  double const a41 = a(4, 1), a42 = a(4, 2), a43 = a(4, 3), a44 = a(4, 4);

  double d = 36 - 6 * a11 + 10 * a13 - 6 * a21 - 12 * a31 - 8 * a33 - 12 * a41 - 16 * a43 -
             10 * a11 * a13 + 8 * a31 * a33 + 16 * a41 * a43;
  d += c(1, 1) * (4 - 2 * a21 - 10 * a22 + 4 * a31 - 4 * a32 - 6 * a41 - 6 * a42 +
                  10 * a21 * a22 + 4 * a31 * a32 + 6 * a41 * a42);
  d += c(1, 2) * (10 - 4 * a21 - 4 * a23 + 4 * a24 - 5 * a31 - a34 - a41 + 4 * a43 - 5 * a44 +
                  4 * a21 * a23 - 4 * a21 * a24 + a31 * a34 - 4 * a41 * a43 + 5 * a41 * a44);
  d += c(2, 1) * (4 - 2 * a11 - 10 * a12 + 4 * a31 - 4 * a32 - 6 * a41 - 6 * a42 +
                  10 * a11 * a12 + 4 * a31 * a32 + 6 * a41 * a42);
  d += c(2, 2) * (-4 * a11 - 4 * a13 + 4 * a14 + 4 * a34 + 4 * a41 + 4 * a43 + 4 * a11 * a13 -
                  4 * a11 * a14 - 4 * a31 * a34 - 4 * a41 * a43);
  d += c(3, 1) * (-8 + 4 * a11 - 4 * a12 + 4 * a21 - 4 * a22 + 4 * a11 * a12 + 4 * a21 * a22);
  d += c(3, 2) * (-8 - 5 * a13 + 4 * a14 + 4 * a24 + 8 * a41 + 8 * a43 + 5 * a11 * a13 -
                  4 * a11 * a14 - 4 * a21 * a24 - 8 * a41 * a43);
  d += c(4, 1) * (-3 + 1.5 * a11 + 1.5 * a12 + 1.5 * a21 + 1.5 * a22 - 1.5 * a11 * a12 -
                  1.5 * a21 * a22);
  d += c(4, 2) * (-16 + 4 * a11 - a13 + 4 * a21 + 4 * a23 + 8 * a31 + 8 * a33 + a11 * a13 -
                  4 * a21 * a23 - 8 * a31 * a33);
  return d;
}

double PlayerModeler::b32Criterion() const {
  PlayerModel const& prev = models[previousPlayer];
  PlayerModel const& next = models[nextPlayer];
  double const a11 = prev.at(POSITION_A, 1, 1);
  double const a21 = prev.at(POSITION_A, 2, 1);
  double const a41 = prev.at(POSITION_A, 4, 1);
  double const c14 = next.at(POSITION_C, 1, 4);
  double const c24 = next.at(POSITION_C, 2, 4);
  double const c44 = next.at(POSITION_C, 4, 4);
  return 8 * a11 + 8 * a21 - 2 * a41 + a11 * c24 - 5 * a11 * c44 + a21 * c14 - 5 * a21 * c44;
}

void PlayerModeler::optimizeBetaAccordingToOpponents() {
  double const beta = betaCriterion() >= 0 ? 0.25 : 0.0;
  PlayerModel& self = models[thisPlayer];
  self.at(POSITION_B, 1, 1) = beta;
  self.at(POSITION_B, 2, 1) = beta;
}

void PlayerModeler::optimizeB32AccordingToOpponents() {
  PlayerModel& self = models[thisPlayer];
  if (b32Criterion() < 0) {
    self.at(POSITION_B, 3, 2) = 0;
    return;
  }
  double const b11 = self.at(POSITION_B, 1, 1);
  double const b21 = self.at(POSITION_B, 2, 1);
  double const upper = 0.5 + 0.75 * (b11 + b21) + 0.25 * std::max(b11, b21);
  self.at(POSITION_B, 3, 2) = std::clamp(upper, 0.0, 1.0);
}

}  // namespace KuhnPoker::ThreePlayer
