// The CFR pass over an InfoSetStore: the arithmetic of CFR::calc, in the
// same order, on the card-free betting tree, with each decision's record
// found by its rank and the deal's bucket offset and each terminal's payoffs
// by its class and the deal's order of hands. Results are bit for bit those
// of the reference recursion over engine states and keyed maps.
//
// Sweeps. Decisions are numbered in preorder, so a subtree is a range of
// decision numbers. A subtree small enough for the per-core cache is not
// recursed into but swept: a forward loop over its range computes every
// decision's strategy (from its regrets, untouched so far in this deal) and
// hands each child its reach; a backward loop then forms every utility from
// the children's, which come later in the range, and updates the regrets.
// Each record receives the same operations on the same operands as in the
// recursion, only the order between records changes, and no two decisions
// of a deal share a record. The loops have no chain of dependent calls, so
// the processor overlaps consecutive decisions.
//
// Pruning. Regret matching gives many actions probability exactly zero, so
// whole subtrees are reached by some seats with zero probability. Where the
// counterfactual reach of the acting seat is zero its regrets cannot move
// (they grow by zero times a finite number), and where the acting seat's own
// reach is zero its strategy sum cannot either. A decision's utility is used
// by its parent only for the parent's regrets (when those can move) and for
// the parent's utility (when that is used and the action has a chance). A
// subtree whose utility is not used is therefore visited only for the
// strategy sums of the seats that still reach it, and not at all when none
// does. Adding a zero leaves every sum's bits as they are (no sum is ever
// minus zero: it starts at plus zero and round-to-nearest never makes one),
// so the results stay those of the reference, which visits everything.
//
// Threads. Within one deal every information set is visited at most once, so
// the subtrees below different actions touch disjoint records. With threads
// the pass expands the top of the tree sequentially (strategies and reach),
// runs the subtrees below it, each of at most a set size, as independent
// tasks, pruned as the recursion prunes them, and then folds utilities and
// regrets back up in the sequential order: every number is computed by the
// same operations from the same operands, so the sums are identical for any
// thread count.
#ifndef MORVANE_FLAT_CFR_H
#define MORVANE_FLAT_CFR_H

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "solver/infoset_store.h"

class WorkerPool;

class FlatCFR {
 public:
  // Bucket of `seat` in `round` with `acting` seats still able to act, for
  // the dealt cards.
  using BucketOf = std::function<uint64_t(int round, int acting, int seat)>;

  explicit FlatCFR(InfoSetStore& store);
  ~FlatCFR();

  // Threads for the passes (0: one per core), the least number of tree
  // decisions for which they are used, and the largest subtree a thread
  // takes (0: chosen from the tree's size).
  void setThreads(unsigned threads, size_t minDecisions = 100000, uint32_t taskDecisions = 0);

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
  // The pass below decision d: swept when small enough, else recursively.
  // `needed`: whether the caller uses the utility (else it may be left zero).
  template <int N, bool Full>
  void subtree(uint32_t d, const double* reach, double* utility, bool needed) const;
  template <int N, bool Full>
  void pass(uint32_t d, const double* reach, double* utility, bool needed) const;
  template <int N, bool Full>
  void sweep(uint32_t lo, uint32_t hi, const double* reach, double* utility, bool needed) const;
  template <bool Full>
  CFRNode& record(uint32_t d) const;
  template <bool Full>
  void prefetch(uint32_t d, uint32_t end) const;
  template <int N>
  void parallelPass(const double* reach, double* utility);
  template <int N>
  uint32_t expand(uint32_t d, const double* reach, bool needed);

  struct Top;
  struct Task;

  InfoSetStore& store;
  const BettingTree& tree;
  const BettingTree::Decision* decisions;
  CFRNode* nodes;
  int players;
  uint32_t numDecisions;
  std::vector<uint32_t> subtreeEnd;  // per decision: one past its last descendant
  Deal own;                      // the deal of `deal`
  const size_t* offset;          // of the deal in use
  const double* const* payoff;   // of the deal in use
  CFRNode* const* info;          // of the deal in use, when resolved in full
  unsigned threads = 1;
  size_t minParallelDecisions = 100000;
  uint32_t splitDecisions = 0;  // largest subtree a task gets
  std::unique_ptr<WorkerPool> pool;
  std::vector<Top> tops;
  std::vector<Task> tasks;
  std::vector<uint32_t> taskOrder;  // tasks by decreasing size
};

#endif
