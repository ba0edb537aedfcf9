#include "kuhn_bot.h"

#include <algorithm>
#include <stdexcept>

namespace KuhnPoker::ThreePlayer {

namespace {

constexpr int POSITION_A = 0;
constexpr int POSITION_B = 1;
constexpr int POSITION_C = 2;

// The model of the seat that acts just before the seat of index i.
constexpr PlayerIndex seatBefore(int i) {
  return static_cast<PlayerIndex>((i + NUM_PLAYERS - 1) % NUM_PLAYERS);
}

void requireThreePlayerKuhn(Game const& game) {
  // What the bookkeeping indexes by: three seats, one card each, J to A.
  bool const kuhn = game.numPlayers == NUM_PLAYERS && game.numSuits == 1 &&
                    game.numRanks == NUM_CARDS && game.numHoleCards == 1;
  if (!kuhn) throw std::runtime_error("The game is not three-player limit Kuhn poker\n");
}

}  // namespace

void writeFamilyOne(PlayerModel& m, double beta) {
  double const b32 = m.at(POSITION_B, 3, 2);
  double const c33 = m.at(POSITION_C, 3, 3);
  double const c34 = m.at(POSITION_C, 3, 4);

  // Rows J, Q, K, A; columns: no bet, facing a bet, after a fold, after a call.
  Statistics const table = {{
      {{{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0.5, 0}, {0, 1, 1, 1}}},
      {{{beta, 0, 0, 0},
        {beta, 0, 0, 0},
        {0, b32, 1.5 * beta + 0.5, 0},
        {4 * beta, 1, 1, 1}}},
      {{{0, 0, 0, 0}, {0.5, 0, 0, 0}, {0, 0, c33, c34}, {1, 1, 1, 1}}},
  }};
  m.probabilities = table;
}

Bot::Bot(Acpc::GameDef const& gameDefinition_, std::mt19937& randomEngine_)
    : gameDefinition(gameDefinition_),
      randomEngine(randomEngine_),
      modeler(gameDefinition_, randomEngine_) {
  requireThreePlayerKuhn(*gameDefinition.game);
  auto& models = modeler.models;

  for (int i : {previousPlayer, thisPlayer, nextPlayer}) {
    PlayerModel& m = models[i];
    double const beta = 0.25 * uniform();
    m.at(POSITION_B, 1, 1) = beta;
    m.at(POSITION_B, 2, 1) = beta;
    m.at(POSITION_B, 3, 2) = std::min(1.0, 1.75 * beta + 0.5) * uniform();
  }

  // c33 is bounded by the parameters of whoever sits in position b when m is
  // in position c: the seat before m's.
  for (int i : {previousPlayer, thisPlayer, nextPlayer}) {
    PlayerModel& m = models[i];
    PlayerModel const& o = models[seatBefore(i)];
    writeFamilyOne(m, std::max(m.at(POSITION_B, 1, 1), m.at(POSITION_B, 2, 1)));
    double const oBeta = std::max(o.at(POSITION_B, 1, 1), o.at(POSITION_B, 2, 1));
    double const oB32 = o.at(POSITION_B, 3, 2);
    double const lo = std::max(0.0, 0.5 - oB32);
    double const hi = std::min(1.0, std::max(0.0, 1.75 * oBeta + 0.5 - oB32));
    m.at(POSITION_C, 3, 3) = lo + (hi - lo) * uniform();
    m.at(POSITION_C, 3, 4) = uniform();
  }
}

void Bot::update(MatchState const& matchState) {
  modeler.lastMatchState = matchState;
  modeler.updateOpponentModels();
}

Action Bot::act(MatchState const& matchState) {
  InfoSetSituation const s = situation(matchState);
  bool const facing = s != noBetYet;
  uint8_t const seat = matchState.viewingPlayer;
  uint8_t const card = matchState.state.holeCards[seat][0];
  // The dealer always shows a seat its own card; anything else is answered
  // by the session's default call.
  if (seat >= NUM_PLAYERS || !isKuhnCard(card))
    throw std::runtime_error("no Kuhn card for the acting seat");

  double const p = modeler.models[thisPlayer].probabilities[seat][cardIndex(card)][s];
  if (p > uniform()) return Action{facing ? a_call : a_raise, 0};
  return Action{facing ? a_fold : a_call, 0};
}

void Bot::optimizeC34AndC33() {
  auto& models = modeler.models;
  // The bot is in position c: the seat after it is in position a, the seat
  // before it in position b.
  PlayerModel const& next = models[nextPlayer];
  PlayerModel const& prev = models[previousPlayer];
  double const a11 = next.at(POSITION_A, 1, 1);
  double const a21 = next.at(POSITION_A, 2, 1);
  double const a41 = next.at(POSITION_A, 4, 1);
  double const b12 = prev.at(POSITION_B, 1, 2);
  double const b22 = prev.at(POSITION_B, 2, 2);
  double const b42 = prev.at(POSITION_B, 4, 2);
  PlayerModel& self = models[thisPlayer];

  double const f = 5 * a11 * b22 - a11 * b42 + 5 * a21 * b12 - a21 * b42 - a41 * b12 - a41 * b22;
  self.at(POSITION_C, 3, 4) = f >= 0 ? 1 : 0;

  double const g = 8 * a11 + 8 * a21 - 2 * a41 - 4 * a11 * b22 - 4 * a11 * b42 - 4 * a21 * b12 -
                   4 * a21 * b42 + a41 * b12 + a41 * b22;
  double const b11 = prev.at(POSITION_B, 1, 1);
  double const b21 = prev.at(POSITION_B, 2, 1);
  double const b32 = prev.at(POSITION_B, 3, 2);
  if (g >= 0) {
    double const upper = 0.5 - b32 + 0.75 * (b11 + b21) + 0.25 * std::max(b11, b21);
    self.at(POSITION_C, 3, 3) = std::clamp(upper, 0.0, 1.0);
  } else {
    self.at(POSITION_C, 3, 3) = std::max(0.0, 0.5 - b32);
  }
}

namespace BetaAndFreeOptimized {

BetaAndFreeOptimizedBot::BetaAndFreeOptimizedBot(Acpc::GameDef const& gameDefinition,
                                                 std::mt19937& randomEngine)
    : Bot(gameDefinition, randomEngine) {
  modeler.optimizeBetaAccordingToOpponents();
  modeler.optimizeB32AccordingToOpponents();
  optimizeC34AndC33();
}

void BetaAndFreeOptimizedBot::update(MatchState const& matchState) {
  Bot::update(matchState);
  modeler.optimizeBetaAccordingToOpponents();
  modeler.optimizeB32AccordingToOpponents();
  optimizeC34AndC33();
}

}  // namespace BetaAndFreeOptimized

}  // namespace KuhnPoker::ThreePlayer
