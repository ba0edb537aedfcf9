// simplebot: a baseline player with a fixed policy, for tests and as a
// sparring partner. It connects to the dealer, sends the version line and
// answers every state in which its seat is to act:
//   call    always calls (checks when nothing is owed);
//   raise   raises whenever it may (the smallest raise in no-limit), else calls;
//   fold    folds whenever folding is legal, else checks;
//   random  picks uniformly among the legal actions (a no-limit raise gets a
//           uniform size between the smallest and the largest allowed).
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <tclap/CmdLine.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "game.h"
#include "net.h"
#include "numbers.h"

namespace {

enum class Policy { call, raise, fold, random };

[[noreturn]] void fail(const std::string& message) {
  fprintf(stderr, "ERROR: %s\n", message.c_str());
  exit(1);
}

Action chooseAction(const Game* game, const State* state, Policy policy, std::mt19937& rng) {
  Action fold = {a_fold, 0};
  const bool canFold = isValidAction(game, state, 0, &fold) != 0;
  int32_t minRaise = 0;
  int32_t maxRaise = 0;
  const bool canRaise = raiseIsValid(game, state, &minRaise, &maxRaise) != 0;
  const Action call = {a_call, 0};
  const Action raise = {a_raise, game->bettingType == noLimitBetting ? minRaise : 0};

  switch (policy) {
    case Policy::call:
      return call;
    case Policy::raise:
      return canRaise ? raise : call;
    case Policy::fold:
      return canFold ? fold : call;
    case Policy::random: {
      Action choices[3];
      int n = 0;
      if (canFold) choices[n++] = fold;
      choices[n++] = call;
      if (canRaise) choices[n++] = raise;
      Action chosen = choices[std::uniform_int_distribution<int>(0, n - 1)(rng)];
      if (chosen.type == a_raise && game->bettingType == noLimitBetting) {
        chosen.size = std::uniform_int_distribution<int32_t>(minRaise, maxRaise)(rng);
      }
      return chosen;
    }
  }
  return call;
}

bool sendAll(int fd, const char* text, size_t length) {
  while (length > 0) {
    const ssize_t n = send(fd, text, length, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // Every send already says MSG_NOSIGNAL; this also covers the library's.
  signal(SIGPIPE, SIG_IGN);
  TCLAP::CmdLine cmd(
      "A baseline poker player for the ACPC protocol with a fixed policy: 'call' always "
      "calls, 'raise' raises whenever it may, 'fold' folds whenever folding is legal and "
      "checks otherwise, 'random' picks uniformly among the legal actions.",
      ' ', "1.0");
  std::vector<std::string> policies = {"call", "raise", "random", "fold"};
  TCLAP::ValuesConstraint<std::string> policyNames(policies);
  TCLAP::ValueArg<std::string> policyArg("", "policy", "Policy (default call).", false, "call",
                                         &policyNames, cmd);
  TCLAP::ValueArg<std::string> seedArg("", "seed",
                                       "Seed of the random policy (default: from the system).",
                                       false, "", "S", cmd);
  TCLAP::UnlabeledValueArg<std::string> gameArg("game-file", "Game definition file.", true, "",
                                                "GAME_FILE", cmd);
  TCLAP::UnlabeledValueArg<std::string> hostArg("host", "Dealer host.", true, "", "HOST", cmd);
  TCLAP::UnlabeledValueArg<std::string> portArg("port", "Dealer port.", true, "", "PORT", cmd);
  cmd.parse(argc, argv);

  const std::string& policyName = policyArg.getValue();
  const Policy policy = policyName == "raise"    ? Policy::raise
                        : policyName == "fold"   ? Policy::fold
                        : policyName == "random" ? Policy::random
                                                 : Policy::call;
  uint64_t number;
  std::mt19937 rng;
  if (seedArg.isSet()) {
    if (!dealer::parseUnsigned(seedArg.getValue(), UINT32_MAX, &number)) {
      fail("invalid seed '" + seedArg.getValue() + "'");
    }
    rng.seed(static_cast<uint32_t>(number));
  } else {
    rng.seed(std::random_device{}());
  }
  uint16_t port;
  if (!parsePort(portArg.getValue().c_str(), &port)) fail("invalid port " + portArg.getValue());

  FILE* file = fopen(gameArg.getValue().c_str(), "r");
  if (file == nullptr) fail("could not open game " + gameArg.getValue());
  Game* game = readGame(file);
  fclose(file);
  if (game == nullptr) fail("could not read game " + gameArg.getValue());

  const int sock = connectTo(hostArg.getValue().c_str(), port);
  if (sock < 0) return 1;  // connectTo has said why
  const int on = 1;
  setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
  ReadBuf* fromDealer = createReadBuf(sock);
  if (fromDealer == nullptr) fail("out of memory");
  if (!sendAll(sock, "VERSION:2.0.0\r\n", 15)) fail("could not send the version line");

  char line[READBUF_LEN];
  MatchState ms;
  for (;;) {
    const ssize_t n = getLine(fromDealer, sizeof(line), line, -1);
    if (n == 0) break;  // the dealer has ended the match
    if (n < 0) fail("could not read from the dealer");
    if (line[0] == '#' || line[0] == ';') continue;
    const int len = readMatchState(line, game, &ms);
    if (len < 0) fail(std::string("could not read state ") + line);
    if (ms.state.finished || currentPlayer(game, &ms.state) != ms.viewingPlayer) continue;

    Action action = chooseAction(game, &ms.state, policy, rng);
    // The answer is the state as received, ':', the action and a line end.
    size_t length = static_cast<size_t>(len);
    line[length++] = ':';
    const int written = printAction(game, &action, sizeof(line) - length - 2, line + length);
    if (written < 0) fail("answer does not fit in a line");
    length += static_cast<size_t>(written);
    line[length++] = '\r';
    line[length++] = '\n';
    if (!sendAll(sock, line, length)) fail("could not send an answer to the dealer");
  }
  destroyReadBuf(fromDealer);
  free(game);
  return 0;
}
