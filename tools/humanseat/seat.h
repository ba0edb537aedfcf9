// The human seat's match: every hand the dealer has shown it, the hand the
// person is looking at, and the one rule for what may be sent. The dealer's
// reader and the page's requests meet here, under one lock.
//
// Hands are shown in order and one at a time: a finished hand stays on the
// page until the person asks for the next, while the dealer may already have
// dealt it (the person need not answer in hands where others fold first).
// An action is sent only when it answers the current state of the hand the
// dealer is playing, the person's seat is to act, the page names that very
// decision (its token) and the engine finds the action legal without repair;
// anything else is refused with a message and nothing is sent.
#ifndef HUMANSEAT_SEAT_H
#define HUMANSEAT_SEAT_H

#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "game.h"
#include "view.h"

namespace humanseat {

class HumanSeat {
 public:
  // Writes one answer line (line end included) to the dealer; false when it
  // could not.
  using Sender = std::function<bool(const std::string&)>;

  // The game is borrowed and must outlive the seat.
  HumanSeat(const Game* game, Table table, Sender send);

  // A line from the dealer, without its line end. False when it is not a
  // match state of this game (it is then ignored).
  bool dealerLine(const std::string& line);
  // The dealer has closed the connection: the match is over, and a hand it
  // left unfinished is marked abandoned.
  void dealerClosed();

  // What the page shows now.
  nlohmann::json view();

  struct Reply {
    bool ok;
    std::string message;  // why a request was refused
  };
  // {"token": ..., "action": "fold" | "call" | "raise", "size": N}; size is
  // the raise-to total of a no-limit raise.
  Reply act(const nlohmann::json& request);
  // Moves the page on to the next hand once the shown one is over.
  Reply next();

  // True once the dealer has closed and the page has been shown the end of
  // the match; the program may then stop serving.
  bool endSeen() const;
  bool dealerHasClosed() const;
  // Time since the page last asked for the view.
  std::chrono::steady_clock::duration sinceLastView() const;

 private:
  struct Hand {
    MatchState state;
    std::string line;  // the dealer's latest line of the hand, echoed in answers
    bool answered = false;
    bool abandoned = false;
  };

  bool over(size_t index) const;
  bool matchOver() const;
  Reply refuse(std::string message) const { return {false, std::move(message)}; }

  const Game* game_;
  const Table table_;
  const Sender send_;
  mutable std::mutex mutex_;
  std::vector<Hand> hands_;
  size_t shown_ = 0;  // hands_.size() while waiting for the next deal
  bool closed_ = false;
  bool endSeen_ = false;
  std::chrono::steady_clock::time_point lastView_;
};

}  // namespace humanseat

#endif  // HUMANSEAT_SEAT_H
