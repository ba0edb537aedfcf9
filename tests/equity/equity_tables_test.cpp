// Generation of the pre-flop equity tables in full, and what it prints.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "abstraction/EquityTables.h"
#include "lookup_dir.h"

namespace {

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(PreflopGeneration, AcesLeadBothTablesAndTheFilesReloadIdentically) {
  REQUIRE_STATE_TABLE(T);
  LookupDir dir(true);
  EquityTables tables;
  tables.setThreads(2);
  global_urng().seed(20261208);
  ::testing::internal::CaptureStdout();
  tables.generateRound(0, T);
  const std::vector<std::string> lines = linesOf(::testing::internal::GetCapturedStdout());

  // Header, 17 progress lines (indices 0, 10, ..., 160) with one speed line
  // among them, then the closing lines.
  ASSERT_EQ(lines.size(), 1u + 17 + 1 + 3);
  EXPECT_EQ(lines[0], "Indexing pre-flop hands...");
  std::vector<std::string> progress;
  int rateLines = 0;
  for (size_t i = 1; i < lines.size() - 3; ++i) {
    if (lines[i].find("classes per second with 2 threads") != std::string::npos)
      ++rateLines;
    else
      progress.push_back(lines[i]);
  }
  EXPECT_EQ(rateLines, 1);
  ASSERT_EQ(progress.size(), 17u);
  EXPECT_EQ(progress[0], "0% done");
  EXPECT_EQ(progress[1], "5.91716% done");
  EXPECT_EQ(progress[16], "94.6746% done");
  EXPECT_EQ(lines[lines.size() - 3], "100% done!");
  EXPECT_EQ(lines[lines.size() - 2], "Saving tables to files...");
  EXPECT_EQ(lines[lines.size() - 1], "done!");

  const uint8_t aces[2] = {51, 50};
  const uint64_t acesClass = hand_index_last(tables.getIndexer(0), aces);
  const double expected[4] = {0, 0, 0.85, 0.73};
  for (int players = 2; players <= 3; ++players) {
    const double* table = tables.getEquityTable(players, 0);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(std::max_element(table, table + 169) - table, static_cast<long>(acesClass));
    EXPECT_NEAR(table[acesClass], expected[players], 0.04);
    for (int i = 0; i < 169; ++i) {
      ASSERT_GE(table[i], 0.0);
      ASSERT_LE(table[i], 1.0);
    }
    const std::string file = EquityTables::equityFileName(players, 0);
    ASSERT_EQ(fileSize(file), 169 * 8);
    double* saved = loadDoubleTable(file.c_str(), 169);
    EXPECT_TRUE(std::equal(saved, saved + 169, table));
    delete[] saved;
  }
  // The weakest hands still win now and then, two opponents beat them more.
  const double* two = tables.getEquityTable(2, 0);
  const double* three = tables.getEquityTable(3, 0);
  EXPECT_GT(*std::min_element(two, two + 169), 0.2);
  EXPECT_LT(*std::min_element(two, two + 169), 0.4);
  EXPECT_LT(*std::min_element(three, three + 169), 0.25);
}

}  // namespace
