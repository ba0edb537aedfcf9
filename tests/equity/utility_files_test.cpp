// loadUtility over the full-size files. The utility files start as sparse
// files of the right size (all zero, no disk blocks), so a file that was
// written shows blocks; every load still reads 2.2 GB, hence the "heavy"
// label. The flop is solved on synthetic clusters with few iterations.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "abstraction/EquityTables.h"
#include "tablemaking/street_solver.h"
#include "lookup_dir.h"

namespace {




TEST(UtilityFiles, AllPresentOnlyLoadsAndOneMissingFlopFileSolvesTheFlopAlone) {
  LookupDir dir(false);
  std::filesystem::copy_file(std::string(POKER_GAMES_DIR) + "/kuhn.flop.2p.game",
                             "kuhn.flop.2p.game");
  EquityTables tables;
  tables.setStreetSolver(solveStreetGame);
  for (int round = 0; round < 4; ++round)
    for (int position = 0; position < 2; ++position)
      sparseFile(EquityTables::utilityFileName(round, position),
                 tables.getRoundSize(round) * sizeof(double));

  std::string out = capture([&] { tables.loadUtility(); });
  std::string expected;
  for (int round = 0; round < 4; ++round)
    for (int position = 0; position < 2; ++position)
      expected += "Loading table " + EquityTables::utilityFileName(round, position) + "!\n";
  EXPECT_EQ(out, expected);
  tables.freeUtility();

  const uint64_t n = tables.getRoundSize(1);
  uint8_t* clusters = new uint8_t[n];
  for (uint64_t i = 0; i < n; ++i) clusters[i] = static_cast<uint8_t>(i * 7919 % 101);
  tables.setClusterTable(2, 1, clusters);
  tables.setEquityExtremes(2, 1, 0.1, 0.9);
  tables.setUtilityIterations(50);
  ASSERT_EQ(unlink(EquityTables::utilityFileName(1, 1).c_str()), 0);
  out = capture([&] { tables.loadUtility(); });
  EXPECT_NE(out.find("Loading table lookup/utility_flop_2p_0!\n"
                     "File lookup/utility_flop_2p_1 is missing!\n"
                     "Computing ne for 2 players and round 1\n"
                     "Loading game kuhn.flop.2p.game!\n"),
            std::string::npos)
      << out.substr(0, 400);
  EXPECT_EQ(out.find("Computing ne for 2 players and round 0"), std::string::npos);
  EXPECT_EQ(out.find("Computing ne for 2 players and round 2"), std::string::npos);
  for (int position = 0; position < 2; ++position) {
    const std::string name = EquityTables::utilityFileName(1, position);
    EXPECT_EQ(fileSize(name), static_cast<long long>(n * sizeof(double)));
    EXPECT_FALSE(untouched(name)) << name << " was not rewritten";
    EXPECT_TRUE(untouched(EquityTables::utilityFileName(0, position)));
    EXPECT_TRUE(untouched(EquityTables::utilityFileName(3, position)));
  }
  const double* u = tables.getUtilityTable(1, 1);
  EXPECT_NE(u[n / 2], 0.0);
  tables.freeUtility();
}

}  // namespace
