// The dealer session against a scripted dealer over loopback: which events a
// line raises and in which order, and the exact bytes of every answer.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "agents/KuhnAgent.h"
#include "agents/PokerAgent.h"
#include "net.h"
#include "support.h"
#include "../seeded_random.h"

namespace {

// Records every event as a short word and answers from a queue.
class ScriptedAgent : public PokerAgent {
 public:
  ScriptedAgent(const char* gameFile, std::deque<Action> answers)
      : PokerAgent(gameFile), answers(std::move(answers)) {}

  void holeCards(uint8_t* cards, uint8_t player) override {
    events.push_back("hole" + std::to_string(player) + ":" + std::to_string(cards[0]));
  }
  // An answer of type a_invalid and size -1 stands for an information set
  // the strategy lacks.
  void getAction(Action& action) override {
    events.push_back("get");
    const Action next = answers.front();
    answers.pop_front();
    if (next.type == a_invalid && next.size == -1) throw std::out_of_range("no such key");
    action = next;
  }
  void actionEvent(uint8_t player, Action action) override {
    events.push_back("action" + std::to_string(player) + actionChars[action.type]);
  }
  void stageEvent(int stage) override { events.push_back("stage" + std::to_string(stage)); }
  void showdownEvent(uint8_t, uint8_t*) override { events.push_back("showdown"); }
  void gameOverEvent(double value) override {
    events.push_back("over" + std::to_string(static_cast<int>(value)));
  }
  void winEvent(uint8_t, int) override { events.push_back("win"); }

  std::vector<std::string> events;
  std::deque<Action> answers;
};

// Plays the dealer's side: sends each line, and after lines that expect an
// answer reads one line back. Returns the answers received.
class ScriptedDealer {
 public:
  ScriptedDealer() {
    port = 0;
    listener = getListenSocket(&port);
  }
  ~ScriptedDealer() {
    if (listener >= 0) close(listener);
  }

  std::vector<std::string> run(const std::vector<std::pair<std::string, bool>>& script,
                               std::string& version) {
    std::vector<std::string> answers;
    const int fd = accept(listener, nullptr, nullptr);
    if (fd < 0) return answers;
    timeval timeout{5, 0};  // a silent agent fails the test instead of hanging it
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    FILE* in = fdopen(dup(fd), "r");
    char line[4096];
    if (std::fgets(line, sizeof(line), in)) version = line;
    for (const auto& [text, answered] : script) {
      if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) break;
      if (answered && std::fgets(line, sizeof(line), in)) answers.push_back(line);
    }
    std::fclose(in);
    close(fd);
    return answers;
  }

  uint16_t port;
  int listener;
};

struct SessionResult {
  std::vector<std::string> events;
  std::vector<std::string> answers;
  std::string version;
  bool played = false;
};

// Plays `script` against `agent`; the events are the caller's to collect.
SessionResult playScript(PokerAgent& agent,
                         const std::vector<std::pair<std::string, bool>>& script) {
  ScriptedDealer dealer;
  EXPECT_GE(dealer.listener, 0);
  SessionResult result;
  std::thread player([&] {
    if (agent.connect("localhost", dealer.port)) result.played = agent.play();
  });
  result.answers = dealer.run(script, result.version);
  player.join();
  // A second connect on a connected agent is refused.
  EXPECT_FALSE(agent.connect("localhost", dealer.port));
  return result;
}

SessionResult runSession(const std::string& gameFile, std::deque<Action> answers,
                         const std::vector<std::pair<std::string, bool>>& script) {
  ScriptedAgent agent(gameFile.c_str(), std::move(answers));
  SessionResult result = playScript(agent, script);
  result.events = agent.events;
  return result;
}

const Action kFold{a_fold, 0}, kCall{a_call, 0}, kRaise{a_raise, 0}, kMissing{a_invalid, -1};

size_t countOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

TEST(Session, KuhnHandsRaiseEventsInOrderAndAnswersAreRepaired) {
  testing::internal::CaptureStderr();
  const SessionResult r = runSession(
      kuhnGamePath(), {kFold, kRaise, kCall},
      {
          {"# a comment line\r\n", false},
          {"MATCHSTATE:0:0::Ks||\r\n", true},  // fold with nothing to call
          {";another comment\r\n", false},
          {"MATCHSTATE:0:0:c:Ks||\r\n", false},
          {"MATCHSTATE:0:0:cr:Ks||\r\n", false},
          {"MATCHSTATE:0:0:crc:Ks||\r\n", true},  // a raise that is no longer allowed
          {"MATCHSTATE:0:0:crcc:Ks|Qs|Js\r\n", false},
          {"MATCHSTATE:1:1::|As|\r\n", false},
          {"MATCHSTATE:1:1:r:|As|\r\n", true},
          {"not a match state\r\n", false},
          {"MATCHSTATE:1:1:rc:|As|\r\n", false},
          {"MATCHSTATE:1:1:rcf:Js|As|\r\n", false},
      });
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(r.played);
  EXPECT_EQ(r.version, "VERSION:2.0.0\n");
  ASSERT_EQ(r.answers.size(), 3u);
  EXPECT_EQ(r.answers[0], "MATCHSTATE:0:0::Ks||:c\r\n");
  EXPECT_EQ(r.answers[1], "MATCHSTATE:0:0:crc:Ks||:c\r\n");
  EXPECT_EQ(r.answers[2], "MATCHSTATE:1:1:r:|As|:c\r\n");
  const uint8_t kingOfSpades = makeCard(11, 3), aceOfSpades = makeCard(12, 3);
  const std::vector<std::string> expected = {
      "hole0:" + std::to_string(kingOfSpades), "stage0", "get",
      "action0c", "action1r", "action2c", "get",
      "action0c", "over4",
      "hole1:" + std::to_string(aceOfSpades), "stage0",
      "action0r", "get", "action1c", "action2f", "over3"};
  EXPECT_EQ(r.events, expected);
  EXPECT_NE(err.find("WARNING: could not read state not a match state"), std::string::npos);
}

TEST(Session, RoundChangeCarriesTheClosingActionThenTheNewStage) {
  TempDir dir;
  const std::string gameFile = dir.file("two.rounds.game");
  writeText(gameFile,
            "GAMEDEF\nlimit\nnumPlayers = 2\nnumRounds = 2\nblind = 1 1\nraiseSize = 2 4\n"
            "firstPlayer = 1 1\nmaxRaises = 2 2\nnumSuits = 2\nnumRanks = 3\n"
            "numHoleCards = 1\nnumBoardCards = 0 1\nEND GAMEDEF\n");
  const SessionResult r = runSession(gameFile, {kCall, kCall, kFold},
                                     {
                                         {"MATCHSTATE:0:5::Ks|\r\n", true},
                                         {"MATCHSTATE:0:5:c:Ks|\r\n", false},
                                         {"MATCHSTATE:0:5:cc/:Ks|/Qh\r\n", true},
                                         {"MATCHSTATE:0:5:cc/c:Ks|/Qh\r\n", false},
                                         {"MATCHSTATE:0:5:cc/cr:Ks|/Qh\r\n", true},
                                         {"MATCHSTATE:0:5:cc/crf:Ks|/Qh\r\n", false},
                                     });
  ASSERT_EQ(r.answers.size(), 3u);
  EXPECT_EQ(r.answers[1], "MATCHSTATE:0:5:cc/:Ks|/Qh:c\r\n");
  EXPECT_EQ(r.answers[2], "MATCHSTATE:0:5:cc/cr:Ks|/Qh:f\r\n");  // a fold that is owed
  const std::vector<std::string> expected = {
      "hole0:" + std::to_string(makeCard(11, 3)), "stage0", "get", "action0c",
      "action1c", "stage1", "get", "action0c", "action1r", "get", "action0f", "over-1"};
  EXPECT_EQ(r.events, expected);
}

TEST(Session, MissingInformationSetIsAnsweredWithACallAndOneWarningPerHand) {
  testing::internal::CaptureStdout();
  const SessionResult r = runSession(kuhnGamePath(), {kMissing, kMissing, kMissing},
                                     {
                                         {"MATCHSTATE:0:0::Ks||\r\n", true},
                                         {"MATCHSTATE:0:0:crc:Ks||\r\n", true},
                                         {"MATCHSTATE:0:0:crcc:Ks|Qs|Js\r\n", false},
                                         // The number scanner skips white space, so
                                         // the warning must not cut the answer there.
                                         {"MATCHSTATE:0:\r1::Qs||\r\n", true},
                                     });
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(r.played);
  const std::vector<std::string> expected = {"MATCHSTATE:0:0::Ks||:c\r\n",
                                             "MATCHSTATE:0:0:crc:Ks||:c\r\n",
                                             "MATCHSTATE:0:\r1::Qs||:c\r\n"};
  EXPECT_EQ(r.answers, expected);
  EXPECT_EQ(countOf(out, "Warning: no strategy for the state "), 2u) << out;
  EXPECT_EQ(countOf(out, "Warning: no strategy for the state MATCHSTATE:0:0::Ks||, calling\n"), 1u);
}

TEST(Session, NothingIsComputedFromCardsTheLineDidNotCarry) {
  testing::internal::CaptureStdout();
  const SessionResult r = runSession(
      kuhnGamePath(), {kRaise, kRaise, kCall, kRaise},
      {
          // Hand 0 is known to the agent with a king.
          {"MATCHSTATE:0:0::Ks||\r\n", true},
          // Hand 1 hides seat 0's own card: skipped, not played as the king.
          {"MATCHSTATE:0:1::|Qs|\r\n", false},
          // Hand 2 starts although the line that ended hand 0 never came.
          {"MATCHSTATE:0:2::Qs||\r\n", true},
          // A ten and a card shown twice are not Kuhn deals: calls, no events.
          {"MATCHSTATE:0:3::Ts||\r\n", true},
          {"MATCHSTATE:0:4::Ks|Ks|\r\n", true},
          // A showdown without the other seats' cards has no known result.
          {"MATCHSTATE:1:5::|As|\r\n", false},
          {"MATCHSTATE:1:5:c:|As|\r\n", true},
          {"MATCHSTATE:1:5:ccc:|As|\r\n", false},
          {"MATCHSTATE:1:6::|Js|\r\n", false},
          {"MATCHSTATE:1:6:c:|Js|\r\n", true},
      });
  const std::string out = testing::internal::GetCapturedStdout();
  const std::vector<std::string> answers = {
      "MATCHSTATE:0:0::Ks||:r\r\n", "MATCHSTATE:0:2::Qs||:r\r\n",
      "MATCHSTATE:0:3::Ts||:c\r\n", "MATCHSTATE:0:4::Ks|Ks|:c\r\n",
      "MATCHSTATE:1:5:c:|As|:c\r\n", "MATCHSTATE:1:6:c:|Js|:r\r\n"};
  EXPECT_EQ(r.answers, answers);
  const std::vector<std::string> events = {
      "hole0:" + std::to_string(makeCard(11, 3)), "stage0", "get",
      "hole0:" + std::to_string(makeCard(10, 3)), "stage0", "get",
      "hole1:" + std::to_string(makeCard(12, 3)), "stage0", "action0c", "get", "action1c",
      "hole1:" + std::to_string(makeCard(9, 3)), "stage0", "action0c", "get"};
  EXPECT_EQ(r.events, events);
  EXPECT_EQ(countOf(out, "Warning: skipped a state without the cards of seat 0"), 1u) << out;
  EXPECT_EQ(countOf(out, "Warning: the cards of this state cannot be dealt in the game"), 2u);
  EXPECT_EQ(countOf(out, "Warning: the result of hand 5 is unknown"), 1u);
}

TEST(Session, OverlongLineIsDroppedWholeWithOneWarning) {
  // The first 4,095 characters and the tail each read as a match state on
  // their own; neither may be answered.
  std::string head = "MATCHSTATE:0:0::Ks||";
  head.resize(4095, 'x');
  const std::string longLine = head + "MATCHSTATE:0:7::Ks||\r\n";
  testing::internal::CaptureStderr();
  const SessionResult r = runSession(kuhnGamePath(), {kRaise},
                                     {{longLine, false}, {"MATCHSTATE:0:8::Qs||\r\n", true}});
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_EQ(r.answers.size(), 1u);
  EXPECT_EQ(r.answers[0], "MATCHSTATE:0:8::Qs||:r\r\n");
  EXPECT_EQ(countOf(err, "WARNING: dropped a line longer than 4095 characters\n"), 1u) << err;
  EXPECT_EQ(countOf(err, "WARNING"), 1u) << err;
}

// The Kuhn agent itself, given a ten: answered with a call, and play goes on.
TEST(Session, KuhnAgentAnswersAStateOutsideItsTreeWithACall) {
  TempDir dir;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  testing::internal::CaptureStdout();
  KuhnAgent agent(kuhnGamePath().c_str(), 1, 2000);
  const SessionResult r = playScript(agent, {{"MATCHSTATE:0:0::Ts||\r\n", true},
                                             {"MATCHSTATE:0:0:crc:Ts||\r\n", true},
                                             {"MATCHSTATE:0:1:c:Js||\r\n", false}});
  const std::string out = testing::internal::GetCapturedStdout();
  std::filesystem::current_path(previous);
  EXPECT_TRUE(r.played);
  const std::vector<std::string> answers = {"MATCHSTATE:0:0::Ts||:c\r\n",
                                            "MATCHSTATE:0:0:crc:Ts||:c\r\n"};
  EXPECT_EQ(r.answers, answers);
  EXPECT_EQ(countOf(out, "Warning: "), 3u) << out;  // no strategy files, two odd states
}
