// The large no-limit player: what it sends at hand-made states (always
// legal, raises read by the mapping, its own sizes made legal), its strategy
// file, and a short match against our dealer from a small strategy over
// test-made tables.
#include "agents/NolimitLargeAgent.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "abstraction/bet_abstraction.h"
#include "holdem_agent_support.h"
#include "match_support.h"
#include "support.h"

namespace {

const char* const kGame = "holdem.nolimit.2p.reverse_blinds.game";

// A working directory with the game file and sparse large bucket tables
// (every hand in bucket 0 after the pre-flop), which load without being made.
bool makeNolimitLargeDir(const std::string& dir) {
  namespace fs = std::filesystem;
  fs::copy_file(holdemGamePath(kGame), dir + "/" + kGame);
  fs::create_directory(dir + "/lookup");
  const uint64_t sizes[4] = {0, 1286792, 13960050, 123156254};
  bool ok = true;
  for (int round = 1; round < 4; ++round) ok = ok && sparseFile(dir + "/" + LargeBuckets::fileName(round), sizes[round] * sizeof(uint16_t));
  return ok;
}

// One agent trained briefly on first use, shared by the tests (its strategy
// file is large: the whole abstraction, mostly zeros).
class NolimitLarge : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = new TempDir("nolimit-large");
    ASSERT_TRUE(makeNolimitLargeDir(dir->path()));
    WorkingDirectory in(dir->path());
    testing::internal::CaptureStdout();
    agent = new NolimitLargeAgent(kGame, 30);
    output = new std::string(testing::internal::GetCapturedStdout());
  }
  static void TearDownTestSuite() {
    delete agent;
    delete output;
    delete dir;
  }
  State after(const char* text) {
    MatchState ms;
    EXPECT_GT(readMatchState(text, agent->solver().tree().game(), &ms), 0) << text;
    return ms.state;
  }
  static TempDir* dir;
  static NolimitLargeAgent* agent;
  static std::string* output;
};
TempDir* NolimitLarge::dir = nullptr;
NolimitLargeAgent* NolimitLarge::agent = nullptr;
std::string* NolimitLarge::output = nullptr;

}  // namespace

TEST(NolimitLargeThreshold, DropsRareActionsAndKeepsTheLikeliestWhenNoneIsCommon) {
  const auto thresholded = [](std::vector<double> p, double t) {
    NolimitLargeAgent::threshold(p.data(), static_cast<int>(p.size()), t);
    return p;
  };
  // Below the threshold dropped, at it kept, the rest scaled to 1.
  const std::vector<double> p = thresholded({0.05, 0.6, 0.1, 0.25}, 0.1);
  EXPECT_EQ(p[0], 0.0);
  EXPECT_NEAR(p[1], 0.6 / 0.95, 1e-12);
  EXPECT_NEAR(p[2], 0.1 / 0.95, 1e-12);
  EXPECT_NEAR(p[3], 0.25 / 0.95, 1e-12);
  // Nothing reaches it: the likeliest, the first of equals, is played.
  EXPECT_EQ(thresholded({0.3, 0.4, 0.3}, 0.5), (std::vector<double>{0.0, 1.0, 0.0}));
  EXPECT_EQ(thresholded({0.5, 0.5}, 0.6), (std::vector<double>{1.0, 0.0}));
  // A threshold of 0 leaves the strategy as it is.
  EXPECT_EQ(thresholded({0.0, 0.25, 0.75}, 0.0), (std::vector<double>{0.0, 0.25, 0.75}));
}

TEST_F(NolimitLarge, TrainsOnFirstStartIntoItsOwnFileAndLoadsItLater) {
  EXPECT_NE(output->find("Training hold'em agent with 30 iterations"), std::string::npos) << *output;
  EXPECT_NE(output->find("Information sets: 8794816 over 43984 betting decisions"), std::string::npos);
  const std::string path = dir->file(NolimitLargeAgent::STRATEGY_FILE);
  ASSERT_TRUE(std::filesystem::exists(path));
  EXPECT_FALSE(std::filesystem::exists(dir->file("strategies/holdem.nolimit.2p/strategy")));
  WorkingDirectory in(dir->path());
  testing::internal::CaptureStdout();
  NolimitLargeAgent again(kGame, 30);
  EXPECT_EQ(testing::internal::GetCapturedStdout().find("Training"), std::string::npos);
  EXPECT_EQ(again.solver().strategySums(), agent->solver().strategySums());
  EXPECT_EQ(again.solver().weighting(), NolimitCFR::Weighting::discounted);
}

TEST_F(NolimitLarge, SendsOnlyLegalActionsAndReadsEveryRaise) {
  const uint8_t hole[2] = {makeCard(12, 0), makeCard(11, 0)};
  const auto half = [](int) { return 0.5; };
  const char* states[] = {
      "MATCHSTATE:1:0::|AsKs",                     // the opening: no fold, four raises
      "MATCHSTATE:0:0:r250:AsKs|",                 // a raise between two sizes
      "MATCHSTATE:0:0:r19999:AsKs|",               // almost all-in: read as all-in
      "MATCHSTATE:0:0:r300r900r2000:AsKs|",        // beyond the abstraction's raises
      "MATCHSTATE:0:0:r250r1100c/r2000:AsKs|/2c3d4h",
      "MATCHSTATE:0:0:cc/cr1000:AsKs|/2c3d4h",
  };
  for (const char* text : states) {
    const State state = after(text);
    const uint8_t seat = currentPlayer(agent->solver().tree().game(), &state);
    const NolimitLargeAgent::Choice c = agent->choice(state, seat, hole, half);
    ASSERT_FALSE(c.actions.empty()) << text;
    double total = 0.0;
    for (size_t i = 0; i < c.actions.size(); ++i) {
      Action a = c.actions[i];
      State copy = state;
      EXPECT_TRUE(isValidAction(agent->solver().tree().game(), &copy, 0, &a)) << text;
      EXPECT_FALSE(a.type == a_fold && state.spent[seat] == state.maxSpent) << text;
      // Thresholded: an action is not played or played at least this often.
      EXPECT_TRUE(c.probabilities[i] == 0.0 || c.probabilities[i] >= NolimitLargeAgent::PLAY_THRESHOLD) << text;
      total += c.probabilities[i];
    }
    EXPECT_NEAR(total, 1.0, 1e-9) << text;
  }
  // At the opening the sizes are the abstraction's own; all-in stays all-in
  // after a raise of another size.
  const auto raises = [](const NolimitLargeAgent::Choice& c) {
    std::vector<int32_t> sizes;
    for (const Action& a : c.actions)
      if (a.type == a_raise) sizes.push_back(a.size);
    return sizes;
  };
  EXPECT_EQ(raises(agent->choice(after("MATCHSTATE:1:0::|AsKs"), 1, hole, half)),
            (std::vector<int32_t>{200, 300, 500, 20000}));
  EXPECT_EQ(raises(agent->choice(after("MATCHSTATE:0:0:r250:AsKs|"), 0, hole, half)).back(), 20000);
  // A raise just short of all-in is read as all-in; once called, the
  // abstract hand is over while the real one goes on: nothing to choose from.
  EXPECT_TRUE(agent->choice(after("MATCHSTATE:0:0:r19999c/:AsKs|/2c3d4h"), 0, hole, half).actions.empty());
}

TEST_F(NolimitLarge, PlaysAMatchWithTheAbstractionOptionWithoutErrors) {
  WorkingDirectory in(dir->path());
  const MatchRun run = playMatch(dir->path(), kGame, 40, 9, {"random"}, "--abstraction large");
  EXPECT_EQ(run.morvaneStatus, 0) << run.morvaneOut << run.morvaneErr;
  EXPECT_EQ(run.dealerStatus, 0);
  unsigned errors = 99, timeouts = 99;
  ASSERT_TRUE(run.morvaneRow(errors, timeouts)) << run.table;
  EXPECT_EQ(errors, 0u);
  EXPECT_EQ(timeouts, 0u);
  // It loaded its strategy rather than training one.
  EXPECT_EQ(run.morvaneOut.find("Training"), std::string::npos) << run.morvaneOut;
}
