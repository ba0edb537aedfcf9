// The shared utilities: random draws, the partial shuffle, raw table files
// and splitting.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

#include "common/game_file.h"
#include "common/util.h"
#include "temp_dir.h"

namespace {

long fileSize(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  return in ? static_cast<long>(in.tellg()) : -1;
}

TEST(RandomDraws, IntegerBoundsAreInclusiveAndRespected) {
  for (int i = 0; i < 1000; ++i) EXPECT_EQ(pick_a_number(5, 5), 5);
  bool sawLow = false, sawHigh = false;
  for (int i = 0; i < 10000; ++i) {
    const int v = pick_a_number(0, 3);
    ASSERT_GE(v, 0);
    ASSERT_LE(v, 3);
    sawLow |= v == 0;
    sawHigh |= v == 3;
  }
  EXPECT_TRUE(sawLow && sawHigh);
}

TEST(RandomDraws, RealFormStaysBelowItsUpperBound) {
  for (int i = 0; i < 100000; ++i) {
    const double v = pick_a_number(0.0, 1.0);
    ASSERT_GE(v, 0.0);
    ASSERT_LT(v, 1.0);
  }
}

TEST(RandomDraws, EngineIsTheMinimalStandardGenerator) {
  // Reseeding with 1 must give the engine's published sequence start.
  std::minstd_rand0& engine = global_urng();
  engine.seed(1);
  EXPECT_EQ(engine(), 16807u);
  EXPECT_EQ(engine(), 282475249u);
  randomize();
}

TEST(Shuffle, KeepsTheCardsAndTouchesNothingForCountZero) {
  uint8_t deck[52];
  for (int i = 0; i < 52; ++i) deck[i] = static_cast<uint8_t>(i);
  shuffle(deck, 0, 52);
  for (int i = 0; i < 52; ++i) EXPECT_EQ(deck[i], i);
  for (int count : {1, 7, 52}) {
    shuffle(deck, count, 52);
    uint8_t sorted[52];
    std::copy(deck, deck + 52, sorted);
    std::sort(sorted, sorted + 52);
    for (int i = 0; i < 52; ++i) ASSERT_EQ(sorted[i], i);
  }
}

TEST(TableFiles, RoundTripsEveryElementType) {
  TempDir dir;
  int ints[5] = {-1, 0, 1, 2147483647, -2147483647};
  uint8_t bytes[4] = {0, 1, 200, 255};
  double doubles[3] = {0.1, -2.5e300, 1.0 / 3.0};
  saveIntTable(dir.file("i").c_str(), ints, 5);
  saveByteTable(dir.file("b").c_str(), bytes, 4);
  saveDoubleTable(dir.file("d").c_str(), doubles, 3);
  EXPECT_EQ(fileSize(dir.file("i")), 20);
  EXPECT_FALSE(file_exist(dir.file("i.tmp")));

  int* i2 = loadIntTable(dir.file("i").c_str(), 5);
  uint8_t* b2 = loadByteTable(dir.file("b").c_str(), 4);
  double* d2 = loadDoubleTable(dir.file("d").c_str(), 3);
  EXPECT_TRUE(std::equal(ints, ints + 5, i2));
  EXPECT_TRUE(std::equal(bytes, bytes + 4, b2));
  EXPECT_EQ(std::memcmp(doubles, d2, sizeof doubles), 0);
  delete[] i2;
  delete[] b2;
  delete[] d2;
}

TEST(TableFiles, ShortFileLoadsZerosButFailsTheSizeCheck) {
  TempDir dir;
  uint8_t bytes[4] = {9, 8, 7, 6};
  saveByteTable(dir.file("b").c_str(), bytes, 4);
  uint8_t* loaded = loadByteTable(dir.file("b").c_str(), 10);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(loaded[i], bytes[i]);
  for (int i = 4; i < 10; ++i) EXPECT_EQ(loaded[i], 0);
  delete[] loaded;

  testing::internal::CaptureStdout();
  EXPECT_FALSE(table_file_ok(dir.file("b"), 10));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("Warning: ", 0), 0u) << out;
  EXPECT_NE(out.find(dir.file("b")), std::string::npos);
  EXPECT_NE(out.find(" 4 bytes"), std::string::npos);

  EXPECT_TRUE(table_file_ok(dir.file("b"), 4));
  EXPECT_FALSE(table_file_ok(dir.file("missing"), 4));
}

TEST(TableFiles, DirectoriesCountAsExisting) {
  TempDir dir;
  EXPECT_TRUE(file_exist(dir.file("")));
  EXPECT_FALSE(file_exist(dir.file("nothing")));
}

TEST(TableFiles, UnopenableFileStopsWithAnError) {
  EXPECT_EXIT(loadIntTable("/nonexistent/dir/table", 3), testing::ExitedWithCode(1),
              "ERROR: cannot open table file /nonexistent/dir/table");
}

// A disk without room stops a table write before anything is written; the
// check sees the real filesystem too.
TEST(TableFiles, FullDiskStopsBeforeWritingAndNamesTheSizes) {
  TempDir dir;
  const std::string path = dir.file("table");
  double values[1000] = {};
  setFreeSpaceForTesting(8000);
  saveDoubleTable(path.c_str(), values, 1000);  // exactly fits
  EXPECT_EQ(fileSize(path), 8000);
  setFreeSpaceForTesting(7999);
  EXPECT_EXIT(saveDoubleTable(dir.file("full").c_str(), values, 1000), testing::ExitedWithCode(1),
              "^ERROR: not enough free disk space to write " + dir.file("full") +
                  ": it needs 8000 bytes, 7999 bytes are free\n$");
  EXPECT_FALSE(file_exist(dir.file("full")));
  EXPECT_FALSE(file_exist(dir.file("full.tmp")));
  setFreeSpaceForTesting(-1);

  EXPECT_TRUE(enoughFreeSpace(path, 1));
  testing::internal::CaptureStderr();
  EXPECT_FALSE(enoughFreeSpace(path, uint64_t{1} << 62));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("it needs 4611686018.4 GB"), std::string::npos);
}

TEST(Split, FollowsStreamReadingRules) {
  using V = std::vector<std::string>;
  EXPECT_EQ(split("a,,b", ','), (V{"a", "", "b"}));
  EXPECT_EQ(split("a,", ','), (V{"a"}));
  EXPECT_EQ(split(",a", ','), (V{"", "a"}));
  EXPECT_EQ(split("", ','), V{});
  V out{"x"};
  EXPECT_EQ(&split("y:z", ':', out), &out);
  EXPECT_EQ(out, (V{"x", "y", "z"}));
}

TEST(PrintHand, WritesProtocolCardText) {
  uint8_t cards[3] = {51, 0, 36};  // As 2c Jc
  testing::internal::CaptureStdout();
  printHand(cards, 3);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "As2cJc\n");
}

// One reader of game files for every program: a game, or the reason with
// the path in the words the programs print after "ERROR: ".
TEST(GameFile, ReadsAGameOrSaysWhyNot) {
  std::string problem = "untouched";
  const GamePtr game = readGameFile(std::string(POKER_GAMES_DIR) + "/kuhn.limit.3p.game", &problem);
  ASSERT_TRUE(game);
  EXPECT_EQ(game->numPlayers, 3);
  EXPECT_EQ(problem, "untouched");

  TempDir dir("util_test");
  EXPECT_FALSE(readGameFile(dir.file("absent.game"), &problem));
  EXPECT_EQ(problem, "could not open game " + dir.file("absent.game"));
  std::ofstream(dir.file("bad.game")) << "GAMEDEF\nnonsense\n";
  EXPECT_FALSE(readGameFile(dir.file("bad.game"), &problem));
  EXPECT_EQ(problem, "could not read game " + dir.file("bad.game"));
  EXPECT_FALSE(readGameFile(dir.file("absent.game")));
}

}  // namespace

// A second holder of a directory's lock says so once and waits until the
// first lets go; a missing directory takes no lock and never waits.
TEST(DirectoryLock, SecondHolderWaitsForTheFirst) {
  TempDir dir;
  std::atomic<bool> second{false};
  std::thread other;
  testing::internal::CaptureStdout();
  {
    DirectoryLock first(dir.path(), "waiting");
    other = std::thread([&] {
      DirectoryLock lock(dir.path(), "waiting");
      second = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(second.load());
  }
  other.join();
  EXPECT_TRUE(second.load());
  { DirectoryLock none(dir.file("missing"), "never"); }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "waiting\n");
}
