// The dealer session against a scripted dealer over loopback: which events a
// line raises and in which order, and the exact bytes of every answer.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "PokerAgent.h"
#include "net.h"
#include "support.h"

namespace {

// Records every event as a short word and answers from a queue.
class ScriptedAgent : public PokerAgent {
 public:
  ScriptedAgent(const char* gameFile, std::deque<Action> answers)
      : PokerAgent(gameFile), answers(std::move(answers)) {}

  void holeCards(uint8_t* cards, uint8_t player) override {
    events.push_back("hole" + std::to_string(player) + ":" + std::to_string(cards[0]));
  }
  void getAction(Action& action) override {
    events.push_back("get");
    action = answers.front();
    answers.pop_front();
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

SessionResult runSession(const std::string& gameFile, std::deque<Action> answers,
                         const std::vector<std::pair<std::string, bool>>& script) {
  ScriptedDealer dealer;
  EXPECT_GE(dealer.listener, 0);
  ScriptedAgent agent(gameFile.c_str(), std::move(answers));
  SessionResult result;
  std::thread player([&] {
    if (agent.connect("localhost", dealer.port)) result.played = agent.play();
  });
  result.answers = dealer.run(script, result.version);
  player.join();
  // A second connect on a connected agent is refused.
  EXPECT_FALSE(agent.connect("localhost", dealer.port));
  result.events = agent.events;
  return result;
}

const Action kFold{a_fold, 0}, kCall{a_call, 0}, kRaise{a_raise, 0};

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
