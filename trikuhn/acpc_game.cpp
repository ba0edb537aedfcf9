#include "acpc_game.h"

#include <cstdio>
#include <random>
#include <stdexcept>

namespace Acpc {

GamePtr gameDef(std::string const& path) {
  FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) throw std::runtime_error("Could not open game definition " + path + "\n");
  GamePtr game(readGame(file));
  std::fclose(file);
  if (!game) throw std::runtime_error("Could not read game " + path + "\n");
  return game;
}

MatchState newMatchState(std::string text, GameDef const& gameDefinition) {
  MatchState matchState{};
  int const consumed = readMatchState(text.c_str(), gameDefinition.game.get(), &matchState);
  // A failure gives -1, which is smaller than any length too.
  if (consumed < 0 || static_cast<std::size_t>(consumed) < text.size())
    throw std::runtime_error("Unable to read match state \"" + text + "\"");
  return matchState;
}

std::string stateToString(State const& state, Game const* game) {
  char buffer[4096] = {};
  printState(game, &state, sizeof buffer, buffer);
  return buffer;
}

std::string matchStateToString(MatchState const& matchState, Game const* game) {
  char buffer[4096] = {};
  printMatchState(game, &matchState, sizeof buffer, buffer);
  return buffer;
}

uint32_t randomRandomSeed() {
  std::random_device device("default");
  return device();
}

void replay(MatchState const& matchState, GameDef const& gameDefinition,
            ReplayCallback const& callback) {
  Game const* game = gameDefinition.game.get();
  MatchState replayed{};  // board and unknown cards stay zero
  replayed.viewingPlayer = matchState.viewingPlayer;
  initState(game, matchState.state.handId, &replayed.state);
  for (int seat = 0; seat < MAX_PLAYERS; ++seat)
    for (int card = 0; card < MAX_HOLE_CARDS; ++card)
      replayed.state.holeCards[seat][card] = matchState.state.holeCards[seat][card];

  for (int round = 0; round <= matchState.state.round; ++round) {
    for (int i = 0; i < matchState.state.numActions[round]; ++i) {
      Action const& action = matchState.state.action[round][i];
      if (callback(replayed, action)) return;
      doAction(game, &action, &replayed.state);
    }
  }
}

}  // namespace Acpc
