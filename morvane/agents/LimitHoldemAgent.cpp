#include "agents/LimitHoldemAgent.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "agents/price_answer.h"
#include "agents/raise_reads.h"
#include "cards/table_checks.h"
#include "showdown.h"
#include "solver/strategy_check.h"
#include "solver/training_checkpoint.h"
#include "tablemaking/street_solver.h"
#include "common/util.h"

namespace {

// The solver of the agent: reads the bucket tables with the two-player seat
// rule of the agent, in training as in play.
class HoldemSolver : public CFR {
 public:
  using CFR::CFR;
  int holdemTableBucket(int players, int round, int seat, const uint8_t* cards) const override {
    return CFR::holdemTableBucket(
        players, round, players == 2 ? LimitHoldemAgent::twoPlayerPosition(seat) : seat, cards);
  }
};

// The solver of the large abstraction: every seat's bucket is the hand's
// large bucket of the round.
class LargeHoldemSolver : public CFR {
 public:
  explicit LargeHoldemSolver(const Game* game) : CFR(game) {
    setHoldemBuckets(LARGE_LIMIT_BUCKETS);
    // Its small tree (6,378 decisions) is dealt 25 million times: each pass
    // is split over every core, which gives the same sums as one.
    setThreads(0, 0);
  }
  void setBuckets(const LargeBuckets* buckets) { buckets_ = buckets; }
  int holdemTableBucket(int, int round, int, const uint8_t* cards) const override {
    if (!buckets_) throw std::logic_error("the large bucket tables are not loaded");
    return buckets_->bucket(round, cards);
  }

 private:
  const LargeBuckets* buckets_ = nullptr;
};

// Deals between two discounts of the large training's weighting.
constexpr uint64_t LARGE_WEIGHTING_BLOCK = 100000;

}  // namespace

const char* const LimitHoldemAgent::HoldemStrategyFiles[4] = {
    "n/a", "n/a", "strategies/holdem.limit.2p/strategy", "strategies/holdem.limit.3p/strategy"};
const char* const LimitHoldemAgent::NoLimiHoldemStrategyFiles[4] = {
    "n/a", "n/a", "strategies/holdem.nolimit.2p/strategy",
    "strategies/holdem.nolimit.3p/strategy"};

namespace {
std::atomic<uint64_t> agentsMade{0};
}  // namespace

LimitHoldemAgent::LimitHoldemAgent(const char* gameFile)
    : LimitHoldemAgent(gameFile, TRAINING_ITERATIONS) {}

LimitHoldemAgent::LimitHoldemAgent(const char* gameFile, uint64_t iterations, bool flatStore)
    : PokerAgent(gameFile), serial(++agentsMade) {
  refuseOtherGames(gameFile);
  prepare(iterations, flatStore);
}

LimitHoldemAgent::LimitHoldemAgent(const char* gameFile, Abstraction abstraction)
    : LimitHoldemAgent(gameFile, abstraction,
                       abstraction == Abstraction::large ? LARGE_TRAINING_ITERATIONS
                                                         : TRAINING_ITERATIONS) {}

LimitHoldemAgent::LimitHoldemAgent(const char* gameFile, Abstraction abstraction,
                                   uint64_t iterations)
    : PokerAgent(gameFile), abstraction_(abstraction), serial(++agentsMade) {
  if (abstraction == Abstraction::large &&
      (game->numPlayers != 2 || game->bettingType != limitBetting || game->numSuits != 4 ||
       game->numRanks != 13 || game->numHoleCards != 2 || game->numRounds != 4)) {
    std::fprintf(stderr,
                 "ERROR: the large abstraction plays two-player limit hold'em only, not %s\n",
                 gameFile);
    std::exit(1);
  }
  refuseOtherGames(gameFile);
  prepare(iterations, true);
}

void LimitHoldemAgent::refuseOtherGames(const char* gameFile) const {
  // The bucket tables exist for two and three players of a 52-card deck.
  if (game->numPlayers < 2 || game->numPlayers > 3 || game->numSuits != 4 ||
      game->numRanks != 13 || game->numHoleCards != 2) {
    std::fprintf(stderr,
                 "ERROR: the hold'em agent plays two- or three-player hold'em only, not %s\n",
                 gameFile);
    std::exit(1);
  }
}

LimitHoldemAgent::~LimitHoldemAgent() {
  if (solver) solver->setEquityTables(nullptr);
  largeBuckets.reset();
  tables.reset();
  solver.reset();
}

const char* LimitHoldemAgent::strategyPath(const Game* game) {
  const int players = game->numPlayers < 4 ? game->numPlayers : 0;
  return game->bettingType == limitBetting ? HoldemStrategyFiles[players]
                                           : NoLimiHoldemStrategyFiles[players];
}

const char* LimitHoldemAgent::strategyPath(const Game* game, Abstraction abstraction) {
  return abstraction == Abstraction::large ? LARGE_STRATEGY_FILE : strategyPath(game);
}

std::unique_ptr<CFR> LimitHoldemAgent::makeSolver() const {
  if (abstraction_ == Abstraction::large) return std::make_unique<LargeHoldemSolver>(game);
  return std::make_unique<HoldemSolver>(game);
}

void LimitHoldemAgent::loadLargeTables() {
  tables = std::make_unique<EquityTables>();
  tables->setStreetSolver(solveStreetGame);
  largeBuckets = std::make_unique<LargeBuckets>(*tables, LARGE_LIMIT_BUCKETS, LARGE_LIMIT_SPREAD_RUNS,
                                                LARGE_LIMIT_CLUSTERED_ROUNDS);
  largeBuckets->load();
  static_cast<LargeHoldemSolver&>(*solver).setBuckets(largeBuckets.get());
}

void LimitHoldemAgent::loadTables() {
  if (abstraction_ == Abstraction::large) {
    loadLargeTables();
    return;
  }
  tables = std::make_unique<EquityTables>();
  tables->setStreetSolver(solveStreetGame);
  // Play and training read only the bucket tables; the equity tables (2.2 GB)
  // are needed only to compute bucket tables that are not on disk yet.
  bool bucketsOnDisk = true;
  for (int players = 2; players <= 3 && bucketsOnDisk; ++players)
    for (int round = 0; round < 4 && bucketsOnDisk; ++round)
      for (int position = 0; position < players && bucketsOnDisk; ++position)
        bucketsOnDisk = table_file_ok(EquityTables::holdemFileName(players, round, position),
                                      tables->getRoundSize(round));
  if (bucketsOnDisk) {
    tables->loadHoldemTables();
    return;
  }
  tables->load();
  tables->loadHoldemTables();
  // What the bucket tables were computed from is not read again.
  tables->free();
  tables->freeCluster();
  tables->freeUtility();
}

void LimitHoldemAgent::loadPriceTables() {
  for (int round = 0; round + 1 < game->numRounds; ++round) {
    const std::string name = EquityTables::equityFileName(2, round);
    const uint64_t n = tables->getRoundSize(round);
    if (table_file_ok(name, n * sizeof(double))) {
      std::unique_ptr<double[]> table(loadDoubleTable(name.c_str(), n));
      if (equityTableProblem(table.get(), n).empty()) {
        tables->setEquityTable(2, round, table.release());
        continue;
      }
    }
    // Missing or damaged: made (and reported) as on a first start.
    tables->prepareEquityRound(round);
    tables->setEquityTable(3, round, nullptr);  // only two players play no-limit
  }
}

std::string LimitHoldemAgent::largeBucketsNote() {
  std::string note;
  for (int round = 1; round < 4; ++round)
    note += LargeBuckets::limitTableName(round) + "\n";
  return note;
}

std::string LimitHoldemAgent::largeBucketsProblem(const std::string& path) {
  const std::string name = path + BUCKETS_SUFFIX;
  std::ifstream in(name, std::ios::binary);
  if (!in) return "no note " + name + " of its bucket tables";
  std::ostringstream text;
  text << in.rdbuf();
  if (text.str() != largeBucketsNote()) return "trained on other bucket tables (" + name + ")";
  return "";
}

void LimitHoldemAgent::keepToLargeBuckets(const std::string& path) {
  const std::string problem = largeBucketsProblem(path);
  if (problem.empty()) return;
  const std::string checkpoint = path + CHECKPOINT_SUFFIX;
  if (file_exist(path) || file_exist(checkpoint)) {
    std::cout << "Warning: strategy " << path << " is refused: " << problem
              << "; it is trained again" << std::endl;
    std::error_code error;
    std::filesystem::remove(path, error);
    removeTrainingCheckpoint(checkpoint);
  }
  // What was trained on other tables is gone before the note names this
  // version's, and the note is written whole under a temporary name: it
  // never names tables that the strategy or checkpoint beside it were not
  // trained on, even when a start is stopped here.
  makeParentDirectories(path);
  const std::string note = path + BUCKETS_SUFFIX;
  const std::string temporary = note + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << largeBucketsNote();
    if (!out.flush()) throw std::runtime_error("cannot write " + temporary);
  }
  std::filesystem::rename(temporary, note);
}

void LimitHoldemAgent::prepare(uint64_t iterations, bool flatStore) {
  // Two players in one directory (the standard and the large one, or two
  // seats of one) must not make the same tables or train the same strategy
  // at once: the second waits and loads what the first made.
  const DirectoryLock lock(
      "lookup", "Waiting for another player preparing its tables or strategy in this directory");
  solver = makeSolver();
  solver->setUseFlatStore(flatStore);
  const char* path = strategyPath(game, abstraction_);
  if (abstraction_ == Abstraction::large) keepToLargeBuckets(path);
  const std::string problem = loadCheckedHoldemStrategy(*solver, path, flatStore);
  if (problem.empty()) {
    loadTables();
    if (usesPriceTables()) loadPriceTables();
    solver->setEquityTables(tables.get());
    return;
  }
  // A missing file is the normal first start; anything else is damage, and
  // the solver that read it starts over as on a first start.
  if (file_exist(path)) {
    std::cout << "Warning: strategy " << path << " is refused: " << problem << std::endl;
    solver = makeSolver();
    solver->setUseFlatStore(flatStore);
  }
  std::cout << "Warning: could not load strategy from disk!\n"
            << "Training hold'em agent with " << iterations
            << " iterations for each information set!" << std::endl;
  loadTables();
  std::cout << "Training hold'em agent with " << iterations << " iterations" << std::endl;
  const ProgressLines progress(true);
  solver->setEquityTables(tables.get());
  // A long training (hours for three players) keeps its progress beside the
  // strategy, so that a stopped start goes on where it was at the next one.
  makeParentDirectories(path);
  const std::string checkpoint = std::string(path) + CHECKPOINT_SUFFIX;
  solver->setTrainingCheckpoint(checkpoint, CHECKPOINT_SECONDS);
  if (abstraction_ == Abstraction::large) solver->setDiscountedWeighting(LARGE_WEIGHTING_BLOCK, CFR::DCFR);
  solver->trainHoldem(iterations);
  // Playing on is still possible; the next start trains again (from the
  // checkpoint). The save writes under a temporary name, so a refused file
  // is replaced whole.
  if (solver->save(path))
    removeTrainingCheckpoint(checkpoint);
  else
    std::cout << "Warning: the strategy was not saved to the disk!" << std::endl;
  if (usesPriceTables()) loadPriceTables();
}

double LimitHoldemAgent::holdingStrength(const State& state, uint8_t a, uint8_t b) const {
  const int round = state.round;
  const int boardCards = sumBoardCards(game, round);
  if (round == game->numRounds - 1) {
    uint64_t cards = gamecore::cardBit(a) | gamecore::cardBit(b);
    for (int c = 0; c < boardCards; ++c) cards |= gamecore::cardBit(state.boardCards[c]);
    return gamecore::rankShowdownHand(cards);
  }
  uint8_t hand[MAX_HOLE_CARDS + MAX_BOARD_CARDS] = {a, b};
  for (int c = 0; c < boardCards; ++c) hand[2 + c] = state.boardCards[c];
  return tables->getEquityTable(2, round)[hand_index_last(tables->getIndexer(round), hand)];
}

const std::vector<Holding>& LimitHoldemAgent::priceRange(const State& state) const {
  // The last range made on this thread, with what it was made for. A tool
  // asks for many states on one board (each raise it weighs, then the
  // answer to the one it makes); the serial tells agents apart even when one
  // is made where another was freed.
  struct Last {
    uint64_t agent = 0;
    int round = -1;
    uint8_t board[MAX_BOARD_CARDS] = {};
    std::vector<Holding> range;
  };
  thread_local Last last;
  const int round = state.round;
  const int board = sumBoardCards(game, round);
  if (last.agent == serial && last.round == round &&
      std::equal(state.boardCards, state.boardCards + board, last.board))
    return last.range;
  const auto strength = [&](uint8_t a, uint8_t b) { return holdingStrength(state, a, b); };
  last.range = rangeHoldings(state.boardCards, board, strength);
  last.agent = serial;
  last.round = round;
  std::copy(state.boardCards, state.boardCards + board, last.board);
  return last.range;
}

double LimitHoldemAgent::equityAgainstRaiser(const State& state, uint8_t seat,
                                             const uint8_t* hole) const {
  const auto strength = [&](uint8_t a, uint8_t b) { return holdingStrength(state, a, b); };
  const std::vector<Holding>& range = priceRange(state);
  RangeEquity against(range, raiserRangeShare(game, &state, seat),
                      state.round == game->numRounds - 1);
  return against.equity(strength(hole[0], hole[1]), hole);
}

bool LimitHoldemAgent::actionProbabilities(const State& state, uint8_t seat,
                                           const uint8_t (*hands)[2], size_t count,
                                           double (*probabilities)[NUM_ABSTRACT_ACTIONS],
                                           double raiserShare) const {
  const int round = state.round;
  // Outside two or three active players the key could name a node built for
  // other cards or another player count; such a decision has no strategy.
  const int active = numActingPlayers(game, &state);
  const bool playersKnown = active == 2 || (active == 3 && game->numPlayers == 3);

  // What the session makes of each abstract action here.
  Action fold{a_fold, 0};
  const bool canFold = isValidAction(game, &state, 0, &fold) && state.spent[seat] < state.maxSpent;
  int32_t minRaise = 0;
  int32_t maxRaise = 0;
  const bool canRaise = raiseIsValid(game, &state, &minRaise, &maxRaise) != 0;

  // Hands of one bucket share a node: each bucket is looked up once, by its
  // key for the first and, on the flat store, from that record for the rest.
  std::vector<const CFRNode*> nodeOf(solver->holdemBuckets(), nullptr);
  std::vector<bool> looked(solver->holdemBuckets(), false);
  const InfoSetStore* store = solver->flatStore();
  const CFRNode* found = nullptr;
  bool covered = true;
  // A fold to a raise may become a call by the read of the raiser.
  const bool answerReadRaiser = raiserShare >= RaiseReads::WIDE && readsRaises() &&
                                game->numPlayers == 2 && canFold &&
                                raisedThisRound(state, uint8_t(1 - seat));
  const double readRaiserPrice = answerReadRaiser ? callDownPrice(game, &state, seat) : 0.0;
  // The chance of hands[k] against the raiser's range: the read share for
  // the large limit player, else (no-limit) the share the last raise reads
  // as; the two rules never meet in one game. The range's equities are made
  // at the first hand that needs them.
  std::unique_ptr<RangeEquity> against;
  const auto equityOf = [&](size_t k) {
    if (!against) {
      const double share = answerReadRaiser ? raiserShare : raiserRangeShare(game, &state, seat);
      against = std::make_unique<RangeEquity>(priceRange(state), share,
                                              round == game->numRounds - 1);
    }
    double hero;
    if (!against->strengthOf(hands[k], &hero))
      hero = holdingStrength(state, hands[k][0], hands[k][1]);
    return against->equity(hero, hands[k]);
  };

  uint8_t cards[MAX_HOLE_CARDS + MAX_BOARD_CARDS];
  const int board = sumBoardCards(game, round);
  for (int c = 0; c < board; ++c) cards[2 + c] = state.boardCards[c];
  for (size_t k = 0; k < count; ++k) {
    double* p = probabilities[k];
    const CFRNode* node = nullptr;
    if (playersKnown) {
      cards[0] = hands[k][0];
      cards[1] = hands[k][1];
      const int bucket = solver->holdemTableBucket(active, round, seat, cards);
      if (bucket >= 0 && bucket < solver->holdemBuckets()) {
        if (!looked[bucket]) {
          nodeOf[bucket] = store && found
                               ? store->inBucket(found, bucket)
                               : solver->lookupNode(solver->abstraction(&state, bucket));
          if (!found) found = nodeOf[bucket];
          looked[bucket] = true;
        }
        node = nodeOf[bucket];
      }
    }
    if (node) {
      node->getAverageStrategy(p);
      if (!canFold) {
        p[a_call] += p[a_fold];
        p[a_fold] = 0.0;
      }
      if (!canRaise) {
        p[a_call] += p[a_raise];
        p[a_raise] = 0.0;
      }
      if (answerReadRaiser && p[a_fold] > 0.0 && equityOf(k) >= readRaiserPrice) {
        p[a_call] += p[a_fold];
        p[a_fold] = 0.0;
      }
      continue;
    }
    covered = false;
    p[a_fold] = 0.0;
    p[a_call] = 1.0;
    p[a_raise] = 0.0;
    if (game->bettingType == limitBetting) continue;
    if (priceAnswer(game, &state, seat, equityOf(k)).type == a_fold) {
      p[a_fold] = 1.0;
      p[a_call] = 0.0;
    }
  }
  return covered;
}

bool LimitHoldemAgent::raisedThisRound(const State& state, uint8_t player) {
  const int round = state.round;
  for (int i = 0; i < state.numActions[round]; ++i)
    if (state.actingPlayer[round][i] == player && state.action[round][i].type == a_raise)
      return true;
  return false;
}

void LimitHoldemAgent::readShowdown(const State& state, uint8_t seat) {
  for (int p = 0; p < game->numPlayers; ++p)
    if (state.playerFolded[p]) return;
  const uint8_t opponent = 1 - seat;
  const uint8_t* hole = state.holeCards[opponent];
  State onRound = state;
  for (int round = 0; round <= state.round; ++round) {
    onRound.round = uint8_t(round);
    double rank = -1.0;
    for (int i = 0; i < state.numActions[round]; ++i) {
      if (state.actingPlayer[round][i] != opponent || state.action[round][i].type != a_raise)
        continue;
      if (rank < 0.0)
        rank = holdingRank(priceRange(onRound), holdingStrength(onRound, hole[0], hole[1]));
      reads.read(rank);
    }
  }
}

void LimitHoldemAgent::getAction(Action& action) {
  const uint8_t seat = matchState.viewingPlayer;
  const State* state = &matchState.state;

  // From the first decision on the solver keys by the bucket tables.
  solver->useCardAbstraction = true;
  solver->useHoldemTables = true;
  // The solver's bucket of the seat in this round, as its keys read it.
  const int round = state->round;
  uint8_t cards[MAX_HOLE_CARDS + MAX_BOARD_CARDS];
  int n = 0;
  for (int c = 0; c < game->numHoleCards; ++c) cards[n++] = state->holeCards[seat][c];
  for (int c = 0; c < sumBoardCards(game, round); ++c) cards[n++] = state->boardCards[c];
  solver->holdemBucket[round][2][seat] = solver->holdemTableBucket(2, round, seat, cards);
  if (game->numPlayers == 3)
    solver->holdemBucket[round][3][seat] = solver->holdemTableBucket(3, round, seat, cards);

  const uint8_t hand[1][2] = {{state->holeCards[seat][0], state->holeCards[seat][1]}};
  double p[1][NUM_ABSTRACT_ACTIONS];
  const double raiserShare =
      readsRaises() && reads.count() >= RaiseReads::MINIMUM ? reads.share() : 0.0;
  if (!actionProbabilities(*state, seat, hand, 1, p, raiserShare)) {
    // The session answers std::out_of_range with a call and a warning, which
    // is what the probabilities say in a limit game.
    if (game->bettingType == limitBetting) throw std::out_of_range("no information set for the state");
    if (!toldOfPriceAnswers)
      std::cout << "Warning: betting the strategy does not hold (first in hand " << state->handId
                << "); such states are answered by fold or call by price" << std::endl;
    toldOfPriceAnswers = true;
  }

  // The draw of CFRNode::getRandomActionIndex, over the repaired strategy.
  double cumulative = 0.0;
  const double r = pick_a_number(0.0, 1.0);
  int index = a_call;
  for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a) {
    cumulative += p[0][a];
    if (cumulative >= r && p[0][a] > 0.0) {
      index = a;
      break;
    }
  }
  solver->translate(index, state, &action);
}

void LimitHoldemAgent::holeCards(uint8_t*, uint8_t) {}
void LimitHoldemAgent::actionEvent(uint8_t, Action) {}
void LimitHoldemAgent::stageEvent(int) {}
void LimitHoldemAgent::showdownEvent(uint8_t, uint8_t*) {}
void LimitHoldemAgent::gameOverEvent(double) {
  if (readsRaises()) readShowdown(matchState.state, matchState.viewingPlayer);
}
void LimitHoldemAgent::winEvent(uint8_t, int) {}
