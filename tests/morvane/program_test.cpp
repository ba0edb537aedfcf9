// The morvane program: its messages and exit codes, and a full match against
// our dealer and two simplebots.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "KuhnAgent.h"
#include "support.h"

namespace {

struct ProcessResult {
  int status;
  std::string out;
  std::string err;
};

// Runs a shell command line in `dir`, capturing its output.
ProcessResult runIn(const std::string& dir, const std::string& command) {
  const std::string line = "cd '" + dir + "' && " + command + " >'" + dir + "/out' 2>'" + dir +
                           "/err' </dev/null";
  const int raw = std::system(line.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(dir + "/out"), slurp(dir + "/err")};
}

// A scratch working directory holding the Kuhn game file and, when asked,
// three small strategy files, so that morvane starts without long training.
class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(kuhnGamePath(), dir.file("kuhn.limit.3p.game"));
  }
  void makeStrategies() {
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    testing::internal::CaptureStdout();
    { KuhnAgent agent("kuhn.limit.3p.game", 1, 50000); }
    testing::internal::GetCapturedStdout();
    std::filesystem::current_path(previous);
  }
  TempDir dir;
};

const std::string morvane = MORVANE_PATH;
const std::string exploitability = EXPLOITABILITY_PATH;

}  // namespace

TEST_F(Program, CommandLineAndGameErrors) {
  ProcessResult r = runIn(dir.path(), morvane + " kuhn.limit.3p.game localhost");
  EXPECT_EQ(r.status, 1);
  // The arguments are echoed before the usage check.
  EXPECT_EQ(r.out, morvane + "\nkuhn.limit.3p.game\nlocalhost\n");
  EXPECT_EQ(r.err, "usage: player game server port\n");

  r = runIn(dir.path(), morvane + " missing.game localhost 1");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: could not open game missing.game\n");

  writeText(dir.file("broken.game"), "GAMEDEF\nnumPlayers = 1\nEND GAMEDEF\n");
  r = runIn(dir.path(), morvane + " broken.game localhost 1");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("ERROR: could not read game broken.game\n"), std::string::npos);

  // Only the exact file name selects an agent.
  r = runIn(dir.path(), morvane + " ./kuhn.limit.3p.game localhost 1");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: no agent for game ./kuhn.limit.3p.game\n");
}

TEST_F(Program, PortIsCheckedAfterLoadingAndAFailedConnectionExitsOne) {
  makeStrategies();
  ProcessResult r = runIn(dir.path(), morvane + " kuhn.limit.3p.game localhost http");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("NashConv of strategy 2: "), std::string::npos);
  EXPECT_EQ(r.out.find("Training"), std::string::npos);
  EXPECT_EQ(r.err, "ERROR: invalid port http\n");

  // Port 1 is privileged and unused on a test machine: the connection is refused.
  r = runIn(dir.path(), morvane + " kuhn.limit.3p.game 127.0.0.1 1");
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(r.err.empty());
}

// A 500-hand match: morvane in one seat, two simplebots in the others. The
// dealer prints its ports first; morvane must finish with status 0 when the
// dealer closes, and the dealer must count no errors for it.
TEST_F(Program, PlaysAFullMatchAgainstTheDealer) {
  makeStrategies();
  const MatchRun run = playMatch(dir.path(), "kuhn.limit.3p.game", 500, 7, {"call", "random"});
  EXPECT_EQ(run.morvaneStatus, 0) << run.morvaneErr;
  EXPECT_EQ(run.dealerStatus, 0) << slurp(dir.file("dealer.err"));
  unsigned errors = 99, timeouts = 99;
  ASSERT_TRUE(run.morvaneRow(errors, timeouts)) << run.table;
  EXPECT_EQ(errors, 0u);
  EXPECT_EQ(timeouts, 0u);
  // 500 hand lines and the score line.
  EXPECT_EQ(std::count(run.log.begin(), run.log.end(), '\n'), 501);
  EXPECT_EQ(run.morvaneErr.find("WARNING"), std::string::npos);
}

TEST_F(Program, ExploitabilityToolReportsEverySeatAndNashConv) {
  makeStrategies();
  const std::string strategy = KuhnAgent::KuhnStrategyFiles[0];
  ProcessResult r = runIn(dir.path(), exploitability + " kuhn.limit.3p.game " + strategy);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\n2 "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("NashConv: "), std::string::npos) << r.out;
  r = runIn(dir.path(), exploitability + " kuhn.limit.3p.game kuhn.limit.3p.game");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: could not load strategy kuhn.limit.3p.game\n");
}
