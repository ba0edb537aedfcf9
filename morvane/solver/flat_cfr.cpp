#include "solver/flat_cfr.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <type_traits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "common/parallel.h"
#include "solver/cfr.h"
#include "showdown.h"

namespace {

// The threaded pass hands the workers subtrees of at most 1 / (TASKS_PER_THREAD
// × threads) of the tree's decisions, enough tasks that the threads end
// together, and never smaller than a sweep: a top decision is walked on one
// thread, without the sweep's overlap, so splitting below a sweep's size
// only slows the pass (on the two-player limit tree, 6,378 decisions, tasks
// of one sweep's size run 1.4 times as fast on two cores as one core, tasks
// of a hundred decisions slower than one core).
constexpr uint32_t TASKS_PER_THREAD = 32;
// How far ahead in preorder a pass fetches records.
constexpr uint32_t PREFETCH_AHEAD = 8;
constexpr uint32_t NONE = BettingTree::NONE;
constexpr uint32_t TERMINAL = BettingTree::TERMINAL;
constexpr uint32_t TASK = 0x40000000u;  // a top child that is a task
// The order of the children in the tree's numbering (their letters' order).
constexpr int TREE_ORDER[NUM_ABSTRACT_ACTIONS] = {1, 0, 2};

// Subtrees of at most this many decisions are swept: two flat loops whose
// working set (records, decisions and the sweep's entries) fits the
// per-core cache, in place of the recursion, whose chain of dependent steps
// leaves the processor waiting.
constexpr uint32_t SWEEP_DECISIONS = 2048;

// Whether any seat still reaches a decision.
template <int N>
inline bool anyReach(const double* reach) {
  bool any = false;
  for (int p = 0; p < N; ++p) any |= reach[p] != 0.0;
  return any;
}

// Whether a child's utility is used: for its parent's regrets when they can
// move, or for its parent's utility when that is used and the action has a
// chance.
inline bool childUtilityUsed(bool regretMoves, bool parentUsed, double probability) {
  return regretMoves || (parentUsed && probability != 0.0);
}

}  // namespace

struct FlatCFR::Top {
  CFRNode* info;
  uint32_t child[NUM_ABSTRACT_ACTIONS];  // top index, TASK | task, TERMINAL | class or NONE
  uint8_t seat;
  double strategy[NUM_ABSTRACT_ACTIONS];
  double reach[BettingTree::MAX_SEATS];
  double utility[BettingTree::MAX_SEATS];
};

struct FlatCFR::Task {
  uint32_t decision;
  bool needed;  // whether its utility is used (as in the recursion)
  double reach[BettingTree::MAX_SEATS];
  double utility[BettingTree::MAX_SEATS];
};

FlatCFR::FlatCFR(InfoSetStore& store_)
    : store(store_), tree(store_.tree()), decisions(tree.decisions()), nodes(store_.nodes()),
      players(tree.numPlayers()), numDecisions(static_cast<uint32_t>(tree.numDecisions())) {
  // Where each decision's subtree ends in preorder: children are numbered
  // after their parent, so one backward walk suffices.
  subtreeEnd.resize(numDecisions);
  for (uint32_t d = numDecisions; d-- > 0;) {
    uint32_t end = d + 1;
    for (uint32_t c : decisions[d].child)
      if (!(c & TERMINAL)) end = std::max(end, subtreeEnd[c]);
    subtreeEnd[d] = end;
  }
  own.offset.assign(tree.numSlots(), 0);
  own.payoff.assign(tree.numPayoffClasses(), nullptr);
  use(own);
}

FlatCFR::~FlatCFR() = default;

void FlatCFR::setThreads(unsigned n, size_t minDecisions, uint32_t taskDecisions) {
  threads = threadCount(n);
  minParallelDecisions = minDecisions;
  pool.reset();
  // Small trees run on the calling thread: no idle workers for them.
  if (threads > 1 && tree.numDecisions() >= minParallelDecisions) {
    pool = std::make_unique<WorkerPool>(threads - 1);
    splitDecisions = taskDecisions ? taskDecisions
                                   : std::max(SWEEP_DECISIONS, static_cast<uint32_t>(tree.numDecisions() /
                                                                                     (TASKS_PER_THREAD * threads)));
  }
}

void FlatCFR::resolve(const State* dealt, const BucketOf& bucketOf, Deal* out, bool full) {
  const Game* game = tree.game();
  out->offset.assign(tree.numSlots(), 0);
  out->payoff.resize(tree.numPayoffClasses());
  for (uint16_t slot : tree.usedSlots()) {
    int round, acting, seat;
    tree.slotFields(slot, &round, &acting, &seat);
    const uint64_t bucket = bucketOf(round, acting, seat);
    const int k = store.bucketPosition(bucket);
    if (k < 0) throw std::out_of_range("no information set for bucket " + std::to_string(bucket));
    out->offset[slot] = store.base(BettingTree::mapOf(game, round, seat), k);
  }
  int code[MAX_ROUNDS] = {};
  for (uint8_t r : tree.payoffRounds()) {
    int value[MAX_PLAYERS];
    for (int p = 0; p < players; ++p) value[p] = gamecore::showdownHandValue(game, dealt, static_cast<uint8_t>(p), r);
    code[r] = tree.orderCode(value);
  }
  for (uint32_t c = 0; c < out->payoff.size(); ++c) out->payoff[c] = tree.payoffs(c, code[tree.payoffClass(c).round]);
  out->info.clear();
  if (full)
    for (size_t d = 0; d < tree.numDecisions(); ++d)
      out->info.push_back(&nodes[decisions[d].index + out->offset[decisions[d].slot]]);
}

void FlatCFR::deal(const State* dealt, const BucketOf& bucketOf) {
  resolve(dealt, bucketOf, &own);
  use(own);
}

void FlatCFR::use(const Deal& resolved) {
  offset = resolved.offset.data();
  payoff = resolved.payoff.data();
  info = resolved.info.empty() ? nullptr : resolved.info.data();
}

namespace {

// The valid actions of a record, one bit each (the excluded ones carry a NaN).
inline unsigned validMask(const CFRNode& info) {
#ifdef __SSE2__
  const __m128d low = _mm_loadu_pd(info.regretSum);
  const __m128d high = _mm_load_sd(info.regretSum + 2);
  return static_cast<unsigned>(_mm_movemask_pd(_mm_cmpord_pd(low, low)) |
                               ((_mm_movemask_pd(_mm_cmpord_sd(high, high)) & 1) << 2));
#else
  return (info.isActionValid(0) ? 1u : 0u) | (info.isActionValid(1) ? 2u : 0u) | (info.isActionValid(2) ? 4u : 0u);
#endif
}

// Calls f(std::integral_constant<unsigned, valid>) for a non-empty mask, so
// that every loop over the valid actions has a length known at compile time.
template <typename F>
inline void withValid(unsigned valid, F&& f) {
  switch (valid) {
    case 1: return f(std::integral_constant<unsigned, 1>{});
    case 2: return f(std::integral_constant<unsigned, 2>{});
    case 3: return f(std::integral_constant<unsigned, 3>{});
    case 4: return f(std::integral_constant<unsigned, 4>{});
    case 5: return f(std::integral_constant<unsigned, 5>{});
    case 6: return f(std::integral_constant<unsigned, 6>{});
    case 7: return f(std::integral_constant<unsigned, 7>{});
    default: return;
  }
}

template <unsigned Valid>
constexpr bool has(int a) {
  return (Valid >> a) & 1u;
}

// Regret matching, as CFRNode::getStrategy: the same operations in the same
// order, unrolled, and without branches on the data (the signs of regrets are
// what a branch predictor cannot learn). Excluded actions get probability 0.
template <unsigned Valid>
inline void regretMatch(CFRNode& info, double weight, double* strategy) {
  constexpr int numValid = std::popcount(Valid);
  double total = 0.0;
  for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a) {
    strategy[a] = 0.0;
    if (has<Valid>(a)) {
      strategy[a] = positiveRegret(info.regretSum[a]);
      total += strategy[a];
    }
  }
  const double uniform = 1.0 / numValid;
  for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a)
    if (has<Valid>(a)) {
      strategy[a] = shareOrUniform(strategy[a], total, uniform);
      info.strategySum[a] += strategy[a] * weight;
    }
}

// The utility of a decision from its children's and the regret update, as
// the reference does them: utilities summed in action order, then each valid
// action's regret.
template <int N, unsigned Valid>
inline void combine(CFRNode& info, int seat, const double* strategy, const double* reach,
                    const double* const* result, double* utility) {
  for (int p = 0; p < N; ++p) {
    double u = 0.0;
    for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a)
      if (has<Valid>(a)) u += result[a][p] * strategy[a];
    utility[p] = u;
  }
  const double counterfactual = counterfactualReach(reach, seat, N);
  for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a)
    if (has<Valid>(a)) addRegret(info.regretSum[a], counterfactual, result[a][seat], utility[seat]);
}

// What a sweep keeps of a decision between its two loops: the current
// strategy, the reach (forward) then the utility (backward), and the valid
// actions with marks for how the decision is visited.
struct alignas(64) SweepEntry {
  double strategy[NUM_ABSTRACT_ACTIONS];
  double value[BettingTree::MAX_SEATS];
  CFRNode* info;   // the decision's record, found once per sweep
  uint32_t valid;  // marks | mask; 0 when not reached
};
constexpr uint32_t VALID_ACTIONS = 7;  // the mask's bits
constexpr uint32_t REACHED = 8;   // visited in this sweep
constexpr uint32_t NEEDED = 16;   // its utility is used (set by the parent)
constexpr uint32_t PRUNED = 32;   // only its strategy sums move (see below)

// One buffer per thread, as large as the largest subtree swept so far.
thread_local std::vector<SweepEntry> sweepBuffer;

}  // namespace

template <bool Full>
inline CFRNode& FlatCFR::record(uint32_t d) const {
  if constexpr (Full) return *info[d];
  const BettingTree::Decision& n = decisions[d];
  return nodes[n.index + offset[n.slot]];
}

template <bool Full>
inline void FlatCFR::prefetch(uint32_t d, uint32_t end) const {
  // The passes visit decisions in preorder, which is their numbering: the
  // record some decisions ahead is fetched while this one is worked on.
  if (!Full && d + PREFETCH_AHEAD < end) {
    const BettingTree::Decision& ahead = decisions[d + PREFETCH_AHEAD];
    __builtin_prefetch(&nodes[ahead.index + offset[ahead.slot]], 1);
  }
}

template <int N, bool Full>
void FlatCFR::subtree(uint32_t d, const double* reach, double* utility, bool needed) const {
  if (subtreeEnd[d] - d <= SWEEP_DECISIONS)
    sweep<N, Full>(d, subtreeEnd[d], reach, utility, needed);
  else
    pass<N, Full>(d, reach, utility, needed);
}

template <int N, bool Full>
void FlatCFR::pass(uint32_t d, const double* reach, double* utility, bool needed) const {
  const BettingTree::Decision& n = decisions[d];
  CFRNode& info = record<Full>(d);
  prefetch<Full>(d, numDecisions);
  const int seat = n.seat;
  for (int p = 0; p < N; ++p) utility[p] = 0.0;  // no valid action: nothing changes
  withValid(validMask(info), [&]<unsigned Valid>(std::integral_constant<unsigned, Valid>) {
    double strategy[NUM_ABSTRACT_ACTIONS];
    regretMatch<Valid>(info, reach[seat], strategy);
    // Children are visited in tree order (call, fold, raise); their
    // utilities are then summed in action order, as the reference does.
    // The store never marks valid an action the tree lacks (see the loader).
    const double* result[NUM_ABSTRACT_ACTIONS] = {nullptr, nullptr, nullptr};
    double childUtility[NUM_ABSTRACT_ACTIONS][N];
    double childReach[N];
    for (int p = 0; p < N; ++p) childReach[p] = reach[p];
    const bool regretMoves = counterfactualReach(reach, seat, N) != 0.0;
    for (int a : TREE_ORDER) {
      if (!has<Valid>(a)) continue;
      const uint32_t c = n.child[a];
      if (c & TERMINAL) {
        result[a] = payoff[c & ~TERMINAL];
      } else {
        childReach[seat] = strategy[a] * reach[seat];
        const bool childNeeded = childUtilityUsed(regretMoves, needed, strategy[a]);
        if (childNeeded || anyReach<N>(childReach))
          subtree<N, Full>(c, childReach, childUtility[a], childNeeded);
        else
          for (int p = 0; p < N; ++p) childUtility[a][p] = 0.0;
        result[a] = childUtility[a];
      }
    }
    combine<N, Valid>(info, seat, strategy, reach, result, utility);
  });
}

namespace {

// Hands a child its reach: the parent's, with the acting seat's times the
// action's probability, and how the child is to be visited. A child whose
// utility is not used and that no seat reaches changes nothing and stays
// unvisited, its utility zero (which its reach, all zeros, already is).
template <int N>
inline void reachChild(const SweepEntry* __restrict e, SweepEntry* __restrict child, int seat, double childSeatReach,
                       bool needed) {
  for (int p = 0; p < N; ++p) child->value[p] = e->value[p];
  child->value[seat] = childSeatReach;
  child->valid = needed ? REACHED | NEEDED : anyReach<N>(child->value) ? REACHED : 0;
}

// The forward step of a sweep at one decision visited in full, with valid
// actions `Valid`: regret matching, the strategy sum, the children's reach.
template <int N, unsigned Valid>
inline void sweepForward(const BettingTree::Decision& n, CFRNode* __restrict info, SweepEntry* __restrict e,
                         SweepEntry* __restrict below, uint32_t lo, bool needed, bool regretMoves) {
  const int seat = n.seat;
  const double weight = e->value[seat];
  double strategy[NUM_ABSTRACT_ACTIONS];
  regretMatch<Valid>(*info, weight, strategy);
  for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a) {
    if (!has<Valid>(a)) continue;
    e->strategy[a] = strategy[a];
    const uint32_t c = n.child[a];
    if (c & TERMINAL) continue;
    reachChild<N>(e, below + (c - lo), seat, strategy[a] * weight, childUtilityUsed(regretMoves, needed, strategy[a]));
  }
}

// The forward step at a pruned decision: one whose utility is not used and
// whose regrets cannot move. Only the strategy sum changes, and only when the
// acting seat reaches it; otherwise its strategy is not even needed, since
// the children's reach of that seat is zero whatever it is.
template <int N, unsigned Valid>
inline void sweepForwardPruned(const BettingTree::Decision& n, CFRNode* __restrict info, SweepEntry* __restrict e,
                               SweepEntry* __restrict below, uint32_t lo) {
  const int seat = n.seat;
  const double weight = e->value[seat];
  double strategy[NUM_ABSTRACT_ACTIONS] = {0.0, 0.0, 0.0};
  if (weight != 0.0) regretMatch<Valid>(*info, weight, strategy);
  for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a) {
    if (!has<Valid>(a)) continue;
    const uint32_t c = n.child[a];
    if (c & TERMINAL) continue;
    reachChild<N>(e, below + (c - lo), seat, strategy[a] * weight, false);
  }
}

// The backward step: the decision's utility from its children's and its
// regrets, the utility left in the entry for the parent.
template <int N, unsigned Valid>
inline void sweepBackward(const BettingTree::Decision& n, CFRNode* __restrict info, SweepEntry* __restrict e,
                          const SweepEntry* __restrict below, uint32_t lo, const double* const* payoff) {
  const double* result[NUM_ABSTRACT_ACTIONS] = {nullptr, nullptr, nullptr};
  for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a) {
    if (!has<Valid>(a)) continue;
    const uint32_t c = n.child[a];
    result[a] = (c & TERMINAL) ? payoff[c & ~TERMINAL] : below[c - lo].value;
  }
  double utility[N];
  combine<N, Valid>(*info, n.seat, e->strategy, e->value, result, utility);
  for (int p = 0; p < N; ++p) e->value[p] = utility[p];
}

}  // namespace

template <int N, bool Full>
void FlatCFR::sweep(uint32_t lo, uint32_t hi, const double* reach, double* utility, bool needed) const {
  std::vector<SweepEntry>& entries = sweepBuffer;
  if (entries.size() < hi - lo) entries.resize(hi - lo);  // new entries are unreached
  SweepEntry* const entry = entries.data();
  const BettingTree::Decision* const decision = decisions;
  const double* const* const payoffOf = payoff;

  // Forward, in preorder: every reached decision's strategy from its regrets
  // and its children's reach from its own. The record of the decision some
  // steps ahead is found and fetched meanwhile.
  entry[0].valid = REACHED | (needed ? NEEDED : 0);
  for (int p = 0; p < N; ++p) entry[0].value[p] = reach[p];
  const uint32_t ahead = std::min(hi, lo + PREFETCH_AHEAD);
  for (uint32_t d = lo; d < ahead; ++d) entry[d - lo].info = &record<Full>(d);
  for (uint32_t d = lo; d < hi; ++d) {
    if (d + PREFETCH_AHEAD < hi) {
      CFRNode* later = &record<Full>(d + PREFETCH_AHEAD);
      if (!Full) __builtin_prefetch(later, 1);
      entry[d + PREFETCH_AHEAD - lo].info = later;
    }
    SweepEntry* e = entry + (d - lo);
    if (!e->valid) continue;  // unreached, or below an action the record excludes
    const BettingTree::Decision& n = decision[d];
    CFRNode* info = e->info;
    const unsigned valid = validMask(*info);
    const bool regretMoves = counterfactualReach(e->value, n.seat, N) != 0.0;
    if ((e->valid & NEEDED) || regretMoves) {
      const bool own = e->valid & NEEDED;
      e->valid = REACHED | valid;
      withValid(valid, [&]<unsigned Valid>(std::integral_constant<unsigned, Valid>) {
        sweepForward<N, Valid>(n, info, e, entry, lo, own, regretMoves);
      });
    } else {
      e->valid = REACHED | PRUNED;
      withValid(valid, [&]<unsigned Valid>(std::integral_constant<unsigned, Valid>) {
        sweepForwardPruned<N, Valid>(n, info, e, entry, lo);
      });
    }
  }

  // Backward: children come after their parent, so every child's utility is
  // known when its parent's is formed. Each entry is left unreached again; a
  // pruned one leaves a zero utility, which its parent weighs by zero.
  for (uint32_t d = hi; d-- > lo;) {
    SweepEntry* e = entry + (d - lo);
    const unsigned valid = e->valid & VALID_ACTIONS;
    if (!e->valid) continue;
    const bool pruned = e->valid & PRUNED;
    e->valid = 0;
    if (!valid || pruned) {
      for (int p = 0; p < N; ++p) e->value[p] = 0.0;
      continue;
    }
    const BettingTree::Decision& n = decision[d];
    CFRNode* info = e->info;
    withValid(valid, [&]<unsigned Valid>(std::integral_constant<unsigned, Valid>) {
      sweepBackward<N, Valid>(n, info, e, entry, lo, payoffOf);
    });
  }
  for (int p = 0; p < N; ++p) utility[p] = entry[0].value[p];
}

template <int N>
uint32_t FlatCFR::expand(uint32_t d, const double* reach, bool needed) {
  const BettingTree::Decision& n = decisions[d];
  const uint32_t at = static_cast<uint32_t>(tops.size());
  tops.emplace_back();
  Top top{};
  top.seat = n.seat;
  top.info = &nodes[n.index + offset[n.slot]];
  top.info->getStrategy(reach[n.seat], top.strategy);
  for (int p = 0; p < N; ++p) top.reach[p] = reach[p];
  for (uint32_t& c : top.child) c = NONE;
  const bool regretMoves = counterfactualReach(reach, n.seat, N) != 0.0;
  for (int a : TREE_ORDER) {
    const uint32_t c = n.child[a];
    if (!top.info->isActionValid(a)) continue;
    if (c & TERMINAL) {
      top.child[a] = c;
      continue;
    }
    double childReach[N];
    for (int p = 0; p < N; ++p) childReach[p] = reach[p];
    childReach[n.seat] = top.strategy[a] * reach[n.seat];
    // The recursion's pruning: a child whose utility is not used and that
    // no seat reaches is not visited, and one whose utility is not used is
    // visited for the strategy sums only.
    const bool childNeeded = childUtilityUsed(regretMoves, needed, top.strategy[a]);
    const bool skipped = !childNeeded && !anyReach<N>(childReach);
    if (!skipped && subtreeEnd[c] - c > splitDecisions) {
      top.child[a] = expand<N>(c, childReach, childNeeded);
    } else {
      Task task{};
      task.decision = c;
      task.needed = childNeeded;
      for (int p = 0; p < N; ++p) task.reach[p] = childReach[p];
      top.child[a] = TASK | static_cast<uint32_t>(tasks.size());
      tasks.push_back(task);
    }
  }
  tops[at] = top;
  return at;
}

template <int N>
void FlatCFR::parallelPass(const double* reach, double* utility) {
  tops.clear();
  tasks.clear();
  expand<N>(0, reach, true);

  // The largest subtrees first, so that no large one is left for the end
  // while the other threads wait. One neither needed nor reached is not
  // visited and keeps its zero utility, as in the recursion.
  taskOrder.clear();
  for (uint32_t t = 0; t < tasks.size(); ++t)
    if (tasks[t].needed || anyReach<N>(tasks[t].reach)) taskOrder.push_back(t);
  const auto size = [&](uint32_t t) { return subtreeEnd[tasks[t].decision] - tasks[t].decision; };
  std::stable_sort(taskOrder.begin(), taskOrder.end(), [&](uint32_t a, uint32_t b) { return size(a) > size(b); });
  std::atomic<size_t> next{0};
  const std::function<void(unsigned)> job = [&](unsigned) {
    for (size_t t; (t = next.fetch_add(1)) < taskOrder.size();) {
      Task& task = tasks[taskOrder[t]];
      subtree<N, false>(task.decision, task.reach, task.utility, task.needed);
    }
  };
  // A deal whose tasks are all skipped or one needs no helper.
  if (taskOrder.size() > 1) pool->run(job);
  else job(0);

  // Children come after their parents in `tops`: fold back up in reverse.
  for (size_t i = tops.size(); i-- > 0;) {
    Top& top = tops[i];
    const int seat = top.seat;
    for (int p = 0; p < N; ++p) top.utility[p] = 0.0;
    double actionUtility[NUM_ABSTRACT_ACTIONS];
    for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a) {
      const uint32_t c = top.child[a];
      if (c == NONE) continue;
      const double* result = (c & TERMINAL) ? payoff[c & ~TERMINAL]
                             : (c & TASK)   ? tasks[c & ~TASK].utility
                                            : tops[c].utility;
      actionUtility[a] = result[seat];
      for (int p = 0; p < N; ++p) top.utility[p] += result[p] * top.strategy[a];
    }
    const double weight = counterfactualReach(top.reach, seat, N);
    for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a)
      if (top.child[a] != NONE) addRegret(top.info->regretSum[a], weight, actionUtility[a], top.utility[seat]);
  }
  for (int p = 0; p < N; ++p) utility[p] = tops[0].utility[p];
}

void FlatCFR::calc(const double* reach, double* utility) {
  if (tree.numDecisions() == 0) return;
  if (players == 3) {
    if (info) return subtree<3, true>(0, reach, utility, true);
    return pool ? parallelPass<3>(reach, utility) : subtree<3, false>(0, reach, utility, true);
  }
  if (info) return subtree<2, true>(0, reach, utility, true);
  return pool ? parallelPass<2>(reach, utility) : subtree<2, false>(0, reach, utility, true);
}
