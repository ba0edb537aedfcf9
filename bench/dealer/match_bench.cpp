// Hands per second of a three-player Kuhn match between simplebots: the
// dealer and the three players are separate processes talking over loopback
// TCP, as in a real match. The wall time of each match is what counts.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

// Starts a program; its standard output goes to `out` (or /dev/null when -1),
// its standard error to /dev/null.
pid_t spawn(const std::vector<std::string>& args, int out) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (out >= 0) {
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

bool runMatch(uint32_t hands, const std::string& logFile) {
  const std::string game = std::string(POKER_GAMES_DIR) + "/kuhn.limit.3p.game";
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;
  const pid_t dealer = spawn({DEALER_PATH, "--quiet", "--log", logFile, "bench", game,
                              std::to_string(hands), "1", "a", "b", "c"},
                             pipeFds[1]);
  close(pipeFds[1]);
  FILE* out = fdopen(pipeFds[0], "r");
  char line[256] = "";
  const bool started = dealer > 0 && fgets(line, sizeof(line), out) != nullptr;
  std::istringstream ports(line);
  std::string word, port;
  ports >> word;
  std::vector<pid_t> bots;
  for (int i = 0; started && i < 3 && ports >> port; ++i) {
    bots.push_back(spawn({SIMPLEBOT_PATH, "--policy", "random", "--seed", std::to_string(i),
                          game, "localhost", port},
                         -1));
  }
  while (fgets(line, sizeof(line), out) != nullptr) {
  }
  fclose(out);
  bool ok = started && bots.size() == 3;
  int status = 0;
  if (dealer > 0) {
    if (!ok) kill(dealer, SIGKILL);
    ok = waitpid(dealer, &status, 0) == dealer && WIFEXITED(status) && WEXITSTATUS(status) == 0 && ok;
  }
  for (pid_t bot : bots) waitpid(bot, nullptr, 0);
  return ok;
}

void BM_KuhnMatchOfSimplebots(benchmark::State& state) {
  const uint32_t hands = static_cast<uint32_t>(state.range(0));
  char dir[] = "/tmp/dealer-bench-XXXXXX";
  if (mkdtemp(dir) == nullptr) {
    state.SkipWithError("cannot create a temporary directory");
    return;
  }
  const std::string logFile = std::string(dir) + "/bench.log";
  // With the second argument set, the dealer and the players all run on one
  // core. The protocol lets only one process work at a time, and on a
  // virtual machine waking a process on the other, idle core costs far more
  // than the work itself, so this shows the match's own cost.
  cpu_set_t original;
  sched_getaffinity(0, sizeof(original), &original);
  if (state.range(1) != 0) {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    sched_setaffinity(0, sizeof(one), &one);
  }
  for (auto _ : state) {
    if (!runMatch(hands, logFile)) {
      state.SkipWithError("the match failed");
      break;
    }
  }
  sched_setaffinity(0, sizeof(original), &original);
  unlink(logFile.c_str());
  rmdir(dir);
  state.counters["hands/s"] =
      benchmark::Counter(static_cast<double>(hands) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_KuhnMatchOfSimplebots)
    ->ArgsProduct({{10000}, {0, 1}})
    ->ArgNames({"hands", "one_core"})
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
