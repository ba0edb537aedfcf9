// The driver of a dealer-client program: parses the command line, loads the
// game, connects to the dealer, seeds the random engine, and runs the dealer
// session with a bot made by the program's factory. The framework knows
// nothing of any particular game or bot: both come in from the program.
#ifndef TRIKUHN_ACPC_CLI_H
#define TRIKUHN_ACPC_CLI_H

#include <functional>
#include <memory>
#include <random>
#include <string>

#include "acpc_bot.h"
#include "acpc_configuration.h"

namespace Acpc {

class Cli;

// Makes the bot from the constructed Cli (its configuration and random
// engine, which the bot may borrow); null when no bot can be made.
using BotFactory = std::function<std::unique_ptr<Bot>(Cli&)>;

class Cli {
 public:
  // Options: -g/--game (required), -l/--host (default localhost),
  // -p/--port (required), -r/--random-seed (default: a fresh random seed),
  // with TCLAP's help and version switches. Parse errors, help and version
  // end the process through TCLAP; connection failures end it with status 1;
  // a game that cannot be loaded throws std::runtime_error.
  Cli(std::string const& botName, std::string const& gameLabel, std::string const& description,
      int argc, char const* const* argv);
  virtual ~Cli() = default;

  // Runs the whole program: returns only after the dealer has closed the
  // connection; every failure prints a message and exits with status 1.
  static void main(std::string const& botName, std::string const& gameLabel,
                   std::string const& description, int argc, char const* const* argv,
                   BotFactory const& makeBot);

  std::unique_ptr<Configuration> configuration;
  // The only random source of the bot's play.
  std::mt19937 randomEngine;
};

}  // namespace Acpc

#endif  // TRIKUHN_ACPC_CLI_H
