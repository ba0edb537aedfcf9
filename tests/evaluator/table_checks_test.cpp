// Content checks of the lookup files: the generated tables pass; damaged
// entries of the right file size are caught; a damaged conversion table is
// made again on load.
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <vector>

#include "hands.h"
#include "lookup_fixture.h"
#include "cards/qel.h"
#include "scratch_dir.h"
#include "cards/table_checks.h"
#include "cards/tpt_generator.h"

namespace {

// A private copy of the shared state table, damaged by `damage`.
std::string problemAfter(void (*damage)(int* table)) {
  std::unique_ptr<int[]> copy(new int[TPT_SIZE]);
  std::memcpy(copy.get(), sharedTable(), TPT_SIZE * sizeof(int));
  damage(copy.get());
  return stateTableProblem(copy.get());
}

}  // namespace

TEST(TableChecks, StateTablePassesAndDamageIsCaught) {
  REQUIRE_TABLE();
  EXPECT_EQ(stateTableProblem(sharedTable()), "");
  // The first card's step leads outside the table.
  EXPECT_NE(problemAfter([](int* t) { t[TPT_ROOT + 1] = TPT_SIZE - 10; })
                .find("a transition outside the table"),
            std::string::npos);
  EXPECT_NE(problemAfter([](int* t) { t[TPT_ROOT + 52] = -53; }).find("outside the table"),
            std::string::npos);
  // A seven-card value that is no hand value.
  EXPECT_NE(problemAfter([](int* t) {
              const std::vector<uint8_t> cards = hand("AsKsQsJsTs2c");
              t[tptWalk(t, TPT_ROOT, cards.data(), 6) + hand("3d")[0] + 1] = 10 << 12;
            }).find("a hand value out of range"),
            std::string::npos);
  // Zeroed rows: every walk through them ends in no hand.
  EXPECT_NE(problemAfter([](int* t) { std::memset(t + 5000000, 0, 20000000 * sizeof(int)); })
                .find("walks to no hand value"),
            std::string::npos);
  // Valid values in reverse order among the high cards. The generated
  // table keeps its six-card states last, from block 260,535 on, where every
  // entry is a value.
  EXPECT_NE(problemAfter([](int* t) {
              for (size_t i = 260535 * 53; i < TPT_SIZE; ++i)
                if (tptCategory(t[i]) == HIGH_CARD)
                  t[i] = (HIGH_CARD << 12) | (1278 - (t[i] & 4095));
            }).find("cards rank differently from the showdown"),
            std::string::npos);
}

TEST(TableChecks, ConversionTableMustMapValuesToClassesInOrder) {
  std::unique_ptr<int[]> indexes = generateTptIndexes();
  EXPECT_EQ(stateTableIndexesProblem(indexes.get()), "");
  // The royal flush's class made that of the worst high card.
  indexes[36874] = 1;
  EXPECT_NE(stateTableIndexesProblem(indexes.get()).find("a class rank out of order at entry 36874"),
            std::string::npos);
  std::fill(indexes.get(), indexes.get() + TPT_INDEXES_SIZE, 7);
  EXPECT_NE(stateTableIndexesProblem(indexes.get()), "");
}

TEST(TableChecks, EntriesOutsideTheirRangesAreCaught) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<double> equities = {0.0, 0.5, 1.0};
  EXPECT_EQ(equityTableProblem(equities.data(), 3), "");
  EXPECT_EQ(utilityTableProblem(equities.data(), 3), "");
  for (double bad : {nan, -0.01, 1.01, inf}) {
    const std::vector<double> t = {0.2, bad};
    EXPECT_EQ(equityTableProblem(t.data(), 2), "an equity outside [0, 1] at entry 1") << bad;
  }
  const std::vector<double> utilities = {-3.5, 12.0};
  EXPECT_EQ(utilityTableProblem(utilities.data(), 2), "");
  for (double bad : {nan, inf, -inf}) {
    const std::vector<double> t = {bad};
    EXPECT_EQ(utilityTableProblem(t.data(), 1), "a utility that is not finite at entry 0");
  }
  const std::vector<uint8_t> clusters = {0, 100, 101};
  EXPECT_EQ(clusterTableProblem(clusters.data(), 2), "");
  EXPECT_EQ(clusterTableProblem(clusters.data(), 3), "a cluster above 100 at entry 2");
  const std::vector<uint8_t> buckets = {0, 9, 10};
  EXPECT_EQ(bucketTableProblem(buckets.data(), 2), "");
  EXPECT_EQ(bucketTableProblem(buckets.data(), 3), "a bucket above 9 at entry 2");
}

class DamagedConversionTable : public ScratchDirTest {};

TEST_F(DamagedConversionTable, IsMadeAgainWhenTheTablesLoad) {
  REQUIRE_TABLE();
  std::filesystem::create_symlink(testLookupDir() + "/tpt", "lookup/tpt");
  // Same size, every hand the same class.
  std::vector<int> flat(TPT_INDEXES_SIZE, 1);
  saveIntTable("lookup/tpt.indexes", flat.data(), flat.size());
  const std::string out = capturedOutput(loadLookupTables);
  EXPECT_NE(out.find("Warning: lookup/tpt.indexes is damaged (a class rank out of order"),
            std::string::npos)
      << out;
  EXPECT_EQ(rankHand7C(hand("AsKsQsJsTs2c3d").data()), 7462);
  EXPECT_LT(rankHand7C(hand("2c3d4h6s8c9dJh").data()), rankHand7C(hand("2c2d4h6s8c9dJh").data()));
  freeLookupTables();
}
