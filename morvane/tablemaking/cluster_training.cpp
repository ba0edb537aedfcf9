// Training and measuring the one-street cluster games that the utility
// tables come from: every seat's cards are reduced to the equity cluster
// (0 .. 100) of its hand in the street, CFR finds an equilibrium of the
// abstract game (trainIS), and the utility of every hand class of the street
// is then estimated under the average strategies (fillUtility).
//
// The plain loops below run the reference recursions calc and calcUtil on
// engine states. Two-player games take the same loops over ClusterTrees
// (cluster_trees.h): trainIS with the same deals and bit-identical sums, the
// utility fill threaded.
#include <cassert>
#include <ctime>
#include <thread>
#include <vector>
#include <iostream>

#include "abstraction/EquityTables.h"
#include "solver/cfr.h"
#include "tablemaking/cluster_trees.h"
#include "abstraction/equity_generator.h"
#include "common/check.h"
#include "common/parallel.h"
#include "common/util.h"

namespace {

// The cards 0 .. 51 that are not in used[0 .. count-1], ascending.
int remainingCards(const uint8_t* used, int count, uint8_t* rest) {
  bool taken[52] = {};
  for (int c = 0; c < count; ++c) taken[used[c]] = true;
  int size = 0;
  for (int c = 0; c < 52; ++c)
    if (!taken[c]) rest[size++] = static_cast<uint8_t>(c);
  return size;
}

}  // namespace

void CFR::trainIS(uint64_t iterations, const hand_indexer_s* indexer, int indexerRound,
                  int round) {
  assert(equityTables);
  // Clusters mode while training; afterwards rank mode with the hold'em
  // switch as it was.
  BucketMode mode(*this, {true, false, true}, {false, useHoldemTables, false});
  clusterRound = round;
  const uint64_t size = hand_indexer_size(indexer, indexerRound);
  const int n = game->numPlayers;
  const int board = sumBoardCards(game, game->numRounds - 1);

  long last = static_cast<long>(std::time(nullptr));
  double elapsed = 0.0;
  double reach[MAX_PLAYERS];
  double utility[MAX_PLAYERS];
  for (int p = 0; p < n; ++p) reach[p] = 1.0;

  State state;
  initState(game, 0, &state);
  if (!treeBuilt) {
    for (int c = 0; c < NUM_CLUSTERS; ++c) {
      if (c % 100000 == 0)
        std::cout << "Estou aqui: " << (1.0 + c) / size * 100.0 << "%" << std::endl;
      for (int p = 0; p < n; ++p) clusterBucket[0][p] = c;
      createAbstractedGameTree(&state);
    }
    eliminateActions();
    treeBuilt = true;
  }
  std::cout << "Number of information sets: " << numInformationSets() << std::endl;

  // The representative hand of every starting-hand class.
  const hand_indexer_s* preflop = equityTables->getIndexer(0);
  uint8_t classHands[169][2];
  for (int h = 0; h < 169; ++h)
    MORVANE_CHECK_AS(hand_unindex(preflop, 0, h, classHands[h]), "hand_unindex(preflop, 0, h, hand)");

  // Pass (p, h): seat p holds class h's hand; the other seats' cards and the
  // board come from the front of the other 50 cards, shuffled.
  uint8_t rest[52];
  auto deal = [&](int p, int h) {
    state.holeCards[p][0] = classHands[h][0];
    state.holeCards[p][1] = classHands[h][1];
    const int restSize = remainingCards(classHands[h], 2, rest);
    shuffle(rest, 2 * (n - 1) + board, restSize);
    int next = 0;
    for (int q = 0; q < n; ++q) {
      if (q == p) continue;
      state.holeCards[q][0] = rest[next++];
      state.holeCards[q][1] = rest[next++];
    }
    for (int c = 0; c < board; ++c) state.boardCards[c] = rest[next++];
  };

  if (useClusterTrees && ClusterTrees::supports(game)) {
    trainClusterTrees(iterations, round, deal, state);
  } else {
    uint8_t cards[7];
    for (uint64_t i = 0; i < iterations; ++i) {
      if (logProgress) printProgress(i, iterations, last, elapsed, 10);
      initState(game, 0, &state);
      for (int p = 0; p < n; ++p) {
        for (int h = 0; h < 169; ++h) {
          deal(p, h);
          for (int q = 0; q < n; ++q) {
            cards[0] = state.holeCards[q][0];
            cards[1] = state.holeCards[q][1];
            for (int c = 0; c < board; ++c) cards[2 + c] = state.boardCards[c];
            clusterBucket[0][q] = equityTables->getCluster(cards, n, clusterRound) & 0xff;
          }
          calc(&state, reach, 0, utility);
        }
      }
    }
  }
}

// The loop of trainIS over resolved trees. The deals are drawn in the same
// order as in the plain loop, a batch of iterations at a time; the clusters
// and showdown outcomes of a batch, which take most of the time, are worked
// out on several threads; then the batch's passes run in order. So the sums
// are exactly those of the plain loop.
void CFR::trainClusterTrees(uint64_t iterations, int round,
                            const std::function<void(int, int)>& deal, State& state) {
  const ClusterTrees trees(*this);
  const int board = game->numBoardCards[0];
  const EquityTables& tables = *equityTables;
  struct Pass {
    uint8_t cards[2][7];  // each seat's hole cards, then the board
    uint8_t cluster[2];
    ShowdownOutcome outcome;
  };
  constexpr uint64_t kBatch = 256;
  const size_t perIteration = 2 * 169;
  std::vector<Pass> passes(kBatch * perIteration);
  const unsigned threads = equityThreads(fillThreads);

  long last = static_cast<long>(std::time(nullptr));
  double elapsed = 0.0;
  const double reach[2] = {1.0, 1.0};
  double utility[2];
  for (uint64_t i0 = 0; i0 < iterations; i0 += kBatch) {
    const uint64_t i1 = std::min(iterations, i0 + kBatch);
    const size_t count = (i1 - i0) * perIteration;
    size_t k = 0;
    for (uint64_t i = i0; i < i1; ++i)
      for (int p = 0; p < 2; ++p)
        for (int h = 0; h < 169; ++h, ++k) {
          deal(p, h);
          for (int q = 0; q < 2; ++q) {
            passes[k].cards[q][0] = state.holeCards[q][0];
            passes[k].cards[q][1] = state.holeCards[q][1];
            for (int c = 0; c < board; ++c) passes[k].cards[q][2 + c] = state.boardCards[c];
          }
        }

    auto work = [&](size_t from, size_t to) {
      for (size_t j = from; j < to; ++j) {
        Pass& pass = passes[j];
        for (int q = 0; q < 2; ++q)
          pass.cluster[q] = static_cast<uint8_t>(tables.getCluster(pass.cards[q], 2, round));
        pass.outcome = showdownOutcome(showdownValue(pass.cards[0], pass.cards[0] + 2, board),
                                       showdownValue(pass.cards[1], pass.cards[1] + 2, board));
      }
    };
    // Equal shares in order: thread t works out passes t * share onwards.
    const size_t share = (count + threads - 1) / threads;
    const unsigned used = share ? static_cast<unsigned>((count + share - 1) / share) : 1;
    runOnThreads(used, [&](unsigned t) { work(t * share, std::min(count, (t + 1) * share)); });

    k = 0;
    for (uint64_t i = i0; i < i1; ++i) {
      if (logProgress) printProgress(i, iterations, last, elapsed, 10);
      for (size_t j = 0; j < perIteration; ++j, ++k) {
        const Pass& pass = passes[k];
        trees.calc(pass.cluster[0], pass.cluster[1], pass.outcome, reach, utility);
      }
    }
  }
}

void CFR::fillUtility(double** tables, uint64_t size, int round) {
  if (!useClusterTrees || !ClusterTrees::supports(game)) {
    fillUtilityReference(tables, 0, size, round);
    return;
  }
  BucketMode mode(*this, {true, false, true});
  const UtilityFill fill(*this, round);
  const uint64_t seed = (static_cast<uint64_t>(global_urng()()) << 31) ^ global_urng()();
  fill.fillThreaded(tables, 0, size, fillThreads, seed, [&](uint64_t i) {
    std::cout << static_cast<double>(i) / size * 100.0 << "% done" << std::endl;
  });
}

void CFR::fillUtilityReference(double** tables, uint64_t begin, uint64_t end, int round) {
  assert(equityTables);
  const int n = game->numPlayers;
  for (int p = 0; p < n; ++p)
    for (uint64_t i = begin; i < end; ++i) tables[p][i - begin] = 0.0;
  const int board = sumBoardCards(game, game->numRounds - 1);
  State state;
  initState(game, 0, &state);
  const hand_indexer_s* indexer = equityTables->getIndexer(round);
  const uint64_t size = equityTables->getRoundSize(round);
  const int samples = round < 3 ? 10 : 2;
  const uint8_t* heroClusters = equityTables->getClusterTable(n, round);
  assert(heroClusters);
  BucketMode mode(*this, {true, false, true});

  uint8_t hand[7];
  uint8_t rest[52];
  uint8_t cards[7];
  double u[MAX_PLAYERS];
  for (uint64_t i = begin; i < end; ++i) {
    if (i % 1000 == 0)
      std::cout << static_cast<double>(i) / size * 100.0 << "% done" << std::endl;
    MORVANE_CHECK_AS(hand_unindex(indexer, EquityTables::indexRound(round), i, hand),
                     "hand_unindex(indexer, indexRound, i, hand)");
    for (int s = 0; s < samples; ++s) {
      for (int p = 0; p < n; ++p) {
        state.holeCards[p][0] = hand[0];
        state.holeCards[p][1] = hand[1];
        for (int c = 0; c < board; ++c) state.boardCards[c] = hand[2 + c];
        // Every card left is a candidate for the opponents: the draw range
        // is the whole list, 52 - board - 2 cards, for any player count.
        const int restSize = remainingCards(hand, 2 + board, rest);
        shuffle(rest, 2 * n, restSize);
        int next = 0;
        for (int q = 0; q < n; ++q) {
          if (q == p) continue;
          cards[0] = state.holeCards[q][0] = rest[next++];
          cards[1] = state.holeCards[q][1] = rest[next++];
          for (int c = 0; c < board; ++c) cards[2 + c] = hand[2 + c];
          clusterBucket[0][q] = equityTables->getCluster(cards, n, round) & 0xff;
        }
        clusterBucket[0][p] = heroClusters[i];
        calcUtil(&state, u);
        tables[p][i - begin] += u[p];
      }
    }
  }
  for (int p = 0; p < n; ++p)
    for (uint64_t i = begin; i < end; ++i) tables[p][i - begin] /= samples;
}
