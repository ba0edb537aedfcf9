#include "view.h"

#include <cstring>

namespace humanseat {

using nlohmann::json;

namespace {

// Betting is a "bet" while nobody has raised in the round and everybody has
// put in the same; otherwise (a raise to answer, or the unequal blinds of
// the first round, which count as its opening bet) it is a "raise".
bool opensTheBetting(const Game* game, const State* state) {
  if (numRaises(state) > 0) return false;
  for (int p = 1; state->round == 0 && p < game->numPlayers; ++p) {
    if (game->blind[p] != game->blind[0]) return false;
  }
  for (int p = 1; p < game->numPlayers; ++p) {
    if (state->spent[p] != state->spent[0]) return false;
  }
  return true;
}

const char* roundName(const Game* game, int round) {
  static const char* const holdem[] = {"Preflop", "Flop", "Turn", "River"};
  if (game->numRounds == 4) return holdem[round];
  return game->numRounds == 1 ? "Betting" : nullptr;
}

int32_t pot(const Game* game, const State* state) {
  int32_t sum = 0;
  for (int p = 0; p < game->numPlayers; ++p) sum += state->spent[p];
  return sum;
}

bool isShowdown(const Game* game, const State* state) {
  return state->finished && numFolded(game, state) + 1 < game->numPlayers;
}

// The betting of the hand, round by round, replayed from the start so that
// every action can say what it cost: "checks", "calls 50", "raises to 300".
json bettingByRound(const Game* game, const Table& table, const MatchState& ms) {
  const State& hand = ms.state;
  State replay;
  initState(game, hand.handId, &replay);
  json rounds = json::array();
  for (int r = 0; r <= hand.round; ++r) {
    json actions = json::array();
    for (int i = 0; i < hand.numActions[r]; ++i) {
      const Action& action = hand.action[r][i];
      const unsigned seat = hand.actingPlayer[r][i];
      const int32_t before = replay.spent[seat];
      const bool bet = opensTheBetting(game, &replay);
      doAction(game, &action, &replay);
      const int32_t after = replay.spent[seat];
      std::string text;
      std::string kind;
      if (action.type == a_fold) {
        kind = "fold";
        text = "folds";
      } else if (action.type == a_call) {
        kind = after == before ? "check" : "call";
        text = after == before ? "checks" : "calls " + std::to_string(after - before);
      } else {
        kind = bet ? "bet" : "raise";
        text = bet ? "bets " + std::to_string(after - before) : "raises to " + std::to_string(after);
      }
      actions.push_back({{"seat", seat},
                         {"name", seatName(game, table, ms.viewingPlayer, seat)},
                         {"kind", kind},
                         {"to", after},
                         {"text", text}});
    }
    const char* name = roundName(game, r);
    rounds.push_back({{"name", name != nullptr ? name : "Round " + std::to_string(r + 1)},
                      {"actions", actions}});
  }
  return rounds;
}

}  // namespace

std::string cardText(uint8_t card) {
  char text[3];
  printCard(card, sizeof(text), text);
  return text;
}

std::string seatName(const Game* game, const Table& table, unsigned viewer, unsigned seat) {
  const unsigned n = game->numPlayers;
  if (table.names.size() != n) {
    return seat == viewer ? "You" : "Seat " + std::to_string(seat + 1);
  }
  return table.names[(table.me + seat + n - viewer) % n];
}

Legal legalActions(const Game* game, const State* state) {
  Legal legal;
  const int p = currentPlayer(game, state);
  Action fold = {a_fold, 0};
  legal.fold = isValidAction(game, state, 0, &fold) != 0;
  State after = *state;
  const Action call = {a_call, 0};
  doAction(game, &call, &after);
  legal.callAmount = after.spent[p] - state->spent[p];
  int32_t minTo = 0;
  int32_t maxTo = 0;
  legal.raise = raiseIsValid(game, state, &minTo, &maxTo) != 0;
  if (legal.raise && game->bettingType != noLimitBetting) {
    // A limit raise has one size: find its total by making it.
    after = *state;
    const Action raise = {a_raise, 0};
    doAction(game, &raise, &after);
    minTo = maxTo = after.spent[p];
  }
  if (legal.raise) {
    legal.minRaiseTo = minTo;
    legal.maxRaiseTo = maxTo;
  }
  return legal;
}

json handView(const Game* game, const Table& table, const MatchState& ms, bool abandoned) {
  const State& state = ms.state;
  const unsigned viewer = ms.viewingPlayer;
  const bool showdown = isShowdown(game, &state);
  const bool acting = !state.finished && !abandoned && numActingPlayers(game, &state) > 0;
  const int toAct = acting ? currentPlayer(game, &state) : -1;

  json seats = json::array();
  for (unsigned s = 0; s < game->numPlayers; ++s) {
    // The viewer's own cards always; the others' only at a showdown they
    // reached: the dealer sends nothing else, and the record may hold stale
    // cards from earlier lines.
    json cards = json::array();
    if (s == viewer || (showdown && !state.playerFolded[s])) {
      for (int c = 0; c < game->numHoleCards; ++c) cards.push_back(cardText(state.holeCards[s][c]));
    }
    json seat = {{"seat", s},
                 {"name", seatName(game, table, viewer, s)},
                 {"you", s == viewer},
                 {"spent", state.spent[s]},
                 {"folded", state.playerFolded[s] != 0},
                 {"allIn", state.spent[s] == game->stack[s] && !state.playerFolded[s]},
                 {"toAct", static_cast<int>(s) == toAct},
                 {"cards", cards}};
    if (state.finished) seat["value"] = valueOfState(game, &state, static_cast<uint8_t>(s));
    seats.push_back(seat);
  }

  json board = json::array();
  for (int r = 0; r <= state.round; ++r) {
    for (int c = 0; c < game->numBoardCards[r]; ++c) {
      board.push_back(cardText(state.boardCards[bcStart(game, static_cast<uint8_t>(r)) + c]));
    }
  }

  int totalActions = 0;
  for (int r = 0; r <= state.round; ++r) totalActions += state.numActions[r];

  json view = {{"hand", state.handId},
               {"nolimit", game->bettingType == noLimitBetting},
               {"holeCards", game->numHoleCards},
               {"you", viewer},
               {"seats", seats},
               {"board", board},
               {"pot", pot(game, &state)},
               {"rounds", bettingByRound(game, table, ms)},
               {"toAct", toAct},
               {"finished", state.finished != 0},
               {"showdown", showdown},
               {"abandoned", abandoned && !state.finished},
               // Names the decision an action answers, so that a stale or
               // repeated click cannot act on a later one.
               {"token", std::to_string(state.handId) + ":" + std::to_string(totalActions)}};
  if (state.finished) view["value"] = valueOfState(game, &state, static_cast<uint8_t>(viewer));
  if (toAct == static_cast<int>(viewer)) {
    const Legal legal = legalActions(game, &state);
    json actions = {{"fold", legal.fold},
                    {"call", {{"amount", legal.callAmount},
                              {"label", legal.callAmount == 0
                                            ? std::string("Check")
                                            : "Call " + std::to_string(legal.callAmount)}}}};
    if (legal.raise) {
      const bool bet = opensTheBetting(game, &state);
      actions["raise"] = {{"min", legal.minRaiseTo},
                          {"max", legal.maxRaiseTo},
                          {"label", bet ? "Bet" : "Raise"},
                          {"maxSpent", state.maxSpent}};
    } else {
      actions["raise"] = nullptr;
    }
    view["legal"] = actions;
  }
  return view;
}

}  // namespace humanseat
