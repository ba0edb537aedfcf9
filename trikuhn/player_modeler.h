// Opponent models of the three-player Kuhn bot. Each model is a table of the
// probability of the aggressive action (bet when nobody has bet, call when
// facing a bet) for every position, card and situation. The opponents'
// models start from family-1 equilibrium values and are replaced, cell by
// cell, by observed frequencies: each decision is counted with its weight
// spread evenly over the cards the opponent may have held. The bot's own
// model is its strategy; two closed-form rules choose its free parameters
// beta (b11 = b21) and b32 against the opponents' models.
//
// Parameters are written xCS: x the position letter (a, b, c), C the card
// (1 = J ... 4 = A), S the situation (1 = no bet yet ... 4 = facing a bet
// after a call). b32 is probabilities[1][king][facingBet].
#ifndef TRIKUHN_PLAYER_MODELER_H
#define TRIKUHN_PLAYER_MODELER_H

#include <array>
#include <random>

#include "acpc_game.h"
#include "game.h"
#include "kuhn_info_sets.h"

namespace KuhnPoker::ThreePlayer {

class PlayerModel {
 public:
  // No observations yet; the cells family 1 fixes in every position are set
  // (J never calls, Q never calls after a call, A always calls). The rest of
  // probabilities is zero until the bot writes its family-1 member.
  PlayerModel();
  virtual ~PlayerModel() = default;

  // The parameter xCS of this model (position 0 to 2, card and situation
  // counted from 1, as in the names).
  double& at(int position, int card, int situation) {
    return probabilities[position][card - 1][situation - 1];
  }
  double at(int position, int card, int situation) const {
    return probabilities[position][card - 1][situation - 1];
  }

  Statistics probabilities{};
  Statistics visitWeights{};
  Statistics aggressiveWeights{};
};

class PlayerModeler {
 public:
  PlayerModeler(Acpc::GameDef const& gameDefinition, std::mt19937& randomEngine);
  virtual ~PlayerModeler() = default;

  // Counts the opponents' decisions of lastMatchState into their models.
  void updateOpponentModels();
  // Sets b11 and b21 of the bot's own model (0.25 when D >= 0, else 0).
  void optimizeBetaAccordingToOpponents();
  // Sets b32 of the bot's own model from E; reads b11 and b21, so it runs
  // after the beta rule.
  void optimizeB32AccordingToOpponents();

  // The polynomials of the two rules, over the current opponent models.
  double betaCriterion() const;  // D
  double b32Criterion() const;   // E

  Acpc::GameDef const& gameDefinition;
  std::mt19937& randomEngine;
  MatchState lastMatchState{};
  std::array<PlayerModel, NUM_PLAYERS> models;
};

}  // namespace KuhnPoker::ThreePlayer

#endif  // TRIKUHN_PLAYER_MODELER_H
