// The interface of a player driven by the dealer client.
#ifndef TRIKUHN_ACPC_BOT_H
#define TRIKUHN_ACPC_BOT_H

#include "game.h"

namespace Acpc {

class Bot {
 public:
  virtual ~Bot() = default;
  // Observes a match state in which the hand is over.
  virtual void update(MatchState const& matchState) = 0;
  // The bot's answer when it is to act.
  virtual Action act(MatchState const& matchState) = 0;
};

}  // namespace Acpc

#endif  // TRIKUHN_ACPC_BOT_H
