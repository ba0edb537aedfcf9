// morvane: a CFR poker player for the ACPC dealer.
//
//   morvane [--abstraction NAME] GAME_FILE HOST PORT
//
// The game file name, compared as a whole, selects the agent. The agent
// loads its strategy from strategies/ or trains and saves one, then plays
// one dealer session until the dealer closes the connection. The option,
// anywhere on the line, names the abstraction: "standard" (the default) or
// "large", which only the two-player hold'em games may ask for.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <string>

#include "agents/KuhnAgent.h"
#include "agents/LimitHoldemAgent.h"
#include "agents/NolimitLargeAgent.h"
#include "common/abstraction_option.h"
#include "solver/cfr.h"
#include "net.h"
#include "common/game_file.h"
#include "common/util.h"

namespace {

using AgentFactory =
    std::function<std::unique_ptr<PokerAgent>(const char* gameFile, Abstraction abstraction)>;

std::unique_ptr<PokerAgent> holdemAgent(const char* gameFile, Abstraction abstraction) {
  return std::make_unique<LimitHoldemAgent>(gameFile, abstraction);
}

const std::map<std::string, AgentFactory>& agentTable() {
  static const std::map<std::string, AgentFactory> table = {
      {"holdem.limit.2p.reverse_blinds.game", holdemAgent},
      {"holdem.limit.3p.game", holdemAgent},
      {"holdem.nolimit.2p.reverse_blinds.game",
       [](const char* gameFile, Abstraction abstraction) -> std::unique_ptr<PokerAgent> {
         if (abstraction == Abstraction::large) return std::make_unique<NolimitLargeAgent>(gameFile);
         return std::make_unique<LimitHoldemAgent>(gameFile, abstraction);
       }},
      {"kuhn.limit.3p.game",
       [](const char* gameFile, Abstraction) -> std::unique_ptr<PokerAgent> {
         return std::make_unique<KuhnAgent>(gameFile);
       }},
  };
  return table;
}

}  // namespace

int main(int argc, char** argv) {
  // A dealer that hangs up while an answer is on its way must not kill the
  // player: the write fails instead, and the session reports it.
  std::signal(SIGPIPE, SIG_IGN);
  randomize();
  for (int i = 0; i < argc; ++i) std::cout << argv[i] << "\n";
  std::cout.flush();
  const AbstractionArguments arguments = takeAbstractionOption(argc, argv);
  if (arguments.positional.size() < 3) {
    std::fprintf(stderr, "usage: player game server port\n");
    return 1;
  }
  if (!arguments.error.empty()) {
    std::fprintf(stderr, "ERROR: %s\n", arguments.error.c_str());
    return 1;
  }
  const char* gameFile = arguments.positional[0].c_str();
  const char* host = arguments.positional[1].c_str();
  const char* portText = arguments.positional[2].c_str();
  const std::string refusal = abstractionRefusal(arguments.abstraction, gameFile);
  if (!refusal.empty()) {
    std::fprintf(stderr, "ERROR: %s\n", refusal.c_str());
    return 1;
  }
  // Kept to the end; the agent reads its own copy.
  std::string problem;
  const GamePtr game = readGameFile(gameFile, &problem);
  if (!game) {
    std::fprintf(stderr, "ERROR: %s\n", problem.c_str());
    return 1;
  }

  CFR::logProgress = true;
  const auto row = agentTable().find(gameFile);
  if (row == agentTable().end()) {
    std::fprintf(stderr, "ERROR: no agent for game %s\n", gameFile);
    return 1;
  }
  std::unique_ptr<PokerAgent> agent = row->second(gameFile, arguments.abstraction);

  uint16_t port;
  if (!parsePort(portText, &port)) {
    std::fprintf(stderr, "ERROR: invalid port %s\n", portText);
    return 1;
  }
  if (!agent->connect(host, port)) return 1;
  if (!agent->play()) std::exit(1);
  agent.reset();
  return 0;
}
