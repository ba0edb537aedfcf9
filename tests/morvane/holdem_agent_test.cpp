// The hold'em agent: which strategy file it takes, what it prints on a start
// with a strategy, the keys of its decisions (the bucket of the viewing seat
// for the players still in, written into the loaded tables by the tests) and
// the decisions its strategy cannot hold.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <thread>

#include "agents/LimitHoldemAgent.h"
#include "agents/price_answer.h"
#include "holdem_agent_support.h"
#include "match_support.h"
#include "showdown.h"
#include "synthetic_buckets.h"

namespace {

// Gives the tests the match state and the solver's key of the last decision.
class Probe : public LimitHoldemAgent {
 public:
  using LimitHoldemAgent::LimitHoldemAgent;

  void see(const std::string& line) {
    ASSERT_GT(readMatchState(line.c_str(), game, &matchState), 0) << line;
  }
  // The key of the decision on `line`, after the agent has taken it.
  std::string decide(const std::string& line, Action* taken = nullptr) {
    see(line);
    Action action{a_invalid, -1};
    getAction(action);
    if (taken) *taken = action;
    return getSolver()->abstraction(&matchState.state);
  }
  void decideOnly(const std::string& line) {
    see(line);
    Action action;
    getAction(action);
  }
  const State& state() const { return matchState.state; }
  const Game* definition() const { return game; }

  // Puts `bucket` into the loaded bucket table for the hand `cards` (hole
  // cards then board, in protocol text).
  void setBucket(int players, int round, int position, const char* cards, uint8_t bucket) {
    uint8_t hand[MAX_HOLE_CARDS + MAX_BOARD_CARDS];
    int consumed = 0;
    const int n = readCards(cards, 7, hand, &consumed);
    ASSERT_EQ(n, round == 0 ? 2 : 4 + round) << cards;
    EquityTables* tables = getEquityTables();
    uint8_t* table = tables->getHoldemTable(players, round, position);
    ASSERT_NE(table, nullptr);
    table[hand_index_last(tables->getIndexer(round), hand)] = bucket;
  }
};

class HoldemAgent : public HoldemWorkDirTest {
 protected:
  // Constructs the agent of `gameFile` and returns what it printed.
  std::unique_ptr<Probe> start(const char* gameFile, std::string* out = nullptr,
                               bool flatStore = true) {
    testing::internal::CaptureStdout();
    auto agent = std::make_unique<Probe>(gameFile, 10, flatStore);
    const std::string printed = testing::internal::GetCapturedStdout();
    if (out) *out = printed;
    return agent;
  }
};

bool hasLine(const std::string& text, const std::string& line) {
  return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

}  // namespace

TEST(HoldemAgentFiles, StrategyFileByBettingTypeAndPlayers) {
  GamePtr limit2 = readGameFile(holdemGamePath(kHoldemGames[0]));
  GamePtr limit3 = readGameFile(holdemGamePath(kHoldemGames[1]));
  GamePtr nolimit2 = readGameFile(holdemGamePath(kHoldemGames[2]));
  ASSERT_TRUE(limit2 && limit3 && nolimit2);
  EXPECT_STREQ(LimitHoldemAgent::strategyPath(limit2.get()), "strategies/holdem.limit.2p/strategy");
  EXPECT_STREQ(LimitHoldemAgent::strategyPath(limit3.get()), "strategies/holdem.limit.3p/strategy");
  EXPECT_STREQ(LimitHoldemAgent::strategyPath(nolimit2.get()),
               "strategies/holdem.nolimit.2p/strategy");
  Game nolimit3 = *nolimit2;
  nolimit3.numPlayers = 3;
  EXPECT_STREQ(LimitHoldemAgent::strategyPath(&nolimit3), "strategies/holdem.nolimit.3p/strategy");
}

TEST_F(HoldemAgent, TwoPlayerLimitLoadsItsStrategyAndKeysByTheSeatsBucket) {
  ASSERT_TRUE(saveHoldemStrategy(kHoldemGames[0], "strategies/holdem.limit.2p/strategy"));
  std::string out;
  auto agent = start(kHoldemGames[0], &out);
  EXPECT_EQ(out.find("Training"), std::string::npos) << out;
  EXPECT_EQ(out.find("Warning"), std::string::npos) << out;
  // With every bucket table on disk the equity tables are not needed.
  EXPECT_EQ(out.find("Equity tables"), std::string::npos) << out;
  EXPECT_TRUE(hasLine(out, "Loading table lookup/holdem_river_2p_1!")) << out;
  // 6,378 betting decisions, ten buckets each.
  EXPECT_EQ(agent->getSolver()->numInformationSets(), 63780u);
  EXPECT_EQ(agent->getSolver()->getEquityTables(), agent->getEquityTables());

  // Seat 1 posts the small blind and acts first before the flop.
  agent->setBucket(2, 0, 1, "AsKs", 7);
  agent->setBucket(2, 0, 0, "AsKs", 2);  // the other seat's table is not read
  Action action;
  EXPECT_EQ(agent->decide("MATCHSTATE:1:0::|AsKs", &action), "1:0:7:");
  EXPECT_TRUE(agent->getSolver()->useCardAbstraction);
  EXPECT_TRUE(agent->getSolver()->useHoldemTables);
  EXPECT_EQ(action.size, 0);
  EXPECT_NE(action.type, a_invalid);

  // Later rounds: hole cards and the board so far; the history has no
  // round separators.
  agent->setBucket(2, 1, 1, "AsKs2c3d4h", 3);
  EXPECT_EQ(agent->decide("MATCHSTATE:1:0:crc/r:|AsKs/2c3d4h"), "1:1:3:crcr");
  EXPECT_EQ(agent->getSolver()->holdemBucket[1][2][1], 3u);
  agent->setBucket(2, 3, 0, "9d9cAdKd2c3d4h", 9);
  EXPECT_EQ(agent->decide("MATCHSTATE:0:0:cc/cc/rc/:9d9c|/Ad2c3d/4h/Kd"), "0:3:9:ccccrc");
  // The mode stays on between decisions.
  EXPECT_TRUE(agent->getSolver()->useHoldemTables);

  // A table value outside 0 .. 9 has no strategy, even though the solver
  // would find a node for the low bits of some other value.
  agent->setBucket(2, 2, 1, "AsKs2c3d4h5s", 12);
  const std::string turn = "MATCHSTATE:1:0:cc/cc/c:|AsKs/2c3d4h/5s";
  EXPECT_THROW(agent->decideOnly(turn), std::out_of_range);
  agent->setBucket(2, 2, 1, "AsKs2c3d4h5s", 10);
  EXPECT_THROW(agent->decideOnly(turn), std::out_of_range);
  agent->setBucket(2, 2, 1, "AsKs2c3d4h5s", 0);
  EXPECT_EQ(agent->decide(turn), "1:2:0:ccccc");
}

TEST_F(HoldemAgent, ThreePlayerKeysUseTheTablesOfThePlayersStillIn) {
  // Only the river betting after two ways into it: all three in, or the
  // first seat folded before the flop.
  ASSERT_TRUE(saveHoldemStrategy(kHoldemGames[1], "strategies/holdem.limit.3p/strategy",
                                 {"MATCHSTATE:0:0:ccc/ccc/ccc/:||/2c3d4h/5s/6c",
                                  "MATCHSTATE:0:0:cfc/cc/cc/:||/2c3d4h/5s/6c"}));
  // Part of the game: the keyed maps hold it without the whole tree.
  std::string out;
  auto agent = start(kHoldemGames[1], &out, false);
  EXPECT_EQ(out.find("Training"), std::string::npos) << out;
  EXPECT_TRUE(hasLine(out, "Loading table lookup/holdem_river_3p_2!")) << out;

  const char* hand0 = "JhTh2c3d4h5s6c";
  const char* hand1 = "AsKs2c3d4h5s6c";
  const char* hand2 = "QhQd2c3d4h5s6c";
  agent->setBucket(3, 3, 0, hand0, 5);
  agent->setBucket(2, 3, 0, hand0, 1);
  agent->setBucket(3, 3, 1, hand1, 8);
  agent->setBucket(2, 3, 1, hand1, 4);
  agent->setBucket(3, 3, 2, hand2, 2);
  agent->setBucket(2, 3, 1, hand2, 6);

  // Three players in: the three-player table of the seat.
  EXPECT_EQ(agent->decide("MATCHSTATE:0:0:ccc/ccc/ccc/:JhTh||/2c3d4h/5s/6c"), "0:3:5:ccccccccc");
  EXPECT_EQ(agent->decide("MATCHSTATE:1:0:ccc/ccc/ccc/c:|AsKs|/2c3d4h/5s/6c"),
            "1:3:8:cccccccccc");
  // After a fold: the two-player table. The third seat, which has no table
  // of its own there, reads the second seat's.
  EXPECT_EQ(agent->decide("MATCHSTATE:1:0:cfc/cc/cc/:|AsKs|/2c3d4h/5s/6c"), "1:3:4:cfccccc");
  EXPECT_EQ(agent->getSolver()->holdemBucket[3][3][1], 8u);
  EXPECT_EQ(agent->decide("MATCHSTATE:2:0:cfc/cc/cc/c:||QhQd/2c3d4h/5s/6c"), "2:3:6:cfcccccc");
  // Training fills the buckets of every seat by the same rule.
  uint8_t cards[7];
  int consumed;
  ASSERT_EQ(readCards(hand2, 7, cards, &consumed), 7);
  EXPECT_EQ(agent->getSolver()->holdemTableBucket(2, 3, 2, cards), 6);
  EXPECT_EQ(agent->getSolver()->holdemTableBucket(3, 3, 2, cards), 2);

  // Betting the strategy does not hold.
  EXPECT_THROW(agent->decideOnly("MATCHSTATE:0:0:crfc/cc/cc/:JhTh||/2c3d4h/5s/6c"),
               std::out_of_range);
}

TEST_F(HoldemAgent, NoLimitStrategyNeverRaisesAndHoldsNoRaisedBetting) {
  ASSERT_TRUE(saveHoldemStrategy(kHoldemGames[2], "strategies/holdem.nolimit.2p/strategy"));
  auto agent = start(kHoldemGames[2]);
  size_t nodes = 0;
  agent->getSolver()->forEachInformationSet([&](const std::string& key, const CFRNode& node) {
    ++nodes;
    EXPECT_FALSE(node.isActionValid(2)) << key;
    EXPECT_EQ(key.find('r'), std::string::npos) << key;
  });
  // Fold or call before the flop, check on every round: eight decisions.
  EXPECT_EQ(nodes, 80u);

  // Whatever it samples, never a raise.
  for (int i = 0; i < 200; ++i) {
    Action action;
    agent->decide("MATCHSTATE:1:0::|AsKs", &action);
    EXPECT_NE(action.type, a_raise);
    agent->decide("MATCHSTATE:0:0:cc/:9d9c|/Ad2c3d", &action);
    EXPECT_NE(action.type, a_raise);
  }
}

// Betting the strategy does not hold is answered by fold or call by price. The
// test's equity tables read every chance as 0, so before the river every hand
// is even against every other; the river compares showdown values.
TEST_F(HoldemAgent, NoLimitAnswersUnheldBettingByPrice) {
  ASSERT_TRUE(saveHoldemStrategy(kHoldemGames[2], "strategies/holdem.nolimit.2p/strategy"));
  std::string out;
  auto agent = start(kHoldemGames[2], &out);
  EXPECT_EQ(agent->getEquityTables()->getEquityTable(3, 1), nullptr);
  const auto answers = [&](const char* line, ActionType expected) {
    testing::internal::CaptureStdout();
    for (int i = 0; i < 20; ++i) {
      Action action;
      agent->decide(line, &action);
      EXPECT_EQ(action.type, expected) << line;
    }
    return testing::internal::GetCapturedStdout();
  };
  // Even chances pay a price of 1/3, and of 19,900 / 40,000 for a shove that
  // leaves only the agent able to act.
  const std::string told = answers("MATCHSTATE:0:0:r300:9d9c|", a_call);
  EXPECT_EQ(told,
            "Warning: betting the strategy does not hold (first in hand 0); such states are "
            "answered by fold or call by price\n");
  EXPECT_EQ(answers("MATCHSTATE:0:0:r20000:9d9c|", a_call), "");
  EXPECT_EQ(numActingPlayers(agent->definition(), &agent->state()), 1);
  // A river bet of the pot: seven high folds, the royal flush calls.
  EXPECT_EQ(answers("MATCHSTATE:0:1:cc/cc/cc/cr300:2c7d|/AsKsQs/Js/3h", a_fold), "");
  EXPECT_EQ(answers("MATCHSTATE:0:1:cc/cc/cc/cr300:Ts9d|/AsKsQs/Js/3h", a_call), "");
  // A check after the raise of an earlier round costs nothing.
  EXPECT_EQ(answers("MATCHSTATE:1:2:r300c/c:|2c7d/AsKsQs", a_call), "");

  // The query behind the decisions: for any holdings at once, silently.
  agent->see("MATCHSTATE:0:3:cc/cc/cc/cr300:2c7d|/AsKsQs/Js/3h");
  const State state = agent->state();
  const uint8_t hands[2][2] = {{makeCard(0, 0), makeCard(5, 1)},   // 2c7d
                               {makeCard(8, 3), makeCard(7, 1)}};  // Ts9d
  double probs[2][NUM_ABSTRACT_ACTIONS];
  testing::internal::CaptureStdout();
  EXPECT_FALSE(agent->actionProbabilities(state, 0, hands, 2, probs));
  EXPECT_EQ(std::vector<double>(probs[0], probs[0] + 3), (std::vector<double>{1, 0, 0}));
  EXPECT_EQ(std::vector<double>(probs[1], probs[1] + 3), (std::vector<double>{0, 1, 0}));
  EXPECT_LT(agent->equityAgainstRaiser(state, 0, hands[0]), 0.05);
  EXPECT_DOUBLE_EQ(agent->equityAgainstRaiser(state, 0, hands[1]), 1.0);
  // The same as the plain reference on boards asked in turn (the range is
  // kept per board, never across boards).
  agent->see("MATCHSTATE:0:5:cc/cc/cc/cr300:2c7d|/2h2s7c/7s/3h");
  const State other = agent->state();
  for (const State* at : {&other, &state, &other}) {
    const auto showdown = [at](uint8_t a, uint8_t b) {
      uint64_t cards = gamecore::cardBit(a) | gamecore::cardBit(b);
      for (int c = 0; c < 5; ++c) cards |= gamecore::cardBit(at->boardCards[c]);
      return static_cast<double>(gamecore::rankShowdownHand(cards));
    };
    const std::vector<Holding> range = rangeHoldings(at->boardCards, 5, showdown);
    const double share = raiserRangeShare(agent->definition(), at, 0);
    for (const auto& hand : hands)
      EXPECT_NEAR(agent->equityAgainstRaiser(*at, 0, hand),
                  equityAgainstRange(showdown(hand[0], hand[1]), hand, range, share, true), 1e-12);
  }
  // At a held key: the strategy's average (zero sums: fold and call alike).
  agent->see("MATCHSTATE:1:4::|AsKs");
  EXPECT_TRUE(agent->actionProbabilities(agent->state(), 1, hands, 1, probs));
  EXPECT_EQ(std::vector<double>(probs[0], probs[0] + 3), (std::vector<double>{0.5, 0.5, 0}));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(HoldemAgent, FirstStartTrainsAndSavesThenLaterStartsLoad) {
  const std::string path = "strategies/holdem.nolimit.2p/strategy";
  std::filesystem::remove_all("strategies");  // its directory is made too
  std::string out;
  auto trained = start(kHoldemGames[2], &out);
  EXPECT_EQ(out.rfind("Warning: could not load strategy from disk!\n"
                      "Training hold'em agent with 10 iterations for each information set!\n",
                      0),
            0u)
      << out;
  EXPECT_TRUE(hasLine(out, "Training hold'em agent with 10 iterations")) << out;
  EXPECT_TRUE(hasLine(out, "Loading table lookup/holdem_preflop_2p_0!")) << out;
  ASSERT_TRUE(std::filesystem::exists(path));
  const size_t keys = trained->getSolver()->numInformationSets();
  EXPECT_GT(keys, 0u);
  trained.reset();

  auto loaded = start(kHoldemGames[2], &out);
  EXPECT_EQ(out.find("Training"), std::string::npos) << out;
  EXPECT_EQ(out.find("Warning"), std::string::npos) << out;
  EXPECT_EQ(loaded->getSolver()->numInformationSets(), keys);
}

// A first start stopped during its training left a checkpoint: the next
// start goes on from it, and once the strategy is saved only that remains.
TEST_F(HoldemAgent, FirstStartGoesOnFromATrainingCheckpoint) {
  const std::string directory = "strategies/holdem.nolimit.2p";
  std::filesystem::remove_all("strategies");
  std::filesystem::create_directories(directory);
  const std::string checkpoint = directory + "/strategy.checkpoint";
  {
    GamePtr game = readGameFile(holdemGamePath(kHoldemGames[2]));
    ASSERT_TRUE(game);
    SyntheticBuckets stopped(game.get());
    stopped.setTrainingCheckpoint(checkpoint, 0.0);
    testing::internal::CaptureStdout();
    stopped.trainHoldem(4);
    testing::internal::GetCapturedStdout();
  }
  ASSERT_TRUE(std::filesystem::exists(checkpoint));

  std::string out;
  auto agent = start(kHoldemGames[2], &out);
  EXPECT_TRUE(hasLine(out, "Resuming the training from " + checkpoint + " after 3 of 10 iterations")) << out;
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(directory))
    left.push_back(entry.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"strategy"});
}

// A damaged strategy is refused with its reason, and the agent trains as on
// a first start; the new strategy replaces the damaged file and loads.
TEST_F(HoldemAgent, DamagedStrategyIsRefusedAndReplacedByTraining) {
  const std::string path = "strategies/holdem.nolimit.2p/strategy";
  ASSERT_TRUE(saveHoldemStrategy(kHoldemGames[2], path));
  std::string key;
  const std::string damaged = everyRecord(readBytes(path), 8, [&](char* k, double* s) {
    if (!key.empty()) return;
    key = k;
    s[2] = std::numeric_limits<double>::infinity();
    s[4] = -3.0;
  });
  writeBytes(path, damaged);
  std::string out;
  auto agent = start(kHoldemGames[2], &out);
  EXPECT_EQ(out.rfind("Warning: strategy " + path + " is refused: information set " + key +
                          " has a negative call strategy sum\n"
                          "Warning: could not load strategy from disk!\n"
                          "Training hold'em agent with 10 iterations for each information set!\n",
                      0),
            0u)
      << out;
  EXPECT_TRUE(hasLine(out, "Training hold'em agent with 10 iterations")) << out;
  agent.reset();
  EXPECT_NE(readBytes(path), damaged);

  auto again = start(kHoldemGames[2], &out);
  EXPECT_EQ(out.find("Training"), std::string::npos) << out;
  EXPECT_EQ(out.find("Warning"), std::string::npos) << out;
  EXPECT_EQ(again->getSolver()->numInformationSets(), 80u);
}

// A FIFO at the strategy's path would block the reader: refused unopened,
// and the trained strategy takes its place as a regular file.
TEST_F(HoldemAgent, NonRegularStrategyIsRefusedUnopened) {
  const std::string path = "strategies/holdem.nolimit.2p/strategy";
  std::filesystem::create_directory("strategies/holdem.nolimit.2p");
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  std::string out;
  start(kHoldemGames[2], &out);
  EXPECT_EQ(out.rfind("Warning: strategy " + path + " is refused: it is not a regular file\n"
                      "Warning: could not load strategy from disk!\n",
                      0),
            0u)
      << out;
  EXPECT_TRUE(std::filesystem::is_regular_file(path));
}

// A whole session over a socket pair: the no-limit agent meets raises its
// strategy cannot hold and answers them by price (with the test's tables:
// calls), telling of the first one only.
TEST_F(HoldemAgent, SessionAnswersUnheldRaisesByPrice) {
  ASSERT_TRUE(saveHoldemStrategy(kHoldemGames[2], "strategies/holdem.nolimit.2p/strategy"));
  auto agent = start(kHoldemGames[2]);
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  const std::vector<std::string> lines = {
      "MATCHSTATE:0:0:r300:9d9c|\r\n",             // raised before the flop
      "MATCHSTATE:0:0:r300c/:9d9c|/Ad2c3d\r\n",   // the same hand on the flop
      "MATCHSTATE:0:0:r300c/r600f:9d9c|/Ad2c3d\r\n",  // over
      "MATCHSTATE:1:1::|AsKs\r\n",                 // held by the strategy
      "MATCHSTATE:0:2::9d9c|\r\n",                 // not to act
      "MATCHSTATE:0:2:r20000:9d9c|\r\n",           // all-in: only the agent can act
  };
  std::vector<std::string> answers;
  // Capturing flushes every stream, which waits for the dealer's while it is
  // blocked reading: capture before the dealer starts, release after it ends.
  testing::internal::CaptureStdout();
  std::thread dealer([&] {
    FILE* in = fdopen(dup(fds[1]), "r");
    char buffer[4096];
    const bool version = std::fgets(buffer, sizeof buffer, in) != nullptr;
    for (size_t i = 0; version && i < lines.size(); ++i) {
      if (write(fds[1], lines[i].data(), lines[i].size()) < 0) break;
      if ((i == 0 || i == 1 || i == 3 || i == 5) && std::fgets(buffer, sizeof buffer, in))
        answers.push_back(buffer);
    }
    std::fclose(in);
    close(fds[1]);
  });
  const bool attached = agent->attach(fds[0]);
  const bool played = attached && agent->play();
  if (!attached) close(fds[1]);
  dealer.join();
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(attached);
  EXPECT_TRUE(played);
  ASSERT_EQ(answers.size(), 4u);
  EXPECT_EQ(answers[0], "MATCHSTATE:0:0:r300:9d9c|:c\r\n");
  EXPECT_EQ(answers[1], "MATCHSTATE:0:0:r300c/:9d9c|/Ad2c3d:c\r\n");
  EXPECT_TRUE(answers[2] == "MATCHSTATE:1:1::|AsKs:c\r\n" ||
              answers[2] == "MATCHSTATE:1:1::|AsKs:f\r\n")
      << answers[2];
  EXPECT_EQ(answers[3], "MATCHSTATE:0:2:r20000:9d9c|:c\r\n");
  size_t warnings = 0;
  for (size_t at = out.find("Warning: "); at != std::string::npos;
       at = out.find("Warning: ", at + 1))
    ++warnings;
  EXPECT_EQ(warnings, 1u) << out;
  EXPECT_NE(out.find("Warning: betting the strategy does not hold (first in hand 0)"),
            std::string::npos)
      << out;
}

// The program in the two-player limit game against our dealer and a
// simplebot, with test-made bucket tables and a strategy of zero sums.
TEST_F(HoldemAgent, ProgramPlaysAMatchAgainstTheDealer) {
  ASSERT_TRUE(saveHoldemStrategy(kHoldemGames[0], "strategies/holdem.limit.2p/strategy"));
  const MatchRun run = playMatch(dir_->path(), kHoldemGames[0], 300, 11, {"random"});
  EXPECT_EQ(run.morvaneStatus, 0) << run.morvaneErr;
  EXPECT_EQ(run.dealerStatus, 0) << slurp(dir_->file("dealer.err"));
  unsigned errors = 99, timeouts = 99;
  ASSERT_TRUE(run.morvaneRow(errors, timeouts)) << run.table;
  EXPECT_EQ(errors, 0u);
  EXPECT_EQ(timeouts, 0u);
  EXPECT_EQ(std::count(run.log.begin(), run.log.end(), '\n'), 301);
  EXPECT_EQ(run.morvaneOut.find("Training"), std::string::npos) << run.morvaneOut;
  EXPECT_EQ(run.morvaneOut.find("Warning"), std::string::npos) << run.morvaneOut;
  EXPECT_EQ(run.morvaneErr.find("WARNING"), std::string::npos) << run.morvaneErr;
}

namespace {

// Decisions per round of the betting tree with fold (only when something is
// owed), call and a limit raise, counted below `state` up to round `last`.
void countDecisions(const Game* game, const State& state, int last, uint64_t* perRound) {
  if (state.finished || state.round > last) return;
  ++perRound[state.round];
  const int seat = currentPlayer(game, &state);
  for (ActionType type : {a_fold, a_call, a_raise}) {
    Action action{type, 0};
    if (type == a_fold && state.spent[seat] == state.maxSpent) continue;
    if (!isValidAction(game, &state, 0, &action)) continue;
    State child = state;
    doAction(game, &action, &child);
    countDecisions(game, child, last, perRound);
  }
}

}  // namespace

// The betting rules of the limit game files: blinds, first seats and raise
// caps all show in the number of decisions of each round.
TEST(HoldemGames, LimitBettingTreesHaveTheirKnownSizes) {
  GamePtr two = readGameFile(holdemGamePath(kHoldemGames[0]));
  GamePtr three = readGameFile(holdemGamePath(kHoldemGames[1]));
  ASSERT_TRUE(two && three);
  State start;
  uint64_t perRound[4] = {};
  initState(two.get(), 0, &start);
  countDecisions(two.get(), start, 3, perRound);
  EXPECT_EQ(std::vector<uint64_t>(perRound, perRound + 4),
            (std::vector<uint64_t>{8, 70, 630, 5670}));
  // The three-player river alone has 9.5 million; the rounds before it
  // already depend on every rule.
  uint64_t perRound3[4] = {};
  initState(three.get(), 0, &start);
  countDecisions(three.get(), start, 2, perRound3);
  EXPECT_EQ(std::vector<uint64_t>(perRound3, perRound3 + 3),
            (std::vector<uint64_t>{90, 4412, 205962}));
}
