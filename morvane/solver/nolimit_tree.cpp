#include "solver/nolimit_tree.h"

#include <stdexcept>

#include "abstraction/bet_abstraction.h"
#include "showdown.h"

NolimitTree::NolimitTree(const Game* game) : game_(game) {
  if (game->numPlayers != 2 || game->bettingType != noLimitBetting)
    throw std::invalid_argument("the no-limit betting tree needs a two-player no-limit game");
  State state;
  initState(game, 0, &state);
  if (state.finished) throw std::invalid_argument("the game has no decision");
  build(state, NONE);
  for (Decision& d : decisions_) {
    d.roundAction = static_cast<uint32_t>(actionsInRound_[d.round]);
    actionsInRound_[d.round] += d.numActions;
    ++decisionsInRound_[d.round];
  }
}

uint32_t NolimitTree::build(const State& state, uint32_t parent) {
  const uint32_t id = static_cast<uint32_t>(decisions_.size());
  if (id >= TERMINAL) throw std::length_error("no-limit betting tree: too many decisions");
  const uint8_t seat = currentPlayer(game_, &state);
  Action list[MAX_ACTIONS];
  int n = 0;
  if (state.spent[seat] < state.maxSpent) list[n++] = {a_fold, 0};
  list[n++] = {a_call, 0};
  for (int32_t to : abstractRaiseSizes(game_, &state)) list[n++] = {a_raise, to};

  const uint32_t first = static_cast<uint32_t>(actions_.size());
  decisions_.push_back(Decision{first, 0, static_cast<uint8_t>(n), seat, state.round});
  parents_.push_back(parent);
  actions_.insert(actions_.end(), list, list + n);
  children_.resize(actions_.size(), NONE);
  for (int a = 0; a < n; ++a) {
    State next = state;
    doAction(game_, &list[a], &next);
    const uint32_t target = next.finished ? TERMINAL | terminal(next) : build(next, id);
    children_[first + a] = target;
  }
  return id;
}

uint32_t NolimitTree::terminal(const State& state) {
  Terminal t{};
  t.round = state.round;
  t.folded = state.playerFolded[0] ? 0 : state.playerFolded[1] ? 1 : -1;
  for (int p = 0; p < 2; ++p) t.spent[p] = state.spent[p];
  // Hand values that realise each order.
  const int values[3][2] = {{1, 0}, {0, 0}, {0, 1}};
  for (int order = 0; order < 3; ++order)
    for (uint8_t p = 0; p < 2; ++p)
      t.payoff[order][p] = gamecore::payoffWithHandValues(game_, &state, values[order], p);
  terminals_.push_back(t);
  return static_cast<uint32_t>(terminals_.size() - 1);
}

uint64_t NolimitTree::informationSets(const uint32_t* buckets) const {
  uint64_t total = 0;
  for (int r = 0; r < MAX_ROUNDS; ++r) total += decisionsInRound_[r] * static_cast<uint64_t>(buckets[r]);
  return total;
}

int NolimitTree::actionIndex(uint32_t d, const Action& action) const {
  for (int a = 0; a < decisions_[d].numActions; ++a) {
    const Action& mine = this->action(d, a);
    if (mine.type == action.type && (mine.type != a_raise || mine.size == action.size)) return a;
  }
  return -1;
}

uint32_t NolimitTree::decisionOf(const State& state) const {
  if (state.finished) return NONE;
  uint32_t at = 0;
  for (int r = 0; r <= state.round; ++r)
    for (int i = 0; i < state.numActions[r]; ++i) {
      const int a = actionIndex(at, state.action[r][i]);
      if (a < 0) return NONE;
      at = child(at, a);
      if (at & TERMINAL) return NONE;
    }
  return at;
}
