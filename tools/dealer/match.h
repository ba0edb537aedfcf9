// The dealer's match: deals hands to connected players, sends each its view
// of every state, judges the answers of the seat to act, keeps the scores
// and writes the match log.
//
// A fault of a player never stops the match. A malformed answer, a wrong echo
// or an illegal action is played as a call (a check when nothing is owed) and
// counted as an error; a missing answer is played as a fold where folding is
// legal, else as a check, and counted as a timeout; a player whose connection
// is gone is played that way for the rest of the match.
#ifndef DEALER_MATCH_H
#define DEALER_MATCH_H

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
  // How long a player may take for one answer (and the version line);
  // negative waits without limit. Also bounds a blocked send.
  int64_t timeoutMicros = 10'000'000;
  // Where notices about players' faults go; null keeps quiet.
  FILE* notices = stderr;
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

  // Hands over the connected socket of the player of port `player` and reads
  // its version line. Returns false when the player sent anything else or
  // nothing in time; it is then told nothing more and counts as disconnected.
  // A player that never gets a connection counts as disconnected too.
  bool connectPlayer(unsigned player, int fd);

  // Plays hands 0 to hands - 1, writing one log line per hand and the final
  // SCORE line to `log` (null: no log), then closes every connection.
  void play(uint32_t hands, FILE* log);

  const std::vector<PlayerResult>& results() const { return results_; }

 private:
  struct Connection;

  void playHand(uint32_t hand, FILE* log);
  void sendStates(uint32_t hand);
  bool flush(unsigned player, uint32_t hand);
  void flushAll(uint32_t hand);
  Action askForAction(unsigned player, uint32_t hand);
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
