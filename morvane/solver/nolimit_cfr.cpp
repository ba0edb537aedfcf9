#include "solver/nolimit_cfr.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <stdexcept>

#include "common/util.h"
#include "solver/CFRNode.h"
#include "solver/discounting.h"

namespace {

constexpr char MAGIC[8] = {'M', 'V', 'N', 'L', 'C', 'F', 'R', '\n'};
constexpr uint32_t VERSION = 1;

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
  const int n = d.numActions;
  const size_t at = offset_[node] + static_cast<size_t>(deal_.bucket[seat][d.round]) * n;
  double* regret = &regrets_[at];
  double* sum = &sums_[at];

  double strategy[NolimitTree::MAX_ACTIONS];
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

  const uint32_t* child = tree_.children() + d.firstAction;
  double actionUtility[NolimitTree::MAX_ACTIONS];
  for (int a = 0; a < n; ++a) {
    double childReach[2] = {reach[0], reach[1]};
    childReach[seat] *= strategy[a];
    double u[2];
    walk(child[a], childReach, u);
    actionUtility[a] = u[seat];
    utility[0] += strategy[a] * u[0];
    utility[1] += strategy[a] * u[1];
  }
  const double counterfactual = reach[1 - seat] * weight_;
  for (int a = 0; a < n; ++a) addRegret(regret[a], counterfactual, actionUtility[a], utility[seat]);
}

void NolimitCFR::iterate(const Deal& deal, double utility[2]) {
  ++iterations_;
  weight_ = weighting_ == Weighting::linear ? static_cast<double>(iterations_) : 1.0;
  deal_ = deal;
  const double reach[2] = {1.0, 1.0};
  walk(0, reach, utility);
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
