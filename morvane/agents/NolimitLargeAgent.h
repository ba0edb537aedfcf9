// The large abstraction of two-player no-limit hold'em: a player that bets
// and raises, with a strategy over the no-limit betting tree of
// bet_abstraction.h (half pot, pot and twice the pot for a round's first
// raise, pot and twice the pot for its second, the pot for its third, all-in
// always) and the card buckets of large_buckets.h (the 169 pre-flop classes,
// LARGE_NOLIMIT_BUCKETS buckets later), 8,794,816 information sets.
//
// Play. At each decision the real betting so far is read into the
// abstraction (readHistory): folds and calls as they are, every raise as one
// of the abstract sizes by the pseudo-harmonic mapping, with one random draw
// per raise kept for the whole hand, so that a history is read the same way
// at every later decision. The abstract decision reached and the seat's
// bucket of the round give the average strategy, thresholded: abstract
// actions of probability below PLAY_THRESHOLD are dropped and the rest
// scaled back to 1 (Ganzfried, Sandholm and Spargo, "Strategy Purification
// and Thresholding", AAMAS 2012). The rare actions are mostly noise of an
// abstraction trained far from convergence; dropping them took the head to
// head result against the standard player from even to half a big blind
// per hand, at some cost in exploitability (README). An abstract raise is sent
// as the same fraction of the real pot, made legal (legalRaiseTo: the
// minimum raise below it, all-in at or beyond the stack); a fold where
// nothing is owed is sent as a check. Betting the abstraction cannot read
// (a check-fold of the opponent, or a hand the abstraction saw end, which
// happens when a raise read as all-in was not one) is answered with a check
// or call, with one warning line at its first time.
//
// Preparation. The strategy lives in STRATEGY_FILE; a missing or refused
// file is trained again (discounted CFR by blocks, TRAINING_ITERATIONS
// chance-sampled deals on every core, about 29 minutes on two, with progress
// lines and the time left) and saved; the sums do not depend on the number
// of threads, so any machine trains the same file. The bucket tables are
// made on first use from the two-player equity tables, as the large limit
// player's are.
#ifndef MORVANE_NOLIMIT_LARGE_AGENT_H
#define MORVANE_NOLIMIT_LARGE_AGENT_H

#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "abstraction/EquityTables.h"
#include "abstraction/large_buckets.h"
#include "agents/PokerAgent.h"
#include "solver/nolimit_cfr.h"

class NolimitLargeAgent : public PokerAgent {
 public:
  static constexpr const char* STRATEGY_FILE = "strategies/holdem.nolimit.2p.large/strategy";
  // Smallest probability of an abstract action that is played (above).
  static constexpr double PLAY_THRESHOLD = 0.1;
  static constexpr uint64_t TRAINING_ITERATIONS = 1200000;
  static constexpr uint32_t BUCKETS[MAX_ROUNDS] = {LARGE_PREFLOP_BUCKETS, LARGE_NOLIMIT_BUCKETS,
                                                   LARGE_NOLIMIT_BUCKETS, LARGE_NOLIMIT_BUCKETS};

  // A game other than two-player no-limit hold'em stops the program with an
  // "ERROR: " line.
  explicit NolimitLargeAgent(const char* gameFile, uint64_t iterations = TRAINING_ITERATIONS);
  ~NolimitLargeAgent() override;

  // The legal actions the agent may send at a real state, the same for any
  // hole cards, and the abstract decision whose strategy weighs them: the
  // abstract action a is sent as actions[sentAs[a]] (two abstract actions
  // may meet in one real one). `draw(k)` is the uniform draw that reads the
  // hand's k-th raise. No actions when the betting cannot be read into the
  // abstraction.
  struct Options {
    uint32_t decision = NolimitTree::NONE;
    std::vector<Action> actions;
    int sentAs[NolimitTree::MAX_ACTIONS] = {};
  };
  Options options(const State& state, uint8_t seat, const std::function<double(int)>& draw) const;
  // The probabilities of options.actions (summing to 1) with these hole
  // cards at `state`, whose board gives the bucket, after the threshold.
  void probabilities(const Options& options, const State& state, const uint8_t* hole, double* out) const;

  // Both at once: what the agent sends with the seat's hole cards.
  struct Choice {
    std::vector<Action> actions;
    std::vector<double> probabilities;
  };
  Choice choice(const State& state, uint8_t seat, const uint8_t* hole,
                const std::function<double(int)>& draw) const;

  // Zeroes the probabilities of p[0..n) below `minimum` and scales the
  // rest to sum to 1; when none reaches it, the likeliest (the first of
  // equals) gets 1.
  static void threshold(double* p, int n, double minimum);

  const NolimitCFR& solver() const { return *solver_; }

  void holeCards(uint8_t* cards, uint8_t player) override;
  void getAction(Action& action) override;
  void actionEvent(uint8_t, Action) override {}
  void stageEvent(int) override {}
  void showdownEvent(uint8_t, uint8_t*) override {}
  void gameOverEvent(double) override {}
  void winEvent(uint8_t, int) override {}

 private:
  void prepare(uint64_t iterations);
  uint32_t bucket(const State& state, const uint8_t* hole) const;
  double raiseDraw(int k);

  std::unique_ptr<NolimitTree> tree_;
  std::unique_ptr<NolimitCFR> solver_;
  std::unique_ptr<EquityTables> tables_;  // its indexers read the buckets
  std::unique_ptr<LargeBuckets> buckets_;
  std::mt19937_64 rng_;
  std::vector<double> draws_;  // of this hand's raises
  bool toldOfUnreadBetting_ = false;
};

#endif
