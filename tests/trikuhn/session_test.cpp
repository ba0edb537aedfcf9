// The dealer session against a scripted dealer over loopback: the version
// line, which lines are answered and how, the repairs, and the callbacks.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "acpc_configuration.h"
#include "test_support.h"

using trikuhn_test::Listener;

namespace {

// Connects a configuration to a listener in this process and plays the
// dealer's side: every dealer line is written before the session runs, so
// the whole exchange stays inside the socket buffers.
class SessionTest : public testing::Test {
 protected:
  Listener listener;
  std::unique_ptr<Acpc::Configuration> config;
  int dealer = -1;

  void SetUp() override {
    config = std::make_unique<Acpc::Configuration>(trikuhn_test::kuhnGamePath(), "127.0.0.1",
                                                   listener.port);
    dealer = listener.accept();
    ASSERT_GE(dealer, 0);
    EXPECT_EQ(trikuhn_test::readLine(dealer), "VERSION:2.0.0\n");
  }

  void TearDown() override {
    if (dealer >= 0) ::close(dealer);
  }

  // Sends the lines, closes the dealer's sending side, runs the session and
  // returns everything the client answered.
  std::string run(std::string const& lines, Acpc::ActCallback const& act,
                  Acpc::ObserveCallback const& observe = [](MatchState const&) {}) {
    trikuhn_test::writeAll(dealer, lines);
    ::shutdown(dealer, SHUT_WR);
    config->for_every_match_state(act, observe);
    ::shutdown(fileno(config->dealerConnection.toServer), SHUT_WR);
    return trikuhn_test::readAll(dealer);
  }
};

Action raise() { return Action{a_raise, 0}; }

TEST_F(SessionTest, AnswersOnlyWhenTheViewingSeatIsToAct) {
  std::vector<std::string> acted;
  std::vector<std::string> observed;
  Game const* game = config->gameDefinition.game.get();
  std::string const answers = run(
      "# a comment\n"
      ";another\n"
      "MATCHSTATE:1:0::|Qs|\n"       // seat 0 is to act
      "MATCHSTATE:1:0:c:|Qs|\n"      // seat 1 is to act
      "MATCHSTATE:1:0:cr:|Qs|\r\n"   // seat 2 is to act
      "MATCHSTATE:1:0:crf:|Qs|\n"    // seat 0 again
      "MATCHSTATE:1:0:crff:|Qs|\n",  // over
      [&](MatchState const& ms) {
        acted.push_back(Acpc::matchStateToString(ms, game));
        return raise();
      },
      [&](MatchState const& ms) { observed.push_back(Acpc::matchStateToString(ms, game)); });
  EXPECT_EQ(answers, "MATCHSTATE:1:0:c:|Qs|:r\r\n");
  EXPECT_EQ(acted, std::vector<std::string>{"MATCHSTATE:1:0:c:|Qs|"});
  EXPECT_EQ(observed, std::vector<std::string>{"MATCHSTATE:1:0:crff:|Qs|"});
}

TEST_F(SessionTest, EchoesTheReceivedTextExactly) {
  // Lower-case card text and a carriage return are sent back as received;
  // text after the match state is replaced by the answer.
  std::string const answers =
      run("MATCHSTATE:0:0::kS||\r\nMATCHSTATE:0:1::Ks||junk\n", [](MatchState const&) {
        return raise();
      });
  EXPECT_EQ(answers, "MATCHSTATE:0:0::kS||:r\r\nMATCHSTATE:0:1::Ks||:r\r\n");
}

TEST_F(SessionTest, FinalStatesReachOnlyTheObserver) {
  int acts = 0;
  std::vector<uint32_t> hands;
  std::string const answers = run(
      "MATCHSTATE:0:0:ccc:Ks|Qs|As\nMATCHSTATE:1:1:rff:|Ks|\n",
      [&](MatchState const&) {
        ++acts;
        return raise();
      },
      [&](MatchState const& ms) { hands.push_back(ms.state.handId); });
  EXPECT_EQ(answers, "");
  EXPECT_EQ(acts, 0);
  EXPECT_EQ(hands, (std::vector<uint32_t>{0, 1}));
}

TEST_F(SessionTest, IllegalActionsAndFailingBotsBecomeCalls) {
  int calls = 0;
  testing::internal::CaptureStderr();
  std::string const answers = run(
      "MATCHSTATE:0:0::Ks||\r\nMATCHSTATE:0:1::Ks||\nMATCHSTATE:2:2:rc:||Ks\n",
      [&](MatchState const&) -> Action {
        switch (calls++) {
          case 0: return Action{a_fold, 0};  // nothing owed
          case 1: throw std::runtime_error("bot failure");
          default: return raise();  // over the raise cap
        }
      });
  std::string const warnings = testing::internal::GetCapturedStderr();
  // The warning shows the buffer with the colon over the character after
  // the match state: "\r\n" leaves its line feed, "\n" nothing.
  EXPECT_EQ(answers,
            "MATCHSTATE:0:0::Ks||:c\r\nMATCHSTATE:0:1::Ks||:c\r\nMATCHSTATE:2:2:rc:||Ks:c\r\n");
  EXPECT_EQ(warnings,
            "WARNING: generated invalid action, 0, in MATCHSTATE:0:0::Ks||:\n"
            ". Defaulting to check/call\n"
            "WARNING: generated invalid action, 2, in MATCHSTATE:2:2:rc:||Ks:. Defaulting to "
            "check/call\n");
}

TEST_F(SessionTest, LastLineWithoutLineFeedIsAnsweredAndWarnedCleanly) {
  testing::internal::CaptureStderr();
  std::string const answers =
      run("MATCHSTATE:0:0::Ks||", [](MatchState const&) { return Action{a_invalid, 0}; });
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARNING: generated invalid action, 3, in MATCHSTATE:0:0::Ks||:. Defaulting to "
            "check/call\n");
  EXPECT_EQ(answers, "MATCHSTATE:0:0::Ks||:c\r\n");
}

}  // namespace
