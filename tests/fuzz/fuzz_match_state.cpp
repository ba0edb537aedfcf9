// Fuzzes readMatchState and readState against the three-player Kuhn game and
// two-player no-limit hold'em. Every accepted line must print, read back to
// an equal state and print again identically; a printed line must not fit a
// buffer one byte short; a finished hand must pay out zero-sum.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "game.h"
#include "fuzz_game.h"

namespace {

void checkPayoffs(const Game* game, const State* state) {
  if (!state->finished) return;
  double sum = 0;
  for (int p = 0; p < game->numPlayers; ++p) sum += valueOfState(game, state, static_cast<uint8_t>(p));
  if (std::fabs(sum) > 1e-6) abort();
}

void checkMatchState(const Game* game, const std::string& text) {
  MatchState ms;
  memset(&ms, 0, sizeof(ms));
  const int used = readMatchState(text.c_str(), game, &ms);
  if (used < 0) return;
  if (static_cast<size_t>(used) > text.size()) abort();

  char printed[16384];
  const int len = printMatchState(game, &ms, sizeof(printed), printed);
  if (len < 0 || static_cast<size_t>(len) != strlen(printed)) abort();
  char shorter[16384];
  if (printMatchState(game, &ms, static_cast<size_t>(len), shorter) != -1) abort();

  MatchState again;
  memset(&again, 0, sizeof(again));
  if (readMatchState(printed, game, &again) != len || !matchStatesEqual(game, &ms, &again)) abort();
  char reprinted[16384];
  if (printMatchState(game, &again, sizeof(reprinted), reprinted) != len || strcmp(printed, reprinted) != 0)
    abort();
  checkPayoffs(game, &ms.state);
}

void checkState(const Game* game, const std::string& text) {
  State state;
  memset(&state, 0, sizeof(state));
  const int used = readState(text.c_str(), game, &state);
  if (used < 0) return;
  if (static_cast<size_t>(used) > text.size()) abort();
  char printed[16384];
  const int len = printState(game, &state, sizeof(printed), printed);
  if (len < 0) abort();
  State again;
  memset(&again, 0, sizeof(again));
  if (readState(printed, game, &again) != len || !statesEqual(game, &state, &again)) abort();
  checkPayoffs(game, &state);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Game* kuhn = loadGame(KUHN_GAME_FILE);
  static Game* holdem = loadGame(HOLDEM_GAME_FILE);
  // The readers take zero-terminated text; a zero byte inside ends it early.
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const Game* game : {kuhn, holdem}) {
    checkMatchState(game, text);
    checkState(game, text);
  }
  return 0;
}
