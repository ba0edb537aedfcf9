#include "solver/cfr.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "cards/combinator.h"
#include "solver/flat_cfr.h"
#include "solver/infoset_key.h"
#include "solver/strategy_check.h"
#include "solver/training_checkpoint.h"
#include "abstraction/EquityTables.h"
#include "common/util.h"

bool CFR::logProgress = false;

namespace {

// Small decks resolve every deal ahead and find it through a direct table
// indexed by the dealt cards read as digits, up to this many entries.
constexpr uint64_t MAX_DEAL_TABLE = uint64_t(1) << 22;

}  // namespace

CFR::CFR(const Game* game_) : nodeMaps(game_->numPlayers * game_->numRounds), game(game_) {}

CFR::~CFR() = default;

uint64_t CFR::cardBucket(const State* state, int seat, int round, int acting) const {
  if (!useCardAbstraction) {
    if (is52CardDeck()) throw std::logic_error("Falta fazer tabela de abstracao do indice do indexador");
    uint64_t bucket = rankOfCard(state->holeCards[seat][0]);
    // The dealer's small decks use the highest ranks (J to A are 9 to 12),
    // the training deck the lowest; both map to buckets 0 to 3.
    if (bucket >= 9 && bucket <= 12) bucket -= 9;
    return bucket;
  }
  if (useHoldemTables) return holdemBucket[round][acting][seat];
  return clusterBucket[round][seat];
}

std::string CFR::abstraction(const State* state) {
  const uint8_t seat = currentPlayer(game, state);
  return abstraction(state, cardBucket(state, seat, state->round, numActingPlayers(game, state)));
}

std::string CFR::abstraction(const State* state, uint64_t bucket) const {
  return infoSetKey(game, state, bucket);
}

void CFR::getAbstractedAction(int index, const State*, Action* action) {
  switch (index) {
    case 0: action->type = a_fold; break;
    case 1: action->type = a_call; break;
    case 2: action->type = a_raise; break;
    default: action->type = a_invalid; break;
  }
  action->size = 0;
}

void CFR::applyAbstractedAction(int index, const State* state, State* child) {
  Action action;
  getAbstractedAction(index, state, &action);
  *child = *state;
  doAction(game, &action, child);
}

void CFR::translate(int index, const State* state, Action* action) {
  getAbstractedAction(index, state, action);
}

double CFR::winProb(int bucket) {
  if (useCardAbstraction) {
    if (!useClusters) throw std::logic_error("Not working... only at 5am");
    return equityTables->clusterToEquity(static_cast<uint8_t>(bucket), game->numPlayers,
                                         clusterRound);
  }
  if (game->numRanks == 13 && game->numSuits == 4) throw std::logic_error("not implemented");
  if (game->numRounds == 1 && game->numBoardCards[0] == 0 && game->numHoleCards == 1)
    return bucket / (game->numRanks - 1.0);
  throw std::logic_error("not implemented");
}

CFRNode* CFR::findNode(const State* state) {
  if (store) return findNode(abstraction(state));
  return map(state->round, currentPlayer(game, state)).at(abstraction(state)).get();
}

CFRNode* CFR::findNode(const std::string& key) {
  if (const CFRNode* node = lookupNode(key)) return const_cast<CFRNode*>(node);
  throw std::out_of_range("no information set " + key);
}

const CFRNode* CFR::lookupNode(const std::string& key) const {
  if (store) return store->find(key);
  // "seat:round:..." names the map.
  const size_t first = key.find(':');
  const size_t second = first == std::string::npos ? first : key.find(':', first + 1);
  if (second == std::string::npos) return nullptr;
  const int seat = std::atoi(key.c_str());
  const int round = std::atoi(key.c_str() + first + 1);
  if (seat < 0 || seat >= game->numPlayers || round < 0 || round >= game->numRounds) return nullptr;
  const NodeMap& nodes = nodeMaps[round + seat * game->numRounds];
  const auto found = nodes.find(key);
  return found == nodes.end() ? nullptr : found->second.get();
}

void CFR::createAbstractedGameTree(const State* state) {
  if (state->finished) return;
  const uint8_t seat = currentPlayer(game, state);
  std::unique_ptr<CFRNode>& slot = map(state->round, seat)[abstraction(state)];
  if (!slot) slot = std::make_unique<CFRNode>();
  CFRNode* node = slot.get();

  bool valid[NUM_ABSTRACT_ACTIONS];
  for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a) {
    Action action;
    getAbstractedAction(a, state, &action);
    valid[a] = false;
    if (action.type == a_invalid) continue;
    // Never fold when checking is free.
    if (action.type == a_fold && state->spent[seat] == state->maxSpent) continue;
    State child = *state;
    if (!isValidAction(game, &child, 0, &action)) continue;
    doAction(game, &action, &child);
    createAbstractedGameTree(&child);
    valid[a] = true;
  }
  node->initialize(valid);
}

void CFR::calc(const State* state, const double* reach, uint8_t prevActor, double* utility) {
  (void)prevActor;  // kept for the call shape; regrets use counterfactual reach
  const int n = game->numPlayers;
  if (state->finished) {
    for (int p = 0; p < n; ++p) utility[p] = valueOfState(game, state, p);
    return;
  }
  const uint8_t seat = currentPlayer(game, state);
  CFRNode* node = findNode(state);
  double strategy[NUM_ABSTRACT_ACTIONS];
  node->getStrategy(reach[seat], strategy);
  for (int p = 0; p < n; ++p) utility[p] = 0.0;

  double actionUtility[NUM_ABSTRACT_ACTIONS];
  for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a) {
    if (!node->isActionValid(a)) continue;
    State child;
    applyAbstractedAction(a, state, &child);
    double childReach[MAX_PLAYERS];
    double childUtility[MAX_PLAYERS];
    for (int p = 0; p < n; ++p) childReach[p] = reach[p];
    childReach[seat] = strategy[a] * reach[seat];
    calc(&child, childReach, seat, childUtility);
    actionUtility[a] = childUtility[seat];
    for (int p = 0; p < n; ++p) utility[p] += childUtility[p] * strategy[a];
  }
  const double weight = counterfactualReach(reach, seat, n);
  for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a)
    if (node->isActionValid(a)) addRegret(node->regretSum[a], weight, actionUtility[a], utility[seat]);
}

std::vector<uint8_t> CFR::trainingDeck() const {
  std::vector<uint8_t> deck;
  for (int s = 0; s < game->numSuits; ++s)
    for (int k = 0; k < game->numRanks; ++k) deck.push_back(makeCard(k, s));
  return deck;
}

int CFR::cardsPerDeal() const {
  return sumBoardCards(game, game->numRounds - 1) + game->numHoleCards * game->numPlayers;
}

void CFR::forEachDeal(const std::function<void(const uint8_t*)>& visit) const {
  const std::vector<uint8_t> deck = trainingDeck();
  const int k = cardsPerDeal();
  combinator combinations(deck.data(), static_cast<int>(deck.size()), k);
  while (combinations.next()) {
    uint8_t* cards = combinations.getCurrent();
    std::sort(cards, cards + k);
    do {
      visit(cards);
    } while (std::next_permutation(cards, cards + k));
  }
}

void CFR::setDealtCards(const uint8_t* cards, State* state) const {
  int next = 0;
  for (int p = 0; p < game->numPlayers; ++p)
    for (int c = 0; c < game->numHoleCards; ++c) state->holeCards[p][c] = cards[next++];
  const int board = sumBoardCards(game, game->numRounds - 1);
  for (int c = 0; c < board; ++c) state->boardCards[c] = cards[next++];
}

size_t CFR::numInformationSets() const {
  if (store) return store->size();
  size_t count = 0;
  for (const NodeMap& m : nodeMaps) count += m.size();
  return count;
}

void CFR::buildTree() {
  State state;
  initState(game, 0, &state);
  uint64_t deals = 0;
  const bool flat = flatStoreSupported();
  forEachDeal([&](const uint8_t* cards) {
    if (!flat) {
      setDealtCards(cards, &state);
      createAbstractedGameTree(&state);
    }
    ++deals;
  });
  std::cout << "Number of starting nodes: " << deals << std::endl;
  // The betting does not depend on the cards: one tree serves every deal.
  if (flat) buildStore(rankBuckets());
  eliminateActions();
  treeBuilt = true;
}

bool CFR::flatStoreSupported() const {
  return useFlatStore && game->numPlayers <= BettingTree::MAX_SEATS;
}

void CFR::forgetInformationSets() {
  flat.reset();
  store.reset();
  for (NodeMap& m : nodeMaps) m.clear();
  treeBuilt = false;
}

void CFR::buildStore(const std::vector<int>& buckets) {
  flat.reset();
  store.reset();
  auto tree = std::make_unique<BettingTree>(
      game, [this](int index, const State* state, Action* action) { getAbstractedAction(index, state, action); });
  store = std::make_unique<InfoSetStore>(std::move(tree), buckets);
}

std::vector<int> CFR::rankBuckets() const {
  std::vector<int> buckets;
  State state;
  initState(game, 0, &state);
  for (int k = 0; k < game->numRanks; ++k) {
    state.holeCards[0][0] = makeCard(k, 0);
    buckets.push_back(static_cast<int>(cardBucket(&state, 0, 0, game->numPlayers)));
  }
  return buckets;
}

std::vector<int> CFR::defaultBuckets() const {
  if (!is52CardDeck()) return rankBuckets();
  std::vector<int> buckets;
  for (int b = 0; b < holdemBuckets_; ++b) buckets.push_back(b);
  return buckets;
}

FlatCFR& CFR::flatPass() {
  if (!flat) {
    flat = std::make_unique<FlatCFR>(*store);
    flat->setThreads(threads, minParallelDecisions, taskDecisions);
  }
  return *flat;
}

void CFR::setThreads(unsigned n, size_t minDecisions, uint32_t maxTaskDecisions) {
  threads = n;
  minParallelDecisions = minDecisions;
  taskDecisions = maxTaskDecisions;
  if (flat) flat->setThreads(threads, minParallelDecisions, taskDecisions);
}

void CFR::printProgress(uint64_t i, uint64_t iterations, long& last, double& elapsed,
                        uint64_t parts) {
  const uint64_t step = iterations >= parts ? iterations / parts : 1;
  if (i % step != 0) return;
  const uint64_t done = iterations >= parts ? i / step : i * parts / iterations;
  const uint64_t stepsLeft = iterations >= parts ? parts - i / step : iterations - i;
  const long now = static_cast<long>(std::time(nullptr));
  elapsed += now - last;
  std::cout << "CFR progress: " << done << "% (elapsed time: " << elapsed / 60.0
            << " mins, expected time left: " << (now - last) * static_cast<double>(stepsLeft) / 60.0
            << " mins)" << std::endl;
  last = now;
}

void CFR::train(uint64_t iterations) {
  if (is52CardDeck()) {
    if (!equityTables) throw std::logic_error("Deve carregar equity tables para correr cfr no hold'em poker");
    // Hold'em trees are built and trained by the bucket training, which
    // loads its tables itself; this small-deck loop cannot deal them.
    throw std::logic_error("not implemented");
  }
  std::vector<uint8_t> deck = trainingDeck();
  const int deckSize = static_cast<int>(deck.size());
  const int k = cardsPerDeal();
  const int n = game->numPlayers;

  long last = static_cast<long>(std::time(nullptr));
  double elapsed = 0.0;
  double reach[MAX_PLAYERS];
  double utility[MAX_PLAYERS];
  double total[MAX_PLAYERS];
  for (int p = 0; p < n; ++p) {
    reach[p] = 1.0;
    total[p] = 0.0;
  }

  if (!treeBuilt) buildTree();
  std::cout << "Number of information sets: " << numInformationSets() << std::endl;

  State state;
  initState(game, 0, &state);
  FlatCFR* pass = store ? &flatPass() : nullptr;
  const FlatCFR::BucketOf bucketOf = [&](int round, int acting, int seat) {
    return cardBucket(&state, seat, round, acting);
  };
  // A small deck has few deals: each is resolved once, found by its cards.
  std::vector<FlatCFR::Deal> resolved;
  std::vector<int32_t> dealTable;
  const uint32_t cardBase = static_cast<uint32_t>(MAX_SUITS * game->numRanks);
  const auto dealCode = [&](const uint8_t* cards) {
    uint64_t code = 0;
    for (int c = k - 1; c >= 0; --c) code = code * cardBase + cards[c];
    return code;
  };
  if (pass) {
    uint64_t tableSize = 1;
    for (int c = 0; c < k && tableSize <= MAX_DEAL_TABLE; ++c) tableSize *= cardBase;
    if (tableSize <= MAX_DEAL_TABLE) {
      dealTable.assign(tableSize, -1);
      forEachDeal([&](const uint8_t* cards) {
        setDealtCards(cards, &state);
        resolved.emplace_back();
        pass->resolve(&state, bucketOf, &resolved.back(), true);
        dealTable[dealCode(cards)] = static_cast<int32_t>(resolved.size() - 1);
      });
    }
  }
  for (uint64_t i = 0; i < iterations; ++i) {
    if (logProgress) printProgress(i, iterations, last, elapsed);
    // The deck is not reset: each iteration reshuffles the previous order.
    for (int j = 0; j < k; ++j) {
      const int other = pick_a_number(0, deckSize - 1);
      std::swap(deck[j], deck[other]);
    }
    if (pass) {
      if (!dealTable.empty()) {
        const int32_t d = dealTable[dealCode(deck.data())];
        assert(d >= 0);  // every deal of the training deck was resolved
        pass->use(resolved[d]);
      } else {
        setDealtCards(deck.data(), &state);
        pass->deal(&state, bucketOf);
      }
      pass->calc(reach, utility);
    } else {
      initState(game, 0, &state);
      setDealtCards(deck.data(), &state);
      calc(&state, reach, 0, utility);
    }
    for (int p = 0; p < n; ++p) total[p] += utility[p];
  }

  if (!gameUtility) {
    gameUtility = std::make_unique<double[]>(n);
    for (int p = 0; p < n; ++p) gameUtility[p] = 0.0;
  }
  // No iterations, no average to add.
  if (iterations > 0)
    for (int p = 0; p < n; ++p) gameUtility[p] += total[p] / iterations;
}

void CFR::calcUtil(const State* state, double* utility) {
  const int n = game->numPlayers;
  if (state->finished) {
    for (int p = 0; p < n; ++p) utility[p] = valueOfState(game, state, p);
    return;
  }
  const CFRNode* node = findNode(state);
  double strategy[NUM_ABSTRACT_ACTIONS];
  node->getAverageStrategy(strategy);
  for (int p = 0; p < n; ++p) utility[p] = 0.0;
  for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a) {
    if (!node->isActionValid(a)) continue;
    State child;
    applyAbstractedAction(a, state, &child);
    double childUtility[MAX_PLAYERS];
    calcUtil(&child, childUtility);
    for (int p = 0; p < n; ++p) utility[p] += childUtility[p] * strategy[a];
  }
}

void CFR::calcUtility(double* utility) {
  const int n = game->numPlayers;
  for (int p = 0; p < n; ++p) utility[p] = 0.0;
  State state;
  initState(game, 0, &state);
  uint64_t deals = 0;
  forEachDeal([&](const uint8_t* cards) {
    setDealtCards(cards, &state);
    double perDeal[MAX_PLAYERS];
    for (int p = 0; p < n; ++p) perDeal[p] = 0.0;
    calcUtil(&state, perDeal);
    for (int p = 0; p < n; ++p) utility[p] += perDeal[p];
    ++deals;
  });
  for (int p = 0; p < n; ++p) utility[p] /= static_cast<double>(deals);
}

namespace {

// The numbers of a key the solver holds; its keys are always well formed.
InfoSetKeyFields keyFields(const std::string& key) {
  InfoSetKeyFields fields;
  if (!parseInfoSetKey(key, &fields)) throw std::invalid_argument("malformed information-set key");
  return fields;
}

}  // namespace

void CFR::eliminateActions() {
  std::cout << "Eliminating useless actions..." << std::endl;
  int eliminated = 0;
  forEachInformationSet([&](const std::string& key, CFRNode& node) {
    if (winProb(static_cast<int>(keyFields(key).bucket)) >= 0.95) {
      node.setActionInvalid(0);
      ++eliminated;
    }
  });
  forEachInformationSet([&](const std::string& key, CFRNode& node) {
    const InfoSetKeyFields fields = keyFields(key);
    if (fields.round == game->numRounds - 1u && !node.isActionValid(2) &&
        winProb(static_cast<int>(fields.bucket)) <= 0.05) {
      node.setActionInvalid(1);
      ++eliminated;
    }
  });
  std::cout << eliminated << " actions were eliminated!" << std::endl;
}
