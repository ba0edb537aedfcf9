#include "morvane_opponent.h"

#include "abstraction/EquityTables.h"
#include "abstraction/large_buckets.h"
#include "agents/LimitHoldemAgent.h"
#include "agents/NolimitLargeAgent.h"
#include "solver/cfr.h"
#include "solver/strategy_check.h"
#include "common/util.h"

namespace lbr {

std::string MorvaneOpponent::missing(const Game* game, const std::string& abstraction) {
  // Classes per round of the bucket tables (one byte per class; two in the
  // large abstraction's).
  const uint64_t classes[4] = {169, 1286792, 13960050, 123156254};
  if (abstraction == "large") {
    // The limit player reads clustered flop and turn tables of its own.
    const bool limit = game->bettingType == limitBetting;
    for (int round = 1; round < 4; ++round) {
      const std::string path =
          limit ? LargeBuckets::limitTableName(round)
                : LargeBuckets::tableName(round, LARGE_NOLIMIT_BUCKETS, 1);
      if (!table_file_ok(path, classes[round] * sizeof(uint16_t)))
        return "no usable bucket table " + path +
               " (run morvane --abstraction large once in this directory)";
    }
    if (game->bettingType != limitBetting) {
      const std::string path = NolimitLargeAgent::STRATEGY_FILE;
      if (!file_exist(path.c_str()))
        return "no strategy " + path + " (run morvane --abstraction large once in this directory)";
      // Loaded once here to check it: the player would train again on a
      // file it refuses.
      const NolimitTree tree(game);
      NolimitCFR check(tree, NolimitLargeAgent::BUCKETS);
      const std::string problem = check.load(path);
      if (!problem.empty()) return "strategy " + path + " is unusable: " + problem;
      return "";
    }
    // It reads its opponent's raises with the equity tables of the price rule.
    for (int round = 0; round < 3; ++round) {
      const std::string table = EquityTables::equityFileName(2, round);
      if (!table_file_ok(table, classes[round] * sizeof(double)))
        return "no usable equity table " + table + " (run morvane once in this directory)";
    }
    const std::string path = LimitHoldemAgent::strategyPath(game, Abstraction::large);
    if (!file_exist(path.c_str()))
      return "no strategy " + path + " (run morvane --abstraction large once in this directory)";
    // The player trains again on a strategy of other bucket tables.
    const std::string buckets = LimitHoldemAgent::largeBucketsProblem(path);
    if (!buckets.empty()) return "strategy " + path + " is unusable: " + buckets;
    CFR check(game);
    check.setHoldemBuckets(LARGE_LIMIT_BUCKETS);
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

std::unique_ptr<Opponent> MorvaneOpponent::load(const Game* game, const std::string& gameFile,
                                                Abstraction abstraction, double raiserShare) {
  if (abstraction == Abstraction::large && game->bettingType != limitBetting)
    return std::make_unique<NolimitLargeOpponent>(game, gameFile);
  return std::make_unique<MorvaneOpponent>(game, gameFile, abstraction, raiserShare);
}

MorvaneOpponent::MorvaneOpponent(const Game* game, const std::string& gameFile,
                                 Abstraction abstraction, double raiserShare)
    : SingleRaiseOpponent(game),
      agent_(std::make_unique<LimitHoldemAgent>(gameFile.c_str(), abstraction)),
      raiserShare_(raiserShare) {}

MorvaneOpponent::~MorvaneOpponent() = default;

void MorvaneOpponent::actionProbabilities(const State& state, uint8_t seat,
                                          const uint8_t (*hands)[2], size_t count,
                                          double (*probabilities)[3]) const {
  agent_->actionProbabilities(state, seat, hands, count, probabilities, raiserShare_);
}

NolimitLargeOpponent::NolimitLargeOpponent(const Game* game, const std::string& gameFile)
    : Opponent(game), agent_(std::make_unique<NolimitLargeAgent>(gameFile.c_str())) {}

NolimitLargeOpponent::~NolimitLargeOpponent() = default;

void NolimitLargeOpponent::actionList(const State& state, uint8_t seat, const uint8_t (*hands)[2],
                                      size_t count, const RaiseDraw& draw, ActionList* list) const {
  const NolimitLargeAgent::Options options = agent_->options(state, seat, draw);
  if (options.actions.empty()) {
    list->actions = {Action{a_call, 0}};
    list->probabilities.assign(count, 1.0);
    return;
  }
  const size_t n = options.actions.size();
  list->actions = options.actions;
  list->probabilities.resize(count * n);
  for (size_t k = 0; k < count; ++k) agent_->probabilities(options, state, hands[k], &list->probabilities[k * n]);
}

}  // namespace lbr
