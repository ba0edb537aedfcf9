// The page's view of a hand: a plain function from the hand as the dealer
// last showed it to the human seat (a MatchState) to the JSON object the page
// draws. Everything in it comes from the engine: the cards the viewer may
// see, what every seat has put in, the betting by round, whose turn it is and
// the legal actions with their amounts and raise bounds.
//
// Seat names come from the players' names in the dealer's order: the players
// keep their cyclic order while they move one seat each hand, so the name of
// seat s is the one that many places after the viewer's own.
#ifndef HUMANSEAT_VIEW_H
#define HUMANSEAT_VIEW_H

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "game.h"

namespace humanseat {

struct Table {
  std::vector<std::string> names;  // the players in the dealer's order
  unsigned me = 0;                 // the human's place in names
};

// The name of the player in `seat` when the human sits in `viewer`.
std::string seatName(const Game* game, const Table& table, unsigned viewer, unsigned seat);

// The legal actions of the seat to act: fold only when something is owed,
// call (a check when nothing is), and raise with its bounds (raise-to totals;
// in limit games both are the one raise-to amount).
struct Legal {
  bool fold = false;
  int32_t callAmount = 0;  // chips the call adds
  bool raise = false;
  int32_t minRaiseTo = 0;
  int32_t maxRaiseTo = 0;
};
Legal legalActions(const Game* game, const State* state);

// The view of one hand. `handValue` of a finished hand is the viewer's
// winnings; `abandoned` marks a hand the match ended before it finished.
nlohmann::json handView(const Game* game, const Table& table, const MatchState& ms,
                        bool abandoned);

// Card text as the protocol writes it ("As", "Td").
std::string cardText(uint8_t card);

}  // namespace humanseat

#endif  // HUMANSEAT_VIEW_H
