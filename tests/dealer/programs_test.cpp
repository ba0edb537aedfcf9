// The dealer and simplebot programs end to end over loopback.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "game.h"
#include "net.h"
#include "../seeded_random.h"
#include "temp_dir.h"

extern char** environ;

namespace {

const std::string kKuhn = std::string(POKER_GAMES_DIR) + "/kuhn.limit.3p.game";

// A child process whose standard output (and optionally standard error) we
// read through a pipe.
class Child {
 public:
  explicit Child(const std::vector<std::string>& args, bool captureStderr = false) {
    int out[2];
    EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);  // dup2 clears the flag on the child's copy
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (captureStderr) {
      posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
    } else {
      posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    EXPECT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    output_ = fdopen(out[0], "r");
  }
  ~Child() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (output_ != nullptr) fclose(output_);
  }

  std::string readLine() {
    char buf[4096];
    if (fgets(buf, sizeof(buf), output_) == nullptr) return "";
    return buf;
  }
  std::string readAll() {
    std::string all;
    for (std::string line = readLine(); !line.empty(); line = readLine()) all += line;
    return all;
  }
  void signal(int sig) { kill(pid_, sig); }
  // Exit status, or -1 when the child had to be killed after the limit.
  int wait(int limitSeconds = 30) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(limitSeconds);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > end) return -1;  // the destructor kills it
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  FILE* output_ = nullptr;
};

std::vector<std::string> readLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct MatchOutput {
  int dealerStatus = -1;
  std::string table;
  std::vector<std::string> log;
};

// Runs the dealer with three simplebots of the given policies and seeds.
MatchOutput runMatch(const std::string& dir, uint32_t hands, uint32_t seed,
                     const std::vector<std::string>& policies, const std::string& game = kKuhn) {
  const std::string logFile = dir + "/match.log";
  std::vector<std::string> args = {DEALER_PATH, "--quiet", "--log", logFile, "test", game,
                                   std::to_string(hands), std::to_string(seed)};
  for (size_t i = 0; i < policies.size(); ++i) args.push_back(policies[i] + std::to_string(i));
  Child dealer(args);
  std::istringstream ports(dealer.readLine());
  std::string word;
  ports >> word;
  EXPECT_EQ(word, "ports");
  std::vector<std::unique_ptr<Child>> bots;
  for (size_t i = 0; i < policies.size(); ++i) {
    std::string port;
    ports >> port;
    bots.push_back(std::make_unique<Child>(std::vector<std::string>{
        SIMPLEBOT_PATH, "--policy", policies[i], "--seed", std::to_string(seed + i), game,
        "localhost", port}));
  }
  MatchOutput result;
  result.table = dealer.readAll();
  result.dealerStatus = dealer.wait();
  for (auto& bot : bots) EXPECT_EQ(bot->wait(), 0);
  result.log = readLines(logFile);
  return result;
}

TEST(DealerPrograms, SimplebotMatchCompletesAndRepeatsWithTheSameSeeds) {
  const TempDir tmp;
  const std::string& dir = tmp.path();
  const uint32_t hands = 300;
  const MatchOutput first = runMatch(dir, hands, 11, {"random", "random", "random"});
  ASSERT_EQ(first.dealerStatus, 0);
  ASSERT_EQ(first.log.size(), hands + 1);
  std::string letters;
  for (uint32_t h = 0; h < hands; ++h) {
    std::vector<std::string> fields;
    std::stringstream in(first.log[h]);
    for (std::string f; std::getline(in, f, ':');) fields.push_back(f);
    ASSERT_EQ(fields.size(), 6u) << first.log[h];
    letters += fields[2];
    double sum = 0;
    std::stringstream values(fields[4]);
    for (std::string v; std::getline(values, v, '|');) sum += std::stod(v);
    EXPECT_EQ(sum, 0.0) << first.log[h];
    const std::string rotated[3] = {"random0|random1|random2", "random2|random0|random1",
                                    "random1|random2|random0"};
    EXPECT_EQ(fields[5], rotated[h % 3]);
  }
  for (char letter : {'f', 'c', 'r'}) EXPECT_NE(letters.find(letter), std::string::npos);
  EXPECT_EQ(first.log.back().rfind("SCORE:", 0), 0u);
  EXPECT_NE(first.table.find("timeouts"), std::string::npos) << first.table;
  for (const char* name : {"random0", "random1", "random2"}) {
    EXPECT_NE(first.table.find(name), std::string::npos) << first.table;
  }

  const MatchOutput again = runMatch(dir, hands, 11, {"random", "random", "random"});
  EXPECT_EQ(again.log, first.log);
}

TEST(DealerPrograms, SimplebotPoliciesPlayAsNamed) {
  const TempDir tmp;
  const std::string& dir = tmp.path();
  const MatchOutput out = runMatch(dir, 6, 3, {"raise", "fold", "call"});
  ASSERT_EQ(out.dealerStatus, 0);
  ASSERT_EQ(out.log.size(), 7u);
  // The raiser sits in seat h mod 3; the caller calls its raise, the folder
  // checks until it faces the raise and then folds.
  const char* betting[3] = {":rfc:", ":crfc:", ":ccrfc:"};
  for (uint32_t h = 0; h < 6; ++h) {
    EXPECT_NE(out.log[h].find(betting[h % 3]), std::string::npos) << out.log[h];
  }
}

// Sums each log line's values and counts the players' errors in the table.
void expectBalancedAndClean(const MatchOutput& out, size_t hands) {
  ASSERT_EQ(out.log.size(), hands + 1);
  for (size_t h = 0; h < hands; ++h) {
    std::vector<std::string> fields;
    std::stringstream in(out.log[h]);
    for (std::string f; std::getline(in, f, ':');) fields.push_back(f);
    ASSERT_GE(fields.size(), 3u) << out.log[h];
    double sum = 0;
    std::stringstream values(fields[fields.size() - 2]);
    for (std::string v; std::getline(values, v, '|');) sum += std::stod(v);
    EXPECT_EQ(sum, 0.0) << out.log[h];
  }
  std::istringstream rows(out.table);
  std::string row;
  std::getline(rows, row);  // the match line
  std::getline(rows, row);  // the header
  while (std::getline(rows, row)) {
    std::istringstream fields(row);
    std::string name, total, mean, halfWidth;
    unsigned errors = 99, timeouts = 99;
    fields >> name >> total >> mean >> halfWidth >> errors >> timeouts;
    EXPECT_EQ(errors + timeouts, 0u) << out.table;
  }
}

TEST(DealerPrograms, NoLimitGameWithSeveralRounds) {
  // Heads-up no-limit with short stacks, a board card in the second round
  // and the second seat acting first preflop, as in reverse-blinds games.
  const TempDir tmp;
  const std::string& dir = tmp.path();
  const std::string game = dir + "/small.nolimit.2p.game";
  std::ofstream(game) << "GAMEDEF\nnolimit\nnumPlayers = 2\nnumRounds = 2\nstack = 20 20\n"
                         "blind = 2 1\nfirstPlayer = 2 1\nnumSuits = 2\nnumRanks = 6\n"
                         "numHoleCards = 1\nnumBoardCards = 0 1\nEND GAMEDEF\n";
  const MatchOutput random = runMatch(dir, 400, 21, {"random", "random"}, game);
  ASSERT_EQ(random.dealerStatus, 0);
  expectBalancedAndClean(random, 400);
  const MatchOutput raise = runMatch(dir, 50, 22, {"raise", "call"}, game);
  ASSERT_EQ(raise.dealerStatus, 0);
  expectBalancedAndClean(raise, 50);
}

TEST(DealerPrograms, SilentThenDisconnectedPlayerDoesNotStopTheMatch) {
  const TempDir tmp;
  const std::string& dir = tmp.path();
  const std::string logFile = dir + "/faults.log";
  const uint32_t hands = 20;
  Child dealer({DEALER_PATH, "--timeout-ms", "200", "--log", logFile, "faults", kKuhn,
                std::to_string(hands), "5", "mute", "bot1", "bot2"});
  std::istringstream ports(dealer.readLine());
  std::string word, mutePort, port;
  ports >> word >> mutePort;
  // Connects and says hello, then never answers, and hangs up after a while.
  // The socket must not leak into the players started below, or it would
  // stay open in them.
  const int fd = connectTo("localhost", static_cast<uint16_t>(std::stoi(mutePort)));
  ASSERT_GE(fd, 0);
  fcntl(fd, F_SETFD, FD_CLOEXEC);
  ASSERT_EQ(write(fd, "VERSION:2.0.0\r\n", 15), 15);
  std::thread mute([fd] {
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    close(fd);
  });
  std::vector<std::unique_ptr<Child>> bots;
  while (ports >> port) {
    bots.push_back(std::make_unique<Child>(std::vector<std::string>{
        SIMPLEBOT_PATH, "--policy", "raise", kKuhn, "localhost", port}));
  }
  const std::string table = dealer.readAll();
  EXPECT_EQ(dealer.wait(), 0);
  mute.join();
  for (auto& bot : bots) EXPECT_EQ(bot->wait(), 0);
  EXPECT_EQ(readLines(logFile).size(), hands + 1);

  std::istringstream rows(table);
  std::string row;
  while (std::getline(rows, row) && row.rfind("mute ", 0) != 0) {
  }
  std::istringstream fields(row);
  std::string name, total, mean, halfWidth;
  unsigned errors = 99, timeouts = 0;
  fields >> name >> total >> mean >> halfWidth >> errors >> timeouts;
  EXPECT_EQ(errors, 0u) << table;
  EXPECT_GE(timeouts, 1u) << table;
  EXPECT_NE(row.find("disconnected"), std::string::npos) << table;
}

TEST(DealerPrograms, DealerRejectsBadCommandLines) {
  const TempDir tmp;
  const std::string& dir = tmp.path();
  const std::string log = dir + "/x.log";
  const std::vector<std::vector<std::string>> bad = {
      {DEALER_PATH, "--log", log, "m", kKuhn, "10", "1", "a", "b"},
      {DEALER_PATH, "--log", log, "m", kKuhn, "ten", "1", "a", "b", "c"},
      {DEALER_PATH, "--log", log, "m", kKuhn, "10", "-1", "a", "b", "c"},
      {DEALER_PATH, "--log", log, "m", dir + "/missing.game", "10", "1", "a", "b", "c"},
      {DEALER_PATH, "--log", log, "--ports", "1,2", "m", kKuhn, "10", "1", "a", "b", "c"},
      {DEALER_PATH, "--log", log, "--ports", "1,x,3", "m", kKuhn, "10", "1", "a", "b", "c"},
      {DEALER_PATH, "--log", log, "--timeout-ms", "soon", "m", kKuhn, "10", "1", "a", "b", "c"},
      {DEALER_PATH, "--log", log, "m", kKuhn, "10", "1", "a", "b|c", "d"},
      {DEALER_PATH, "--log", dir + "/no/such/dir.log", "m", kKuhn, "10", "1", "a", "b", "c"},
      {DEALER_PATH, "--bogus", "m", kKuhn, "10", "1", "a", "b", "c"},
  };
  for (const auto& args : bad) {
    Child dealer(args, true);
    const std::string output = dealer.readAll();
    EXPECT_NE(dealer.wait(), 0) << args[4];
    EXPECT_NE(output.rfind("ports ", 0), 0u) << output;  // fails before listening
    EXPECT_FALSE(output.empty());
  }
  // A port that is taken: the dealer fails before it starts and leaves no log.
  uint16_t busy = 0;
  const int listener = getListenSocket(&busy);
  ASSERT_GE(listener, 0);
  fcntl(listener, F_SETFD, FD_CLOEXEC);
  Child taken({DEALER_PATH, "--log", log, "--ports", "0," + std::to_string(busy) + ",0", "m",
               kKuhn, "10", "1", "a", "b", "c"});
  EXPECT_EQ(taken.readAll(), "");
  EXPECT_NE(taken.wait(), 0);
  EXPECT_FALSE(std::filesystem::exists(log));
  close(listener);

  Child help({DEALER_PATH, "--help"});
  EXPECT_NE(help.readAll().find("MATCH_NAME"), std::string::npos);
  EXPECT_EQ(help.wait(), 0);
}

std::vector<std::string> readPorts(Child& dealer) {
  std::istringstream line(dealer.readLine());
  std::string word;
  line >> word;
  EXPECT_EQ(word, "ports");
  std::vector<std::string> ports;
  for (std::string port; line >> port;) ports.push_back(port);
  return ports;
}

std::unique_ptr<Child> startBot(const std::string& port, const std::string& policy = "call") {
  return std::make_unique<Child>(
      std::vector<std::string>{SIMPLEBOT_PATH, "--policy", policy, kKuhn, "localhost", port});
}

// The row of the result table that starts with the name.
std::string tableRow(const std::string& table, const std::string& name) {
  std::istringstream rows(table);
  for (std::string row; std::getline(rows, row);) {
    if (row.rfind(name + " ", 0) == 0) return row;
  }
  return "";
}

// The local address (as /proc/net/tcp writes it, hex in memory order) of
// the socket listening on the port; empty when there is none.
std::string listeningAddress(const std::string& port) {
  char wanted[16];
  snprintf(wanted, sizeof(wanted), ":%04X", static_cast<unsigned>(std::stoi(port)));
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);  // header
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (state == "0A" && local.size() == 13 && local.substr(8) == wanted) return local.substr(0, 8);
  }
  return "";
}

TEST(DealerPrograms, ListensOnLoopbackUnlessBoundElsewhere) {
  const TempDir tmp;
  for (const auto& [bind, address] : {std::pair<std::string, std::string>{"", "0100007F"},
                                      {"0.0.0.0", "00000000"}}) {
    std::vector<std::string> args = {DEALER_PATH, "--quiet", "--log", tmp.path() + "/bind.log"};
    if (!bind.empty()) args.insert(args.end(), {"--bind", bind});
    args.insert(args.end(), {"m", kKuhn, "3", "1", "a", "b", "c"});
    Child dealer(args);
    const std::vector<std::string> ports = readPorts(dealer);
    ASSERT_EQ(ports.size(), 3u);
    for (const std::string& port : ports) EXPECT_EQ(listeningAddress(port), address) << bind;
    std::vector<std::unique_ptr<Child>> bots;
    for (const std::string& port : ports) bots.push_back(startBot(port));
    dealer.readAll();
    EXPECT_EQ(dealer.wait(), 0);
    for (auto& bot : bots) EXPECT_EQ(bot->wait(), 0);
  }
}

TEST(DealerPrograms, StrayConnectionsDoNotTakeASeat) {
  const TempDir tmp;
  const std::string logFile = tmp.path() + "/stray.log";
  Child dealer({DEALER_PATH, "--timeout-ms", "300", "--log", logFile, "m", kKuhn, "10", "1",
                "bot0", "bot1", "bot2"});
  const std::vector<std::string> ports = readPorts(dealer);
  ASSERT_EQ(ports.size(), 3u);
  const uint16_t first = static_cast<uint16_t>(std::stoi(ports[0]));
  // A connect-and-close, a probe in another protocol, and one that says
  // nothing: each would have taken the seat and left the real player out.
  int fd = connectTo("127.0.0.1", first);
  ASSERT_GE(fd, 0);
  close(fd);
  fd = connectTo("127.0.0.1", first);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "GET / HTTP/1.0\r\n\r\n", 18), 18);
  close(fd);
  const int silent = connectTo("127.0.0.1", first);
  ASSERT_GE(silent, 0);
  fcntl(silent, F_SETFD, FD_CLOEXEC);
  std::vector<std::unique_ptr<Child>> bots;
  for (const std::string& port : ports) bots.push_back(startBot(port));
  const std::string table = dealer.readAll();
  EXPECT_EQ(dealer.wait(), 0);
  close(silent);
  for (auto& bot : bots) EXPECT_EQ(bot->wait(), 0);
  EXPECT_EQ(readLines(logFile).size(), 11u);
  EXPECT_EQ(table.find("disconnected"), std::string::npos) << table;
}

TEST(DealerPrograms, SeatThatNeverConnectsIsPlayedAsFoldingAfterTheConnectTimeout) {
  const TempDir tmp;
  const std::string logFile = tmp.path() + "/absent.log";
  Child dealer({DEALER_PATH, "--quiet", "--connect-timeout-ms", "1000", "--log", logFile, "m",
                kKuhn, "12", "1", "bot0", "absent", "bot2"});
  const std::vector<std::string> ports = readPorts(dealer);
  ASSERT_EQ(ports.size(), 3u);
  auto bot0 = startBot(ports[0], "raise");
  auto bot2 = startBot(ports[2], "raise");
  const std::string table = dealer.readAll();
  EXPECT_EQ(dealer.wait(), 0);
  EXPECT_EQ(bot0->wait(), 0);
  EXPECT_EQ(bot2->wait(), 0);
  EXPECT_EQ(readLines(logFile).size(), 13u);
  EXPECT_NE(tableRow(table, "absent").find("(disconnected in hand 0)"), std::string::npos) << table;
  EXPECT_EQ(tableRow(table, "bot0").find("disconnected"), std::string::npos) << table;
}

// A player that calls in the first `hands` hands and then, still connected,
// never answers again; `asked` is set when it has been left waiting.
void callThenFallSilent(int fd, const Game* game, uint32_t hands, std::atomic<bool>* asked) {
  ReadBuf* in = createReadBuf(fd);
  (void)!write(fd, "VERSION:2.0.0\r\n", 15);
  char line[READBUF_LEN];
  MatchState ms;
  while (getLine(in, sizeof(line), line, -1) > 0) {
    line[strcspn(line, "\r\n")] = '\0';
    if (readMatchState(line, game, &ms) < 0) break;
    if (ms.state.finished || currentPlayer(game, &ms.state) != ms.viewingPlayer) continue;
    if (ms.state.handId >= hands) {
      *asked = true;
      continue;
    }
    const std::string answer = std::string(line) + ":c\r\n";
    (void)!write(fd, answer.data(), answer.size());
  }
  destroyReadBuf(in);
}

TEST(DealerPrograms, SignalEndsTheMatchWithTheScoreOfTheHandsPlayed) {
  const TempDir tmp;
  FILE* gameFile = fopen(kKuhn.c_str(), "r");
  ASSERT_NE(gameFile, nullptr);
  std::unique_ptr<Game, decltype(&free)> game(readGame(gameFile), &free);
  fclose(gameFile);
  ASSERT_NE(game, nullptr);
  for (const int sig : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(sig);
    const std::string logFile = tmp.path() + "/stopped.log";
    // No answer timeout: without the signal the dealer would wait for ever.
    Child dealer({DEALER_PATH, "--quiet", "--timeout-ms", "0", "--log", logFile, "m", kKuhn,
                  "1000", "1", "stuck", "bot1", "bot2"});
    const std::vector<std::string> ports = readPorts(dealer);
    ASSERT_EQ(ports.size(), 3u);
    const int fd = connectTo("127.0.0.1", static_cast<uint16_t>(std::stoi(ports[0])));
    ASSERT_GE(fd, 0);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    std::atomic<bool> asked{false};
    std::thread stuck(callThenFallSilent, fd, game.get(), 5u, &asked);
    auto bot1 = startBot(ports[1]);
    auto bot2 = startBot(ports[2]);
    while (!asked) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let the dealer settle into its wait
    dealer.signal(sig);
    const std::string table = dealer.readAll();
    EXPECT_EQ(dealer.wait(), 128 + sig);
    stuck.join();
    EXPECT_EQ(bot1->wait(), 0);
    EXPECT_EQ(bot2->wait(), 0);

    const std::vector<std::string> log = readLines(logFile);
    ASSERT_EQ(log.size(), 6u);
    double totals[3] = {0, 0, 0};
    for (uint32_t h = 0; h < 5; ++h) {
      std::vector<std::string> fields;
      std::stringstream in(log[h]);
      for (std::string f; std::getline(in, f, ':');) fields.push_back(f);
      ASSERT_EQ(fields.size(), 6u) << log[h];
      std::stringstream values(fields[4]);
      unsigned seat = 0;
      for (std::string v; std::getline(values, v, '|'); ++seat) totals[(seat + 3 - h % 3) % 3] += std::stod(v);
    }
    char score[256];
    snprintf(score, sizeof(score), "SCORE:%.17g|%.17g|%.17g:stuck|bot1|bot2", totals[0], totals[1],
             totals[2]);
    EXPECT_EQ(log[5], score);
    EXPECT_NE(table.find("match m: 5 hands"), std::string::npos) << table;
  }
}

TEST(DealerPrograms, BadOptionValuesAndPortsAreRefused) {
  const TempDir tmp;
  const std::string log = tmp.path() + "/x.log";
  const std::vector<std::vector<std::string>> bad = {
      {"--bind", "localhost"}, {"--bind", "10.0.0"},         {"--connect-timeout-ms", "-1"},
      {"--max-timeouts", "x"}, {"--ports", "0,70000,0"},     {"--ports", "0,-1,0"},
      {"--untimed-players", "0"}, {"--untimed-players", "4"}, {"--untimed-players", "1,"},
  };
  for (const auto& options : bad) {
    std::vector<std::string> args = {DEALER_PATH, "--log", log};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {"m", kKuhn, "10", "1", "a", "b", "c"});
    Child dealer(args, true);
    const std::string output = dealer.readAll();
    EXPECT_NE(dealer.wait(), 0) << options[1];
    EXPECT_EQ(output.rfind("ERROR: ", 0), 0u) << output;
  }
  // simplebot reads its port with the players' parser: no wrapping, no tails.
  for (const char* port : {"70000", "-1", "12abc"}) {
    Child bot({SIMPLEBOT_PATH, kKuhn, "127.0.0.1", port}, true);
    EXPECT_EQ(bot.readAll(), std::string("ERROR: invalid port ") + port + "\n");
    EXPECT_EQ(bot.wait(), 1);
  }
  Child help({DEALER_PATH, "--help"});
  const std::string text = help.readAll();
  for (const char* option :
       {"--bind", "--connect-timeout-ms", "--max-timeouts", "--untimed-players"}) {
    EXPECT_NE(text.find(option), std::string::npos) << option;
  }
  EXPECT_EQ(help.wait(), 0);
}

TEST(DealerPrograms, GamesThatCannotBePlayedFairlyAreRefusedBeforeListening) {
  const TempDir tmp;
  const std::string common =
      "GAMEDEF\nnolimit\nnumPlayers = 2\nnumRounds = 1\nnumSuits = 4\nnumRanks = 13\n"
      "numHoleCards = 1\nnumBoardCards = 0\n";
  // Everybody all-in from the blinds: nobody could be asked to act. A
  // negative stack or blind: chips from nowhere in the log.
  const std::pair<std::string, std::string> games[] = {
      {"stack = 10 10\nblind = 10 10\n", "no player can act"},
      {"stack = 20 -20\nblind = 1 -2\n", "invalid stack for player 2: -20"},
      {"stack = 20 20\nblind = 1 -2\n", "invalid blind for player 2: -2"},
  };
  for (const auto& [lines, message] : games) {
    const std::string game = tmp.path() + "/bad.game";
    std::ofstream(game) << common << lines << "END GAMEDEF\n";
    Child dealer({DEALER_PATH, "--log", tmp.path() + "/bad.log", "m", game, "10", "1", "a", "b"}, true);
    const std::string output = dealer.readAll();
    EXPECT_NE(dealer.wait(), 0) << lines;
    EXPECT_NE(output.find(message), std::string::npos) << output;
    EXPECT_EQ(output.find("ports"), std::string::npos) << output;
  }
}

}  // namespace
