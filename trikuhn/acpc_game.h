// Standard-library wrappers over the game engine for the dealer client:
// loading a game definition with exceptions instead of null results, parsing
// and printing states as std::string, drawing a seed from the system's random
// device, and replaying a hand action by action through a callback.
#ifndef TRIKUHN_ACPC_GAME_H
#define TRIKUHN_ACPC_GAME_H

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "game.h"

namespace Acpc {

// Games come from readGame, which allocates them with malloc.
struct GameDeleter {
  void operator()(Game* game) const { std::free(game); }
};
using GamePtr = std::unique_ptr<Game, GameDeleter>;

// Reads the game definition at path. Throws std::runtime_error when the file
// cannot be opened or does not hold a valid game (the message ends in a line
// feed; readGame has already printed its own reason).
GamePtr gameDef(std::string const& path);

// The game a run plays, owned for the whole run.
class GameDef {
 public:
  explicit GameDef(std::string const& path) : game(gameDef(path)) {}
  virtual ~GameDef() = default;

  GamePtr game;
};

// Parses text, which must be exactly one match state of the game with
// nothing after it (not even a line feed). Throws std::runtime_error.
MatchState newMatchState(std::string text, GameDef const& gameDefinition);

std::string stateToString(State const& state, Game const* game);
std::string matchStateToString(MatchState const& matchState, Game const* game);

// One fresh value of the system's random device.
uint32_t randomRandomSeed();

// Shown each action of the hand with the state in which it was taken;
// returning true stops the replay.
using ReplayCallback = std::function<bool(MatchState const&, Action const&)>;

// Rebuilds the hand of matchState from its start (every hole card the viewer
// knows, no board) and shows the callback every recorded action in order. The
// final state itself is never shown.
void replay(MatchState const& matchState, GameDef const& gameDefinition,
            ReplayCallback const& callback);

}  // namespace Acpc

#endif  // TRIKUHN_ACPC_GAME_H
