#include "agents/raise_reads.h"

#include <algorithm>

double holdingRank(const std::vector<Holding>& holdings, double strength) {
  if (holdings.empty()) return 0.5;
  // Strongest first: the stronger ones are a prefix, the equal ones follow.
  const auto stronger = std::partition_point(
      holdings.begin(), holdings.end(), [&](const Holding& h) { return h.strength > strength; });
  const auto equal = std::partition_point(
      stronger, holdings.end(), [&](const Holding& h) { return h.strength >= strength; });
  const double above = double(stronger - holdings.begin());
  return (above + 0.5 * double(equal - stronger)) / double(holdings.size());
}

void RaiseReads::read(double rank) {
  mean_ += (rank - mean_) / SPAN;
  ++count_;
}

double RaiseReads::share() const { return std::min(1.0, 2.0 * mean_); }
