#include "solver/strategy_check.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "solver/cfr.h"
#include "solver/infoset_store.h"

namespace {

// The key as text a message can carry: a damaged key may hold any byte.
std::string printable(const std::string& key) {
  std::string out;
  for (unsigned char c : key) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

void emptyMaps(CFR& cfr) {
  for (CFR::NodeMap& m : cfr.nodeMaps) m.clear();
  cfr.treeBuilt = false;
}

// What is wrong with `node`, as the rest of a sentence about its information
// set, or "". The node rules have this one home; the sweep over the flat
// store calls it for every record and makes a key only for a fault.
std::string nodeFault(const CFRNode& node, const CFRNode* legal) {
  int valid = 0;
  for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a) {
    const char* name = abstractedActionNames[a];
    if (node.isActionValid(a)) {
      ++valid;
      if (!std::isfinite(node.regretSum[a])) return std::string(" has an infinite ") + name + " regret";
      if (legal && !legal->isActionValid(a))
        return std::string(" allows ") + name + ", which is not legal there";
    }
    const double s = node.strategySum[a];
    if (!std::isfinite(s)) return std::string(" has a ") + name + " strategy sum that is not finite";
    if (s < 0.0) return std::string(" has a negative ") + name + " strategy sum";
    if (s > MAX_STRATEGY_SUM)
      return std::string(" has a ") + name + " strategy sum larger than any training gives";
  }
  if (valid == 0) return " has no valid action";
  return "";
}

}  // namespace

void buildFullTree(CFR& tree) {
  State state;
  initState(tree.getGame(), 0, &state);
  tree.forEachDeal([&](const uint8_t* cards) {
    tree.setDealtCards(cards, &state);
    tree.createAbstractedGameTree(&state);
  });
}

std::string nodeProblem(const std::string& key, const CFRNode& node, const CFRNode* legal) {
  const std::string fault = nodeFault(node, legal);
  return fault.empty() ? fault : "information set " + printable(key) + fault;
}

std::string sumsProblem(const CFR& cfr) {
  if (const InfoSetStore* store = cfr.flatStore()) {
    // Records in file order: map, bucket position, decision.
    const CFRNode* node = store->nodes();
    const int buckets = static_cast<int>(store->buckets().size());
    for (int m = 0; m < store->numMaps(); ++m)
      for (int k = 0; k < buckets; ++k)
        for (size_t j = 0; j < store->mapDecisions(m); ++j, ++node) {
          std::string fault = nodeFault(*node, nullptr);
          if (fault.empty()) continue;
          char key[256];
          const int length = store->key(m, k, j, key, sizeof key);
          const size_t kept = std::min(static_cast<size_t>(length), sizeof key);
          return "information set " + printable(std::string(key, kept)) + fault;
        }
    return "";
  }
  std::string problem;
  cfr.forEachInformationSet([&](const std::string& key, const CFRNode& node) {
    if (problem.empty()) problem = nodeProblem(key, node, nullptr);
  });
  return problem;
}

std::string strategyProblem(const CFR& loaded, const CFR& tree) {
  // Either solver may hold its information sets in the flat store or in the
  // maps; both list them map by map in key order.
  using Entry = std::pair<std::string, const CFRNode*>;
  auto listOf = [](const CFR& cfr) {
    std::vector<Entry> entries;
    const_cast<CFR&>(cfr).forEachInformationSet(
        [&](const std::string& key, const CFRNode& node) { entries.emplace_back(key, &node); });
    return entries;
  };
  const std::vector<Entry> got = listOf(loaded);
  const std::vector<Entry> want = listOf(tree);
  auto g = got.begin();
  auto w = want.begin();
  for (; g != got.end() && w != want.end(); ++g, ++w) {
    if (g->first != w->first) {
      // The smaller key is the one the other list lacks.
      if (g->first < w->first)
        return "information set " + printable(g->first) + " is not in the game's tree";
      return "information set " + printable(w->first) + " of the game's tree is missing";
    }
    const std::string problem = nodeProblem(g->first, *g->second, w->second);
    if (!problem.empty()) return problem;
  }
  if (g != got.end()) return "information set " + printable(g->first) + " is not in the game's tree";
  if (w != want.end())
    return "information set " + printable(w->first) + " of the game's tree is missing";
  return "";
}

std::string strategyFileProblem(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return "it does not exist";
  if (!S_ISREG(st.st_mode)) return "it is not a regular file";
  return "";
}

std::string loadCheckedStrategy(CFR& cfr, const std::string& path, const CFR& tree) {
  if (std::string problem = strategyFileProblem(path); !problem.empty()) return problem;
  // Checked in a solver of its own first: a refused file must leave `cfr`
  // empty, and a solver whose flat store was filled cannot be emptied. The
  // keyed maps hold the file as written (the store would put back the
  // rules' exclusions).
  {
    CFR candidate(cfr.getGame());
    candidate.setUseFlatStore(false);
    if (!candidate.load(path)) return "it is cut short or malformed";
    const std::string problem = strategyProblem(candidate, tree);
    if (!problem.empty()) return problem;
  }
  if (!cfr.load(path)) {
    emptyMaps(cfr);
    return "it is cut short or malformed";
  }
  return strategyProblem(cfr, tree);
}

std::string loadCheckedHoldemStrategy(CFR& cfr, const std::string& path, bool wholeGame) {
  if (std::string problem = strategyFileProblem(path); !problem.empty()) return problem;
  // A file of other keys (a strategy of another game, of part of this one
  // or of other bucket counts) goes into the maps unless the whole game is
  // asked for.
  const char* const otherTree = "its information sets are not those of the game's tree";
  bool otherKeys = false;
  if (!cfr.load(path, wholeGame ? &otherKeys : nullptr))
    return otherKeys ? otherTree : "it is cut short or malformed";
  if (wholeGame && !cfr.usesFlatStore()) return otherTree;
  return sumsProblem(cfr);
}
