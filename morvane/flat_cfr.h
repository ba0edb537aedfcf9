// The CFR pass over an InfoSetStore: the arithmetic of CFR::calc, in the
// same order, on the card-free betting tree, with each decision's record
// found by its rank and the deal's bucket offset and each terminal's payoffs
// by its class and the deal's order of hands. Results are bit for bit those
// of the reference recursion over engine states and keyed maps.
//
// Threads. Within one deal every information set is visited at most once, so
// the subtrees below different actions touch disjoint records. With threads
// the pass expands the top of the tree sequentially (strategies and reach),
// runs the subtrees below a fixed depth as independent tasks, and then folds
// utilities and regrets back up in the sequential order: every number is
// computed by the same operations from the same operands, so the sums are
// identical for any thread count.
#ifndef MORVANE_FLAT_CFR_H
#define MORVANE_FLAT_CFR_H

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "infoset_store.h"

class WorkerPool;

class FlatCFR {
 public:
  // Bucket of `seat` in `round` with `acting` seats still able to act, for
  // the dealt cards.
  using BucketOf = std::function<uint64_t(int round, int acting, int seat)>;

  explicit FlatCFR(InfoSetStore& store);
  ~FlatCFR();

  // Threads for the passes (0: one per core) and the least number of tree
  // decisions for which they are used.
  void setThreads(unsigned threads, size_t minDecisions = 100000);

  // What a pass needs to know of a deal: the record offset of every slot
  // and the payoffs of every terminal class.
  struct Deal {
    std::vector<size_t> offset;         // per slot
    std::vector<const double*> payoff;  // per terminal class
    std::vector<CFRNode*> info;         // per decision, when resolved in full
  };
  // Resolves a deal; std::out_of_range when a bucket is not in the store
  // (the reference's missing key). `full`: also the record of every
  // decision, which spares the passes an indirection (for small trees that
  // are dealt many times).
  void resolve(const State* dealt, const BucketOf& bucketOf, Deal* out, bool full = false);
  // Resolves a deal and makes it the one the passes run on.
  void deal(const State* dealt, const BucketOf& bucketOf);
  // Runs the passes on a deal resolved before, which must stay alive.
  void use(const Deal& resolved);
  // One CFR pass over the prepared deal from the root, which the reference
  // calls with every reach 1 and seat 0 as the previous actor.
  void calc(const double* reach, double* utility);

 private:
  template <int N, bool Full>
  void pass(uint32_t d, const double* reach, double* utility) const;
  template <int N>
  void parallelPass(const double* reach, double* utility);
  template <int N>
  uint32_t expand(uint32_t d, const double* reach, int depth);

  struct Top;
  struct Task;

  InfoSetStore& store;
  const BettingTree& tree;
  const BettingTree::Decision* decisions;
  CFRNode* nodes;
  int players;
  Deal own;                      // the deal of `deal`
  const size_t* offset;          // of the deal in use
  const double* const* payoff;   // of the deal in use
  CFRNode* const* info;          // of the deal in use, when resolved in full
  unsigned threads = 1;
  size_t minParallelDecisions = 100000;
  std::unique_ptr<WorkerPool> pool;
  std::vector<Top> tops;
  std::vector<Task> tasks;
};

#endif
