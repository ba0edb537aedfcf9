#include "solver/CFRNode.h"

#include <ostream>

#include "common/util.h"

const char* const abstractedActionNames[NUM_ABSTRACT_ACTIONS] = {"fold", "call", "raise"};

void CFRNode::initialize(const bool valid[NUM_ABSTRACT_ACTIONS]) {
  for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a) {
    regretSum[a] = valid[a] ? 0.0 : std::numeric_limits<double>::quiet_NaN();
    strategySum[a] = 0.0;
  }
}

int CFRNode::getNumValidActions() const {
  int count = 0;
  for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a) count += isActionValid(a) ? 1 : 0;
  return count;
}

void CFRNode::getAverageStrategy(double strategy[NUM_ABSTRACT_ACTIONS]) const {
  double total = 0.0;
  for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a)
    if (isActionValid(a)) total += strategySum[a];
  if (total > 0.0) {
    // An action excluded after it had gathered weight still gets no share.
    for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a)
      strategy[a] = isActionValid(a) ? strategySum[a] / total : 0.0;
  } else {
    const int valid = getNumValidActions();
    for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a)
      strategy[a] = isActionValid(a) ? 1.0 / valid : 0.0;
  }
}

int CFRNode::getRandomActionIndex() const {
  double cumulative[NUM_ABSTRACT_ACTIONS];
  getAverageStrategy(cumulative);
  for (int a = 1; a < NUM_ABSTRACT_ACTIONS; ++a) cumulative[a] += cumulative[a - 1];
  const double r = pick_a_number(0.0, 1.0);
  for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a)
    if (cumulative[a] >= r) return a;
  return 1;
}

std::ostream& operator<<(std::ostream& out, const CFRNode& node) {
  double strategy[NUM_ABSTRACT_ACTIONS];
  node.getAverageStrategy(strategy);
  out << "( ";
  for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a)
    if (node.isActionValid(a)) out << abstractedActionNames[a] << ": " << strategy[a] << " ";
  return out << ")";
}
