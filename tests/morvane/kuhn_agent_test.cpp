// The Kuhn agent: strategy files on first and later starts, the choice of
// mode by ten-hand windows, and the fixed card rule.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <sys/stat.h>

#include "agents/KuhnAgent.h"
#include "analysis/exploitability.h"
#include "support.h"
#include "common/util.h"

namespace {

// Exposes the match state so that decisions can be asked for directly.
class ProbeAgent : public KuhnAgent {
 public:
  using KuhnAgent::KuhnAgent;
  MatchState& state() { return matchState; }
};

// Runs each test in a scratch working directory, where the agent keeps
// strategies/kuhn.limit.3p/.
class KuhnAgentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
  }
  void TearDown() override { std::filesystem::current_path(previous); }

  std::unique_ptr<ProbeAgent> start(std::string& out) {
    testing::internal::CaptureStdout();
    auto agent = std::make_unique<ProbeAgent>(kuhnGamePath().c_str(), 2, 20000);
    out = testing::internal::GetCapturedStdout();
    return agent;
  }

  static size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

  TempDir dir;
  std::filesystem::path previous;
};

}  // namespace

TEST_F(KuhnAgentTest, FirstStartTrainsAndSavesSecondStartLoads) {
  std::string out;
  auto first = start(out);
  EXPECT_EQ(count(out, "Warning: could not load strategy from disk!"), 1u);
  EXPECT_EQ(count(out, "Training kuhn agent with 2 iterations\n"), 1u);
  EXPECT_EQ(count(out, "Finding equilibrium "), 2u);
  EXPECT_EQ(count(out, "NashConv of the average strategy: "), 2u);
  EXPECT_EQ(count(out, "Avg strategy utility = ( "), 3u);
  EXPECT_EQ(count(out, "Warning: the strategy was not saved"), 0u);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(file_exist(KuhnAgent::KuhnStrategyFiles[i]));
  // One solver in every slot.
  EXPECT_EQ(first->strategy(0), first->strategy(1));
  EXPECT_EQ(first->strategy(0), first->strategy(2));
  const double trainedNashConv = nashConv(*first->strategy(0));

  auto second = start(out);
  EXPECT_EQ(count(out, "Warning"), 0u);
  EXPECT_EQ(count(out, "Training"), 0u);
  EXPECT_EQ(count(out, "NashConv of strategy "), 3u);
  EXPECT_NE(second->strategy(0), second->strategy(1));
  EXPECT_DOUBLE_EQ(nashConv(*second->strategy(2)), trainedNashConv);
}

TEST_F(KuhnAgentTest, OneMissingFileMeansTrainingAgain) {
  std::string out;
  start(out);
  std::filesystem::remove(KuhnAgent::KuhnStrategyFiles[1]);
  auto agent = start(out);
  EXPECT_EQ(count(out, "Warning: could not load strategy from disk!"), 1u);
  EXPECT_EQ(count(out, "Training kuhn agent"), 1u);
  EXPECT_TRUE(file_exist(KuhnAgent::KuhnStrategyFiles[1]));
}

TEST_F(KuhnAgentTest, UnwritableStrategyDirectoryWarnsAndPlaysOn) {
  // A plain file where the directory should be.
  writeText("strategies", "not a directory");
  std::string out;
  auto agent = start(out);
  EXPECT_EQ(count(out, "Warning: the strategy was not saved to the disk!"), 3u);
  EXPECT_NE(agent->strategy(0), nullptr);
}

TEST_F(KuhnAgentTest, ModesFollowTheTenHandMeans) {
  std::string out;
  auto agent = start(out);
  uint8_t card = makeCard(9, 3);
  agent->holeCards(&card, 0);
  EXPECT_EQ(agent->getActiveMode(), 0);
  agent->gameOverEvent(-1.0);  // mode 0 lost its hand
  EXPECT_DOUBLE_EQ(agent->getEv(0), -0.1);
  agent->holeCards(&card, 0);
  EXPECT_EQ(agent->getActiveMode(), 1);  // ties keep the lowest mode
  agent->gameOverEvent(2.0);
  agent->holeCards(&card, 0);
  EXPECT_EQ(agent->getActiveMode(), 1);  // the best mean keeps playing

  // The window holds exactly the last ten results.
  for (int i = 0; i < 10; ++i) agent->updateEv(2, 1.0);
  EXPECT_DOUBLE_EQ(agent->getEv(2), 1.0);
  agent->updateEv(2, -9.0);  // overwrites the oldest
  EXPECT_DOUBLE_EQ(agent->getEv(2), 0.0);
  agent->updateEv(2, 1.0);
  EXPECT_DOUBLE_EQ(agent->getEv(2), 0.0);
}

TEST_F(KuhnAgentTest, FixedRuleBetsHighCardsAndChecksOrFoldsLowOnes) {
  std::string out;
  auto agent = start(out);
  const Game* game = nullptr;
  GamePtr kuhn = kuhnGame();
  game = kuhn.get();
  // Lose in modes 0 and 1 so that mode 2 plays.
  agent->updateEv(0, -1.0);
  agent->updateEv(1, -1.0);
  uint8_t card = 0;
  agent->holeCards(&card, 0);
  ASSERT_EQ(agent->getActiveMode(), 2);

  auto decide = [&](int rank, const char* history, int seat) {
    MatchState& ms = agent->state();
    initState(game, 0, &ms.state);
    ms.viewingPlayer = static_cast<uint8_t>(seat);
    ms.state.holeCards[seat][0] = makeCard(rank, 3);
    for (const char* c = history; *c; ++c) {
      Action a{*c == 'c' ? a_call : *c == 'r' ? a_raise : a_fold, 0};
      doAction(game, &a, &ms.state);
    }
    Action action{a_invalid, 7};
    agent->getAction(action);
    EXPECT_EQ(action.size, 0);
    return action.type;
  };
  EXPECT_EQ(decide(9, "r", 1), a_fold);   // jack facing a bet
  EXPECT_EQ(decide(10, "c", 1), a_call);  // queen, nothing to call: check
  EXPECT_EQ(decide(11, "", 0), a_raise);  // king always bets
  EXPECT_EQ(decide(12, "cr", 2), a_raise);  // and so does the ace; the session makes it a call
}

TEST_F(KuhnAgentTest, StrategyModesSampleOnlyValidActions) {
  std::string out;
  auto agent = start(out);
  GamePtr kuhn = kuhnGame();
  uint8_t card = 0;
  agent->holeCards(&card, 0);
  ASSERT_EQ(agent->getActiveMode(), 0);
  MatchState& ms = agent->state();
  for (int i = 0; i < 200; ++i) {
    // An ace facing a bet never folds; nobody folds when checking is free.
    initState(kuhn.get(), 0, &ms.state);
    ms.viewingPlayer = 1;
    ms.state.holeCards[1][0] = makeCard(12, 3);
    Action bet{a_raise, 0};
    doAction(kuhn.get(), &bet, &ms.state);
    Action action;
    agent->getAction(action);
    EXPECT_EQ(action.type, a_call);
    initState(kuhn.get(), 0, &ms.state);
    ms.viewingPlayer = 0;
    ms.state.holeCards[0][0] = makeCard(9, 3);
    agent->getAction(action);
    EXPECT_NE(action.type, a_fold);
  }
}

TEST_F(KuhnAgentTest, DamagedOrNonRegularStrategyFilesAreRefusedAndTrainedAgain) {
  std::string out;
  start(out);
  // Strategy sums far beyond any training in strategy0, a FIFO as strategy1.
  {
    std::fstream file(KuhnAgent::KuhnStrategyFiles[0], std::ios::in | std::ios::out | std::ios::binary);
    const double huge[3] = {1e300, 1e300, 1e300};
    file.seekp(4 + 84);
    file.write(reinterpret_cast<const char*>(huge), sizeof huge);
  }
  auto agent = start(out);
  EXPECT_EQ(count(out, "Warning: strategy strategies/kuhn.limit.3p/strategy0 is refused: "
                       "information set 0:0:0: has a fold strategy sum larger than any "
                       "training gives\n"),
            1u)
      << out;
  EXPECT_EQ(count(out, "Warning: could not load strategy from disk!"), 1u);
  EXPECT_EQ(count(out, "Training kuhn agent"), 1u);

  std::filesystem::remove(KuhnAgent::KuhnStrategyFiles[1]);
  ASSERT_EQ(mkfifo(KuhnAgent::KuhnStrategyFiles[1], 0600), 0);
  agent = start(out);
  EXPECT_EQ(count(out, "strategy1 is refused: it is not a regular file\n"), 1u) << out;
  EXPECT_EQ(count(out, "Training kuhn agent"), 1u);
  // Training replaced both with sound files.
  agent = start(out);
  EXPECT_EQ(count(out, "Warning"), 0u) << out;
}

// The session answers this error with a call (see the session tests): the
// agent itself reports a state outside its tree, here a ten, as the lookup
// error and nothing else.
TEST_F(KuhnAgentTest, StateOutsideTheTreeRaisesTheLookupError) {
  std::string out;
  auto agent = start(out);
  GamePtr kuhn = kuhnGame();
  uint8_t card = 0;
  agent->holeCards(&card, 0);
  MatchState& ms = agent->state();
  initState(kuhn.get(), 0, &ms.state);
  ms.viewingPlayer = 0;
  ms.state.holeCards[0][0] = makeCard(8, 3);
  Action action{a_call, 0};
  EXPECT_THROW(agent->getAction(action), std::out_of_range);
}
