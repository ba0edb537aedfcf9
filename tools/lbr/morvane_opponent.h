// The hold'em player's strategy as an LBR opponent: the agent itself, loaded
// from "strategies/" and "lookup/" in the working directory, so that the LBR
// meets exactly what the player plays (its buckets, its average strategy,
// its answer to states the strategy lacks; the large limit player as it
// starts, or with a given read of its opponent's raises). The limit players
// and the standard no-limit player are queried through
// LimitHoldemAgent::actionProbabilities; the large no-limit player, which
// raises at several sizes, through NolimitLargeAgent's options and
// probabilities, reading the opponent's raises with the hand's raise draws.
#ifndef LBR_MORVANE_OPPONENT_H
#define LBR_MORVANE_OPPONENT_H

#include <memory>
#include <string>

#include "common/abstraction_option.h"
#include "opponent.h"

class LimitHoldemAgent;
class NolimitLargeAgent;

namespace lbr {

class MorvaneOpponent : public SingleRaiseOpponent {
 public:
  // What is missing or unusable for the player of `game` in the working
  // directory (the strategy file, a bucket table, in no-limit an equity
  // table of its answers to raises), or "" when it can be
  // loaded without training or generating anything.
  static std::string missing(const Game* game, const std::string& abstraction);

  // The player of that abstraction; call only after missing() returned "".
  // `raiserShare` above 0: the large limit player once it has read its
  // opponent raising with that share of its holdings.
  static std::unique_ptr<Opponent> load(const Game* game, const std::string& gameFile,
                                        Abstraction abstraction, double raiserShare = 0.0);

  // Loads the player of that abstraction, one that folds, calls or raises
  // by one size; call only after missing() returned "".
  MorvaneOpponent(const Game* game, const std::string& gameFile,
                  Abstraction abstraction = Abstraction::standard, double raiserShare = 0.0);
  ~MorvaneOpponent() override;

  void actionProbabilities(const State& state, uint8_t seat, const uint8_t (*hands)[2],
                           size_t count, double (*probabilities)[3]) const override;

 private:
  std::unique_ptr<LimitHoldemAgent> agent_;
  double raiserShare_;
};

// The large no-limit player; call only after MorvaneOpponent::missing()
// returned "". Betting it cannot read is answered with a call by every hand,
// as it plays.
class NolimitLargeOpponent : public Opponent {
 public:
  NolimitLargeOpponent(const Game* game, const std::string& gameFile);
  ~NolimitLargeOpponent() override;

  void actionList(const State& state, uint8_t seat, const uint8_t (*hands)[2], size_t count,
                  const RaiseDraw& draw, ActionList* list) const override;

 private:
  std::unique_ptr<NolimitLargeAgent> agent_;
};

}  // namespace lbr

#endif
