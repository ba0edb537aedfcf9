// Fuzzes morvane's dealer session: the input, split into lines, is what a
// dealer sends over a socket pair, to the Kuhn agent with a small trained
// strategy or to a scripted no-limit hold'em agent whose answers are any
// actions, wrong sizes and missing information sets. The session must
// neither crash nor hang, and every answer must be a received match state
// followed by ':' and an action that is legal, unrepaired, for that state.
//
// Input: a first byte choosing the game (even: Kuhn, odd: hold'em) and
// seeding the scripted answers, then the dealer's bytes.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>

#include "agents/KuhnAgent.h"
#include "common/util.h"
#include "fuzz_game.h"

namespace {

// Reports which property failed, for the finding's log.
void check(bool ok, const char* what = "", const std::string& answer = "") {
  if (ok) return;
  std::fprintf(stderr, "session fuzz: %s: answer '%s'\n", what, answer.c_str());
  std::abort();
}

// Closes the streams a session opened, so that one agent serves every
// input without leaking them.
template <typename Agent>
class Reusable : public Agent {
 public:
  using Agent::Agent;
  ~Reusable() override { detach(); }
  void detach() {
    if (this->toServer) std::fclose(this->toServer);
    // The second stream shares the descriptor, which is closed already.
    if (this->fromServer) std::fclose(this->fromServer);
    this->toServer = this->fromServer = nullptr;
    this->sock = 0;
  }
};

// Answers from a fixed cycle of actions, some of them illegal anywhere, and
// now and then raises the error of an unknown information set.
class ScriptedAgent : public PokerAgent {
 public:
  ScriptedAgent(const char* gameFile, unsigned seed) : PokerAgent(gameFile), next(seed) {}
  void holeCards(uint8_t*, uint8_t) override {}
  void getAction(Action& action) override {
    static const Action cycle[] = {
        {a_call, 0},      {a_raise, 0},       {a_fold, 0},      {a_raise, INT_MAX},
        {a_raise, -5},    {a_raise, INT_MIN}, {a_invalid, 0},   {static_cast<ActionType>(7), 3},
        {a_raise, 400},   {a_fold, 12},       {a_call, 99},     {a_raise, 20000}};
    const unsigned n = next++ % (sizeof cycle / sizeof cycle[0] + 1);
    if (n == sizeof cycle / sizeof cycle[0]) throw std::out_of_range("no such information set");
    action = cycle[n];
  }
  void actionEvent(uint8_t, Action) override {}
  void stageEvent(int) override {}
  void showdownEvent(uint8_t, uint8_t*) override {}
  void gameOverEvent(double) override {}
  void winEvent(uint8_t, int) override {}

 private:
  unsigned next;
};

Game* kuhn = nullptr;
Game* holdem = nullptr;
// Loading and checking three strategy files per input would dominate the
// run, so one agent plays every Kuhn input, its hand results cleared.
Reusable<KuhnAgent>* kuhnAgent = nullptr;

// An answer: a match state the dealer sent, ':', and one legal action.
void checkAnswer(const Game* game, const std::string& answer, const std::set<std::string>& sent) {
  MatchState ms;
  const int len = readMatchState(answer.c_str(), game, &ms);
  check(len > 0 && answer[len] == ':', "not a match state and ':'", answer);
  bool fromDealer = false;
  for (const std::string& line : sent) fromDealer |= line.compare(0, len, answer, 0, len) == 0;
  check(fromDealer, "not a state the dealer sent", answer);
  const State& state = ms.state;
  check(!state.finished && numActingPlayers(game, &state) > 0, "no action is possible", answer);
  check(currentPlayer(game, &state) == ms.viewingPlayer, "not the seat's turn", answer);
  Action action;
  const int used = readAction(answer.c_str() + len + 1, game, &action);
  check(used > 0 && static_cast<size_t>(len + 1 + used) == answer.size(), "not one action",
        answer);
  Action unrepaired = action;
  check(isValidAction(game, &state, 0, &unrepaired) && unrepaired.size == action.size,
        "an illegal action", answer);
  check(!(action.type == a_fold && state.spent[ms.viewingPlayer] == state.maxSpent),
        "a fold with nothing to call", answer);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Warnings and training progress go to standard output.
  if (!std::freopen("/dev/null", "w", stdout)) std::abort();
  // The Kuhn agent trains and keeps its strategies under the working
  // directory, and needs them only while it is constructed; the fuzzer's
  // relative paths need the directory it was started in.
  const std::filesystem::path started = std::filesystem::current_path();
  char pattern[] = "/tmp/fuzz-session-XXXXXX";
  if (!mkdtemp(pattern)) std::abort();
  std::filesystem::current_path(pattern);
  kuhnAgent = new Reusable<KuhnAgent>(KUHN_GAME_FILE, 1, 3000);
  std::filesystem::current_path(started);
  std::filesystem::remove_all(pattern);
  kuhn = loadGame(KUHN_GAME_FILE);
  holdem = loadGame(HOLDEM_GAME_FILE);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool isKuhn = data[0] % 2 == 0;
  const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);

  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
  // The player's writes never block: a full buffer is a failed write.
  fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
  int bufferBytes = 1 << 20;
  setsockopt(fds[1], SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
  setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &bufferBytes, sizeof bufferBytes);
  if (write(fds[1], input.data(), input.size()) != static_cast<ssize_t>(input.size())) {
    close(fds[0]);
    close(fds[1]);
    return 0;
  }
  shutdown(fds[1], SHUT_WR);

  global_urng().seed(1);  // the same input always plays the same way
  if (isKuhn) {
    for (int mode = 0; mode < KuhnAgent::NUM_MODES; ++mode)
      for (int i = 0; i < KuhnAgent::WINDOW; ++i) kuhnAgent->updateEv(mode, 0.0);
    check(kuhnAgent->attach(fds[0]));
    kuhnAgent->play();
    kuhnAgent->detach();
  } else {
    Reusable<ScriptedAgent> agent(HOLDEM_GAME_FILE, data[0] / 2u);
    check(agent.attach(fds[0]));
    agent.play();
  }

  std::string output;
  char buffer[4096];
  for (ssize_t n; (n = read(fds[1], buffer, sizeof buffer)) > 0;) output.append(buffer, n);
  close(fds[1]);

  std::set<std::string> sent;
  for (size_t at = 0; at < input.size();) {
    const size_t end = input.find('\n', at);
    sent.insert(input.substr(at, end == std::string::npos ? std::string::npos : end - at));
    if (end == std::string::npos) break;
    at = end + 1;
  }
  const Game* game = isKuhn ? kuhn : holdem;
  check(output.compare(0, 14, "VERSION:2.0.0\n") == 0);
  size_t answers = 0;
  for (size_t at = 14; at < output.size();) {
    const size_t end = output.find("\r\n", at);
    check(end != std::string::npos);
    checkAnswer(game, output.substr(at, end - at), sent);
    ++answers;
    at = end + 2;
  }
  // At most one answer per line.
  check(answers <= static_cast<size_t>(std::count(input.begin(), input.end(), '\n')) + 1);
  return 0;
}
