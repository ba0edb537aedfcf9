// The hold'em player as the LBR's opponent: the agent's query gives the
// average strategy of the hand's information set, repaired as the session
// repairs it, and where the strategy lacks the state the answer by price of
// the no-limit player; the tool refuses what it cannot measure and makes
// nothing.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "agents/LimitHoldemAgent.h"
#include "agents/NolimitLargeAgent.h"
#include "holdem_agent_support.h"
#include "morvane_opponent.h"

namespace {

class MorvaneQuery : public HoldemWorkDirTest {
 protected:
  static std::unique_ptr<LimitHoldemAgent> start(const char* gameFile) {
    testing::internal::CaptureStdout();
    auto agent = std::make_unique<LimitHoldemAgent>(gameFile, 10);
    testing::internal::GetCapturedStdout();
    return agent;
  }
};

void setSums(CFR* solver, const std::string& key, double fold, double call, double raise) {
  CFRNode* node = solver->findNode(key);
  node->strategySum[0] = fold;
  node->strategySum[1] = call;
  node->strategySum[2] = raise;
}

TEST_F(MorvaneQuery, ProbabilitiesAreTheAverageStrategyOfTheHandsBucket) {
  ASSERT_TRUE(saveHoldemStrategy(kHoldemGames[0], "strategies/holdem.limit.2p/strategy"));
  auto agent = start(kHoldemGames[0]);
  CFR* solver = agent->getSolver();
  EquityTables* tables = agent->getEquityTables();
  const Game* game = solver->getGame();

  // Seat 1 opens the pre-flop; the pair of aces is in bucket 3, every other
  // hand in bucket 0.
  const uint8_t hands[3][2] = {{makeCard(12, 3), makeCard(12, 2)},
                               {makeCard(5, 0), makeCard(0, 1)},
                               {makeCard(12, 0), makeCard(12, 1)}};
  tables->getHoldemTable(2, 0, LimitHoldemAgent::twoPlayerPosition(1))
      [hand_index_last(tables->getIndexer(0), hands[0])] = 3;
  setSums(solver, "1:0:3:", 0.0, 1.0, 3.0);
  setSums(solver, "1:0:0:", 2.0, 1.0, 1.0);

  State state;
  initState(game, 0, &state);
  double p[3][3];
  ASSERT_TRUE(agent->actionProbabilities(state, 1, hands, 3, p));
  const double expected[3][3] = {{0.0, 0.25, 0.75}, {0.5, 0.25, 0.25}, {0.0, 0.25, 0.75}};
  for (int k = 0; k < 3; ++k)
    for (int a = 0; a < 3; ++a) EXPECT_DOUBLE_EQ(p[k][a], expected[k][a]) << k << " " << a;

  // The same as the solver's own node for the state, keyed the way the
  // agent keys its decision.
  solver->useCardAbstraction = solver->useHoldemTables = true;
  solver->holdemBucket[0][2][1] = 0;
  double reference[3];
  solver->findNode(&state)->getAverageStrategy(reference);
  for (int a = 0; a < 3; ++a) EXPECT_DOUBLE_EQ(p[1][a], reference[a]);

  // With nothing owed, the fold the strategy may hold is sent as a check.
  const Action call{a_call, 0};
  doAction(game, &call, &state);
  setSums(solver, "0:0:0:c", 0.0, 1.0, 1.0);
  ASSERT_TRUE(agent->actionProbabilities(state, 0, hands + 1, 1, p));
  EXPECT_DOUBLE_EQ(p[0][0], 0.0);
  EXPECT_DOUBLE_EQ(p[0][1], 0.5);
  EXPECT_DOUBLE_EQ(p[0][2], 0.5);
}

// The test tables read every chance before the river as even, which pays
// the price (a third) of the call of a pot-sized raise.
TEST_F(MorvaneQuery, AStateOutsideTheNoLimitStrategyIsAnsweredByPrice) {
  ASSERT_TRUE(saveHoldemStrategy(kHoldemGames[2], "strategies/holdem.nolimit.2p/strategy"));
  auto agent = start(kHoldemGames[2]);
  const Game* game = agent->getSolver()->getGame();
  State state;
  initState(game, 0, &state);
  const Action raise{a_raise, 300};  // no-limit strategies hold no raise
  doAction(game, &raise, &state);
  const uint8_t hand[1][2] = {{makeCard(3, 0), makeCard(7, 2)}};
  double p[1][3];
  EXPECT_FALSE(agent->actionProbabilities(state, 0, hand, 1, p));
  EXPECT_EQ(p[0][0], 0.0);
  EXPECT_EQ(p[0][1], 1.0);
  EXPECT_EQ(p[0][2], 0.0);
}

struct ToolRun {
  int status;
  std::string out, err;
};

ToolRun runLbr(const std::string& dir, const std::string& args) {
  const std::string command = "cd '" + dir + "' && " LBR_PATH " " + args + " > lbr.out 2> lbr.err";
  const int raw = std::system(command.c_str());
  auto slurp = [&](const char* name) {
    std::ifstream in(dir + "/" + name);
    std::stringstream text;
    text << in.rdbuf();
    std::filesystem::remove(dir + "/" + name);
    return text.str();
  };
  return ToolRun{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp("lbr.out"), slurp("lbr.err")};
}

bool oneErrorLine(const std::string& err) {
  return err.rfind("ERROR: ", 0) == 0 && err.find('\n') == err.size() - 1;
}

TEST_F(MorvaneQuery, TheToolMeasuresAStoredStrategyAndRefusesWhatItCannot) {
  const std::string dir = std::filesystem::current_path();
  const std::string limit = kHoldemGames[0];

  // No strategy: refused, and nothing is trained or written.
  ToolRun run = runLbr(dir, "--deals 2 " + limit);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(oneErrorLine(run.err)) << run.err;
  EXPECT_TRUE(std::filesystem::is_empty("strategies"));

  for (const std::string& args :
       {std::string("holdem.limit.3p.game"), std::string(POKER_GAMES_DIR "/kuhn.limit.3p.game"),
        std::string("no-such.game"), "--abstraction large " + limit,
        "--opponent nobody " + limit, "--actions fcpa " + limit,
        "--actions fcr " + std::string(kHoldemGames[2]), "--rounds early " + limit,
        "--deals 0 " + limit, "--abstraction large " + std::string(kHoldemGames[2])}) {
    run = runLbr(dir, args);
    EXPECT_EQ(run.status, 1) << args;
    EXPECT_TRUE(oneErrorLine(run.err)) << args << ": " << run.err;
  }

  run = runLbr(dir, "--help");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("--opponent"), std::string::npos);

  // With the strategy: the last line is the result.
  ASSERT_TRUE(saveHoldemStrategy(limit, "strategies/holdem.limit.2p/strategy"));
  run = runLbr(dir, "--deals 3 --threads 2 " + limit);
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string last = run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1);
  double mean = 0.0, half = 0.0;
  ASSERT_EQ(std::sscanf(last.c_str(), "lbr: %lf \u00b1 %lf", &mean, &half), 2) << last;
  char expected[128];
  std::snprintf(expected, sizeof expected, "lbr: %.1f \u00b1 %.1f mbb/g (95%%), 3 deals\n", mean, half);
  EXPECT_EQ(last, expected);

  // The no-limit player needs the equity tables it prices raises with; the
  // tool refuses to start it without them rather than let it make them.
  const std::string nolimit = kHoldemGames[2];
  ASSERT_TRUE(saveHoldemStrategy(nolimit, "strategies/holdem.nolimit.2p/strategy"));
  std::filesystem::rename("lookup/turn_2p", "turn_2p.kept");
  run = runLbr(dir, "--deals 1 " + nolimit);
  std::filesystem::rename("turn_2p.kept", "lookup/turn_2p");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "ERROR: no usable equity table lookup/turn_2p (run morvane once in this directory)\n");
  EXPECT_FALSE(std::filesystem::exists("lookup/turn_2p.tmp"));
}

// --abstraction large measures the large player from its own strategy file
// and bucket tables, and names what is missing of them.
TEST_F(MorvaneQuery, TheToolMeasuresTheLargePlayer) {
  const std::string dir = std::filesystem::current_path();
  const std::string limit = kHoldemGames[0];
  ToolRun run = runLbr(dir, "--deals 2 --abstraction large " + limit);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "ERROR: no usable bucket table lookup/large_buckets_flop_k2400 (run morvane "
            "--abstraction large once in this directory)\n");
  const uint64_t sizes[4] = {169, 1286792, 13960050, 123156254};
  for (int round = 1; round < 4; ++round)
    ASSERT_TRUE(sparseFile(LargeBuckets::fileName(round), sizes[round] * sizeof(uint16_t)));
  // The limit player's clustered flop and turn tables.
  for (int round = 1; round < 3; ++round)
    ASSERT_TRUE(sparseFile(LargeBuckets::limitTableName(round), sizes[round] * sizeof(uint16_t)));
  run = runLbr(dir, "--deals 2 --abstraction large " + limit);
  EXPECT_EQ(run.err,
            "ERROR: no strategy strategies/holdem.limit.2p.large/strategy (run morvane "
            "--abstraction large once in this directory)\n");

  testing::internal::CaptureStdout();
  {
    LimitHoldemAgent large(limit.c_str(), Abstraction::large, 10);
    testing::internal::GetCapturedStdout();
    // Its read of a wide raiser: facing a river raise (every hand in bucket
    // 0, so both hands share one strategy), a fold of the nuts becomes a
    // call against a raiser of any holding; one of a hand that cannot pay
    // the price of 20 in 60 against it stays.
    GamePtr game = readGameFile(limit);
    MatchState ms;
    ASSERT_GT(readMatchState("MATCHSTATE:0:0:cc/cc/cc/cr:9c9h|/KsQsJs/2d/3c", game.get(), &ms), 0);
    const uint8_t hands[2][2] = {{makeCard(12, 3), makeCard(8, 3)}, {makeCard(5, 2), makeCard(2, 1)}};
    double plain[2][3], read[2][3];
    ASSERT_TRUE(large.actionProbabilities(ms.state, 0, hands, 2, plain));
    ASSERT_TRUE(large.actionProbabilities(ms.state, 0, hands, 2, read, 1.0));
    ASSERT_GT(plain[0][a_fold], 0.0);
    EXPECT_EQ(read[0][a_fold], 0.0);
    EXPECT_DOUBLE_EQ(read[0][a_call], plain[0][a_call] + plain[0][a_fold]);
    EXPECT_EQ(read[0][a_raise], plain[0][a_raise]);
    for (int a = 0; a < 3; ++a) EXPECT_EQ(read[1][a], plain[1][a]);
    // A raiser read narrower than RaiseReads::WIDE is left to the strategy.
    ASSERT_TRUE(large.actionProbabilities(ms.state, 0, hands, 2, read, RaiseReads::WIDE - 0.01));
    EXPECT_EQ(read[0][a_fold], plain[0][a_fold]);
    // Where the opponent has not raised this round (the big blind's own
    // bet before the small blind acts) the strategy plays as it is.
    ASSERT_GT(readMatchState("MATCHSTATE:1:0::|AsTs", game.get(), &ms), 0);
    ASSERT_TRUE(large.actionProbabilities(ms.state, 1, hands, 2, plain));
    ASSERT_TRUE(large.actionProbabilities(ms.state, 1, hands, 2, read, 1.0));
    for (int k = 0; k < 2; ++k)
      for (int a = 0; a < 3; ++a) EXPECT_EQ(read[k][a], plain[k][a]);
  }
  run = runLbr(dir, "--deals 3 --threads 2 --abstraction large " + limit);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Loading table lookup/large_buckets_river!"), std::string::npos);
  EXPECT_NE(run.out.find("mbb/g (95%), 3 deals\n"), std::string::npos) << run.out;
  // And the tool measures it with such a read, for that player only.
  run = runLbr(dir, "--deals 3 --raiser-share 0.8 --abstraction large " + limit);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("mbb/g (95%), 3 deals\n"), std::string::npos) << run.out;
  for (const std::string bad : {"--raiser-share 0", "--raiser-share 1.5", "--raiser-share x"}) {
    run = runLbr(dir, "--deals 1 " + bad + " --abstraction large " + limit);
    EXPECT_EQ(run.status, 1) << bad;
    EXPECT_EQ(run.err, "ERROR: invalid raiser share '" + bad.substr(15) +
                           "' (a number above 0, at most 1)\n");
  }
  run = runLbr(dir, "--deals 1 --raiser-share 0.5 " + limit);
  EXPECT_EQ(run.err,
            "ERROR: --raiser-share is for the large limit player (--abstraction large, a limit "
            "game)\n");
  // A strategy whose note names other bucket tables is one the player would
  // train again.
  const std::string note = "strategies/holdem.limit.2p.large/strategy.buckets";
  const std::string kept = slurp(note);
  std::ofstream(note) << "lookup/large_buckets_flop_240x10\n";
  run = runLbr(dir, "--deals 2 --abstraction large " + limit);
  std::ofstream(note) << kept;
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "ERROR: strategy strategies/holdem.limit.2p.large/strategy is unusable: trained on other "
            "bucket tables (" + note + ")\n");

  // The no-limit player: its own strategy file, then the same answers as it
  // plays, over the sizes it sends.
  const std::string nolimit = kHoldemGames[2];
  run = runLbr(dir, "--deals 2 --abstraction large " + nolimit);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "ERROR: no strategy strategies/holdem.nolimit.2p.large/strategy (run morvane "
            "--abstraction large once in this directory)\n");
  testing::internal::CaptureStdout();
  auto agent = std::make_unique<NolimitLargeAgent>(nolimit.c_str(), 30);
  GamePtr game = readGameFile(nolimit);
  lbr::NolimitLargeOpponent opponent(game.get(), nolimit);
  testing::internal::GetCapturedStdout();
  MatchState ms;
  ASSERT_GT(readMatchState("MATCHSTATE:0:0:r250:2h3h|", game.get(), &ms), 0);
  const uint8_t hands[3][2] = {{makeCard(12, 0), makeCard(12, 1)}, {makeCard(0, 0), makeCard(5, 1)},
                               {makeCard(9, 2), makeCard(10, 2)}};
  const auto draw = [](int) { return 0.3; };
  lbr::Opponent::ActionList list;
  opponent.actionList(ms.state, 0, hands, 3, draw, &list);
  for (int k = 0; k < 3; ++k) {
    const NolimitLargeAgent::Choice c = agent->choice(ms.state, 0, hands[k], draw);
    ASSERT_EQ(list.actions.size(), c.actions.size());
    for (size_t a = 0; a < c.actions.size(); ++a) {
      EXPECT_EQ(list.actions[a].type, c.actions[a].type);
      EXPECT_EQ(list.actions[a].size, c.actions[a].size);
      EXPECT_EQ(list.probabilities[k * c.actions.size() + a], c.probabilities[a]);
    }
  }
  // Betting it cannot read (a raise read as all-in, called) is a call by
  // every hand.
  ASSERT_GT(readMatchState("MATCHSTATE:0:0:r19999c/:2h3h|/2c3d4h", game.get(), &ms), 0);
  opponent.actionList(ms.state, 0, hands, 3, draw, &list);
  ASSERT_EQ(list.actions.size(), 1u);
  EXPECT_EQ(list.actions[0].type, a_call);
  EXPECT_EQ(list.probabilities, std::vector<double>(3, 1.0));

  run = runLbr(dir, "--deals 3 --threads 2 --abstraction large --actions wide " + nolimit);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("mbb/g (95%), 3 deals\n"), std::string::npos) << run.out;
  for (int round = 1; round < 4; ++round) std::filesystem::remove(LargeBuckets::fileName(round));
  for (int round = 1; round < 3; ++round)
    std::filesystem::remove(LargeBuckets::limitTableName(round));
}

}  // namespace
