#include "solver/betting_tree.h"

#include <algorithm>
#include <stdexcept>

#include "showdown.h"

namespace {

// Children in the byte order of their letters: call, fold, raise.
constexpr int LETTER_ORDER[NUM_ABSTRACT_ACTIONS] = {1, 0, 2};

}  // namespace

BettingTree::BettingTree(const Game* game, const ActionOf& actionOf)
    : game_(game), actionOf_(actionOf), byMap_(game->numPlayers * game->numRounds) {
  if (game->numPlayers > MAX_SEATS) throw std::length_error("betting tree: too many seats");
  numCodes_ = 1;
  for (int p = 0; p < game->numPlayers; ++p) numCodes_ *= game->numPlayers;
  State state;
  initState(game, 0, &state);
  if (!state.finished) build(&state, NONE);
  classIndex_.clear();

  std::vector<bool> slotUsed(numSlots(), false);
  for (Decision& d : decisions_) {
    std::vector<uint32_t>& list = byMap_[mapOf(game, d.round, d.seat)];
    d.index = static_cast<uint32_t>(list.size());
    list.push_back(static_cast<uint32_t>(&d - decisions_.data()));
    slotUsed[d.slot] = true;
  }
  for (int s = 0; s < numSlots(); ++s)
    if (slotUsed[s]) usedSlots_.push_back(static_cast<uint16_t>(s));
  std::vector<bool> roundUsed(game->numRounds, false);
  for (const PayoffClass& c : classes_) roundUsed[c.round] = true;
  for (int r = 0; r < game->numRounds; ++r)
    if (roundUsed[r]) payoffRounds_.push_back(static_cast<uint8_t>(r));
}

uint32_t BettingTree::build(const State* state, uint32_t parent) {
  const uint32_t id = static_cast<uint32_t>(decisions_.size());
  if (id >= TERMINAL) throw std::length_error("betting tree: too many decisions");
  Decision node{};
  node.seat = currentPlayer(game_, state);
  node.round = state->round;
  node.slot = static_cast<uint16_t>(slotOf(state->round, numActingPlayers(game_, state), node.seat));
  for (uint32_t& c : node.child) c = NONE;
  decisions_.push_back(node);
  parents_.push_back(parent);

  for (int a : LETTER_ORDER) {
    Action action;
    actionOf_(a, state, &action);
    if (action.type == a_invalid) continue;
    if (action.type == a_fold && state->spent[node.seat] == state->maxSpent) continue;
    State child = *state;
    if (!isValidAction(game_, &child, 0, &action)) continue;
    char text[16];
    if (printAction(game_, &action, sizeof(text), text) != 1 || text[0] != ACTION_LETTER[a])
      throw std::invalid_argument("betting tree: an action text is not one letter");
    doAction(game_, &action, &child);
    const uint32_t target = child.finished ? TERMINAL | terminalClass(&child) : build(&child, id);
    decisions_[id].child[a] = target;
  }
  return id;
}

uint32_t BettingTree::terminalClass(const State* state) {
  const int n = game_->numPlayers;
  std::vector<int32_t> key{state->round};
  for (int p = 0; p < n; ++p) key.push_back(state->spent[p]);
  for (int p = 0; p < n; ++p) key.push_back(state->playerFolded[p]);
  auto [at, added] = classIndex_.emplace(std::move(key), static_cast<uint32_t>(classes_.size()));
  if (!added) return at->second;
  if (classes_.size() >= TERMINAL) throw std::length_error("betting tree: too many terminal classes");

  classes_.push_back(PayoffClass{state->round, static_cast<uint32_t>(payoffTable_.size())});
  for (int code = 0; code < numCodes_; ++code) {
    // Hand values that realise the order: a seat ranked below k others gets
    // n - k, so ties and strict orders come out as encoded.
    int value[MAX_PLAYERS];
    for (int p = 0, rest = code; p < n; ++p, rest /= n) value[p] = n - rest % n;
    for (int p = 0; p < n; ++p)
      payoffTable_.push_back(gamecore::payoffWithHandValues(game_, state, value, static_cast<uint8_t>(p)));
  }
  return at->second;
}

void BettingTree::slotFields(int slot, int* round, int* acting, int* seat) const {
  const int n = game_->numPlayers;
  *seat = slot % n;
  *acting = slot / n % (n + 1);
  *round = slot / n / (n + 1);
}

int BettingTree::orderCode(const int* handValue) const {
  const int n = game_->numPlayers;
  int code = 0;
  for (int p = 0, weight = 1; p < n; ++p, weight *= n) {
    int above = 0;
    for (int q = 0; q < n; ++q) above += handValue[q] > handValue[p];
    code += above * weight;
  }
  return code;
}

int BettingTree::history(uint32_t d, char* out, int capacity) const {
  char reversed[MAX_ROUNDS * MAX_NUM_ACTIONS];
  int length = 0;
  for (uint32_t at = d; parents_[at] != NONE; at = parents_[at]) {
    const Decision& up = decisions_[parents_[at]];
    int a = 0;
    while (up.child[a] != at) ++a;
    reversed[length++] = ACTION_LETTER[a];
  }
  for (int i = 0; i < length && i < capacity; ++i) out[i] = reversed[length - 1 - i];
  return length;
}

uint32_t BettingTree::follow(const char* history, size_t length) const {
  if (decisions_.empty()) return NONE;
  uint32_t at = 0;
  for (size_t i = 0; i < length; ++i) {
    const char* letter = std::find(ACTION_LETTER, ACTION_LETTER + NUM_ABSTRACT_ACTIONS, history[i]);
    if (letter == ACTION_LETTER + NUM_ABSTRACT_ACTIONS) return NONE;
    const uint32_t next = decisions_[at].child[letter - ACTION_LETTER];
    if (next == NONE || (next & TERMINAL)) return NONE;
    at = next;
  }
  return at;
}
