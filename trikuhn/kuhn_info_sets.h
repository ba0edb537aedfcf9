// The vocabulary of the three-player Kuhn bot. In three-player limit Kuhn
// poker (one betting round, one raise at most, the cards J, Q, K, A of one
// suit, one card each) a decision is fully described by the deciding seat's
// position, its card and the betting it faces. This header names those three
// coordinates, maps seats to the bot's fixed view of its opponents, walks
// every decision of a finished hand with the cards the decider may have held,
// and visits every cell of the bot's 3 x 4 x 4 statistics arrays.
#ifndef TRIKUHN_KUHN_INFO_SETS_H
#define TRIKUHN_KUHN_INFO_SETS_H

#include <array>
#include <functional>
#include <unordered_set>

#include "acpc_game.h"
#include "game.h"

namespace KuhnPoker {

// A seat within the hand: 0 acts first, then 1, then 2, then 0 and 1 again
// while a bet is open. Parameter names call the positions a, b and c.
using PlayerPosition = int;

namespace ThreePlayer {

constexpr int NUM_PLAYERS = 3;
constexpr int NUM_CARDS = 4;
constexpr int NUM_SITUATIONS = 4;

enum CardIndex : int { jack = 0, queen = 1, king = 2, ace = 3 };

// The rank of the jack in the engine's card encoding; Kuhn uses J to A.
constexpr int JACK_RANK = 9;

// Whether a card byte is one of the Kuhn cards; zero stands for an unknown
// card, and a dealer line may name cards outside the deck.
constexpr bool isKuhnCard(uint8_t card) {
  return rankOfCard(card) >= JACK_RANK && rankOfCard(card) < JACK_RANK + NUM_CARDS;
}

constexpr CardIndex cardIndex(uint8_t card) {
  return static_cast<CardIndex>(rankOfCard(card) - JACK_RANK);
}

// The betting faced by the seat to act. The passive answer is a check when
// nobody has bet and a fold otherwise; the aggressive one a bet or a call.
enum InfoSetSituation : int {
  noBetYet = 0,            // nobody has bet
  facingBet = 1,           // a bet nobody has answered yet
  facingBetAfterFold = 2,  // a bet one other seat folded to
  facingBetAfterCall = 3,  // a bet one other seat called
};

// A seat as the bot sees it. The dealer moves every player one seat per hand
// and keeps their cyclic order, so an index names the same opponent in every
// hand.
enum PlayerIndex : int { previousPlayer = 0, thisPlayer = 1, nextPlayer = 2 };

// [bot's seat][seat] -> (seat - bot's seat + 1) mod 3.
constexpr PlayerIndex POS_REL_DEALER_TO_INDEX_TABLE[NUM_PLAYERS][NUM_PLAYERS] = {
    {thisPlayer, nextPlayer, previousPlayer},
    {previousPlayer, thisPlayer, nextPlayer},
    {nextPlayer, previousPlayer, thisPlayer},
};

// One double per position, card and situation, [position][card][situation].
using Statistics =
    std::array<std::array<std::array<double, NUM_SITUATIONS>, NUM_CARDS>, NUM_PLAYERS>;

// The cards a seat may have held at a decision.
using CardSet = std::unordered_set<CardIndex>;

// The situation of the seat to act, from the actions of round 0.
InfoSetSituation situation(MatchState const& matchState);

using InfoSetVisitor = std::function<bool(InfoSetSituation, PlayerPosition, PlayerIndex,
                                          ActionType, CardSet const&)>;

// Calls visit once for every action of the hand, in order, with the
// situation, the seat, the seat's index seen from the viewer, the action's
// type and the cards the seat may have held, until visit returns true.
void replayInfoSets(MatchState const& finalState, Acpc::GameDef const& gameDefinition,
                    InfoSetVisitor const& visit);

using StatisticVisitor = std::function<bool(double&, PlayerPosition, CardIndex, InfoSetSituation)>;

// Calls visit on every cell, situation varying fastest, until it returns true.
void forEveryStatistic(Statistics& statistics, StatisticVisitor const& visit);

}  // namespace ThreePlayer
}  // namespace KuhnPoker

#endif  // TRIKUHN_KUHN_INFO_SETS_H
