// Chance-sampled CFR over the no-limit betting tree (NolimitTree): each
// iteration deals once (every seat's bucket in every round and which hand is
// ahead in every round, from the caller) and walks the whole betting tree for
// both seats at once, with regret matching at every information set
// (Zinkevich et al., "Regret Minimization in Games with Incomplete
// Information", 2007; chance sampling: Lanctot et al., 2009).
//
// Information sets. A decision of the tree fixes the seat, the round and
// the whole public betting; the card abstraction adds the acting seat's
// bucket in that round. So the sets of round r number decisionsInRound(r) x
// buckets[r].
//
// Layout. Regrets and strategy sums are two flat arrays of doubles with the
// same index: round by round (round 0 first), and within round r decision d
// at (roundAction(d) x buckets[r]), its bucket b at + b x numActions(d), its
// action a at + a. One information set's actions are adjacent, and one
// decision's sets are one block.
//
// Weighting. Linear CFR (Brown and Sandholm, "Solving Imperfect-Information
// Games via Discounted Regret Minimization", 2019) weights iteration t's
// regret and strategy-sum increments by t, which is the same as discounting
// everything earlier by t / (t + 1) each iteration; regret matching does not
// see the scale, so the current strategies are those of the discounted
// algorithm at no extra cost per iteration. It converges markedly faster
// than uniform weights in poker and is the default; `uniform` is plain CFR.
// `discounted` is the paper's discounted CFR (DCFR_DISCOUNTING of
// discounting.h) by blocks of discountBlock() iterations: increments are
// unweighted, and after each block a sweep over both arrays scales positive
// and negative regrets and the strategy sums apart, which no per-iteration
// weight can do. Its strategies are far less exploitable for the same
// abstraction, but an iteration costs about three times as much: negative
// regrets stay near zero, so actions come back sooner and fewer subtrees go
// unreached.
//
// Pruning. A subtree that neither seat reaches is skipped: every increment
// in it is a zero, and its utility only meets zero weights above it, so the
// sums come out bit for bit as without the skip.
//
// Threads. Within one deal every information set is visited at most once
// (a decision is one betting history), so the subtrees below different
// actions touch disjoint entries. With threads, an iteration expands the
// top of the tree on the calling thread (strategies, sums and reach of every
// decision whose subtree is large), walks the subtrees below it as
// independent tasks, largest first, and then folds utilities and regrets
// back up in the order of the recursion. Every number is computed by the
// same operations from the same operands.
//
// Determinism. The sums are a function of the deals and the weighting
// alone, bit for bit the same for any number of threads.
#ifndef MORVANE_NOLIMIT_CFR_H
#define MORVANE_NOLIMIT_CFR_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "solver/nolimit_tree.h"

class WorkerPool;

class NolimitCFR {
 public:
  enum class Weighting : uint8_t { uniform = 0, linear = 1, discounted = 2 };
  // Iterations per block of the discounted weighting.
  static constexpr uint64_t DISCOUNT_BLOCK = 10000;

  // One iteration's chance outcome.
  struct Deal {
    uint32_t bucket[2][MAX_ROUNDS];      // by seat, by round
    NolimitTree::Order order[MAX_ROUNDS];  // which hand is ahead, by round
  };
  using Dealer = std::function<void(Deal* deal)>;

  // Throws std::invalid_argument when a round of the game has no bucket or
  // a discounted weighting has a block of 0.
  NolimitCFR(const NolimitTree& tree, const uint32_t buckets[MAX_ROUNDS],
             Weighting weighting = Weighting::linear, uint64_t discountBlock = DISCOUNT_BLOCK);
  ~NolimitCFR();

  // Threads for the iterations (0: one per core), used when the tree has at
  // least `minDecisions` decisions; one by default.
  void setThreads(unsigned threads, size_t minDecisions = 10000);

  // One iteration on `deal`; returns the seats' utilities of the current
  // strategies on that deal.
  void iterate(const Deal& deal, double utility[2]);
  // `iterations` more iterations, dealt by `dealer`; with `progress`, a line
  // with the share done and the time left every percent.
  void train(uint64_t iterations, const Dealer& dealer, bool progress = false);
  uint64_t iterationsDone() const { return iterations_; }

  // The average strategy of decision `d` for bucket `bucket`: numActions(d)
  // probabilities, uniform while the set was never reached.
  void probabilities(uint32_t d, uint32_t bucket, double* out) const;

  const NolimitTree& tree() const { return tree_; }
  uint32_t buckets(int round) const { return buckets_[round]; }
  Weighting weighting() const { return weighting_; }
  uint64_t discountBlock() const { return discountBlock_; }
  size_t numEntries() const { return regrets_.size(); }
  // Index of the first action of (d, bucket) in both arrays.
  size_t index(uint32_t d, uint32_t bucket) const {
    return offset_[d] + static_cast<size_t>(bucket) * tree_.decision(d).numActions;
  }
  const std::vector<double>& regrets() const { return regrets_; }
  const std::vector<double>& strategySums() const { return sums_; }

  // The strategy file: a header (magic, version, the tree's decision and
  // action counts and a hash of its actions, the buckets per round, the
  // weighting and its block, the iterations done) and then both arrays in
  // native byte order. `save` checks the free space first and writes a
  // temporary file that it renames into place, so a failed save leaves
  // nothing half-written; false after an "ERROR: " line or a failed write. `load` returns an empty
  // string on success, else what is wrong with the file (then the sums are
  // as before).
  bool save(const std::string& path) const;
  std::string load(const std::string& path);
  // Bytes of the file for this tree and these buckets.
  uint64_t fileBytes() const;

 private:
  struct Top;
  struct Task;

  // Regret matching at `node` for the deal's bucket: its strategy into
  // `strategy`, its strategy sums advanced by the acting seat's reach; the
  // index of its first action.
  size_t enter(uint32_t node, const double reach[2], double* strategy);
  // The regrets at `at` advanced by the opponent's reach and each action's
  // gain over `utility`.
  void leave(uint32_t node, size_t at, const double reach[2], const double* actionUtility,
             const double utility[2]);
  void walk(uint32_t node, const double reach[2], double utility[2]);
  // The threaded iteration from the root, and its top part.
  void parallelWalk(double utility[2]);
  uint32_t expand(uint32_t node, const double reach[2]);
  // The discounted weighting's sweep after block `block`.
  void discount(uint64_t block);

  const NolimitTree& tree_;
  uint32_t buckets_[MAX_ROUNDS];
  Weighting weighting_;
  uint64_t discountBlock_;
  std::vector<size_t> offset_;  // per decision: index of its bucket 0
  std::vector<double> regrets_;
  std::vector<double> sums_;
  uint64_t iterations_ = 0;
  double weight_ = 1.0;  // of the iteration in progress
  Deal deal_{};

  std::unique_ptr<WorkerPool> pool_;  // with the calling thread, the iterations' threads
  std::vector<uint32_t> subtreeEnd_;  // per decision: one past its subtree's last decision
  uint32_t splitDecisions_ = 0;       // a subtree larger than this is expanded, not a task
  std::vector<Top> tops_;
  std::vector<Task> tasks_;
  std::vector<uint32_t> taskOrder_;
};

#endif
