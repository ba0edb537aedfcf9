// Loaded strategies are checked against the game's tree: damaged files and
// files of other games are refused whole; sound ones load unchanged. The
// hold'em check of the sums over the flat store and over the maps. And the
// bound on the games the small-deck solver enumerates.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <utility>

#include "solver/cfr.h"
#include "analysis/game_size.h"
#include "solver/strategy_check.h"
#include "holdem_agent_support.h"
#include "support.h"

namespace {

constexpr size_t RECORD = 108;

class StrategyCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    game = kuhnGame();
    ASSERT_TRUE(game);
    tree = std::make_unique<CFR>(game.get());
    buildFullTree(*tree);
    CFR cfr(game.get());
    testing::internal::CaptureStdout();
    cfr.train(3000);
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(cfr.save(dir.file("good")));
    good = readBytes(dir.file("good"));
  }
  // The reason `bytes` is refused ("" when loaded); a refused file leaves
  // nothing loaded.
  std::string refusal(const std::string& bytes) {
    writeBytes(dir.file("s"), bytes);
    CFR cfr(game.get());
    const std::string problem = loadCheckedStrategy(cfr, dir.file("s"), *tree);
    if (!problem.empty()) {
      EXPECT_EQ(cfr.numInformationSets(), 0u) << problem;
      EXPECT_FALSE(cfr.treeBuilt);
    }
    return problem;
  }

  GamePtr game;
  std::unique_ptr<CFR> tree;
  TempDir dir;
  std::string good;
};

}  // namespace

TEST_F(StrategyCheck, TrainedFileLoadsUnchanged) {
  EXPECT_EQ(refusal(good), "");
  CFR cfr(game.get());
  ASSERT_EQ(loadCheckedStrategy(cfr, dir.file("good"), *tree), "");
  EXPECT_EQ(cfr.numInformationSets(), tree->numInformationSets());
  ASSERT_TRUE(cfr.save(dir.file("again")));
  EXPECT_EQ(readBytes(dir.file("again")), good);
}

TEST_F(StrategyCheck, DamagedSumsAndKeysAreRefused) {
  static const double nan = std::numeric_limits<double>::quiet_NaN();
  static const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* what;
    std::function<void(char*, double*)> edit;
    const char* reason;
  };
  bool once = false;
  auto first = [&once] { return !std::exchange(once, true); };
  const Case cases[] = {
      {"NaN in every regret", [](char*, double* s) { s[0] = s[1] = s[2] = nan; },
       "has no valid action"},
      {"1e300 in every strategy sum", [](char*, double* s) { s[3] = s[4] = s[5] = 1e300; },
       "strategy sum larger than any training gives"},
      {"one negative strategy sum", [&](char*, double* s) { if (first()) s[4] = -1.0; },
       "has a negative call strategy sum"},
      {"one NaN strategy sum", [&](char*, double* s) { if (first()) s[5] = nan; },
       "raise strategy sum that is not finite"},
      {"one infinite regret", [&](char*, double* s) { if (first()) s[1] = inf; },
       "has an infinite call regret"},
      // Seat 0 opens with nothing to call: folding there is not an action.
      {"fold made valid where nothing is owed", [&](char*, double* s) { if (first()) s[0] = 0.0; },
       "allows fold, which is not legal there"},
      // 0:0:0: becomes 0:4:0:, which sorts after it.
      {"a flipped byte in a key", [&](char* key, double*) { if (first()) key[2] ^= 0x04; },
       "information set 0:0:0: of the game's tree is missing"},
  };
  for (const Case& c : cases) {
    once = false;
    const std::string problem = refusal(everyRecord(good, 3, c.edit));
    EXPECT_NE(problem.find(c.reason), std::string::npos) << c.what << ": " << problem;
  }
}

TEST_F(StrategyCheck, FilesOfOtherGamesAndNonRegularFilesAreRefused) {
  // A five-rank game has keys with bucket 4 that Kuhn lacks.
  writeText(dir.file("five.game"),
            "GAMEDEF\nlimit\nnumPlayers = 3\nnumRounds = 1\nblind = 1 1 1\nraiseSize = 1\n"
            "firstPlayer = 1\nmaxRaises = 1\nnumSuits = 1\nnumRanks = 5\nnumHoleCards = 1\n"
            "numBoardCards = 0\nEND GAMEDEF\n");
  GamePtr five = readGameFile(dir.file("five.game"));
  ASSERT_TRUE(five);
  CFR other(five.get());
  buildFullTree(other);
  ASSERT_TRUE(other.save(dir.file("five")));
  EXPECT_NE(refusal(readBytes(dir.file("five"))).find("0:0:4: is not in the game's tree"),
            std::string::npos);

  // One key dropped: its block count and records shrink together.
  std::string fewer = good;
  uint32_t count;
  std::memcpy(&count, fewer.data(), 4);
  --count;
  std::memcpy(fewer.data(), &count, 4);
  fewer.erase(4 + count * RECORD, RECORD);
  EXPECT_NE(refusal(fewer).find("of the game's tree is missing"), std::string::npos);

  // A FIFO would block the reader until a writer comes: refused unopened.
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
  CFR cfr(game.get());
  EXPECT_EQ(loadCheckedStrategy(cfr, dir.file("fifo"), *tree), "it is not a regular file");
  EXPECT_EQ(loadCheckedStrategy(cfr, dir.path(), *tree), "it is not a regular file");
  EXPECT_EQ(loadCheckedStrategy(cfr, dir.file("none"), *tree), "it does not exist");
}

namespace {

// Hold'em strategies of zero sums over the whole betting tree; the no-limit
// game's has 80 information sets, in 8 maps.
class HoldemStrategyCheck : public ::testing::Test {
 protected:
  static constexpr int NOLIMIT_MAPS = 8;

  void SetUp() override {
    nolimit = readGameFile(holdemGamePath(kHoldemGames[2]));
    ASSERT_TRUE(nolimit);
    ASSERT_TRUE(saveHoldemStrategy(holdemGamePath(kHoldemGames[2]), dir.file("good")));
    good = readBytes(dir.file("good"));
  }
  // The reason `bytes` is refused by a solver of `game`, "" when loaded.
  std::string refusal(const std::string& bytes, const Game* game, bool wholeGame = true) {
    writeBytes(dir.file("s"), bytes);
    CFR cfr(game);
    cfr.setUseFlatStore(wholeGame);
    return loadCheckedHoldemStrategy(cfr, dir.file("s"), wholeGame);
  }
  // `bytes` with `edit` applied to record `which` (-1: the last) of `blocks`
  // maps; `key` receives that record's key.
  static std::string editRecord(const std::string& bytes, int blocks, long which,
                                const std::function<void(double*)>& edit, std::string* key) {
    long records = 0;
    everyRecord(bytes, blocks, [&](char*, double*) { ++records; });
    const long target = which < 0 ? records - 1 : which;
    long at = 0;
    return everyRecord(bytes, blocks, [&](char* k, double* sums) {
      if (at++ != target) return;
      *key = k;
      edit(sums);
    });
  }

  TempDir dir;
  GamePtr nolimit;
  std::string good;
};

}  // namespace

TEST_F(HoldemStrategyCheck, DamagedSumsAreRefusedWithTheirInformationSet) {
  static const double nan = std::numeric_limits<double>::quiet_NaN();
  static const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(refusal(good, nolimit.get()), "");
  struct Case {
    long record;
    std::function<void(double*)> edit;
    const char* fault;
  };
  // The first and the last record: the sweep covers the whole store.
  const Case cases[] = {
      {0, [](double* s) { s[0] = s[1] = s[2] = nan; }, " has no valid action"},
      {-1, [](double* s) { s[1] = inf; }, " has an infinite call regret"},
      {-1, [](double* s) { s[4] = -1.0; }, " has a negative call strategy sum"},
      {0, [](double* s) { s[3] = nan; }, " has a fold strategy sum that is not finite"},
      {-1, [](double* s) { s[4] = 1e300; }, " has a call strategy sum larger than any training gives"},
  };
  for (const Case& c : cases) {
    std::string key;
    const std::string bytes = editRecord(good, NOLIMIT_MAPS, c.record, c.edit, &key);
    EXPECT_EQ(refusal(bytes, nolimit.get()), "information set " + key + c.fault);
    // The keyed maps, which hold strategies of part of a game, check the same.
    EXPECT_EQ(refusal(bytes, nolimit.get(), false), "information set " + key + c.fault);
  }

  // The two-player limit store of 63,780 records, damaged in its last.
  GamePtr limit = readGameFile(holdemGamePath(kHoldemGames[0]));
  ASSERT_TRUE(limit);
  ASSERT_TRUE(saveHoldemStrategy(holdemGamePath(kHoldemGames[0]), dir.file("limit")));
  std::string key;
  const std::string bytes =
      editRecord(readBytes(dir.file("limit")), 8, -1, [](double* s) { s[5] = inf; }, &key);
  EXPECT_EQ(refusal(bytes, limit.get()),
            "information set " + key + " has a raise strategy sum that is not finite");
}

TEST_F(HoldemStrategyCheck, TrainingsOwnValuesLoad) {
  // An action pruned by training keeps the NaN mark, and 2^53 is the largest
  // sum training reaches; both load, and the mark stays.
  // The small blind's first decision: fold or call.
  const std::string key = "1:0:0:";
  const std::string bytes = everyRecord(good, NOLIMIT_MAPS, [&](char* k, double* s) {
    if (k != key) return;
    s[1] = std::numeric_limits<double>::quiet_NaN();
    s[3] = MAX_STRATEGY_SUM;
  });
  writeBytes(dir.file("s"), bytes);
  CFR cfr(nolimit.get());
  ASSERT_EQ(loadCheckedHoldemStrategy(cfr, dir.file("s"), true), "");
  EXPECT_TRUE(cfr.usesFlatStore());
  EXPECT_FALSE(cfr.findNode(key)->isActionValid(1));
  EXPECT_TRUE(cfr.findNode(key)->isActionValid(0));
}

TEST_F(HoldemStrategyCheck, OtherKeysUnreadableAndNonRegularFilesAreRefused) {
  // Another game's file (the limit game has raises) does not fill the store;
  // the maps take any keys.
  GamePtr limit = readGameFile(holdemGamePath(kHoldemGames[0]));
  ASSERT_TRUE(limit);
  EXPECT_EQ(refusal(good, limit.get()), "its information sets are not those of the game's tree");
  EXPECT_EQ(refusal(good, limit.get(), false), "");

  EXPECT_EQ(refusal(good.substr(0, good.size() - 8), nolimit.get()), "it is cut short or malformed");

  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
  CFR cfr(nolimit.get());
  EXPECT_EQ(loadCheckedHoldemStrategy(cfr, dir.file("fifo"), true), "it is not a regular file");
  EXPECT_EQ(loadCheckedHoldemStrategy(cfr, dir.file("none"), true), "it does not exist");
}

TEST(GameSize, OnlyGamesEnumerableWithinTheBoundPass) {
  GamePtr kuhn = kuhnGame();
  ASSERT_TRUE(kuhn);
  EXPECT_EQ(numDeals(kuhn.get()), 24u);
  EXPECT_EQ(enumerationProblem(kuhn.get()), "");

  TempDir dir;
  const std::string head = "GAMEDEF\nlimit\nnumPlayers = 3\nnumRounds = 1\nraiseSize = 1\n"
                           "firstPlayer = 1\nnumHoleCards = 1\nnumBoardCards = 0\n";
  struct Case {
    const char* what;
    std::string lines;
    const char* reason;
  };
  const Case cases[] = {
      {"52 cards", "blind = 1 1 1\nmaxRaises = 1\nnumSuits = 4\nnumRanks = 13\n",
       "more than 100000 deals"},
      {"no raise cap", "blind = 1 1 1\nnumSuits = 1\nnumRanks = 4\n", "nodes"},
      {"all in from the blinds",
       "stack = 1 1 1\nblind = 1 1 1\nmaxRaises = 1\nnumSuits = 1\nnumRanks = 4\n",
       "no seat can act"},
      {"deck too small", "blind = 1 1 1\nmaxRaises = 1\nnumSuits = 1\nnumRanks = 2\n",
       "too small"},
  };
  for (const Case& c : cases) {
    writeText(dir.file("g"), head + c.lines + "END GAMEDEF\n");
    testing::internal::CaptureStderr();
    GamePtr game = readGameFile(dir.file("g"));
    testing::internal::GetCapturedStderr();
    if (!game) continue;  // the engine may refuse it first, which is as good
    EXPECT_NE(enumerationProblem(game.get()).find(c.reason), std::string::npos)
        << c.what << ": " << enumerationProblem(game.get());
  }
}
