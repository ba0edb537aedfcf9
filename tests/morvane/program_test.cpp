// The morvane program: its messages and exit codes, and a full match against
// our dealer and two simplebots.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "agents/KuhnAgent.h"
#include "match_support.h"
#include "net.h"
#include "support.h"
#include "../seeded_random.h"

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

TEST_F(Program, AbstractionOptionAnywhereWithOneErrorLineForWhatCannotPlay) {
  ProcessResult r = runIn(dir.path(), morvane + " kuhn.limit.3p.game --abstraction huge localhost 1");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, morvane + "\nkuhn.limit.3p.game\n--abstraction\nhuge\nlocalhost\n1\n");
  EXPECT_EQ(r.err, "ERROR: unknown abstraction 'huge' (standard, large)\n");

  r = runIn(dir.path(), morvane + " kuhn.limit.3p.game localhost 1 --abstraction large");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "ERROR: the large abstraction plays holdem.limit.2p.reverse_blinds.game and "
            "holdem.nolimit.2p.reverse_blinds.game only, not kuhn.limit.3p.game\n");

  // The option takes no positional place: two arguments are still too few.
  r = runIn(dir.path(), morvane + " --abstraction=standard kuhn.limit.3p.game localhost");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "usage: player game server port\n");

  // "standard" plays as without the option.
  makeStrategies();
  r = runIn(dir.path(), morvane + " --abstraction standard kuhn.limit.3p.game localhost http");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("NashConv of strategy 2: "), std::string::npos);
  EXPECT_EQ(r.err, "ERROR: invalid port http\n");
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

TEST_F(Program, PortOutsideTheRangeOrWithTrailingTextIsRefused) {
  makeStrategies();
  // Each of these used to connect somewhere: to 4464, 65535 and 12.
  for (const std::string bad : {"70000", "-1", "12abc", "0"}) {
    const ProcessResult r = runIn(dir.path(), morvane + " kuhn.limit.3p.game 127.0.0.1 " + bad);
    EXPECT_EQ(r.status, 1) << bad;
    EXPECT_EQ(r.err, "ERROR: invalid port " + bad + "\n");
  }
}

TEST_F(Program, DealerHangingUpWhileAnswersAreSentIsAFailedWriteNotASignal) {
  makeStrategies();
  uint16_t port = 0;
  const int listener = getListenSocket(&port);
  ASSERT_GE(listener, 0);
  fcntl(listener, F_SETFD, FD_CLOEXEC);
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.path().c_str()) != 0) _exit(99);
    const int out = open("out", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open("err", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    execl(morvane.c_str(), morvane.c_str(), "kuhn.limit.3p.game", "127.0.0.1",
          std::to_string(port).c_str(), static_cast<char*>(nullptr));
    _exit(98);
  }
  ASSERT_GT(pid, 0);
  pollfd waiting = {listener, POLLIN, 0};
  ASSERT_EQ(poll(&waiting, 1, 60000), 1);
  const int dealer = accept(listener, nullptr, nullptr);
  close(listener);
  ASSERT_GE(dealer, 0);
  ReadBuf* fromPlayer = createReadBuf(dealer);
  char version[64];
  EXPECT_GT(getLine(fromPlayer, sizeof(version), version, 10'000'000), 0);
  EXPECT_STREQ(version, "VERSION:2.0.0\n");
  // Many states in which morvane is to act, then the dealer is gone. The
  // player is held meanwhile, so that it finds every line waiting: its first
  // answer draws a reset, and a later one fails to be written.
  kill(pid, SIGSTOP);
  std::string lines;
  for (int hand = 0; hand < 100; ++hand) lines += "MATCHSTATE:0:" + std::to_string(hand) + "::Ks||\r\n";
  EXPECT_EQ(write(dealer, lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
  destroyReadBuf(fromPlayer);
  kill(pid, SIGCONT);
  int status = 0;
  for (int waited = 0; waitpid(pid, &status, WNOHANG) == 0; ++waited) {
    if (waited == 6000) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(slurp(dir.file("err")), "ERROR: could not get send response to server\n");
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
  EXPECT_EQ(r.err,
            "ERROR: could not load strategy kuhn.limit.3p.game for kuhn.limit.3p.game: it is cut "
            "short or malformed\n");
}

// Games that only look like Kuhn poker end the start with one "ERROR: " line
// instead of an abort or a training without end.
TEST_F(Program, KuhnAgentRefusesGamesItCannotEnumerate) {
  const std::string head = "GAMEDEF\nlimit\nnumPlayers = 3\nraiseSize = 1 1\nfirstPlayer = 1 1\n"
                           "numHoleCards = 1\n";
  const char* const games[] = {
      "numRounds = 1\nblind = 1 1 1\nmaxRaises = 1\nnumSuits = 4\nnumRanks = 13\n"
      "numBoardCards = 0\n",
      "numRounds = 2\nblind = 1 1 1\nmaxRaises = 1 1\nnumSuits = 1\nnumRanks = 5\n"
      "numBoardCards = 0 1\n",
      "numRounds = 1\nblind = 1 1 1\nnumSuits = 1\nnumRanks = 4\nnumBoardCards = 0\n",
      "numRounds = 1\nstack = 1 1 1\nblind = 1 1 1\nmaxRaises = 1\nnumSuits = 1\nnumRanks = 4\n"
      "numBoardCards = 0\n",
  };
  for (const char* lines : games) {
    writeText(dir.file("kuhn.limit.3p.game"), head + lines + "END GAMEDEF\n");
    const ProcessResult r = runIn(dir.path(), "timeout 60 " + morvane + " kuhn.limit.3p.game localhost 1");
    EXPECT_EQ(r.status, 1) << lines;
    size_t errors = 0;
    for (size_t at = r.err.find("ERROR: "); at != std::string::npos; at = r.err.find("ERROR: ", at + 1))
      ++errors;
    EXPECT_EQ(errors, 1u) << lines << r.err;
    EXPECT_EQ(r.out.find("Training"), std::string::npos) << lines;
    EXPECT_LT(r.err.size(), 1000u) << lines;
  }
}

TEST_F(Program, ExploitabilityRefusesDamagedStrategiesAndFifos) {
  makeStrategies();
  const std::string strategy = KuhnAgent::KuhnStrategyFiles[0];
  // NaN in every regret of the first record: no valid action is left.
  std::string bytes = slurp(dir.file(strategy));
  const double nan = std::nan("");
  for (int a = 0; a < 3; ++a) std::memcpy(bytes.data() + 4 + 60 + 8 * a, &nan, 8);
  std::ofstream(dir.file("nan"), std::ios::binary) << bytes;
  ProcessResult r = runIn(dir.path(), exploitability + " kuhn.limit.3p.game nan");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "ERROR: could not load strategy nan for kuhn.limit.3p.game: information set 0:0:0: "
            "has no valid action\n");
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
  r = runIn(dir.path(), "timeout 60 " + exploitability + " kuhn.limit.3p.game fifo");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "ERROR: could not load strategy fifo for kuhn.limit.3p.game: it is not a regular "
            "file\n");
}
