// Strategy files: exact layout, bit-identical round trips, and refusal of
// damaged files without half-loaded state.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>

#include "solver/cfr.h"
#include "support.h"
#include "common/util.h"

namespace {

std::string u32(uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }

// One 108-byte record.
std::string record(const std::string& key, double value) {
  std::string r(108, '\0');
  std::memcpy(r.data(), key.data(), key.size());
  const double sums[6] = {value, value, value, 0, 0, 0};
  std::memcpy(r.data() + 60, sums, sizeof(sums));
  return r;
}

class StrategyFile : public ::testing::Test {
 protected:
  void SetUp() override {
    game = kuhnGame();
    ASSERT_TRUE(game);
  }
  // A solver trained briefly, so every sum is distinct and some are NaN.
  std::unique_ptr<CFR> trained() {
    auto cfr = std::make_unique<CFR>(game.get());
    testing::internal::CaptureStdout();
    cfr->train(2000);
    testing::internal::GetCapturedStdout();
    return cfr;
  }
  GamePtr game;
  TempDir dir;
};

}  // namespace

TEST_F(StrategyFile, EmptySolverSavesOnlyZeroCounts) {
  CFR cfr(game.get());
  ASSERT_TRUE(cfr.save(dir.file("empty")));
  EXPECT_EQ(readBytes(dir.file("empty")), std::string(3 * 1 * 4, '\0'));
  struct stat st;
  ASSERT_EQ(stat(dir.file("empty").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_NE(stat(dir.file("empty.tmp").c_str(), &st), 0);  // renamed into place

  CFR loaded(game.get());
  EXPECT_TRUE(loaded.load(dir.file("empty")));
  EXPECT_TRUE(loaded.treeBuilt);
  EXPECT_EQ(loaded.numInformationSets(), 0u);
}

TEST_F(StrategyFile, RoundTripIsBitIdenticalAndKeepsExcludedActions) {
  auto cfr = trained();
  ASSERT_TRUE(cfr->save(dir.file("s")));
  const std::string bytes = readBytes(dir.file("s"));
  EXPECT_EQ(bytes.size(), 3 * 4 + 48 * 108u);

  CFR loaded(game.get());
  ASSERT_TRUE(loaded.load(dir.file("s")));
  size_t nan = 0;
  const auto saved = informationSets(*cfr);
  const auto read = informationSets(loaded);
  ASSERT_EQ(saved.size(), read.size());
  for (size_t i = 0; i < saved.size(); ++i) {
    const auto& [key, node] = saved[i];
    const CFRNode& other = read[i].second;
    ASSERT_EQ(key, read[i].first);
    EXPECT_EQ(std::memcmp(node.regretSum, other.regretSum, 24), 0) << key;
    EXPECT_EQ(std::memcmp(node.strategySum, other.strategySum, 24), 0) << key;
    for (int a = 0; a < 3; ++a) {
      EXPECT_EQ(node.isActionValid(a), other.isActionValid(a));
      nan += node.isActionValid(a) ? 0 : 1;
    }
  }
  EXPECT_GT(nan, 0u);
  // Saving the loaded solver gives the same bytes.
  ASSERT_TRUE(loaded.save(dir.file("again")));
  EXPECT_EQ(readBytes(dir.file("again")), bytes);

  // The text dump: one line per node, in seat and key order.
  std::ostringstream text;
  text << loaded;
  EXPECT_EQ(text.str().rfind("0:0:0: \xC2\xBB ( call: ", 0), 0u);
  EXPECT_EQ(text.str().substr(text.str().size() - 2), "\n\n");
}

// The space a save checks for is the file's exact size.
TEST_F(StrategyFile, SaveWithoutRoomWritesNothing) {
  auto cfr = trained();
  setFreeSpaceForTesting(3 * 4 + 48 * 108 - 1);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(cfr->save(dir.file("s")));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: not enough free disk space to write " + dir.file("s") +
                ": it needs 5196 bytes, 5195 bytes are free\n");
  EXPECT_FALSE(file_exist(dir.file("s")));
  EXPECT_FALSE(file_exist(dir.file("s.tmp")));
  setFreeSpaceForTesting(3 * 4 + 48 * 108);
  EXPECT_TRUE(cfr->save(dir.file("s")));
  setFreeSpaceForTesting(-1);
}

TEST_F(StrategyFile, DamagedFilesAreRefusedAndLeaveNothingLoaded) {
  auto cfr = trained();
  ASSERT_TRUE(cfr->save(dir.file("s")));
  const std::string good = readBytes(dir.file("s"));
  const std::string block1 = u32(2) + record("1:0:0:c", 1.0) + record("1:0:1:c", 2.0);

  struct Case {
    const char* what;
    std::string bytes;
  };
  std::string unterminated = u32(1) + record(std::string(60, 'x'), 1.0);
  const Case cases[] = {
      {"cut inside a record", good.substr(0, good.size() - 50)},
      {"cut inside a count", good.substr(0, 2)},
      {"empty file", ""},
      {"repeated key", u32(0) + u32(2) + record("1:0:0:c", 1.0) + record("1:0:0:c", 2.0) + u32(0)},
      {"key without its zero byte", u32(0) + unterminated + u32(0)},
      {"count the file cannot hold", u32(0) + u32(0xFFFFFFFFu) + block1},
      {"block missing", u32(0) + block1},
  };
  for (const Case& c : cases) {
    writeBytes(dir.file("bad"), c.bytes);
    CFR loaded(game.get());
    EXPECT_FALSE(loaded.load(dir.file("bad"))) << c.what;
    EXPECT_FALSE(loaded.treeBuilt) << c.what;
    EXPECT_EQ(loaded.numInformationSets(), 0u) << c.what;
  }
  CFR missing(game.get());
  EXPECT_FALSE(missing.load(dir.file("no-such-file")));
}

TEST_F(StrategyFile, ReadsOnlyTheBlocksOfItsOwnGame) {
  // A file for a bigger game (six maps) loads: the trailing blocks are
  // ignored. A file for a smaller game (two maps) is a short read.
  const std::string bigger = u32(1) + record("0:0:3:", 1.0) + u32(0) + u32(0) + u32(0) +
                             u32(1) + record("2:1:0:c", 1.0) + u32(0);
  writeBytes(dir.file("bigger"), bigger);
  CFR cfr(game.get());
  ASSERT_TRUE(cfr.load(dir.file("bigger")));
  EXPECT_EQ(cfr.numInformationSets(), 1u);
  EXPECT_EQ(cfr.nodeMaps[0].count("0:0:3:"), 1u);

  writeBytes(dir.file("smaller"), u32(0) + u32(0));
  CFR small(game.get());
  EXPECT_FALSE(small.load(dir.file("smaller")));
}

TEST_F(StrategyFile, SaveRefusesOverlongKeysAndUnwritablePaths) {
  CFR cfr(game.get());
  cfr.nodeMaps[0][std::string(60, 'k')] = std::make_unique<CFRNode>();
  EXPECT_FALSE(cfr.save(dir.file("long")));
  struct stat st;
  EXPECT_NE(stat(dir.file("long").c_str(), &st), 0);
  EXPECT_NE(stat(dir.file("long.tmp").c_str(), &st), 0);
  EXPECT_FALSE(CFR(game.get()).save(dir.file("missing-dir/strategy")));
}
