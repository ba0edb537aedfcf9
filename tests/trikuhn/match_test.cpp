// Whole matches: two trikuhn players and a simplebot against our dealer.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

using trikuhn_test::Child;
using trikuhn_test::readFile;
using trikuhn_test::spawn;
using trikuhn_test::waitExit;

namespace {

constexpr int HANDS = 2000;

// Waits for the dealer's "ports P1 P2 P3" line.
std::vector<std::string> dealerPorts(std::string const& outPath) {
  auto const deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    std::string const text = readFile(outPath);
    if (auto const end = text.find('\n'); end != std::string::npos) {
      std::istringstream line(text.substr(0, end));
      std::string word;
      line >> word;
      if (word != "ports") break;
      std::vector<std::string> ports;
      while (line >> word) ports.push_back(word);
      return ports;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ADD_FAILURE() << "dealer printed no ports line: " << readFile(outPath);
  return {};
}

// Plays one match in dir and returns its log.
std::string playMatch(std::string const& dir) {
  std::string const game = trikuhn_test::kuhnGamePath();
  Child const dealer =
      spawn({DEALER_PATH, "--log", dir + "/match.log", "match", game, std::to_string(HANDS),
             "2026", "trikuhn1", "trikuhn2", "raise"},
            dir + "/dealer.out", dir + "/dealer.err");
  std::vector<std::string> const ports = dealerPorts(dealer.outPath);
  if (ports.size() != 3) return "";
  std::vector<Child> const players = {
      spawn({TRIKUHN_PATH, "-g", game, "-p", ports[0], "-r", "11"}, dir + "/t1.out",
            dir + "/t1.err"),
      spawn({TRIKUHN_PATH, "-g", game, "-l", "127.0.0.1", "-p", ports[1], "-r", "22"},
            dir + "/t2.out", dir + "/t2.err"),
      spawn({SIMPLEBOT_PATH, "--policy", "raise", "--seed", "3", game, "localhost", ports[2]},
            dir + "/s.out", dir + "/s.err"),
  };
  EXPECT_EQ(waitExit(dealer), 0) << readFile(dealer.errPath);
  for (Child const& player : players) {
    EXPECT_EQ(waitExit(player), 0) << readFile(player.errPath);
    EXPECT_EQ(readFile(player.errPath), "");  // no warnings: every action was legal
  }
  return readFile(dir + "/match.log");
}

TEST(MatchTest, TwoTrikuhnAndASimplebotPlayAReproducibleMatch) {
  std::string const first = playMatch(trikuhn_test::makeTempDir());
  std::istringstream lines(first);
  int hands = 0;
  std::string line;
  while (std::getline(lines, line) && line.rfind("STATE:", 0) == 0) ++hands;
  EXPECT_EQ(hands, HANDS);
  EXPECT_EQ(line.rfind("SCORE:", 0), 0u) << line;

  std::string const second = playMatch(trikuhn_test::makeTempDir());
  EXPECT_EQ(first, second);
}

}  // namespace
