// Family-1 equilibrium bots for three-player limit Kuhn poker.
//
// "Family 1" is a parameterised family of Nash equilibria of three-player
// Kuhn poker (Szafron, Gibson and Sturtevant, "A parameterized family of
// equilibrium profiles for three-player Kuhn poker", AAMAS 2013): a fixed
// table of action probabilities in which beta (b11 = b21), b32, c33 and c34
// are free within bounds. The bot plays the member held in its own model by
// drawing one uniform number per decision and, after every hand, counts the
// opponents' decisions into their models. BetaAndFreeOptimizedBot also
// re-chooses the free parameters against those models after every hand.
#ifndef TRIKUHN_KUHN_BOT_H
#define TRIKUHN_KUHN_BOT_H

#include <random>

#include "acpc_bot.h"
#include "acpc_game.h"
#include "game.h"
#include "player_modeler.h"

namespace KuhnPoker::ThreePlayer {

// Writes the 48 cells of family 1 into model, with beta for b11 and b21 and
// the model's own b32; c33 and c34 are left as they are.
void writeFamilyOne(PlayerModel& model, double beta);

class Bot : public Acpc::Bot {
 public:
  // Gives all three models random members of family 1 (12 uniform numbers
  // from randomEngine). Throws std::runtime_error unless the game is
  // three-player Kuhn poker.
  Bot(Acpc::GameDef const& gameDefinition, std::mt19937& randomEngine);
  ~Bot() override = default;

  // Records the finished hand and counts it into the opponent models.
  void update(MatchState const& matchState) override;
  // Bets or calls with the probability of the bot's own model, one draw.
  Action act(MatchState const& matchState) override;

  // The c34 and c33 rules: set the bot's own c34 (from F) and c33 (from G)
  // against the models of the seats in positions a and b when it is in c.
  void optimizeC34AndC33();

  Acpc::GameDef const& gameDefinition;
  std::mt19937& randomEngine;
  PlayerModeler modeler;

 protected:
  double uniform() { return std::generate_canonical<double, 53>(randomEngine); }
};

namespace BetaAndFreeOptimized {

class BetaAndFreeOptimizedBot : public Bot {
 public:
  // A Bot whose own free parameters are then chosen by the rules.
  BetaAndFreeOptimizedBot(Acpc::GameDef const& gameDefinition, std::mt19937& randomEngine);

  // As Bot::update, then re-chooses beta, b32, c34 and c33.
  void update(MatchState const& matchState) override;
};

}  // namespace BetaAndFreeOptimized

}  // namespace KuhnPoker::ThreePlayer

#endif  // TRIKUHN_KUHN_BOT_H
