#include "agents/KuhnAgent.h"

#include <cstdlib>
#include <iostream>
#include <string>

#include "analysis/exploitability.h"
#include "analysis/game_size.h"
#include "solver/strategy_check.h"
#include "common/util.h"

const char* const KuhnAgent::KuhnStrategyFiles[10] = {
    "strategies/kuhn.limit.3p/strategy0", "strategies/kuhn.limit.3p/strategy1",
    "strategies/kuhn.limit.3p/strategy2", "strategies/kuhn.limit.3p/strategy3",
    "strategies/kuhn.limit.3p/strategy4", "strategies/kuhn.limit.3p/strategy5",
    "strategies/kuhn.limit.3p/strategy6", "strategies/kuhn.limit.3p/strategy7",
    "strategies/kuhn.limit.3p/strategy8", "strategies/kuhn.limit.3p/strategy9"};

namespace {

// Why the agent cannot train and play `game`, or "" when it can: one solver
// slot per seat, rank buckets and win probabilities of one-card, one-round
// games, and every deal and betting line enumerated by training and by the
// exact measurements.
std::string gameProblem(const Game* game) {
  if (game->numPlayers != KuhnAgent::NUM_SLOTS)
    return "it plays three-player games only, this one has " + std::to_string(game->numPlayers);
  if (game->numRounds != 1 || game->numBoardCards[0] != 0 || game->numHoleCards != 1)
    return "it plays games of one betting round with one hole card and no board";
  return enumerationProblem(game);
}

void printNashConv(const char* what, CFR& solver) {
  std::cout << "NashConv of " << what << ": " << nashConv(solver) << " chips per hand"
            << std::endl;
}

}  // namespace

KuhnAgent::KuhnAgent(const char* gameFile)
    : KuhnAgent(gameFile, TRAINING_PASSES, ITERATIONS_PER_PASS) {}

KuhnAgent::KuhnAgent(const char* gameFile, int passes, uint64_t iterationsPerPass)
    : PokerAgent(gameFile) {
  const std::string problem = gameProblem(game);
  if (!problem.empty()) {
    std::fprintf(stderr, "ERROR: the Kuhn agent cannot play %s: %s\n", gameFile, problem.c_str());
    std::exit(1);
  }
  for (EvWindow& window : evWindows) {
    for (double& r : window.results) r = 0.0;
    window.next = 0;
  }
  prepare(passes, iterationsPerPass);
}

KuhnAgent::~KuhnAgent() = default;

void KuhnAgent::prepare(int passes, uint64_t iterationsPerPass) {
  // Every file must fill exactly the tree that training would build.
  CFR tree(game);
  buildFullTree(tree);
  std::vector<std::unique_ptr<CFR>> loaded;
  for (int i = 0; i < NUM_SLOTS; ++i) {
    auto solver = std::make_unique<CFR>(game);
    const char* path = KuhnStrategyFiles[i];
    const std::string problem = loadCheckedStrategy(*solver, path, tree);
    if (!problem.empty()) {
      // A missing file is the normal first start; anything else is damage.
      if (file_exist(path))
        std::cout << "Warning: strategy " << path << " is refused: " << problem << std::endl;
      std::cout << "Warning: could not load strategy from disk!" << std::endl;
      break;
    }
    loaded.push_back(std::move(solver));
  }
  if (loaded.size() == NUM_SLOTS) {
    for (int i = 0; i < NUM_SLOTS; ++i) {
      strategies[i] = loaded[i].get();
      const std::string what = "strategy " + std::to_string(i);
      printNashConv(what.c_str(), *strategies[i]);
    }
    solvers = std::move(loaded);
    return;
  }
  train(passes, iterationsPerPass);
}

void KuhnAgent::train(int passes, uint64_t iterationsPerPass) {
  const int n = game->numPlayers;
  std::cout << "Training kuhn agent with " << passes << " iterations" << std::endl;
  std::vector<double> utility(n, 0.0);
  std::vector<double> best(n, -100000.0);
  const ProgressLines quiet(false);

  solvers.push_back(std::make_unique<CFR>(game));
  CFR* solver = solvers.back().get();
  for (int k = 0; k < passes; ++k) {
    std::cout << "Finding equilibrium " << k << "..." << std::endl;
    solver->train(iterationsPerPass);
    solver->calcUtility(utility.data());
    printNashConv("the average strategy", *solver);
    for (int p = 0; p < n; ++p) {
      if (utility[p] > best[p]) {
        best[p] = utility[p];
        strategies[p] = solver;
      }
    }
  }

  for (int i = 0; i < NUM_SLOTS; ++i) {
    makeParentDirectories(KuhnStrategyFiles[i]);
    if (!strategies[i]->save(KuhnStrategyFiles[i]))
      std::cout << "Warning: the strategy was not saved to the disk!" << std::endl;
    std::cout << static_cast<const void*>(strategies[0]) << std::endl;
    strategies[i]->calcUtility(utility.data());
    std::cout << "Avg strategy utility = (";
    for (int p = 0; p < n; ++p) std::cout << " " << utility[p];
    std::cout << " )" << std::endl;
  }
}

double KuhnAgent::getEv(int mode) const {
  double sum = 0.0;
  for (double r : evWindows[mode].results) sum += r;
  return sum / 10.0;
}

void KuhnAgent::updateEv(int mode, double value) {
  EvWindow& window = evWindows[mode];
  if (window.next == WINDOW) window.next = 0;
  window.results[window.next] = value;
  ++window.next;
}

void KuhnAgent::holeCards(uint8_t*, uint8_t) {
  double best = -1000.0;
  for (int mode = 0; mode < NUM_MODES; ++mode) {
    const double ev = getEv(mode);
    if (ev > best) {
      best = ev;
      activeMode = mode;
    }
  }
}

void KuhnAgent::getAction(Action& action) {
  const uint8_t seat = matchState.viewingPlayer;
  State* state = &matchState.state;
  switch (activeMode) {
    case 0: {
      const int index = strategies[seat]->findNode(state)->getRandomActionIndex();
      strategies[seat]->translate(index, state, &action);
      break;
    }
    case 1: {
      const int slot = pick_a_number(0, NUM_SLOTS - 1);
      const int index = strategies[slot]->findNode(state)->getRandomActionIndex();
      strategies[seat]->translate(index, state, &action);
      break;
    }
    default: {
      // Ace to jack of the dealer's deck are ranks 12 to 9.
      int rank = rankOfCard(state->holeCards[seat][0]);
      if (rank >= 9 && rank <= 12) rank -= 9;
      action.size = 0;
      if (rank == 2 || rank == 3)
        action.type = a_raise;
      else
        action.type = state->spent[seat] == state->maxSpent ? a_call : a_fold;
      break;
    }
  }
}

void KuhnAgent::gameOverEvent(double value) { updateEv(activeMode, value); }

void KuhnAgent::actionEvent(uint8_t, Action) {}
void KuhnAgent::stageEvent(int) {}
void KuhnAgent::showdownEvent(uint8_t, uint8_t*) {}
void KuhnAgent::winEvent(uint8_t, int) {}
