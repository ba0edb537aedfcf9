#include "flat_cfr.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "cfr.h"
#include "showdown.h"

// Workers that run one job at a time together with the calling thread.
class WorkerPool {
 public:
  explicit WorkerPool(unsigned helpers) {
    for (unsigned i = 0; i < helpers; ++i) workers.emplace_back([this] { work(); });
  }
  ~WorkerPool() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
    }
    wake.notify_all();
    for (std::thread& t : workers) t.join();
  }

  // Runs `job` on every worker and on the caller; returns when all are done.
  void run(const std::function<void()>& job) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      current = &job;
      running = static_cast<unsigned>(workers.size());
      ++generation;
    }
    wake.notify_all();
    job();
    std::unique_lock<std::mutex> lock(mutex);
    done.wait(lock, [this] { return running == 0; });
    current = nullptr;
  }

 private:
  void work() {
    uint64_t seen = 0;
    for (;;) {
      const std::function<void()>* job;
      {
        std::unique_lock<std::mutex> lock(mutex);
        wake.wait(lock, [&] { return stopping || generation != seen; });
        if (stopping) return;
        seen = generation;
        job = current;
      }
      (*job)();
      std::lock_guard<std::mutex> lock(mutex);
      if (--running == 0) done.notify_one();
    }
  }

  std::vector<std::thread> workers;
  std::mutex mutex;
  std::condition_variable wake, done;
  const std::function<void()>* current = nullptr;
  unsigned running = 0;
  uint64_t generation = 0;
  bool stopping = false;
};

namespace {

// Depth below which the threaded pass hands subtrees to the workers.
constexpr int SPLIT_DEPTH = 6;
constexpr uint32_t NONE = BettingTree::NONE;
constexpr uint32_t TERMINAL = BettingTree::TERMINAL;
constexpr uint32_t TASK = 0x40000000u;  // a top child that is a task
// The order of the children in the tree's numbering (their letters' order).
constexpr int TREE_ORDER[NUM_ABSTRACT_ACTIONS] = {1, 0, 2};

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
  double reach[BettingTree::MAX_SEATS];
  double utility[BettingTree::MAX_SEATS];
};

FlatCFR::FlatCFR(InfoSetStore& store_)
    : store(store_), tree(store_.tree()), decisions(tree.decisions()), nodes(store_.nodes()),
      players(tree.numPlayers()) {
  own.offset.assign(tree.numSlots(), 0);
  own.payoff.assign(tree.numPayoffClasses(), nullptr);
  use(own);
}

FlatCFR::~FlatCFR() = default;

void FlatCFR::setThreads(unsigned n, size_t minDecisions) {
  threads = n == 0 ? std::max(1u, std::thread::hardware_concurrency()) : n;
  minParallelDecisions = minDecisions;
  pool.reset();
  // Small trees run on the calling thread: no idle workers for them.
  if (threads > 1 && tree.numDecisions() >= minParallelDecisions)
    pool = std::make_unique<WorkerPool>(threads - 1);
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

template <int N, bool Full>
void FlatCFR::pass(uint32_t d, const double* reach, double* utility) const {
  const BettingTree::Decision& n = decisions[d];
  const int seat = n.seat;
  CFRNode& info = Full ? *this->info[d] : nodes[n.index + offset[n.slot]];
  // The store never marks valid an action the tree lacks (see the loader).
  int valid[NUM_ABSTRACT_ACTIONS];
  const int numValid = info.validActions(valid);
  double strategy[NUM_ABSTRACT_ACTIONS];
  info.getStrategy(reach[seat], strategy, valid, numValid);

  // Children are visited in tree order (call, fold, raise), which walks the
  // decisions and every bucket's records upwards; their utilities are then
  // summed in action order, as the reference does.
  const double* result[NUM_ABSTRACT_ACTIONS];
  double childUtility[NUM_ABSTRACT_ACTIONS][N];
  double childReach[N];
  for (int p = 0; p < N; ++p) childReach[p] = reach[p];
  for (int a : TREE_ORDER) {
    const uint32_t c = n.child[a];
    if (!info.isActionValid(a)) continue;
    if (c & TERMINAL) {
      result[a] = payoff[c & ~TERMINAL];
    } else {
      childReach[seat] = strategy[a] * reach[seat];
      pass<N, Full>(c, childReach, childUtility[a]);
      result[a] = childUtility[a];
    }
  }
  for (int p = 0; p < N; ++p) utility[p] = 0.0;
  for (int i = 0; i < numValid; ++i) {
    const int a = valid[i];
    for (int p = 0; p < N; ++p) utility[p] += result[a][p] * strategy[a];
  }
  const double weight = counterfactualReach(reach, seat, N);
  for (int i = 0; i < numValid; ++i) {
    const int a = valid[i];
    info.regretSum[a] += weight * (result[a][seat] - utility[seat]);
  }
}

template <int N>
uint32_t FlatCFR::expand(uint32_t d, const double* reach, int depth) {
  const BettingTree::Decision& n = decisions[d];
  const uint32_t at = static_cast<uint32_t>(tops.size());
  tops.emplace_back();
  Top top{};
  top.seat = n.seat;
  top.info = &nodes[n.index + offset[n.slot]];
  top.info->getStrategy(reach[n.seat], top.strategy);
  for (int p = 0; p < N; ++p) top.reach[p] = reach[p];
  for (uint32_t& c : top.child) c = NONE;
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
    if (depth + 1 < SPLIT_DEPTH) {
      top.child[a] = expand<N>(c, childReach, depth + 1);
    } else {
      Task task{};
      task.decision = c;
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
  expand<N>(0, reach, 0);

  std::atomic<size_t> next{0};
  const std::function<void()> job = [&] {
    for (size_t t; (t = next.fetch_add(1)) < tasks.size();) pass<N, false>(tasks[t].decision, tasks[t].reach, tasks[t].utility);
  };
  pool->run(job);

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
      if (top.child[a] != NONE) top.info->regretSum[a] += weight * (actionUtility[a] - top.utility[seat]);
  }
  for (int p = 0; p < N; ++p) utility[p] = tops[0].utility[p];
}

void FlatCFR::calc(const double* reach, double* utility) {
  if (tree.numDecisions() == 0) return;
  if (players == 3) {
    if (info) return pass<3, true>(0, reach, utility);
    return pool ? parallelPass<3>(reach, utility) : pass<3, false>(0, reach, utility);
  }
  if (info) return pass<2, true>(0, reach, utility);
  return pool ? parallelPass<2>(reach, utility) : pass<2, false>(0, reach, utility);
}
