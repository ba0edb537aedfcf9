// One run of the dealer client: the game it plays and its connection to the
// dealer, and the dealer session that answers every match state in which the
// bot is to act.
#ifndef TRIKUHN_ACPC_CONFIGURATION_H
#define TRIKUHN_ACPC_CONFIGURATION_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "acpc_game.h"
#include "game.h"

namespace Acpc {

// A TCP connection to the dealer with a write and a read stream on it.
// Constructing it connects and sends the protocol version; any failure there
// prints a line on standard error and ends the process with status 1. The
// streams live as long as the process.
class DealerConnection {
 public:
  static constexpr std::size_t HOST_BUFFER_SIZE = 64;

  DealerConnection(std::string const& hostName, uint16_t dealerPort);
  virtual ~DealerConnection() {}

  uint16_t port;
  char host[HOST_BUFFER_SIZE];  // always zero-terminated
  FILE* toServer;
  FILE* fromServer;
};

// Called when the bot is to act; returns the action to send.
using ActCallback = std::function<Action(MatchState const&)>;
// Called with every match state in which the hand is over.
using ObserveCallback = std::function<void(MatchState const&)>;

class Configuration {
 public:
  // Loads the game (may throw std::runtime_error), then connects.
  Configuration(std::string const& gamePath, std::string const& host, uint16_t port);
  virtual ~Configuration() = default;

  // The dealer session: reads match states until the dealer closes the
  // connection, shows finished hands to observe and answers the dealer
  // whenever the viewing seat is to act.
  void for_every_match_state(ActCallback const& act, ObserveCallback const& observe) const;

  GameDef gameDefinition;
  DealerConnection dealerConnection;
};

}  // namespace Acpc

#endif  // TRIKUHN_ACPC_CONFIGURATION_H
