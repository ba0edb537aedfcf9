#include "tablemaking/cluster_trees.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstring>
#include <mutex>
#include <thread>

#include "abstraction/EquityTables.h"
#include "solver/cfr.h"
#include "abstraction/equity_generator.h"
#include "showdown.h"
#include "common/check.h"
#include "common/parallel.h"
#include "common/util.h"

int showdownValue(const uint8_t* hole, const uint8_t* board, int boardCards) {
  uint64_t cards = gamecore::cardBit(hole[0]) | gamecore::cardBit(hole[1]);
  for (int c = 0; c < boardCards; ++c) cards |= gamecore::cardBit(board[c]);
  return gamecore::rankShowdownHand(cards);
}

bool ClusterTrees::supports(const Game* game) {
  return game->numPlayers == 2 && game->numRounds == 1 && game->numHoleCards == 2 &&
         game->numSuits * game->numRanks == 52 && game->numBoardCards[0] <= 5;
}

namespace {

// Fixed hands of each outcome for any board of up to five cards: aces
// against a deuce and a trey, and king-queen against king-queen, on a board
// that makes neither a straight nor a flush.
const uint8_t kBoard[5] = {makeCard(2, 3), makeCard(3, 2), makeCard(5, 0), makeCard(7, 1),
                           makeCard(9, 2)};  // 4s 5h 7c 9d Jh
const uint8_t kAces[2] = {makeCard(12, 3), makeCard(12, 2)};
const uint8_t kLow[2] = {makeCard(0, 0), makeCard(1, 1)};
const uint8_t kKingQueenA[2] = {makeCard(11, 0), makeCard(10, 1)};
const uint8_t kKingQueenB[2] = {makeCard(11, 3), makeCard(10, 2)};

}  // namespace

ClusterTrees::ClusterTrees(CFR& cfr) : game(cfr.game) {
  assert(supports(game));
  const int board = game->numBoardCards[0];
  const uint8_t* holes[3][2] = {
      {kAces, kLow}, {kKingQueenA, kKingQueenB}, {kLow, kAces}};
  for (int o = 0; o < 3; ++o) {
    initState(game, 0, &deals[o]);
    for (int p = 0; p < 2; ++p)
      for (int c = 0; c < 2; ++c) deals[o].holeCards[p][c] = holes[o][p][c];
    for (int c = 0; c < board; ++c) deals[o].boardCards[c] = kBoard[c];
    assert(showdownOutcome(showdownValue(holes[o][0], kBoard, board),
                           showdownValue(holes[o][1], kBoard, board)) == o);
  }

  const uint64_t saved0 = cfr.clusterBucket[0][0], saved1 = cfr.clusterBucket[0][1];
  const BucketMode mode(cfr, {true, false, true});
  roots.resize(NUM_CLUSTERS * NUM_CLUSTERS);
  State state;
  initState(game, 0, &state);
  for (int c0 = 0; c0 < NUM_CLUSTERS; ++c0)
    for (int c1 = 0; c1 < NUM_CLUSTERS; ++c1) {
      cfr.clusterBucket[0][0] = c0;
      cfr.clusterBucket[0][1] = c1;
      roots[c0 * NUM_CLUSTERS + c1] = resolve(cfr, &state);
    }
  cfr.clusterBucket[0][0] = saved0;
  cfr.clusterBucket[0][1] = saved1;
}

uint32_t ClusterTrees::resolve(CFR& cfr, const State* state) {
  const uint32_t index = static_cast<uint32_t>(nodes.size());
  nodes.push_back(Node{});
  Node n{};
  for (uint32_t& c : n.child) c = NONE;
  if (state->finished) {
    // The betting is that of `state`; only the cards differ.
    Payoff payoff;
    for (int o = 0; o < 3; ++o) {
      State dealt = *state;
      std::memcpy(dealt.holeCards, deals[o].holeCards, sizeof dealt.holeCards);
      std::memcpy(dealt.boardCards, deals[o].boardCards, sizeof dealt.boardCards);
      for (int p = 0; p < 2; ++p) payoff.value[o][p] = valueOfState(game, &dealt, p);
    }
    size_t k = 0;
    while (k < payoffs.size() && std::memcmp(&payoffs[k], &payoff, sizeof payoff) != 0) ++k;
    if (k == payoffs.size()) payoffs.push_back(payoff);
    assert(k <= UINT16_MAX);
    n.payoff = static_cast<uint16_t>(k);
    nodes[index] = n;
    return index;
  }
  n.seat = currentPlayer(game, state);
  n.info = cfr.findNode(state);
  for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a) {
    if (!n.info->isActionValid(a)) continue;
    State child;
    cfr.applyAbstractedAction(a, state, &child);
    n.valid[n.numValid++] = static_cast<uint8_t>(a);
    n.child[a] = resolve(cfr, &child);
  }
  nodes[index] = n;
  return index;
}

void ClusterTrees::calcAt(uint32_t index, ShowdownOutcome outcome, const double* reach,
                          double* utility) const {
  const Node& n = nodes[index];
  if (!n.info) {
    utility[0] = payoffs[n.payoff].value[outcome][0];
    utility[1] = payoffs[n.payoff].value[outcome][1];
    return;
  }
  const int seat = n.seat;
  double strategy[NUM_ABSTRACT_ACTIONS];
  n.info->getStrategy(reach[seat], strategy);
  utility[0] = utility[1] = 0.0;
  double actionUtility[NUM_ABSTRACT_ACTIONS];
  for (int v = 0; v < n.numValid; ++v) {
    const int a = n.valid[v];
    double childReach[2] = {reach[0], reach[1]};
    childReach[seat] = strategy[a] * reach[seat];
    double childUtility[2];
    calcAt(n.child[a], outcome, childReach, childUtility);
    actionUtility[a] = childUtility[seat];
    utility[0] += childUtility[0] * strategy[a];
    utility[1] += childUtility[1] * strategy[a];
  }
  const double weight = counterfactualReach(reach, seat, 2);
  for (int v = 0; v < n.numValid; ++v) {
    const int a = n.valid[v];
    addRegret(n.info->regretSum[a], weight, actionUtility[a], utility[seat]);
  }
}

void ClusterTrees::utilAt(uint32_t index, ShowdownOutcome outcome, double* utility) const {
  const Node& n = nodes[index];
  if (!n.info) {
    utility[0] = payoffs[n.payoff].value[outcome][0];
    utility[1] = payoffs[n.payoff].value[outcome][1];
    return;
  }
  double strategy[NUM_ABSTRACT_ACTIONS];
  n.info->getAverageStrategy(strategy);
  utility[0] = utility[1] = 0.0;
  for (int v = 0; v < n.numValid; ++v) {
    const int a = n.valid[v];
    double childUtility[2];
    utilAt(n.child[a], outcome, childUtility);
    utility[0] += childUtility[0] * strategy[a];
    utility[1] += childUtility[1] * strategy[a];
  }
}

// ---------------------------------------------------------------------------

UtilityFill::UtilityFill(CFR& cfr, int round)
    : tables_(*cfr.getEquityTables()), round_(round), board_(cfr.game->numBoardCards[0]),
      samples_(round < 3 ? 10 : 2), heroClusters_(tables_.getClusterTable(2, round)),
      utility_(NUM_CLUSTERS * NUM_CLUSTERS * 3 * 2) {
  assert(heroClusters_);
  assert(board_ == static_cast<int>(sumBoardCards(cfr.game, 0)));
  const ClusterTrees trees(cfr);
  for (int c0 = 0; c0 < NUM_CLUSTERS; ++c0)
    for (int c1 = 0; c1 < NUM_CLUSTERS; ++c1)
      for (int o = 0; o < 3; ++o)
        trees.calcUtil(c0, c1, static_cast<ShowdownOutcome>(o),
                       &utility_[((c0 * NUM_CLUSTERS + c1) * 3 + o) * 2]);
}

template <typename Deal>
void UtilityFill::fillClasses(double** tables, uint64_t begin, uint64_t from, uint64_t to,
                              Deal& deal, int shuffleCount) const {
  const hand_indexer_s* indexer = tables_.getIndexer(round_);
  const uint64_t indexRound = EquityTables::indexRound(round_);
  uint8_t hand[7];
  uint8_t base[52];
  uint8_t rest[52];
  uint8_t opponent[7];
  for (uint64_t i = from; i < to; ++i) {
    MORVANE_CHECK(hand_unindex(indexer, indexRound, i, hand));
    const uint8_t* board = hand + 2;
    bool used[52] = {};
    for (int c = 0; c < 2 + board_; ++c) used[hand[c]] = true;
    int restSize = 0;
    for (int c = 0; c < 52; ++c)
      if (!used[c]) base[restSize++] = static_cast<uint8_t>(c);
    const int hero = showdownValue(hand, board, board_);
    const int heroCluster = heroClusters_[i];
    std::copy(board, board + board_, opponent + 2);

    double sum[2] = {0.0, 0.0};
    for (int s = 0; s < samples_; ++s)
      for (int p = 0; p < 2; ++p) {
        std::copy(base, base + restSize, rest);
        deal(rest, shuffleCount, restSize);
        opponent[0] = rest[0];
        opponent[1] = rest[1];
        const int other = tables_.getCluster(opponent, 2, round_) & 0xff;
        const int value = showdownValue(opponent, board, board_);
        const int c0 = p == 0 ? heroCluster : other;
        const int c1 = p == 0 ? other : heroCluster;
        const ShowdownOutcome o =
            p == 0 ? showdownOutcome(hero, value) : showdownOutcome(value, hero);
        sum[p] += utility_[((c0 * NUM_CLUSTERS + c1) * 3 + o) * 2 + p];
      }
    for (int p = 0; p < 2; ++p) tables[p][i - begin] = sum[p] / samples_;
  }
}

void UtilityFill::fillWithEngine(double** tables, uint64_t begin, uint64_t end) const {
  EngineShuffle deal;
  // The reference shuffles 2 x numPlayers positions.
  fillClasses(tables, begin, begin, end, deal, 4);
}

void UtilityFill::fillThreaded(double** tables, uint64_t begin, uint64_t end, unsigned threads,
                               uint64_t seed,
                               const std::function<void(uint64_t)>& progress) const {
  if (end <= begin) return;
  // Chunks are aligned to multiples of CHUNK so that progress falls on them.
  const uint64_t firstChunk = begin / CHUNK;
  const uint64_t chunks = (end - 1) / CHUNK - firstChunk + 1;
  ChunkQueue queue(chunks);
  if (begin % CHUNK == 0) progress(begin);

  auto worker = [&](unsigned) {
    for (uint64_t k; queue.take(k);) {
      const uint64_t chunk = firstChunk + k;
      SampleRng rng(seed ^ (chunk * 0xd1342543de82ef95ULL));
      UniformDeal deal{rng};
      const uint64_t from = std::max(begin, chunk * CHUNK);
      const uint64_t to = std::min(end, (chunk + 1) * CHUNK);
      // Only the opponent's two cards are needed.
      fillClasses(tables, begin, from, to, deal, 2);
      queue.finish(k, [&](uint64_t done) {
        const uint64_t at = (firstChunk + done) * CHUNK;
        if (done < chunks && at < end) progress(at);
      });
    }
  };
  runOnThreads(static_cast<unsigned>(std::min<uint64_t>(equityThreads(threads), chunks)), worker);
}
