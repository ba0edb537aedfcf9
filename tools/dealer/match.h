// The dealer's match: deals hands to connected players, sends each its view
// of every state, judges the answers of the seat to act, keeps the scores
// and writes the match log.
//
// A fault of a player never stops the match. A malformed answer, a wrong echo
// or an illegal action is played as a call (a check when nothing is owed) and
// counted as an error; a missing answer is played as a fold where folding is
// legal, else as a check, and counted as a timeout; a player whose connection
// is gone is played that way for the rest of the match. So is a player that
// never got a seat, and one that has run out of timeouts (maxTimeouts).
//
// A seat goes only to a connection whose first line is the version line,
// sent in time; any other connection is closed and the seat stays free for
// the next one.
//
// The log has one line per hand, written and flushed as the hand ends, and
// a closing SCORE line of the hands played. A stop request (settings.stop,
// set from a signal handler) ends the match after the hands finished so far:
// the hand in play is dropped, not logged and not scored.
#ifndef DEALER_MATCH_H
#define DEALER_MATCH_H

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "game.h"
#include "net.h"
#include "rng.h"

namespace dealer {

// The version line every player must send first, without its line end.
inline constexpr const char* kVersionLine = "VERSION:2.0.0";

// Seat of the player of port `player` in hand `hand`: the players move one
// seat each hand and keep their cyclic order.
inline unsigned seatOf(unsigned player, uint32_t hand, unsigned numPlayers) {
  return static_cast<unsigned>((player + static_cast<uint64_t>(hand)) % numPlayers);
}
inline unsigned playerAt(unsigned seat, uint32_t hand, unsigned numPlayers) {
  return static_cast<unsigned>((seat + numPlayers - hand % numPlayers) % numPlayers);
}

// The running score of one player.
struct PlayerResult {
  std::string name;
  uint32_t hands = 0;
  double total = 0;
  uint32_t errors = 0;    // malformed answers, wrong echoes, illegal actions
  uint32_t timeouts = 0;  // answers that did not come in time
  int64_t disconnectedAtHand = -1;  // -1 while connected

  void addHand(double value);
  double mean() const { return hands > 0 ? total / hands : 0.0; }
  // Half-width of the 95% confidence interval of the mean (normal
  // approximation); 0 with fewer than two hands.
  double halfWidth95() const;

 private:
  // Welford's running mean and sum of squared deviations, which stay exact
  // enough over millions of hands where a plain sum of squares would not.
  double runningMean_ = 0;
  double m2_ = 0;
};

struct MatchSettings {
  // How long a player may take for one answer; negative waits without
  // limit. Also bounds a blocked send.
  int64_t timeoutMicros = 10'000'000;
  // Players (by port, from 0) that may take any time to answer, such as a
  // person at a browser; their connections get no answer timeout at all.
  std::vector<bool> untimed;
  // How long a new connection may take for its version line. Never
  // unlimited, or one silent stray connection would hold a seat for ever.
  int64_t versionTimeoutMicros = 10'000'000;
  // Timeouts after which a player is disconnected; 0 means no limit.
  uint32_t maxTimeouts = 0;
  // Where notices about players' faults go; null keeps quiet.
  FILE* notices = stderr;
  // When not null and set non-zero (by a signal handler, say), the match
  // stops at the next chance; a blocking wait ends early when the signal
  // interrupts it.
  const volatile sig_atomic_t* stop = nullptr;
};

class Match {
 public:
  // One name per seat of the game; the game is borrowed and must outlive the
  // match. The deals come from one generator seeded with `seed`.
  Match(const Game* game, std::vector<std::string> names, uint32_t seed,
        MatchSettings settings = {});
  ~Match();
  Match(const Match&) = delete;
  Match& operator=(const Match&) = delete;

  // Offers the seat of the player of port `player` to a new connection and
  // reads its version line. Returns true when the connection sent it in
  // time and now has the seat. Otherwise the connection is closed and the
  // seat stays free for another; a player that never gets a connection
  // counts as disconnected from the first hand.
  bool connectPlayer(unsigned player, int fd);
  bool isConnected(unsigned player) const;

  // Plays hands 0 to hands - 1, writing one log line per hand and the final
  // SCORE line to `log` (null: no log), then closes every connection.
  // Returns the hands played: fewer than asked only after a stop request.
  uint32_t play(uint32_t hands, FILE* log);

  const std::vector<PlayerResult>& results() const { return results_; }

 private:
  struct Connection;

  bool stopRequested() const { return settings_.stop != nullptr && *settings_.stop != 0; }
  bool playHand(uint32_t hand, FILE* log);
  void sendStates(uint32_t hand);
  bool flush(unsigned player, uint32_t hand);
  void flushAll(uint32_t hand);
  // The player's action; with a stop request while waiting, any action.
  Action askForAction(unsigned player, uint32_t hand);
  void countTimeout(unsigned player, uint32_t hand);
  // The answer timeout of the player, negative for none.
  int64_t answerTimeout(unsigned player) const;
  Action defaultAction() const;
  void disconnect(unsigned player, uint32_t hand, const char* reason);
  void countError(unsigned player, uint32_t hand, const char* what, const char* line);
  void writeLogLine(FILE* log, uint32_t hand, const double* values) const;

  const Game* game_;
  unsigned numPlayers_;
  MatchSettings settings_;
  rng_state_t rng_;
  MatchState view_;  // the hand's state; viewingPlayer is set per send
  std::vector<PlayerResult> results_;
  std::vector<Connection> connections_;
};

// Writes the result table: player, total, mean per hand, the 95% confidence
// half-width of the mean, errors and timeouts, one row per player.
void printResultTable(FILE* out, const std::vector<PlayerResult>& results);

}  // namespace dealer

#endif  // DEALER_MATCH_H
