// The generated evaluator tables that the test run shares: POKER_TEST_LOOKUP
// names the directory the tpt_table fixture fills.
#ifndef TESTS_EVALUATOR_LOOKUP_FIXTURE_H
#define TESTS_EVALUATOR_LOOKUP_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "showdown.h"
#include "cards/tpt.h"
#include "common/util.h"

inline std::string testLookupDir() {
  const char* dir = std::getenv("POKER_TEST_LOOKUP");
  return dir ? dir : "";
}

// The state table, loaded once per test program.
inline const int* sharedTable() {
  static std::unique_ptr<int[]> table = [] {
    const std::string path = testLookupDir() + "/tpt";
    if (testLookupDir().empty() || !table_file_ok(path, TPT_SIZE * sizeof(int)))
      return std::unique_ptr<int[]>();
    return std::unique_ptr<int[]>(loadIntTable(path.c_str(), TPT_SIZE));
  }();
  return table.get();
}

#define REQUIRE_TABLE()                                                              \
  do {                                                                               \
    if (!sharedTable()) FAIL() << "no valid table in POKER_TEST_LOOKUP='" << testLookupDir() << "'"; \
  } while (0)

inline uint64_t cardSet(const uint8_t* cards, int n) {
  uint64_t set = 0;
  for (int i = 0; i < n; ++i) set |= gamecore::cardBit(cards[i]);
  return set;
}

// Collects pairs (our value, the engine's showdown value) of the same hands and
// checks that one orders hands exactly as the other: a strictly increasing map
// from the values that occur to the engine's values.
class OrderAgreement {
 public:
  OrderAgreement() : theirsOf_(TPT_INDEXES_SIZE, -1) {}
  void add(int ours, int theirs) {
    if (ours <= 0 || static_cast<size_t>(ours) >= theirsOf_.size()) {
      if (failures_++ < 5) ADD_FAILURE() << "value " << ours << " out of range";
      return;
    }
    int& slot = theirsOf_[ours];
    if (slot == theirs) return;
    if (slot < 0)
      slot = theirs;
    else if (failures_++ < 5)
      ADD_FAILURE() << "value " << ours << " maps to engine values " << slot << " and " << theirs;
  }
  void check() const {
    EXPECT_EQ(failures_, 0);
    int previous = -1;
    for (size_t ours = 0; ours < theirsOf_.size(); ++ours) {
      if (theirsOf_[ours] < 0) continue;
      EXPECT_GT(theirsOf_[ours], previous) << "engine order breaks at our value " << ours;
      previous = theirsOf_[ours];
    }
  }
  int distinct() const {
    int n = 0;
    for (int v : theirsOf_) n += v >= 0;
    return n;
  }

 private:
  std::vector<int> theirsOf_;
  int failures_ = 0;
};

#endif
