// Base of morvane's agents: owns the game it plays, the latest match state
// and the connection to the dealer, and runs the session loop that turns the
// dealer's match-state lines into events and the agent's decisions into
// answer lines. A concrete agent implements only the seven events.
//
// Events for one line, in order: holeCards (first line of a hand) or
// actionEvent; then stageEvent when a betting round is entered; then
// gameOverEvent (hand finished) or getAction (the viewing seat is to act).
//
// What the session does with a line it cannot trust (no dealer line ends the
// program):
//   - a line longer than the 4,095-character buffer is dropped whole, with
//     one "WARNING: " line on standard error; so is a line that is not a
//     match state of the game, or one leaving no room for the answer;
//   - a state without the viewing seat's own hole cards is skipped, with a
//     "Warning: " line on standard output;
//   - a state whose cards are no deal of the game (a card outside the deck,
//     or one card shown twice) never reaches the agent; when the seat is to
//     act it is answered with a call, with a "Warning: " line;
//   - getAction raising std::out_of_range (the strategy has no information
//     set for the state) is answered with a call and one "Warning: " line
//     for the hand;
//   - a finished hand whose showdown lacks the cards of a seat still in
//     raises no gameOverEvent (its result is unknown), with a "Warning: "
//     line;
//   - a line of a new hand number starts a new hand even when the end of
//     the previous one never arrived.
// Every answer is legal for the state it answers; with no legal action (no
// seat can act) nothing is sent.
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
  // Plays over an already connected socket, which the agent then owns like
  // one it connected itself: opens the streams and sends the version line.
  // False as for connect.
  bool attach(int socket);
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
