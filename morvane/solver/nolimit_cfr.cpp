#include "solver/nolimit_cfr.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <stdexcept>

#include "common/parallel.h"
#include "common/util.h"
#include "solver/CFRNode.h"
#include "solver/discounting.h"

namespace {

constexpr char MAGIC[8] = {'M', 'V', 'N', 'L', 'C', 'F', 'R', '\n'};
constexpr uint32_t VERSION = 1;
constexpr uint32_t TASK = 0x40000000u;  // a top decision's child that is a task
// The threaded iteration cuts the tree into about this many tasks per thread
// at least, so that the largest left for the end keeps no thread idle long.
constexpr uint32_t TASKS_PER_THREAD = 32;

struct FileHeader {
  char magic[8];
  uint32_t version;
  uint32_t decisions;
  uint64_t actions;
  uint64_t treeHash;
  uint32_t buckets[MAX_ROUNDS];
  uint32_t weighting;
  uint32_t discountBlock;  // of the discounted weighting; 0 for the others
  uint64_t iterations;
};
static_assert(sizeof(FileHeader) == 64);

// FNV-1a over every decision's seat, round and actions, so that a file of
// another game (other stacks or blinds give other raise totals) is refused
// even when its tree has the same shape.
uint64_t treeHash(const NolimitTree& tree) {
  uint64_t h = 14695981039346656037ull;
  auto mix = [&h](uint64_t v) {
    for (int i = 0; i < 8; ++i, v >>= 8) h = (h ^ (v & 0xFF)) * 1099511628211ull;
  };
  for (uint32_t d = 0; d < tree.numDecisions(); ++d) {
    const NolimitTree::Decision& decision = tree.decision(d);
    mix(decision.seat | decision.round << 8 | static_cast<uint64_t>(decision.numActions) << 16);
    for (int a = 0; a < decision.numActions; ++a) {
      const Action& action = tree.action(d, a);
      mix(static_cast<uint64_t>(action.type) << 32 | static_cast<uint32_t>(action.size));
    }
  }
  return h;
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

struct NolimitCFR::Top {
  uint32_t node;
  uint32_t child[NolimitTree::MAX_ACTIONS];  // top index, TASK | task or TERMINAL | terminal
  size_t at;
  double strategy[NolimitTree::MAX_ACTIONS];
  double reach[2];
  double utility[2];
};

struct NolimitCFR::Task {
  uint32_t node;
  double reach[2];
  double utility[2];
};

NolimitCFR::NolimitCFR(const NolimitTree& tree, const uint32_t buckets[MAX_ROUNDS], Weighting weighting,
                       uint64_t discountBlock)
    : tree_(tree),
      weighting_(weighting),
      discountBlock_(weighting == Weighting::discounted ? discountBlock : 0),
      offset_(tree.numDecisions()) {
  if (weighting == Weighting::discounted && (discountBlock == 0 || discountBlock > UINT32_MAX))
    throw std::invalid_argument("a discounted weighting needs a block of 1 to 2^32 - 1 iterations");
  size_t roundStart[MAX_ROUNDS + 1] = {0};
  for (int r = 0; r < MAX_ROUNDS; ++r) {
    buckets_[r] = r < tree.game()->numRounds ? buckets[r] : 0;
    if (r < tree.game()->numRounds && buckets_[r] == 0)
      throw std::invalid_argument("every round needs at least one bucket");
    roundStart[r + 1] = roundStart[r] + tree.actionsInRound(r) * buckets_[r];
  }
  for (uint32_t d = 0; d < tree.numDecisions(); ++d) {
    const NolimitTree::Decision& decision = tree.decision(d);
    offset_[d] = roundStart[decision.round] + static_cast<size_t>(decision.roundAction) * buckets_[decision.round];
  }
  regrets_.assign(roundStart[MAX_ROUNDS], 0.0);
  sums_.assign(roundStart[MAX_ROUNDS], 0.0);
}

NolimitCFR::~NolimitCFR() = default;

void NolimitCFR::setThreads(unsigned threads, size_t minDecisions) {
  threads = threadCount(threads);
  pool_.reset();
  if (threads < 2 || tree_.numDecisions() < minDecisions || tree_.numDecisions() == 0) return;
  // Where each decision's subtree ends: decisions are numbered in preorder,
  // so children come after their parent and one backward walk suffices.
  const uint32_t count = static_cast<uint32_t>(tree_.numDecisions());
  subtreeEnd_.resize(count);
  for (uint32_t d = count; d-- > 0;) {
    uint32_t end = d + 1;
    for (int a = 0; a < tree_.decision(d).numActions; ++a) {
      const uint32_t c = tree_.child(d, a);
      if (!(c & NolimitTree::TERMINAL)) end = std::max(end, subtreeEnd_[c]);
    }
    subtreeEnd_[d] = end;
  }
  splitDecisions_ = count / (TASKS_PER_THREAD * threads);
  pool_ = std::make_unique<WorkerPool>(threads - 1);
}

size_t NolimitCFR::enter(uint32_t node, const double reach[2], double* strategy) {
  const NolimitTree::Decision& d = tree_.decision(node);
  const int seat = d.seat;
  const int n = d.numActions;
  const size_t at = offset_[node] + static_cast<size_t>(deal_.bucket[seat][d.round]) * n;
  const double* regret = &regrets_[at];
  double* sum = &sums_[at];
  double total = 0.0;
  for (int a = 0; a < n; ++a) {
    strategy[a] = positiveRegret(regret[a]);
    total += strategy[a];
  }
  const double uniform = 1.0 / n;
  const double own = reach[seat] * weight_;
  for (int a = 0; a < n; ++a) {
    strategy[a] = shareOrUniform(strategy[a], total, uniform);
    sum[a] += strategy[a] * own;
  }
  return at;
}

void NolimitCFR::leave(uint32_t node, size_t at, const double reach[2], const double* actionUtility,
                       const double utility[2]) {
  const NolimitTree::Decision& d = tree_.decision(node);
  double* regret = &regrets_[at];
  const double counterfactual = reach[1 - d.seat] * weight_;
  for (int a = 0; a < d.numActions; ++a) addRegret(regret[a], counterfactual, actionUtility[a], utility[d.seat]);
}

void NolimitCFR::walk(uint32_t node, const double reach[2], double utility[2]) {
  if (node & NolimitTree::TERMINAL) {
    const NolimitTree::Terminal& t = tree_.terminal(node & ~NolimitTree::TERMINAL);
    const double* payoff = t.payoff[deal_.order[t.round]];
    utility[0] = payoff[0];
    utility[1] = payoff[1];
    return;
  }
  utility[0] = utility[1] = 0.0;
  if (reach[0] == 0.0 && reach[1] == 0.0) return;

  const NolimitTree::Decision& d = tree_.decision(node);
  const int seat = d.seat;
  double strategy[NolimitTree::MAX_ACTIONS];
  const size_t at = enter(node, reach, strategy);
  const uint32_t* child = tree_.children() + d.firstAction;
  double actionUtility[NolimitTree::MAX_ACTIONS];
  for (int a = 0; a < d.numActions; ++a) {
    double childReach[2] = {reach[0], reach[1]};
    childReach[seat] *= strategy[a];
    double u[2];
    walk(child[a], childReach, u);
    actionUtility[a] = u[seat];
    utility[0] += strategy[a] * u[0];
    utility[1] += strategy[a] * u[1];
  }
  leave(node, at, reach, actionUtility, utility);
}

uint32_t NolimitCFR::expand(uint32_t node, const double reach[2]) {
  const NolimitTree::Decision& d = tree_.decision(node);
  const uint32_t index = static_cast<uint32_t>(tops_.size());
  tops_.emplace_back();
  Top top{};
  top.node = node;
  top.reach[0] = reach[0];
  top.reach[1] = reach[1];
  top.at = enter(node, reach, top.strategy);
  for (int a = 0; a < d.numActions; ++a) {
    const uint32_t c = tree_.child(node, a);
    double childReach[2] = {reach[0], reach[1]};
    childReach[d.seat] *= top.strategy[a];
    if (c & NolimitTree::TERMINAL) {
      top.child[a] = c;
    } else if (subtreeEnd_[c] - c > splitDecisions_ && (childReach[0] != 0.0 || childReach[1] != 0.0)) {
      top.child[a] = expand(c, childReach);
    } else {
      top.child[a] = TASK | static_cast<uint32_t>(tasks_.size());
      tasks_.push_back(Task{c, {childReach[0], childReach[1]}, {0.0, 0.0}});
    }
  }
  tops_[index] = top;
  return index;
}

void NolimitCFR::parallelWalk(double utility[2]) {
  tops_.clear();
  tasks_.clear();
  const double reach[2] = {1.0, 1.0};
  expand(0, reach);

  // The largest subtrees first, so that no large one is left for the end
  // while the other threads wait.
  taskOrder_.resize(tasks_.size());
  for (uint32_t t = 0; t < taskOrder_.size(); ++t) taskOrder_[t] = t;
  const auto size = [this](uint32_t t) { return subtreeEnd_[tasks_[t].node] - tasks_[t].node; };
  std::stable_sort(taskOrder_.begin(), taskOrder_.end(), [&](uint32_t a, uint32_t b) { return size(a) > size(b); });
  std::atomic<size_t> next{0};
  pool_->run([&](unsigned) {
    for (size_t t; (t = next.fetch_add(1)) < tasks_.size();) {
      Task& task = tasks_[taskOrder_[t]];
      walk(task.node, task.reach, task.utility);
    }
  });

  // Children come after their parents in tops_: fold back up in reverse,
  // with the recursion's arithmetic in its order.
  for (size_t i = tops_.size(); i-- > 0;) {
    Top& top = tops_[i];
    const NolimitTree::Decision& d = tree_.decision(top.node);
    double actionUtility[NolimitTree::MAX_ACTIONS];
    top.utility[0] = top.utility[1] = 0.0;
    for (int a = 0; a < d.numActions; ++a) {
      const uint32_t c = top.child[a];
      const double* u;
      if (c & NolimitTree::TERMINAL) {
        const NolimitTree::Terminal& t = tree_.terminal(c & ~NolimitTree::TERMINAL);
        u = t.payoff[deal_.order[t.round]];
      } else {
        u = (c & TASK) ? tasks_[c & ~TASK].utility : tops_[c].utility;
      }
      actionUtility[a] = u[d.seat];
      top.utility[0] += top.strategy[a] * u[0];
      top.utility[1] += top.strategy[a] * u[1];
    }
    leave(top.node, top.at, top.reach, actionUtility, top.utility);
  }
  utility[0] = tops_[0].utility[0];
  utility[1] = tops_[0].utility[1];
}

void NolimitCFR::iterate(const Deal& deal, double utility[2]) {
  ++iterations_;
  weight_ = weighting_ == Weighting::linear ? static_cast<double>(iterations_) : 1.0;
  deal_ = deal;
  if (pool_) {
    parallelWalk(utility);
  } else {
    const double reach[2] = {1.0, 1.0};
    walk(0, reach, utility);
  }
  if (weighting_ == Weighting::discounted && iterations_ % discountBlock_ == 0)
    discount(iterations_ / discountBlock_);
}

void NolimitCFR::discount(uint64_t block) {
  const Discounting::Factors f = DCFR_DISCOUNTING.after(block);
  for (double& r : regrets_) r *= r > 0.0 ? f.positive : f.negative;
  for (double& s : sums_) s *= f.strategy;
}

void NolimitCFR::train(uint64_t iterations, const Dealer& dealer, bool progress) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const uint64_t step = iterations >= 100 ? iterations / 100 : 1;
  Deal deal{};
  double utility[2];
  for (uint64_t i = 0; i < iterations; ++i) {
    if (progress && i > 0 && i % step == 0) {
      const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
      const double left = elapsed / static_cast<double>(i) * static_cast<double>(iterations - i);
      std::cout << "CFR progress: " << i * 100 / iterations << "% (elapsed time: " << elapsed / 60.0
                << " mins, expected time left: " << left / 60.0 << " mins)" << std::endl;
    }
    dealer(&deal);
    iterate(deal, utility);
  }
}

void NolimitCFR::probabilities(uint32_t d, uint32_t bucket, double* out) const {
  const int n = tree_.decision(d).numActions;
  const double* sum = &sums_[index(d, bucket)];
  double total = 0.0;
  for (int a = 0; a < n; ++a) total += sum[a];
  for (int a = 0; a < n; ++a) out[a] = total > 0.0 ? sum[a] / total : 1.0 / n;
}

uint64_t NolimitCFR::fileBytes() const {
  return sizeof(FileHeader) + 2 * static_cast<uint64_t>(regrets_.size()) * sizeof(double);
}

bool NolimitCFR::save(const std::string& path) const {
  if (!enoughFreeSpace(path, fileBytes())) return false;
  FileHeader header{};
  std::memcpy(header.magic, MAGIC, sizeof MAGIC);
  header.version = VERSION;
  header.decisions = static_cast<uint32_t>(tree_.numDecisions());
  header.actions = tree_.numActions();
  header.treeHash = treeHash(tree_);
  std::memcpy(header.buckets, buckets_, sizeof buckets_);
  header.weighting = static_cast<uint32_t>(weighting_);
  header.discountBlock = static_cast<uint32_t>(discountBlock_);
  header.iterations = iterations_;

  const std::string tmp = path + ".tmp";
  bool ok;
  {
    File file(std::fopen(tmp.c_str(), "wb"));
    if (!file) return false;
    ok = std::fwrite(&header, sizeof header, 1, file.get()) == 1 &&
         std::fwrite(regrets_.data(), sizeof(double), regrets_.size(), file.get()) == regrets_.size() &&
         std::fwrite(sums_.data(), sizeof(double), sums_.size(), file.get()) == sums_.size();
    ok = std::fclose(file.release()) == 0 && ok;
  }
  if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

std::string NolimitCFR::load(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return "it is not a regular file";
  const uint64_t size = std::filesystem::file_size(path, error);
  if (error) return "its size cannot be read";
  File file(std::fopen(path.c_str(), "rb"));
  FileHeader header{};
  if (!file || std::fread(&header, sizeof header, 1, file.get()) != 1 ||
      std::memcmp(header.magic, MAGIC, sizeof MAGIC) != 0)
    return "it is not a no-limit strategy file";
  if (header.version != VERSION) return "its format version " + std::to_string(header.version) + " is not " + std::to_string(VERSION);
  if (header.decisions != tree_.numDecisions() || header.actions != tree_.numActions() ||
      header.treeHash != treeHash(tree_))
    return "it was trained on another betting tree (" + std::to_string(header.decisions) + " decisions, " +
           std::to_string(header.actions) + " actions; this game has " + std::to_string(tree_.numDecisions()) +
           " and " + std::to_string(tree_.numActions()) + ")";
  if (std::memcmp(header.buckets, buckets_, sizeof buckets_) != 0)
    return "its buckets per round (" + std::to_string(header.buckets[0]) + "/" + std::to_string(header.buckets[1]) +
           "/" + std::to_string(header.buckets[2]) + "/" + std::to_string(header.buckets[3]) +
           ") are not this abstraction's";
  if (header.weighting > static_cast<uint32_t>(Weighting::discounted) ||
      (header.weighting == static_cast<uint32_t>(Weighting::discounted)) != (header.discountBlock != 0))
    return "its weighting is unknown";
  if (size != fileBytes())
    return "it holds " + std::to_string(size) + " bytes where " + std::to_string(fileBytes()) + " are expected";

  std::vector<double> regrets(regrets_.size());
  std::vector<double> sums(sums_.size());
  if (std::fread(regrets.data(), sizeof(double), regrets.size(), file.get()) != regrets.size() ||
      std::fread(sums.data(), sizeof(double), sums.size(), file.get()) != sums.size())
    return "it cannot be read to the end";
  for (size_t i = 0; i < sums.size(); ++i)
    if (!std::isfinite(regrets[i]) || !std::isfinite(sums[i]) || sums[i] < 0.0)
      return "it holds a damaged sum (entry " + std::to_string(i) + ")";
  regrets_ = std::move(regrets);
  sums_ = std::move(sums);
  weighting_ = static_cast<Weighting>(header.weighting);
  discountBlock_ = header.discountBlock;
  iterations_ = header.iterations;
  return "";
}
