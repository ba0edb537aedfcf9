// Local best response (LBR; Lisý and Bowling, "Equilibrium Approximation
// Quality of Current No-Limit Poker Bots", 2017): a lower bound of how much a
// fixed two-player strategy loses to its worst opponent.
//
// The LBR plays real hands against the opponent, with no card abstraction.
// It keeps the opponent's range, a weight per hole-card pair, starting at 1
// for every pair its own cards do not block; a pair is dropped when a board
// card hits it, and after every opponent action its weight is multiplied by
// the probability the opponent gives that action with that pair (Bayes'
// rule). At its own decision it values each action of its set assuming both
// players only check or call afterwards:
//   fold   -(what it has put in);
//   call   e * final pot - what it has then put in, e its equity against the
//          range;
//   raise  p * (what the opponent has put in)
//          + (1 - p) * (e' * 2R - R), R its total after the raise, p the
//          range's probability of folding to it and e' its equity against
//          the part of the range that goes on;
// and takes the best, folding when nothing beats folding. With `late`
// rounds it only checks or calls on the pre-flop and the flop.
//
// Action sets: limit games raise by the fixed size (fcr). No-limit: fc
// (fold, call), fcpa (adds a pot-size raise and all-in), wide (fold, call,
// half pot, pot, twice pot, all-in); a pot-size raise is a raise by the pot
// after calling, and every size is moved into the legal range (at least the
// minimum raise, at most all-in), equal sizes tried once.
//
// Each deal is played twice with the same cards per seat, the LBR in seat 0
// and then in seat 1; the two results are averaged into one sample. A deal
// draws everything (cards, sampled equities, the opponent's actions) from a
// generator seeded by (seed, deal number) alone, so results do not depend on
// the number of threads or on the order deals are played in.
#ifndef LBR_LBR_H
#define LBR_LBR_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "game.h"
#include "opponent.h"
#include "showdowns.h"

namespace lbr {

enum class ActionSet { fcr, fc, fcpa, wide };
enum class Rounds { all, late };

// "fcr", "fc", "fcpa", "wide"; false for another name.
bool parseActionSet(const std::string& name, ActionSet* set);

struct Settings {
  ActionSet actions = ActionSet::fcpa;
  Rounds rounds = Rounds::all;
  uint64_t seed = 0;
  // Completions drawn per equity on the pre-flop and the flop.
  int samples = 64;
};

// The LBR's winnings in chips with the same cards in either seat.
struct DealResult {
  double seat[2];
};

class LocalBestResponse {
 public:
  // `game`: a two-player hold'em game; both are borrowed.
  LocalBestResponse(const Game* game, const Opponent& opponent, const Settings& settings);

  DealResult playDeal(uint64_t deal) const;
  // One hand with these cards (hole[seat], the five board cards), the LBR in
  // `lbrSeat`; its winnings in chips.
  double playHand(const uint8_t (*hole)[2], const uint8_t* board, int lbrSeat, Rng& rng,
                  uint32_t handId = 0) const;
  // The generator of a deal.
  Rng dealRng(uint64_t deal) const;

  double bigBlind() const { return bigBlind_; }

  // Called at each decision of the LBR with the state and the opponent's
  // range (NUM_PAIRS weights, relative); for inspection.
  using Observer = std::function<void(const State& state, const double* weights)>;
  void setObserver(Observer observer) { observer_ = std::move(observer); }

 private:
  struct Hand;
  Action decide(Hand& hand) const;
  void opponentActs(Hand& hand) const;
  const Game* game_;
  const Opponent& opponent_;
  Settings settings_;
  double bigBlind_;
  Observer observer_;
};

// Raise-to totals of the set that the seat to act at `state` tries (legal,
// distinct, ascending; in limit games one entry, 0, the engine's size).
std::vector<int32_t> raiseSizes(const Game* game, const State& state, ActionSet set);

// Mean and 95% half-width of the paired results, in milli-big-blinds per hand.
struct Summary {
  double mean = 0.0;
  double half = 0.0;
  uint64_t deals = 0;
};

// Plays deals 0 .. deals-1 on `threads` threads; `progress` (when set) is
// called about once a second from the calling thread with the summary of
// the deals done so far (in any order: deals are independent, so it is an
// unbiased interim result), and once more with all of them.
Summary run(const LocalBestResponse& lbr, uint64_t deals, unsigned threads,
            const std::function<void(const Summary& soFar)>& progress = {});

// Mean and half-width (1.96 standard errors) of samples.
Summary summarize(const std::vector<double>& samples);

}  // namespace lbr

#endif
