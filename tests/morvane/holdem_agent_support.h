// Helpers for the hold'em agent's tests: a working directory with the three
// hold'em game files, full-size bucket tables that are sparse (all zero, no
// disk blocks, so every hand is in bucket 0 until a test writes another
// bucket into the loaded table) and small strategies built from the betting
// tree alone.
#ifndef TESTS_MORVANE_HOLDEM_AGENT_SUPPORT_H
#define TESTS_MORVANE_HOLDEM_AGENT_SUPPORT_H

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "abstraction/EquityTables.h"
#include "solver/cfr.h"
#include "support.h"
#include "common/util.h"

const char* const kHoldemGames[] = {"holdem.limit.2p.reverse_blinds.game", "holdem.limit.3p.game",
                                    "holdem.nolimit.2p.reverse_blinds.game"};

inline std::string holdemGamePath(const std::string& name) {
  return std::string(POKER_GAMES_DIR) + "/" + name;
}

inline bool sparseFile(const std::string& path, uint64_t bytes) {
  const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  if (fd < 0) return false;
  const bool ok = ftruncate(fd, static_cast<off_t>(bytes)) == 0;
  close(fd);
  return ok;
}

// Fills dir with the game files, "strategies/" and a "lookup/" directory
// holding every hold'em bucket table and the equity tables of the rounds
// before the river at their full sizes (which is all the agent reads; the
// no-limit agent's price rule then reads every chance as 0), and the
// evaluator state table of the test build when POKER_TEST_LOOKUP names it.
inline bool makeHoldemWorkDir(const std::string& dir) {
  namespace fs = std::filesystem;
  for (const char* name : kHoldemGames) fs::copy_file(holdemGamePath(name), dir + "/" + name);
  fs::create_directory(dir + "/strategies");
  fs::create_directory(dir + "/lookup");
  if (const char* lookup = std::getenv("POKER_TEST_LOOKUP"))
    fs::create_symlink(std::string(lookup) + "/tpt", dir + "/lookup/tpt");
  const uint64_t sizes[4] = {169, 1286792, 13960050, 123156254};
  bool ok = true;
  for (int players = 2; players <= 3; ++players)
    for (int round = 0; round < 4; ++round)
      for (int position = 0; position < players; ++position)
        ok = ok && sparseFile(dir + "/" + EquityTables::holdemFileName(players, round, position),
                              sizes[round]);
  for (int players = 2; players <= 3; ++players)
    for (int round = 0; round < 3; ++round)
      ok = ok && sparseFile(dir + "/" + EquityTables::equityFileName(players, round),
                            sizes[round] * sizeof(double));
  return ok;
}

// A strategy over the betting below each state read from `states` (full
// match-state texts; none: the whole game) for buckets 0 .. 9, with zero
// sums, saved to `path`. A key holds only its own round's bucket, so ten
// builds with one bucket in every round give every key.
inline bool saveHoldemStrategy(const std::string& gameFile, const std::string& path,
                               const std::vector<std::string>& states = {}) {
  GamePtr game = readGameFile(gameFile);
  if (!game) return false;
  CFR solver(game.get());
  solver.useCardAbstraction = true;
  solver.useHoldemTables = true;
  std::vector<State> starts;
  for (const std::string& text : states) {
    MatchState ms;
    if (readMatchState(text.c_str(), game.get(), &ms) < 0) return false;
    starts.push_back(ms.state);
  }
  if (starts.empty()) {
    starts.emplace_back();
    initState(game.get(), 0, &starts.back());
  }
  for (uint64_t b = 0; b < 10; ++b) {
    for (auto& round : solver.holdemBucket)
      for (auto& players : round)
        for (uint64_t& seat : players) seat = b;
    for (const State& start : starts) solver.createAbstractedGameTree(&start);
  }
  makeParentDirectories(path);
  return solver.save(path);
}

// A fixture whose tests run in one hold'em working directory (made once for
// the suite by makeHoldemWorkDir), each with an empty "strategies/".
class HoldemWorkDirTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    ASSERT_TRUE(makeHoldemWorkDir(dir_->path()));
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_->path());
    std::filesystem::remove_all("strategies");
    std::filesystem::create_directory("strategies");
  }
  void TearDown() override { std::filesystem::current_path(previous_); }

  static inline TempDir* dir_ = nullptr;
  std::filesystem::path previous_;
};

#endif
