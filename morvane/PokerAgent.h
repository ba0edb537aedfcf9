// Base of morvane's agents: owns the game it plays, the latest match state
// and the connection to the dealer, and runs the session loop that turns the
// dealer's match-state lines into events and the agent's decisions into
// answer lines. A concrete agent implements only the seven events.
//
// Events for one line, in order: holeCards (first line of a hand) or
// actionEvent; then stageEvent when a betting round is entered; then
// gameOverEvent (hand finished) or getAction (the viewing seat is to act).
#ifndef MORVANE_POKERAGENT_H
#define MORVANE_POKERAGENT_H

#include <cstdint>
#include <cstdio>

#include "game.h"

class PokerAgent {
 public:
  // Reads the game definition; an unreadable file ends the process with an
  // "ERROR: " line and status 1.
  explicit PokerAgent(const char* gameFile);
  // Releases the game; the connection is left as it is.
  virtual ~PokerAgent();
  PokerAgent(const PokerAgent&) = delete;
  PokerAgent& operator=(const PokerAgent&) = delete;

  virtual void holeCards(uint8_t* cards, uint8_t player) = 0;
  virtual void getAction(Action& action) = 0;
  virtual void actionEvent(uint8_t player, Action action) = 0;
  virtual void stageEvent(int stage) = 0;
  virtual void showdownEvent(uint8_t player, uint8_t* cards) = 0;  // never raised
  virtual void gameOverEvent(double value) = 0;
  virtual void winEvent(uint8_t player, int amount) = 0;  // never raised

  // Connects and sends the version line. False when already connected or
  // when the streams or the version line fail; a failed connection ends the
  // process with status 1.
  bool connect(const char* host, uint16_t port);
  void disconnect();
  bool isConnected() const { return sock != 0; }

  // Runs the session until the dealer closes the connection (true) or an
  // answer cannot be written (false).
  bool play();

 protected:
  MatchState matchState;
  Game* game;
  FILE* toServer;
  FILE* fromServer;
  int32_t sock;
};

#endif
