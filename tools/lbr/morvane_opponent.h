// The hold'em player's strategy as an LBR opponent: the agent itself, loaded
// from "strategies/" and "lookup/" in the working directory, queried through
// LimitHoldemAgent::actionProbabilities, so that the LBR meets exactly what
// the player plays (its buckets, its average strategy, its answer to states
// the strategy lacks).
#ifndef LBR_MORVANE_OPPONENT_H
#define LBR_MORVANE_OPPONENT_H

#include <memory>
#include <string>

#include "common/abstraction_option.h"
#include "opponent.h"

class LimitHoldemAgent;

namespace lbr {

class MorvaneOpponent : public Opponent {
 public:
  // What is missing or unusable for the player of `game` in the working
  // directory (the strategy file, a bucket table, in no-limit an equity
  // table of its answers to raises), or "" when it can be
  // loaded without training or generating anything.
  static std::string missing(const Game* game, const std::string& abstraction);

  // Loads the player of that abstraction; call only after missing()
  // returned "".
  MorvaneOpponent(const Game* game, const std::string& gameFile,
                  Abstraction abstraction = Abstraction::standard);
  ~MorvaneOpponent() override;

  void actionProbabilities(const State& state, uint8_t seat, const uint8_t (*hands)[2],
                           size_t count, double (*probabilities)[3]) const override;

 private:
  std::unique_ptr<LimitHoldemAgent> agent_;
};

}  // namespace lbr

#endif
