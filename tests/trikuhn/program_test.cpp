// The trikuhn program as a process: its command line, and the session's
// fatal conditions, against a scripted dealer over loopback.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

using trikuhn_test::Child;
using trikuhn_test::Listener;
using trikuhn_test::readFile;

namespace {

class ProgramTest : public testing::Test {
 protected:
  std::string dir = trikuhn_test::makeTempDir();
  Child child;

  void start(std::vector<std::string> args) {
    args.insert(args.begin(), TRIKUHN_PATH);
    child = trikuhn_test::spawn(args, dir + "/out", dir + "/err");
  }
  std::string out() const { return readFile(child.outPath); }
  std::string err() const { return readFile(child.errPath); }
};

std::string port(Listener const& listener) { return std::to_string(listener.port); }

TEST_F(ProgramTest, RequiredOptionsAreCheckedBeforeConnecting) {
  Listener listener;
  start({"-p", port(listener)});
  EXPECT_EQ(trikuhn_test::waitExit(child), 1);
  EXPECT_NE(err().find("game"), std::string::npos) << err();
  EXPECT_EQ(listener.accept(0), -1);

  start({"-g", trikuhn_test::kuhnGamePath()});
  EXPECT_EQ(trikuhn_test::waitExit(child), 1);
  EXPECT_NE(err().find("port"), std::string::npos) << err();
}

TEST_F(ProgramTest, HelpAndVersion) {
  start({"--help"});
  EXPECT_EQ(trikuhn_test::waitExit(child), 0);
  // The bot's own text: its first line names bot, game and "Bot".
  std::istringstream lines(out());
  std::vector<std::string> trimmed;
  for (std::string line; std::getline(lines, line);)
    trimmed.push_back(line.substr(std::min(line.find_first_not_of(' '), line.size())));
  auto const first = std::find(trimmed.begin(), trimmed.end(),
                               "BetaAndFreeOptimized: 3-player limit Kuhn Bot");
  ASSERT_NE(first, trimmed.end()) << out();
  auto const next = std::find_if(first + 1, trimmed.end(),
                                 [](std::string const& line) { return !line.empty(); });
  ASSERT_NE(next, trimmed.end());
  EXPECT_EQ(next->rfind("Family 1 equilibrium agent where beta", 0), 0u) << *next;
  for (char const* flag : {"--game", "--host", "--port", "--random-seed"})
    EXPECT_NE(out().find(flag), std::string::npos) << flag;

  start({"--version"});
  EXPECT_EQ(trikuhn_test::waitExit(child), 0);
  EXPECT_NE(out().find("0.0.1"), std::string::npos) << out();
}

TEST_F(ProgramTest, MissingGameFileIsReportedBeforeConnecting) {
  Listener listener;
  start({"-g", dir + "/none.game", "-p", port(listener)});
  EXPECT_EQ(trikuhn_test::waitExit(child), 1);
  EXPECT_EQ(err(), "Could not open game definition " + dir + "/none.game\n\n");
  EXPECT_EQ(listener.accept(0), -1);
}

TEST_F(ProgramTest, OverlongHostNameIsRefused) {
  std::string const host(64, 'h');
  start({"-g", trikuhn_test::kuhnGamePath(), "-l", host, "-p", "1"});
  EXPECT_EQ(trikuhn_test::waitExit(child), 1);
  EXPECT_EQ(err(), "ERROR: host name too long: " + host + "\n");
}

TEST_F(ProgramTest, UnreachableDealerEndsWithStatusOne) {
  uint16_t closedPort;
  {
    Listener listener;  // a port that nobody listens on once it is closed
    closedPort = listener.port;
  }
  start({"-g", trikuhn_test::kuhnGamePath(), "-l", "127.0.0.1", "-p", std::to_string(closedPort)});
  EXPECT_EQ(trikuhn_test::waitExit(child), 1);
  EXPECT_EQ(err(), "ERROR: could not connect to 127.0.0.1:" + std::to_string(closedPort) + "\n");
}

// Plays a short scripted session with the default host and a fixed seed.
std::string playScripted(std::string const& dir, Child& child, std::string const& seed) {
  Listener listener;
  child = trikuhn_test::spawn({TRIKUHN_PATH, "-g", trikuhn_test::kuhnGamePath(), "-p",
                               port(listener), "-r", seed},
                              dir + "/out", dir + "/err");
  int const dealer = listener.accept();
  EXPECT_GE(dealer, 0);
  EXPECT_EQ(trikuhn_test::readLine(dealer), "VERSION:2.0.0\n");
  std::string answers;
  // Hand 0: seat 0 is to act (no answer), then the bot in seat 1 with the
  // jack after a check, then the hand's end. Hand 1: the bot in seat 0 with
  // the ace, first to act and then facing a called bet.
  trikuhn_test::writeAll(dealer, "MATCHSTATE:1:0::|Js|\r\nMATCHSTATE:1:0:c:|Js|\r\n");
  answers += trikuhn_test::readLine(dealer);
  trikuhn_test::writeAll(dealer, "MATCHSTATE:1:0:ccc:Ks|Js|Qs\r\nMATCHSTATE:0:1::As||\r\n");
  answers += trikuhn_test::readLine(dealer);
  trikuhn_test::writeAll(dealer, "MATCHSTATE:0:1:crc:As||\r\n");
  answers += trikuhn_test::readLine(dealer);
  ::close(dealer);
  return answers;
}

TEST_F(ProgramTest, PlaysAScriptedSessionOnTheDefaultHost) {
  std::string const first = playScripted(dir, child, "12345");
  EXPECT_EQ(trikuhn_test::waitExit(child), 0) << err();
  std::istringstream lines(first);
  std::string line;
  std::getline(lines, line);
  // b11 is 0 or 0.25: a check or a bet.
  EXPECT_TRUE(line == "MATCHSTATE:1:0:c:|Js|:c\r" || line == "MATCHSTATE:1:0:c:|Js|:r\r") << line;
  std::getline(lines, line);
  EXPECT_EQ(line, "MATCHSTATE:0:1::As||:c\r");  // a41 = 0
  std::getline(lines, line);
  EXPECT_EQ(line, "MATCHSTATE:0:1:crc:As||:c\r");  // a44 = 1
  EXPECT_FALSE(std::getline(lines, line));

  std::string const second = playScripted(dir, child, "12345");
  EXPECT_EQ(trikuhn_test::waitExit(child), 0) << err();
  EXPECT_EQ(first, second);
}

TEST_F(ProgramTest, UnreadableLineEndsTheProgram) {
  Listener listener;
  start({"-g", trikuhn_test::kuhnGamePath(), "-p", port(listener)});
  int const dealer = listener.accept();
  ASSERT_GE(dealer, 0);
  EXPECT_EQ(trikuhn_test::readLine(dealer), "VERSION:2.0.0\n");
  trikuhn_test::writeAll(dealer, "# fine\nMATCHSTATE:0:0:x:Ks||\n");
  EXPECT_EQ(trikuhn_test::waitExit(child), 1);
  EXPECT_EQ(err(), "ERROR: could not read state MATCHSTATE:0:0:x:Ks||\n");
  ::close(dealer);
}

TEST_F(ProgramTest, MatchStateTooLongToAnswerEndsTheProgram) {
  Listener listener;
  start({"-g", trikuhn_test::kuhnGamePath(), "-p", port(listener)});
  int const dealer = listener.accept();
  ASSERT_GE(dealer, 0);
  trikuhn_test::readLine(dealer);
  // Round separators are accepted anywhere in the betting; 4,080 of them
  // leave no room for an answer in the line buffer.
  trikuhn_test::writeAll(dealer, "MATCHSTATE:0:0:" + std::string(4080, '/') + ":Ks||\n");
  EXPECT_EQ(trikuhn_test::waitExit(child), 1);
  EXPECT_EQ(err(), "ERROR: line too long after printing action\n");
  EXPECT_EQ(trikuhn_test::readAll(dealer, 1000), "");
  ::close(dealer);
}

TEST_F(ProgramTest, PortOutsideTheRangeOrWithTrailingTextIsRefused) {
  // TCLAP's 16-bit conversion used to turn -1 into 65535 and 70000 into 4464.
  for (std::string const bad : {"-1", "70000", "65536", "0", "12abc"}) {
    start({"-g", trikuhn_test::kuhnGamePath(), "-l", "127.0.0.1", "-p", bad});
    EXPECT_EQ(trikuhn_test::waitExit(child), 1) << bad;
    EXPECT_EQ(err(), "ERROR: invalid port " + bad + "\n");
  }
}

TEST_F(ProgramTest, DealerHangingUpWhileAnswersAreSentIsAFailedWriteNotASignal) {
  Listener listener;
  start({"-g", trikuhn_test::kuhnGamePath(), "-p", port(listener), "-r", "1"});
  int const dealer = listener.accept();
  ASSERT_GE(dealer, 0);
  EXPECT_EQ(trikuhn_test::readLine(dealer), "VERSION:2.0.0\n");
  // Many states in which the bot is to act, then the dealer is gone. The
  // player is held while this happens, so that it finds every line waiting:
  // its first answer draws a reset, and a later one fails to be written.
  ::kill(child.pid, SIGSTOP);
  std::string lines;
  for (int hand = 0; hand < 100; ++hand) lines += "MATCHSTATE:0:" + std::to_string(hand) + "::Ks||\r\n";
  trikuhn_test::writeAll(dealer, lines);
  ::close(dealer);
  ::kill(child.pid, SIGCONT);
  EXPECT_EQ(trikuhn_test::waitExit(child), 1);
  EXPECT_EQ(err(), "ERROR: could not get send response to server\n");
}

}  // namespace
