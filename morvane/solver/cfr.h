// Counterfactual regret minimisation over an abstract game tree.
//
// For one Game the solver builds the tree of abstract information sets,
// keyed by text "seat:round:bucket:actions" (for example 1:0:2:c), runs
// vanilla CFR with one sampled deal per iteration (chance sampling, Zinkevich
// et al. 2007; Lanctot et al., "Monte Carlo Sampling for Regret Minimization
// in Extensive Games", 2009), measures the utility of the average strategies
// over every deal and prunes actions that a win-probability estimate shows to
// be useless. The abstract actions are fold, call and raise (size 0).
//
// Regrets are weighted by the counterfactual reach of the acting seat (the
// product of every other seat's reach probability); the strategy sum is
// weighted by the acting seat's own reach.
//
// Two representations of the information sets, one active at a time:
//   the flat store (default): the betting tree built once without cards and
//     one InfoSetStore record per (decision, bucket); training runs FlatCFR
//     over it, and keys are made only to save, load and look up in play;
//   the keyed maps: one ordered map per (round, seat) from key to node, filled
//     by createAbstractedGameTree; `calc` is the plain recursion over engine
//     states and key lookups.
// Both give the same keys, bit-identical sums and byte-identical strategy
// files. findNode, calc, calcUtil, eliminateActions, save and the text dump
// use whichever is active; createAbstractedGameTree always fills the maps. The maps serve games the store does not (more than three seats),
// the cluster games that build their own trees, and the reference checks.
#ifndef MORVANE_CFR_H
#define MORVANE_CFR_H

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "solver/CFRNode.h"
#include "solver/discounting.h"
#include "game.h"
#include "solver/infoset_store.h"
#include "cards/hand_index.h"

class EquityTables;  // hold'em lookup tables; lent to the solver, never owned
class FlatCFR;
class InfoSetStore;

class CFR {
 public:
  using NodeMap = std::map<std::string, std::unique_ptr<CFRNode>>;

  // Training operations print progress lines while this is set.
  static bool logProgress;

  explicit CFR(const Game* game);
  virtual ~CFR();
  CFR(const CFR&) = delete;
  CFR& operator=(const CFR&) = delete;

  // Information-set key of the seat to act in `state`.
  virtual std::string abstraction(const State* state);
  // The same key with the bucket given rather than read from the bucket
  // mode; reads nothing but its arguments, so threads may share it.
  std::string abstraction(const State* state, uint64_t bucket) const;
  // Abstract action index 0/1/2 -> fold/call/raise of size 0; else invalid.
  virtual void getAbstractedAction(int index, const State* state, Action* action);
  // `child` = `state` after the abstract action `index`, which must be valid
  // at the node of `state`.
  void applyAbstractedAction(int index, const State* state, State* child);
  // Hold'em bucket (0 to 9) of a seat's hand (hole cards, then the board) in
  // a game of `players` active players: the equity tables' hold'em tables.
  // A solver of another card abstraction overrides it and sets its bucket
  // count (setHoldemBuckets).
  virtual int holdemTableBucket(int players, int round, int seat, const uint8_t* cards) const;
  // Win-probability estimate of a card bucket, used for pruning.
  virtual double winProb(int bucket);
  // The action the agents send for an abstract action index.
  virtual void translate(int index, const State* state, Action* action);

  // Node of the seat to act; std::out_of_range when the key is unknown.
  CFRNode* findNode(const State* state);
  CFRNode* findNode(const std::string& key);
  // The node of a key in the active representation, or null; a pure read.
  const CFRNode* lookupNode(const std::string& key) const;
  // Bucket field of the key for `seat` in `round` with `acting` seats still
  // able to act, by the current bucket mode.
  uint64_t cardBucket(const State* state, int seat, int round, int acting) const;
  // Adds the nodes of every decision below `state` (betting only; the cards
  // of `state` decide the buckets) and (re)initialises their sums.
  void createAbstractedGameTree(const State* state);
  // One CFR pass below `state`; the reference recursion.
  void calc(const State* state, const double* reach, uint8_t prevActor, double* utility);
  // Builds the tree when needed, then runs `iterations` sampled deals.
  void train(uint64_t iterations);
  // Hold'em (holdem_training.cpp): builds the tree once for every
  // combination of buckets 0 to 9 per round, then runs `iterations` shuffled
  // deals with the buckets read from the equity tables' hold'em tables
  // (which must be loaded).
  void trainHoldem(uint64_t iterations);
  // Buckets per round of a hold'em tree (10, the bucket tables', unless
  // changed): every round's keys take buckets 0 .. n-1 (n at most 65,536). Set
  // before the tree is built or loaded. Only the flat store trains other
  // counts; the keyed maps' hold'em build covers buckets 0 to 9.
  void setHoldemBuckets(int n) { holdemBuckets_ = n; }
  // Discounted weighting of trainHoldem by blocks of `block` deals
  // (discounting.h). 0 (the default): plain CFR, every deal alike.
  using Discounting = ::Discounting;
  static constexpr Discounting LINEAR = LINEAR_DISCOUNTING;
  static constexpr Discounting DCFR = DCFR_DISCOUNTING;
  void setDiscountedWeighting(uint64_t block, Discounting discounting) {
    weightingBlock_ = block;
    discounting_ = discounting;
  }
  int holdemBuckets() const { return holdemBuckets_; }
  // Keeps trainHoldem's progress on disk: every `seconds` of training the
  // sums and the loop's position go to the checkpoint at `path` (see
  // training_checkpoint.h), and a trainHoldem that finds a checkpoint there
  // goes on from it, ending as if it had never stopped. Empty: none.
  void setTrainingCheckpoint(const std::string& path, double seconds);
  // Expected utility per seat of the average strategies, over every deal.
  void calcUtility(double* utility);
  void calcUtil(const State* state, double* utility);
  // Removes folds of near-certain winners and calls of near-certain losers.
  void eliminateActions();

  // One-street cluster games (cluster_training.cpp). trainIS builds the tree
  // for clusters 0 .. 100 and runs `iterations` rounds of one pass per hero
  // seat and pre-flop class, every seat keyed by the cluster of its cards in
  // `round`; `indexer` at `indexerRound` only sizes the progress line.
  void trainIS(uint64_t iterations, const hand_indexer_s* indexer, int indexerRound, int round);
  // tables[p][i]: seat p's average utility with class i of `round` under the
  // average strategies trainIS left; `size` is the round's class count.
  void fillUtility(double** tables, uint64_t size, int round);
  // The plain fillUtility loop over classes begin .. end-1, dealt with the
  // process engine, into tables[p][i - begin].
  void fillUtilityReference(double** tables, uint64_t begin, uint64_t end, int round);
  // Two-player cluster games run over resolved cluster trees (default) or
  // with the reference recursion and loop.
  void setUseClusterTrees(bool on) { useClusterTrees = on; }
  // Threads of the fast utility fill (0, the default: one per core).
  void setFillThreads(unsigned threads) { fillThreads = threads; }

  EquityTables* getEquityTables() const { return equityTables; }
  void setEquityTables(EquityTables* tables) { equityTables = tables; }
  void setUseMonteCarlo(bool on) { useMonteCarlo = on; }
  bool getUseMonteCarlo() const { return useMonteCarlo; }

  // Strategy files: every key and the six sums of its node, per map. A file
  // whose keys are not the flat store's loads into the maps; with
  // `otherKeys`, such a file is not read (a large one would fill the maps for
  // nothing): load fails and sets *otherKeys.
  bool save(const std::string& path) const;
  bool load(const std::string& path, bool* otherKeys = nullptr);

  // Small decks only: the training deck (ranks 0.., suits 0..), the cards
  // per deal, and every deal of it in enumeration order (each combination
  // sorted ascending, then its permutations in lexicographic order).
  std::vector<uint8_t> trainingDeck() const;
  int cardsPerDeal() const;
  void forEachDeal(const std::function<void(const uint8_t* cards)>& visit) const;
  // Puts a deal's cards into a state: seat 0's hole cards first, then seat
  // 1's and so on, then the board in board order.
  void setDealtCards(const uint8_t* cards, State* state) const;
  size_t numInformationSets() const;

  // Train on the flat store (default) or on the keyed maps with the
  // reference recursion. Set before the tree is built or loaded.
  void setUseFlatStore(bool on) { useFlatStore = on; }
  bool usesFlatStore() const { return store != nullptr; }
  // The flat store when it is the active representation, else null.
  const InfoSetStore* flatStore() const { return store.get(); }
  // Threads of the flat pass (0, the default: one per core). Results do not
  // depend on it. `minDecisions`: smaller trees run on one thread;
  // `taskDecisions`: the largest subtree a thread takes (0: chosen by the
  // pass; tests set it small to split deep).
  void setThreads(unsigned threads, size_t minDecisions = 100000, uint32_t taskDecisions = 0);

  // Every information set with its key, map by map in key order.
  template <typename Visit>
  void forEachInformationSet(Visit&& visit) const;

  const Game* getGame() const { return game; }
  const std::vector<NodeMap>& maps() const { return nodeMaps; }
  NodeMap& map(int round, int seat) { return nodeMaps[round + seat * game->numRounds]; }

  // Solver state. Public like a record: the hold'em agent and its training
  // switch the bucket modes and write the bucket tables directly.
  bool useHoldemTables = false;     // bucket from holdemBucket, else clusterBucket
  bool useCardAbstraction = false;  // false: bucket = rank of the first hole card
  uint64_t holdemBucket[MAX_ROUNDS][10][3] = {};  // [round][active players][seat]
  std::vector<NodeMap> nodeMaps;             // index round + seat * numRounds
  const Game* game;                          // not owned
  bool useMonteCarlo = false;                // recorded only
  std::unique_ptr<double[]> gameUtility;     // per seat, summed over train calls
  bool treeBuilt = false;                    // maps complete (built or loaded)
  bool useClusters = false;
  int32_t clusterRound = 0;
  EquityTables* equityTables = nullptr;      // not owned
  uint64_t clusterBucket[MAX_ROUNDS][10] = {};    // [round][seat]

 private:
  // Buckets per round of the hold'em tables.
  static constexpr int HOLDEM_BUCKETS = 10;
  int holdemBuckets_ = HOLDEM_BUCKETS;
  uint64_t weightingBlock_ = 0;
  Discounting discounting_ = LINEAR;
  // Multiplies every positive regret by `positive`, every negative one by
  // `negative` and every strategy sum by `strategy`.
  void discountSums(double positive, double negative, double strategy);
  bool is52CardDeck() const { return game->numSuits * game->numRanks == 52; }
  void buildTree();
  bool flatStoreSupported() const;
  // Builds the betting tree and a store over `buckets`.
  void buildStore(const std::vector<int>& buckets);
  // Buckets of rank mode over the training deck, and of the game's own mode
  // (hold'em buckets 0 to 9 on a 52-card deck).
  std::vector<int> rankBuckets() const;
  std::vector<int> defaultBuckets() const;
  FlatCFR& flatPass();
  // Drops every information set, as before the tree is first built.
  void forgetInformationSets();
  bool loadStore(int fd, uint64_t size, bool* mismatch);
  bool loadMaps(int fd, uint64_t size);
  // The training progress line, every 1/parts of the run (every iteration
  // when there are fewer than `parts`); the percentage counts parts.
  static void printProgress(uint64_t i, uint64_t iterations, long& last, double& elapsed,
                            uint64_t parts = 100);
  void buildHoldemTree();
  // Writes holdemBucket for every round and seat of a dealt state.
  void fillHoldemBuckets(const State* state);
  // Loads the training checkpoint when there is a usable one: the sums,
  // the engine and `deck`; returns the iterations done (0 without one).
  uint64_t resumeTraining(uint64_t iterations, std::vector<uint8_t>& deck);
  void saveTrainingCheckpoint(uint64_t done, const std::vector<uint8_t>& deck);

  bool useFlatStore = true;
  unsigned threads = 0;
  size_t minParallelDecisions = 100000;
  uint32_t taskDecisions = 0;
  std::unique_ptr<InfoSetStore> store;  // the active representation when set
  std::unique_ptr<FlatCFR> flat;        // the pass over `store`
  void trainClusterTrees(uint64_t iterations, int round, const std::function<void(int, int)>& deal,
                         State& state);
  bool useClusterTrees = true;
  unsigned fillThreads = 0;
  std::string checkpointPath;
  double checkpointSeconds = 0.0;
  std::string checkpointSums;  // the strategy file of the last checkpoint written or read
  bool checkpointWarned = false;
};

std::ostream& operator<<(std::ostream& out, const CFR& cfr);

// Turns the training progress lines on or off for the life of the guard and
// puts the setting found back afterwards, also when an exception leaves.
class ProgressLines {
 public:
  explicit ProgressLines(bool on) : saved_(CFR::logProgress) { CFR::logProgress = on; }
  ~ProgressLines() { CFR::logProgress = saved_; }
  ProgressLines(const ProgressLines&) = delete;
  ProgressLines& operator=(const ProgressLines&) = delete;

 private:
  bool saved_;
};

// The bucket mode switches of a solver (useCardAbstraction, useHoldemTables,
// useClusters), set for the life of the guard. At the end the guard writes
// `after`, by default the switches it found, also when an exception leaves,
// so that no mode stays on by accident.
struct BucketModeFlags {
  bool cardAbstraction;
  bool holdemTables;
  bool clusters;
};

class BucketMode {
 public:
  BucketMode(CFR& cfr, BucketModeFlags during) : BucketMode(cfr, during, current(cfr)) {}
  BucketMode(CFR& cfr, BucketModeFlags during, BucketModeFlags after) : cfr_(cfr), after_(after) {
    set(cfr, during);
  }
  ~BucketMode() { set(cfr_, after_); }
  BucketMode(const BucketMode&) = delete;
  BucketMode& operator=(const BucketMode&) = delete;

  static BucketModeFlags current(const CFR& cfr) {
    return {cfr.useCardAbstraction, cfr.useHoldemTables, cfr.useClusters};
  }

 private:
  static void set(CFR& cfr, BucketModeFlags flags) {
    cfr.useCardAbstraction = flags.cardAbstraction;
    cfr.useHoldemTables = flags.holdemTables;
    cfr.useClusters = flags.clusters;
  }
  CFR& cfr_;
  BucketModeFlags after_;
};

template <typename Visit>
void CFR::forEachInformationSet(Visit&& visit) const {
  if (store) {
    store->forEach([&](int, const std::string& key, CFRNode& node) { visit(key, node); });
    return;
  }
  for (const NodeMap& m : nodeMaps)
    for (auto& [key, node] : m) visit(key, *node);
}

// Product of the reach probabilities of every seat but `seat`: the weight of
// a counterfactual regret. One definition so that every pass multiplies in
// the same order.
inline double counterfactualReach(const double* reach, int seat, int numPlayers) {
  double weight = 1.0;
  for (int p = 0; p < numPlayers; ++p)
    if (p != seat) weight *= reach[p];
  return weight;
}

#endif
