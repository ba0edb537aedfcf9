#include "morvane_opponent.h"

#include "abstraction/EquityTables.h"
#include "abstraction/large_buckets.h"
#include "agents/LimitHoldemAgent.h"
#include "solver/cfr.h"
#include "solver/strategy_check.h"
#include "common/util.h"

namespace lbr {

std::string MorvaneOpponent::missing(const Game* game, const std::string& abstraction) {
  // Classes per round of the bucket tables (one byte per class).
  const uint64_t classes[4] = {169, 1286792, 13960050, 123156254};
  if (abstraction == "large") {
    for (int round = 1; round < 4; ++round) {
      const std::string path = LargeBuckets::fileName(round);
      if (!table_file_ok(path, classes[round]))
        return "no usable bucket table " + path +
               " (run morvane --abstraction large once in this directory)";
    }
    const std::string path = LimitHoldemAgent::strategyPath(game, Abstraction::large);
    if (!file_exist(path.c_str()))
      return "no strategy " + path + " (run morvane --abstraction large once in this directory)";
    CFR check(game);
    check.setHoldemBuckets(LARGE_MAX_BUCKETS);
    const std::string problem = loadCheckedHoldemStrategy(check, path, true);
    if (!problem.empty()) return "strategy " + path + " is unusable: " + problem;
    return "";
  }
  for (int players = 2; players <= 3; ++players)
    for (int round = 0; round < 4; ++round)
      for (int position = 0; position < players; ++position) {
        const std::string path = EquityTables::holdemFileName(players, round, position);
        if (!table_file_ok(path, classes[round]))
          return "no usable bucket table " + path + " (run morvane once in this directory)";
      }
  // The no-limit player also prices raises with the two-player equity
  // tables of the rounds before the river.
  if (game->bettingType != limitBetting)
    for (int round = 0; round + 1 < game->numRounds && round < 4; ++round) {
      const std::string path = EquityTables::equityFileName(2, round);
      if (!table_file_ok(path, classes[round] * sizeof(double)))
        return "no usable equity table " + path + " (run morvane once in this directory)";
    }
  const std::string path = LimitHoldemAgent::strategyPath(game);
  if (!file_exist(path.c_str()))
    return "no strategy " + path + " (run morvane once in this directory)";
  CFR check(game);
  const std::string problem = loadCheckedHoldemStrategy(check, path, true);
  if (!problem.empty()) return "strategy " + path + " is unusable: " + problem;
  return "";
}

MorvaneOpponent::MorvaneOpponent(const Game* game, const std::string& gameFile,
                                 Abstraction abstraction)
    : Opponent(game),
      agent_(std::make_unique<LimitHoldemAgent>(gameFile.c_str(), abstraction)) {}

MorvaneOpponent::~MorvaneOpponent() = default;

void MorvaneOpponent::actionProbabilities(const State& state, uint8_t seat,
                                          const uint8_t (*hands)[2], size_t count,
                                          double (*probabilities)[3]) const {
  agent_->actionProbabilities(state, seat, hands, count, probabilities);
}

}  // namespace lbr
