#include "acpc_cli.h"

#include <tclap/CmdLine.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>

#include "acpc_game.h"
#include "net.h"

namespace Acpc {

Cli::Cli(std::string const& botName, std::string const& gameLabel, std::string const& description,
         int argc, char const* const* argv)
    : configuration(), randomEngine() {
  TCLAP::CmdLine cmd(botName + ": " + gameLabel + " Bot\n" + description, ' ', "0.0.1", true);

  TCLAP::ValueArg<std::string> gameArg("g", "game", "Path to game definition file", true, "",
                                       "path", cmd);
  TCLAP::ValueArg<std::string> hostArg(
      "l", "host",
      "The host on which an ACPC Dealer instance is running. Defaults to 'localhost\"", false,
      "localhost", "host name", cmd);
  // Read as text and checked whole: TCLAP's 16-bit conversion wraps -1 to
  // 65535 and 70000 to 4464.
  TCLAP::ValueArg<std::string> portArg(
      "p", "port",
      "The port on which this agent should attempt to connect to an ACPC Dealer instance", true, "0",
      "port number", cmd);
  TCLAP::ValueArg<uint32_t> seedArg("r", "random-seed", "A random seed set randomly by default",
                                    false, randomRandomSeed(), "whole number", cmd);

  cmd.parse(argc, argv);

  uint16_t port;
  if (!parsePort(portArg.getValue().c_str(), &port)) {
    std::fprintf(stderr, "ERROR: invalid port %s\n", portArg.getValue().c_str());
    std::exit(1);
  }
  auto config = std::make_unique<Configuration>(gameArg.getValue(), hostArg.getValue(), port);
  configuration = std::move(config);
  randomEngine.seed(seedArg.getValue());
}

void Cli::main(std::string const& botName, std::string const& gameLabel,
               std::string const& description, int argc, char const* const* argv,
               BotFactory const& makeBot) {
  // A dealer that hangs up while an answer is on its way must not kill the
  // player: the write fails instead, and the session reports it.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    Cli cli(botName, gameLabel, description, argc, argv);
    // The bot borrows the Cli's configuration and engine, so it is declared
    // after the Cli and destroyed before it.
    std::unique_ptr<Bot> bot = makeBot(cli);
    if (!bot) throw std::runtime_error("Error: Unable to create bot!");
    cli.configuration->for_every_match_state(
        [&bot](MatchState const& matchState) { return bot->act(matchState); },
        [&bot](MatchState const& matchState) { bot->update(matchState); });
  } catch (TCLAP::ArgException const& e) {
    std::fprintf(stderr, "ERROR: %s for arg %s\n", e.error().c_str(), e.argId().c_str());
    std::exit(1);
  } catch (std::exception const& e) {
    std::fprintf(stderr, "%s\n", e.what());
    std::exit(1);
  }
}

}  // namespace Acpc
