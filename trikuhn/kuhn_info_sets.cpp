#include "kuhn_info_sets.h"

namespace KuhnPoker::ThreePlayer {

InfoSetSituation situation(MatchState const& matchState) {
  State const& state = matchState.state;
  int const n = state.numActions[0];
  auto isCall = [&state](int i) { return state.action[0][i].type == a_call; };

  switch (n) {
    case 0:
      return noBetYet;
    case 1:
      return isCall(0) ? noBetYet : facingBet;
    case 2:
      if (isCall(0)) return isCall(1) ? noBetYet : facingBet;
      return isCall(1) ? facingBetAfterCall : facingBetAfterFold;
    case 3:
      if (isCall(1)) return facingBet;
      return isCall(2) ? facingBetAfterCall : facingBetAfterFold;
    default:
      return isCall(3) ? facingBetAfterCall : facingBetAfterFold;
  }
}

void replayInfoSets(MatchState const& finalState, Acpc::GameDef const& gameDefinition,
                    InfoSetVisitor const& visit) {
  Game const* game = gameDefinition.game.get();
  State const& final = finalState.state;

  Acpc::replay(finalState, gameDefinition, [&](MatchState const& replayed, Action const& action) {
    State const& state = replayed.state;
    PlayerPosition const seat = currentPlayer(game, &state);

    CardSet cards{jack, queen, king, ace};
    // Nobody folds the ace, so none of a folder's decisions was taken with it.
    if (final.finished && final.playerFolded[seat]) cards.erase(ace);

    // Unknown cards are zero; a card outside the deck tells nothing either.
    if (isKuhnCard(state.holeCards[seat][0])) {
      cards = CardSet{cardIndex(state.holeCards[seat][0])};
    } else {
      for (int other = 0; other < NUM_PLAYERS; ++other)
        if (other != seat && isKuhnCard(state.holeCards[other][0]))
          cards.erase(cardIndex(state.holeCards[other][0]));
    }

    return visit(situation(replayed), seat,
                 POS_REL_DEALER_TO_INDEX_TABLE[finalState.viewingPlayer][seat], action.type,
                 cards);
  });
}

void forEveryStatistic(Statistics& statistics, StatisticVisitor const& visit) {
  for (PlayerPosition position = 0; position < NUM_PLAYERS; ++position)
    for (int card = 0; card < NUM_CARDS; ++card)
      for (int s = 0; s < NUM_SITUATIONS; ++s)
        if (visit(statistics[position][card][s], position, static_cast<CardIndex>(card),
                  static_cast<InfoSetSituation>(s)))
          return;
}

}  // namespace KuhnPoker::ThreePlayer
