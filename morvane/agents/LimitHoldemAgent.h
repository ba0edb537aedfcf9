// Plays the three hold'em games: two-player limit, three-player limit and
// two-player no-limit.
//
// One CFR solver over the bucket abstraction: an information set is the
// seat, the round, the hand's bucket (0 .. 9) in that round and the betting
// so far; the bucket comes from the per-seat hold'em bucket tables of
// EquityTables, for the number of players still able to act (2 or 3). The
// strategy is loaded from the file of the game's betting type and player
// count, or trained with trainHoldem and saved there on a first start. Only
// a file of the game's whole tree (with the keyed maps: any set of keys) and
// playable sums is taken; any other is refused with a warning and trained
// over as on a first start (loadCheckedHoldemStrategy). The training keeps
// a checkpoint beside the strategy file ("strategy.checkpoint" and the sums
// it names), so that a start stopped during the training goes on from it at
// the next start; it is removed once the strategy is saved.
//
// The abstract actions are fold, call and a raise of size 0. In the no-limit
// game a raise of size 0 is never legal, so that strategy only folds and
// calls; an opponent's raise leads to a betting history it does not hold.
//
// In the no-limit game an opponent's raise is the normal case, and the
// answer to any betting the strategy does not hold is fold or call by price
// (price_answer.h): call when the hand's chance of winning against the hands
// that raise that way pays for the share of the final pot the call adds, else
// fold; never a raise. The hand's chances come from the two-player equity
// tables of the pre-flop, flop and turn (held for this, 120 MB) and on the
// river from the showdown values themselves. One "Warning: " line tells of
// the first such decision; later ones pass silently.
//
// In the limit games a decision whose key the strategy lacks (a bucket
// outside 0 .. 9, a player count other than 2 or 3) raises std::out_of_range
// from getAction; the session answers it with a call and a warning.
//
// The large abstraction (two-player limit only) keys its information sets by
// the buckets of large_buckets.h instead: the 169 pre-flop classes and
// LARGE_LIMIT_BUCKETS (2,400) buckets on each later round (on the flop and
// turn nested by mean and spread, then clustered by k-means), 15,307,200
// information sets. Its
// strategy, trained with discounted CFR by blocks on the flat store for
// LARGE_TRAINING_ITERATIONS deals (each deal's pass split over every core),
// lives in its own file (LARGE_STRATEGY_FILE), never in the standard one; it
// reads only its own bucket tables, made on first use from the two-player
// equity tables. A file of the earlier 2,000 buckets lacks the keys of the
// last 400 and is refused, then trained over; one of other bucket tables of
// the same count is told by its bucket note (BUCKETS_SUFFIX), or the lack
// of one, and removed with its checkpoint before the training.
//
// The large limit player also reads its opponent (raise_reads.h): from the
// holdings the opponent shows down after raising, how wide it raises. Once
// it has read RaiseReads::MINIMUM raises, and while that share is at least
// RaiseReads::WIDE, a fold its strategy makes to a raise of this round
// becomes a call when the hand's chance against that share of holdings pays
// the price of calling down (callDownPrice: this call and one bet of each
// later round, as such a raiser bets again). An equilibrium strategy folds
// to a raise what loses against the hands that raise in equilibrium;
// against a player raising far wider (a bot that always raises or plays at
// random) those folds give away most of what it could win. The correction
// only ever calls, and reads the equity tables of the price rule (120 MB).
//
// actionProbabilities is the agent's whole policy as a pure function: what
// it sends at a state for given hole cards, with the probabilities getAction
// draws from. Tools that measure the agent (a local best response) query it
// for every hand an opponent might hold, from several threads at once.
#ifndef MORVANE_LIMITHOLDEMAGENT_H
#define MORVANE_LIMITHOLDEMAGENT_H

#include <cstdint>
#include <memory>
#include <vector>

#include "abstraction/EquityTables.h"
#include "abstraction/large_buckets.h"
#include "agents/PokerAgent.h"
#include "agents/raise_reads.h"
#include "common/abstraction_option.h"
#include "solver/cfr.h"

struct Holding;

class LimitHoldemAgent : public PokerAgent {
 public:
  // Strategy files by number of players; entries 0 and 1 are placeholders.
  static const char* const HoldemStrategyFiles[4];
  static const char* const NoLimiHoldemStrategyFiles[4];
  // Training of a first start.
  static constexpr uint64_t TRAINING_ITERATIONS = 100000;
  // Training of a first start of the large abstraction.
  static constexpr uint64_t LARGE_TRAINING_ITERATIONS = 25000000;
  // The large abstraction's strategy file.
  static constexpr const char* LARGE_STRATEGY_FILE = "strategies/holdem.limit.2p.large/strategy";
  // The training checkpoint: its name beside the strategy file, and how often
  // it is written (each one costs about a minute for three players).
  static constexpr const char* CHECKPOINT_SUFFIX = ".checkpoint";
  static constexpr double CHECKPOINT_SECONDS = 1800.0;
  // Beside the large strategy: the bucket tables that it and its checkpoint
  // are trained on, one name per line. The strategy file does not say, and a
  // change of the bucket rule at the same count would load it unnoticed.
  static constexpr const char* BUCKETS_SUFFIX = ".buckets";

  explicit LimitHoldemAgent(const char* gameFile);
  // Same, with another training size (tests use small ones) and, with
  // flatStore false, the solver's keyed maps instead of its flat store: a
  // strategy of part of a game then loads without the whole game's tree.
  LimitHoldemAgent(const char* gameFile, uint64_t iterations, bool flatStore = true);
  // An abstraction's agent; a large one of a game it does not play stops the
  // program with an "ERROR: " line.
  LimitHoldemAgent(const char* gameFile, Abstraction abstraction);
  LimitHoldemAgent(const char* gameFile, Abstraction abstraction, uint64_t iterations);
  // The equity tables go first, then the solver that borrowed them.
  ~LimitHoldemAgent() override;

  // The strategy file of a game: by betting type, then number of players.
  static const char* strategyPath(const Game* game);
  static const char* strategyPath(const Game* game, Abstraction abstraction);
  Abstraction abstraction() const { return abstraction_; }
  // The text of the large strategy's bucket note, and why the strategy (or
  // checkpoint) at `path` was not trained on those tables ("" when its note
  // says it was).
  static std::string largeBucketsNote();
  static std::string largeBucketsProblem(const std::string& path);
  // Seat of the two-player bucket tables used by `seat` once only two
  // players can act: the first seat keeps its own, every later seat takes
  // the second seat's, as the three-player tables themselves are made. The
  // agent's solver reads the tables by this rule in training too (there is
  // no two-player table of a third seat).
  static int twoPlayerPosition(int seat) { return seat == 0 ? 0 : 1; }

  // probabilities[k] = (fold, call, raise) that the agent sends as `seat`
  // at `state` holding hands[k] (the board is read from `state`, the seat's
  // hole cards there are ignored): the average strategy of the hand's
  // information set, with a fold where nothing is owed and a raise where
  // none is legal moved to the call, as the session repairs them. Where the
  // strategy lacks the state: in no-limit the fold or call by price, for
  // certain; in limit a call. With `raiserShare` at least RaiseReads::WIDE
  // (the large limit player that has read its opponent, raise_reads.h),
  // where the opponent raised in this round, a hand's fold becomes a call
  // when the hand's chance against the top `raiserShare` of holdings pays
  // the price of calling down (the price rule's steps 3 and 5 with that
  // share, and callDownPrice for step 4).
  // Returns whether the strategy covers the state (false when it lacks it
  // for any of the hands). getAction draws from these. Reads only its
  // arguments and the loaded strategy and tables: no output, no draws, so
  // that tools may ask it for any hand, from several threads at once.
  bool actionProbabilities(const State& state, uint8_t seat, const uint8_t (*hands)[2],
                           size_t count, double (*probabilities)[NUM_ABSTRACT_ACTIONS],
                           double raiserShare = 0.0) const;
  // The chance of `hole` against the range of the last raise at `state`, as
  // the price rule reads it (no-limit, and the large limit player).
  double equityAgainstRaiser(const State& state, uint8_t seat, const uint8_t* hole) const;

  CFR* getSolver() const { return solver.get(); }
  EquityTables* getEquityTables() const { return tables.get(); }

  void holeCards(uint8_t* cards, uint8_t player) override;
  void getAction(Action& action) override;
  void actionEvent(uint8_t player, Action action) override;
  void stageEvent(int stage) override;
  void showdownEvent(uint8_t player, uint8_t* cards) override;
  void gameOverEvent(double value) override;
  void winEvent(uint8_t player, int amount) override;

 private:
  // Ends the program with an "ERROR: " line unless the game is two- or
  // three-player hold'em with a 52-card deck.
  void refuseOtherGames(const char* gameFile) const;
  void prepare(uint64_t iterations, bool flatStore);
  // Refuses (removes, with a warning) a large strategy and checkpoint of
  // other bucket tables, and notes the current tables beside what follows.
  static void keepToLargeBuckets(const std::string& path);
  // The large bucket tables (and the indexers they are read with).
  void loadLargeTables();
  std::unique_ptr<CFR> makeSolver() const;
  // The bucket tables, and the equity tables when a bucket table has to be
  // computed first.
  void loadTables();
  // The two-player equity tables of every round but the last, for the price
  // rule of the no-limit game.
  void loadPriceTables();
  // Strength of a holding on the board of `state` for the price rule: the
  // showdown value on the last round, else the two-player equity table's
  // chance against a random hand.
  double holdingStrength(const State& state, uint8_t a, uint8_t b) const;
  // Every holding off the board of `state` by that strength, strongest
  // first (rangeHoldings); valid until this thread asks for another board.
  const std::vector<Holding>& priceRange(const State& state) const;

  // The large limit player reads its opponent's raises at showdowns and
  // prices folds to them, with the equity tables of the price rule.
  bool readsRaises() const {
    return abstraction_ == Abstraction::large && game->bettingType == limitBetting;
  }
  bool usesPriceTables() const { return game->bettingType != limitBetting || readsRaises(); }
  static bool raisedThisRound(const State& state, uint8_t player);
  // Scores the raises of the opponent of `seat` in a finished hand that
  // shows its cards.
  void readShowdown(const State& state, uint8_t seat);

  std::unique_ptr<CFR> solver;
  RaiseReads reads;
  Abstraction abstraction_ = Abstraction::standard;
  std::unique_ptr<EquityTables> tables;  // lent to the solver
  std::unique_ptr<LargeBuckets> largeBuckets;  // large abstraction only; lent to the solver
  bool toldOfPriceAnswers = false;
  const uint64_t serial;  // tells this agent's price ranges from another's
};

#endif
