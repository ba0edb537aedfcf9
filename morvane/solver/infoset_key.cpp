#include "solver/infoset_key.h"

std::string infoSetKeyPrefix(uint64_t seat, uint64_t round, uint64_t bucket) {
  std::string key = std::to_string(seat);
  key += ':';
  key += std::to_string(round);
  key += ':';
  key += std::to_string(bucket);
  key += ':';
  return key;
}

std::string infoSetKey(const Game* game, const State* state, uint64_t bucket) {
  const uint8_t round = state->round;
  std::string key = infoSetKeyPrefix(currentPlayer(game, state), round, bucket);
  char actionText[512];
  for (int r = 0; r <= round; ++r) {
    for (int i = 0; i < state->numActions[r]; ++i) {
      printAction(game, &state->action[r][i], sizeof(actionText), actionText);
      key += actionText;
    }
  }
  return key;
}

namespace {

// The decimal number of `key` at `pos` up to the next ':'; advances `pos`
// past the ':'. False when there is no such number.
bool keyNumber(const std::string& key, size_t& pos, uint64_t* value) {
  const size_t end = key.find(':', pos);
  if (end == std::string::npos || end == pos || end - pos > 9) return false;
  uint64_t v = 0;
  for (size_t i = pos; i < end; ++i) {
    if (key[i] < '0' || key[i] > '9') return false;
    v = v * 10 + static_cast<uint64_t>(key[i] - '0');
  }
  // Only the canonical text of the number names the information set.
  if (std::to_string(v) != key.substr(pos, end - pos)) return false;
  *value = v;
  pos = end + 1;
  return true;
}

}  // namespace

bool parseInfoSetKey(const std::string& key, InfoSetKeyFields* fields) {
  InfoSetKeyFields read;
  size_t pos = 0;
  if (!keyNumber(key, pos, &read.seat) || !keyNumber(key, pos, &read.round) ||
      !keyNumber(key, pos, &read.bucket))
    return false;
  read.history = pos;
  *fields = read;
  return true;
}
