// Discounted CFR (Brown and Sandholm, "Solving Imperfect-Information Games
// via Discounted Regret Minimization", 2019), applied by blocks of deals:
// after block k every positive regret is multiplied by k^alpha / (k^alpha +
// 1), every negative one by k^beta / (k^beta + 1) and every strategy sum by
// (k / (k + 1))^gamma, so that the noisy early deals fade from the regrets
// and from the average. Both hold'em solvers use it.
#ifndef MORVANE_DISCOUNTING_H
#define MORVANE_DISCOUNTING_H

#include <cmath>
#include <cstdint>

struct Discounting {
  double alpha, beta, gamma;

  struct Factors {
    double positive, negative, strategy;
  };
  // The multipliers after block k (k >= 1). Powers of 1 are exact, so
  // linear weighting multiplies by k / (k + 1).
  Factors after(uint64_t block) const {
    const double k = static_cast<double>(block);
    const auto fade = [k](double power) {
      const double t = std::pow(k, power);
      return t / (t + 1.0);
    };
    return {fade(alpha), fade(beta), std::pow(k / (k + 1.0), gamma)};
  }
};

// Linear CFR: block k's contributions end up weighted by k.
constexpr Discounting LINEAR_DISCOUNTING{1.0, 1.0, 1.0};
// The paper's recommended discounting: positive regrets fade more slowly
// than linearly, negative ones are halved each block (so an action that
// turns good again comes back quickly), and the average weights block k by
// k squared.
constexpr Discounting DCFR_DISCOUNTING{1.5, 0.0, 2.0};

#endif
