// Fuzzes readGame through an in-memory stream. An accepted game must print
// and read back to an equal game, and a hand played in it with actions taken
// from the rest of the input must stay within the records and the rules.
#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "game.h"
#include "same_game.h"

namespace {

void checkPrintRoundTrip(const Game* game) {
  char* text = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  printGame(out, game);
  fclose(out);
  FILE* in = fmemopen(text, size, "r");
  Game* again = readGame(in);
  fclose(in);
  bool allUnlimited = true;
  for (int p = 0; p < game->numPlayers; ++p) allUnlimited &= game->stack[p] == 2147483647;
  // More than four unlimited stacks print no "stack" line and cannot be read back.
  if (game->numPlayers > 4 && allUnlimited) {
    if (again != nullptr) abort();
  } else if (again == nullptr || !sameGame(*game, *again)) {
    abort();
  }
  free(again);
  free(text);
}

// Plays one hand, choosing actions from the bytes; checks invariants.
void playHand(const Game* game, const uint8_t* data, size_t size) {
  rng_state_t rng;
  init_genrand(&rng, size);
  State state;
  memset(&state, 0, sizeof(state));
  initState(game, 7, &state);
  dealCards(game, &rng, &state);
  // readGame refuses a game in which every seat is all-in from its blind.
  if (numActingPlayers(game, &state) == 0) abort();
  for (size_t i = 0; i < size && !state.finished; i += 2) {
    if (numActingPlayers(game, &state) == 0) abort();  // an unfinished hand nobody can play
    const uint8_t seat = currentPlayer(game, &state);
    if (seat >= game->numPlayers) abort();
    Action action;
    action.type = static_cast<ActionType>(data[i] % 3);
    action.size = i + 1 < size ? static_cast<int32_t>(data[i + 1]) * 97 : 0;
    if (!isValidAction(game, &state, 1, &action)) {
      action.type = a_call;
      action.size = 0;
      if (!isValidAction(game, &state, 0, &action)) abort();
    }
    doAction(game, &action, &state);
    if (state.round >= game->numRounds || state.numActions[state.round] > MAX_NUM_ACTIONS) abort();
  }
  char text[16384];
  if (printState(game, &state, sizeof(text), text) < 0) abort();
  State reread;
  const int used = readState(text, game, &reread);
  if (used != static_cast<int>(strlen(text)) || !statesEqual(game, &state, &reread)) abort();
  if (state.finished) {
    for (int p = 0; p < game->numPlayers; ++p) (void)valueOfState(game, &state, static_cast<uint8_t>(p));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<uint8_t> copy(data, data + size);
  FILE* in = fmemopen(copy.data(), copy.size(), "r");
  if (in == nullptr) return 0;
  Game* game = readGame(in);
  const long used = ftell(in);
  fclose(in);
  if (game == nullptr) return 0;
  checkPrintRoundTrip(game);
  const size_t rest = used >= 0 && static_cast<size_t>(used) < size ? static_cast<size_t>(used) : size;
  playHand(game, data + rest, size - rest);
  free(game);
  return 0;
}
