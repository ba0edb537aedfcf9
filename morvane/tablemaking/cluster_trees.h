// Fast passes over the two-player one-street cluster games.
//
// In a cluster game (one betting round, 52 cards, two hole cards per seat)
// an information set depends only on the acting seat's cluster and the
// betting, and a terminal's payoff only on the betting and on which seat
// holds the better hand. So the betting tree of every pair of clusters
// (c0, c1), 101 x 101 of them, is resolved once to node pointers and child
// indices, with each showdown's payoffs stored for the three outcomes (seat 0
// wins, tie, seat 1 wins). A CFR pass is then a walk over a handful of flat
// nodes instead of engine states, key strings and map searches, and the
// utility of the average strategies is one table read per sample.
//
// Both walks run the same operations in the same order as CFR::calc and
// CFR::calcUtil on an engine state with those clusters and cards, so their
// results are bit for bit those of the reference recursion; tests pin this.
//
// UtilityFill is the fast form of CFR::fillUtility. Dealing goes through a
// policy: with the process engine's partial shuffle it reproduces the
// reference loop exactly; the threaded fill splits the classes into chunks of
// 1,000 consecutive classes, each dealt from its own generator seeded from one
// seed and the chunk number, so the tables do not depend on the thread count.
#ifndef MORVANE_CLUSTER_TREES_H
#define MORVANE_CLUSTER_TREES_H

#include <cstdint>
#include <functional>
#include <vector>

#include "solver/CFRNode.h"
#include "game.h"

class CFR;
class EquityTables;

constexpr int NUM_CLUSTERS = 101;  // clusters 0 .. 100

// Showdown outcome of a two-player deal, seen from seat 0.
enum ShowdownOutcome : uint8_t { SEAT0_WINS = 0, SPLIT_POT = 1, SEAT1_WINS = 2 };

// Outcome of two showdown values (higher is better).
inline ShowdownOutcome showdownOutcome(int value0, int value1) {
  return value0 > value1 ? SEAT0_WINS : value0 == value1 ? SPLIT_POT : SEAT1_WINS;
}

// Showdown value of two hole cards and `board` board cards, as the payoffs
// rank them.
int showdownValue(const uint8_t* hole, const uint8_t* board, int boardCards);

class ClusterTrees {
 public:
  // True for the games these trees serve: two players, one round, 52 cards,
  // two hole cards each.
  static bool supports(const Game* game);

  // Resolves the tree of every cluster pair against the solver's node maps,
  // which must hold the cluster tree (trainIS builds it); a missing key
  // raises std::out_of_range. The solver's bucket mode is left as found.
  explicit ClusterTrees(CFR& cfr);

  // One CFR pass with seat 0 in cluster c0 and seat 1 in c1: CFR::calc.
  void calc(int c0, int c1, ShowdownOutcome outcome, const double* reach,
            double* utility) const {
    calcAt(roots[c0 * NUM_CLUSTERS + c1], outcome, reach, utility);
  }
  // Expected utility of the average strategies: CFR::calcUtil.
  void calcUtil(int c0, int c1, ShowdownOutcome outcome, double* utility) const {
    utilAt(roots[c0 * NUM_CLUSTERS + c1], outcome, utility);
  }

 private:
  static constexpr uint32_t NONE = UINT32_MAX;
  // 32 bytes, so that the trees of all pairs stay small in the cache.
  struct Node {
    CFRNode* info;  // null at a terminal
    uint32_t child[NUM_ABSTRACT_ACTIONS];
    uint16_t payoff;  // terminal: its entry of `payoffs`
    uint8_t seat;
    uint8_t numValid;
    uint8_t valid[NUM_ABSTRACT_ACTIONS];
  };
  // A terminal's payoffs [outcome][seat]; the same few betting sequences end
  // every pair's tree, so each distinct set is stored once.
  struct Payoff {
    double value[3][2];
  };

  uint32_t resolve(CFR& cfr, const State* state);
  void calcAt(uint32_t index, ShowdownOutcome outcome, const double* reach,
              double* utility) const;
  void utilAt(uint32_t index, ShowdownOutcome outcome, double* utility) const;

  const Game* game;
  std::vector<Node> nodes;
  std::vector<Payoff> payoffs;
  std::vector<uint32_t> roots;  // by c0 * NUM_CLUSTERS + c1
  State deals[3];               // hands with each outcome, for the payoffs
};

// The fast fill of the utility tables of one street from a solver trained
// by trainIS on that street's cluster game.
class UtilityFill {
 public:
  // Reads the solver's average strategies once; the solver, its tables and
  // `round` must stay as they are while filling.
  UtilityFill(CFR& cfr, int round);

  // tables[p][i - begin] for classes begin .. end-1, dealt with the process
  // engine exactly as CFR::fillUtilityReference deals them: the same tables.
  void fillWithEngine(double** tables, uint64_t begin, uint64_t end) const;

  // The same estimate on `threads` threads (0: one per core), each chunk of
  // classes dealt uniformly from its own generator. progress(i) is called
  // for every class i that is a multiple of 1,000, in increasing order, once
  // every class before it is done; calls are serialised.
  void fillThreaded(double** tables, uint64_t begin, uint64_t end, unsigned threads,
                    uint64_t seed, const std::function<void(uint64_t)>& progress) const;

  static constexpr uint64_t CHUNK = 1000;

 private:
  template <typename Deal>
  void fillClasses(double** tables, uint64_t begin, uint64_t from, uint64_t to, Deal& deal,
                   int shuffleCount) const;

  const EquityTables& tables_;
  int round_;
  int board_;    // board cards of the street
  int samples_;  // per class and seat
  const uint8_t* heroClusters_;
  std::vector<double> utility_;  // [c0][c1][outcome][seat]
};

#endif  // MORVANE_CLUSTER_TREES_H
