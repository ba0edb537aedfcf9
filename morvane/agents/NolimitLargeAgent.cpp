#include "agents/NolimitLargeAgent.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "abstraction/bet_abstraction.h"
#include "common/util.h"
#include "solver/nolimit_dealer.h"
#include "tablemaking/street_solver.h"

namespace {

// The deals of every first start are the same, so two starts train the same
// strategy.
constexpr uint64_t TRAINING_SEED = 20131;

}  // namespace

NolimitLargeAgent::NolimitLargeAgent(const char* gameFile, uint64_t iterations)
    : PokerAgent(gameFile), rng_(std::random_device{}()) {
  if (game->numPlayers != 2 || game->bettingType != noLimitBetting || game->numSuits != 4 ||
      game->numRanks != 13 || game->numHoleCards != 2 || game->numRounds != 4) {
    std::fprintf(stderr, "ERROR: the large no-limit abstraction plays two-player no-limit hold'em only, not %s\n",
                 gameFile);
    std::exit(1);
  }
  prepare(iterations);
}

NolimitLargeAgent::~NolimitLargeAgent() {
  buckets_.reset();
  tables_.reset();
}

void NolimitLargeAgent::prepare(uint64_t iterations) {
  // Two players in one directory must not make the same tables or train
  // the same strategy at once: the second waits and loads what the first made.
  const DirectoryLock lock(
      "lookup", "Waiting for another player preparing its tables or strategy in this directory");
  tree_ = std::make_unique<NolimitTree>(game);
  solver_ = std::make_unique<NolimitCFR>(*tree_, BUCKETS, NolimitCFR::Weighting::discounted);
  solver_->setThreads(0);  // one per core; the sums do not depend on it
  tables_ = std::make_unique<EquityTables>();
  tables_->setStreetSolver(solveStreetGame);
  buckets_ = std::make_unique<LargeBuckets>(*tables_, LARGE_NOLIMIT_BUCKETS);

  const std::string problem = file_exist(STRATEGY_FILE) ? solver_->load(STRATEGY_FILE) : "missing";
  if (problem.empty()) {
    buckets_->load();
    return;
  }
  if (problem != "missing")
    std::cout << "Warning: strategy " << STRATEGY_FILE << " is refused: " << problem << std::endl;
  std::cout << "Warning: could not load strategy from disk!" << std::endl;
  buckets_->load();
  std::cout << "Information sets: " << tree_->informationSets(BUCKETS) << " over " << tree_->numDecisions()
            << " betting decisions" << std::endl;
  std::cout << "Training hold'em agent with " << iterations << " iterations" << std::endl;
  HoldemDealer dealer(
      game, [this](int round, const uint8_t* cards) { return static_cast<uint32_t>(buckets_->bucket(round, cards)); },
      TRAINING_SEED);
  solver_->train(iterations, std::ref(dealer), true);
  makeParentDirectories(STRATEGY_FILE);
  if (!solver_->save(STRATEGY_FILE)) std::cout << "Warning: the strategy was not saved to the disk!" << std::endl;
}

uint32_t NolimitLargeAgent::bucket(const State& state, const uint8_t* hole) const {
  uint8_t cards[2 + MAX_BOARD_CARDS] = {hole[0], hole[1]};
  const int board = sumBoardCards(game, state.round);
  for (int c = 0; c < board; ++c) cards[2 + c] = state.boardCards[c];
  return static_cast<uint32_t>(buckets_->bucket(state.round, cards));
}

NolimitLargeAgent::Options NolimitLargeAgent::options(const State& state, uint8_t seat,
                                                      const std::function<double(int)>& draw) const {
  Options result;
  const AbstractHistory read = readHistory(game, state, draw);
  const uint32_t d = read.complete ? tree_->decisionOf(read.state) : NolimitTree::NONE;
  if (d == NolimitTree::NONE || tree_->decision(d).seat != seat) return result;
  result.decision = d;
  const int n = tree_->decision(d).numActions;
  for (int a = 0; a < n; ++a) {
    Action abstract = tree_->action(d, a);
    Action real = abstract;
    if (abstract.type == a_fold && state.spent[seat] >= state.maxSpent) real = {a_call, 0};
    if (abstract.type == a_raise) {
      int32_t minimum = 0;
      int32_t maximum = 0;
      // All-in stays all-in; another size is the same share of the real pot.
      if (!raiseIsValid(game, &state, &minimum, &maximum))
        real = {a_call, 0};
      else if (abstract.size >= game->stack[seat])
        real = {a_raise, maximum};
      else
        real = {a_raise, legalRaiseTo(game, &state, raiseFraction(game, &read.state, abstract.size))};
    }
    size_t i = 0;
    while (i < result.actions.size() &&
           !(result.actions[i].type == real.type && result.actions[i].size == real.size))
      ++i;
    if (i == result.actions.size()) result.actions.push_back(real);
    result.sentAs[a] = static_cast<int>(i);
  }
  return result;
}

void NolimitLargeAgent::probabilities(const Options& options, const State& state, const uint8_t* hole,
                                      double* out) const {
  double p[NolimitTree::MAX_ACTIONS];
  const int n = tree_->decision(options.decision).numActions;
  solver_->probabilities(options.decision, bucket(state, hole), p);
  threshold(p, n, PLAY_THRESHOLD);
  std::fill(out, out + options.actions.size(), 0.0);
  for (int a = 0; a < n; ++a) out[options.sentAs[a]] += p[a];
}

void NolimitLargeAgent::threshold(double* p, int n, double minimum) {
  double kept = 0.0;
  int likeliest = 0;
  for (int a = 0; a < n; ++a) {
    if (p[a] >= minimum) kept += p[a];
    if (p[a] > p[likeliest]) likeliest = a;
  }
  for (int a = 0; a < n; ++a)
    p[a] = kept > 0.0 ? (p[a] >= minimum ? p[a] / kept : 0.0) : (a == likeliest ? 1.0 : 0.0);
}

NolimitLargeAgent::Choice NolimitLargeAgent::choice(const State& state, uint8_t seat, const uint8_t* hole,
                                                    const std::function<double(int)>& draw) const {
  const Options o = options(state, seat, draw);
  Choice result{o.actions, std::vector<double>(o.actions.size())};
  if (!o.actions.empty()) probabilities(o, state, hole, result.probabilities.data());
  return result;
}

void NolimitLargeAgent::holeCards(uint8_t*, uint8_t) { draws_.clear(); }

double NolimitLargeAgent::raiseDraw(int k) {
  while (static_cast<int>(draws_.size()) <= k) draws_.push_back(std::uniform_real_distribution<double>()(rng_));
  return draws_[k];
}

void NolimitLargeAgent::getAction(Action& action) {
  const State& state = matchState.state;
  const uint8_t seat = matchState.viewingPlayer;
  const Choice c = choice(state, seat, state.holeCards[seat], [this](int k) { return raiseDraw(k); });
  if (c.actions.empty()) {
    if (!toldOfUnreadBetting_)
      std::cout << "Warning: betting the large abstraction cannot read is answered with a call (first in hand "
                << state.handId << ")" << std::endl;
    toldOfUnreadBetting_ = true;
    action = {a_call, 0};
    return;
  }
  const double x = std::uniform_real_distribution<double>()(rng_);
  double sum = 0.0;
  action = c.actions.back();
  for (size_t i = 0; i < c.actions.size(); ++i) {
    sum += c.probabilities[i];
    if (x < sum) {
      action = c.actions[i];
      break;
    }
  }
}
