// What counterfactual regret minimisation keeps for one information set:
// cumulative regret and cumulative reach-weighted strategy for the three
// abstract actions fold (0), call/check (1) and raise/bet (2).
//
// Regret matching (Hart and Mas-Colell, 2000) turns the positive regrets into
// the current strategy; the normalised strategy sum is the average strategy,
// which is what converges to an equilibrium (Zinkevich et al., "Regret
// Minimization in Games with Incomplete Information", 2007).
//
// A node is a plain record of the six sums, so that the information-set
// store can hold millions of them in one contiguous array.
//
// An action that is excluded at this information set carries a quiet NaN in
// its regret slot. The mark is stored with the node in strategy files, so it
// survives saving and loading.
#ifndef MORVANE_CFRNODE_H
#define MORVANE_CFRNODE_H

#include <iosfwd>
#include <limits>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

constexpr int NUM_ABSTRACT_ACTIONS = 3;

// The arithmetic of regret matching and of the regret update, one definition
// for every pass (the reference recursion, the cluster-tree pass and the flat
// pass), so that all of them produce the same bits.
//
// r > 0 ? r : 0 and total > 0 ? share / total : uniform, without a branch
// where the instruction set allows (MAXSD returns its second operand unless
// the first is greater): the signs of regrets are what a branch predictor
// cannot learn.
#ifdef __SSE2__
inline double positiveRegret(double r) {
  return _mm_cvtsd_f64(_mm_max_sd(_mm_set_sd(r), _mm_setzero_pd()));
}
inline double shareOrUniform(double share, double total, double uniform) {
  const __m128d positive = _mm_cmpgt_sd(_mm_set_sd(total), _mm_setzero_pd());
  const __m128d divided = _mm_div_sd(_mm_set_sd(share), _mm_set_sd(total));
  return _mm_cvtsd_f64(
      _mm_or_pd(_mm_and_pd(positive, divided), _mm_andnot_pd(positive, _mm_set_sd(uniform))));
}
#else
inline double positiveRegret(double r) { return r > 0.0 ? r : 0.0; }
inline double shareOrUniform(double share, double total, double uniform) {
  return total > 0.0 ? share / total : uniform;
}
#endif

// The regret of one action after a pass: the counterfactual reach weight
// times how much better the action did than the node.
inline void addRegret(double& regret, double weight, double actionUtility, double nodeUtility) {
  regret += weight * (actionUtility - nodeUtility);
}

// Display names of the abstract actions, indexed like the node's slots.
extern const char* const abstractedActionNames[NUM_ABSTRACT_ACTIONS];

class CFRNode {
 public:
  double regretSum[NUM_ABSTRACT_ACTIONS];
  double strategySum[NUM_ABSTRACT_ACTIONS];

  // Leaves the sums unset: the caller is about to fill them.
  CFRNode() = default;
  explicit CFRNode(const bool valid[NUM_ABSTRACT_ACTIONS]) { initialize(valid); }

  void initialize(const bool valid[NUM_ABSTRACT_ACTIONS]);

  // NaN is the only value that differs from itself.
  bool isActionValid(int a) const { return regretSum[a] == regretSum[a]; }
  void setActionInvalid(int a) { regretSum[a] = std::numeric_limits<double>::quiet_NaN(); }
  int getNumValidActions() const;

  // The valid action indices, ascending; returns how many.
  int validActions(int valid[NUM_ABSTRACT_ACTIONS]) const {
    int n = 0;
    for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a)
      if (isActionValid(a)) valid[n++] = a;
    return n;
  }

  // Current strategy by regret matching; also adds it, times `weight`, to the
  // strategy sum. Kept inline: it is the innermost step of every CFR pass.
  void getStrategy(double weight, double strategy[NUM_ABSTRACT_ACTIONS]) {
    int valid[NUM_ABSTRACT_ACTIONS];
    const int n = validActions(valid);
    getStrategy(weight, strategy, valid, n);
  }
  // The same for a caller that already has the valid actions.
  void getStrategy(double weight, double strategy[NUM_ABSTRACT_ACTIONS], const int* valid, int n) {
    double total = 0.0;
    for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a) strategy[a] = 0.0;
    for (int i = 0; i < n; ++i) {
      const int a = valid[i];
      strategy[a] = positiveRegret(regretSum[a]);
      total += strategy[a];
    }
    if (total > 0.0) {
      for (int i = 0; i < n; ++i) {
        const int a = valid[i];
        strategy[a] /= total;
        strategySum[a] += strategy[a] * weight;
      }
    } else {
      const double p = 1.0 / n;
      for (int i = 0; i < n; ++i) {
        const int a = valid[i];
        strategy[a] = p;
        strategySum[a] += p * weight;
      }
    }
  }

  // Normalised strategy sum; uniform over the valid actions while it is zero.
  void getAverageStrategy(double strategy[NUM_ABSTRACT_ACTIONS]) const;

  // Draws an action index from the average strategy (call when rounding
  // leaves the cumulative sum short of the draw).
  int getRandomActionIndex() const;
};

static_assert(sizeof(CFRNode) == 6 * sizeof(double));

// "( name: probability ... )" over the valid actions, average strategy.
std::ostream& operator<<(std::ostream& out, const CFRNode& node);

#endif
