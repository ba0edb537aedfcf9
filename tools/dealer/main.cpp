// dealer: serves one poker match to its players over TCP. It listens on one
// port per seat, prints "ports P1 P2 ...", accepts the players, deals HANDS
// hands from SEED, writes the match log and prints the result table.
#include <tclap/CmdLine.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "game.h"
#include "match.h"
#include "numbers.h"
#include "server.h"

namespace {

struct Options {
  std::string matchName;
  std::string gameFile;
  uint32_t hands = 0;
  uint32_t seed = 0;
  std::vector<std::string> names;
  std::vector<uint16_t> ports;  // empty: random free ports
  int64_t timeoutMicros = 10'000'000;
  std::string logFile;
  bool quiet = false;
};

[[noreturn]] void fail(const std::string& message) {
  fprintf(stderr, "ERROR: %s\n", message.c_str());
  exit(1);
}

uint32_t parseU32(const std::string& text, const char* what) {
  uint64_t value;
  if (!dealer::parseUnsigned(text, UINT32_MAX, &value)) {
    fail(std::string("invalid ") + what + " '" + text + "' (a whole number from 0 to 4294967295)");
  }
  return static_cast<uint32_t>(value);
}

// A name goes into the log between "|" and ":" separators.
bool validName(const std::string& name) {
  if (name.empty()) return false;
  for (unsigned char ch : name) {
    if (ch <= ' ' || ch == '|' || ch == ':' || ch == 127) return false;
  }
  return true;
}

Options parseCommandLine(int argc, char** argv) {
  TCLAP::CmdLine cmd(
      "Deals a poker match to players that connect over TCP and speak the ACPC protocol "
      "(version 2.0.0). It opens one listening port per seat, prints the line "
      "'ports P1 P2 ...' and waits for one player on each port, in that order. The player "
      "of the i-th port (from 0) sits in seat (i + hand) mod seats, so the players move one "
      "seat each hand. Faults of a player never stop the match: a bad answer is played as a "
      "call and counted as an error, a missing answer as a fold (or a check) and counted as "
      "a timeout, and a player that disconnects is played that way to the end. The log has "
      "one line per hand (final state, the seats' values, the names in seat order) and a "
      "SCORE line; the result table goes to standard output.",
      ' ', "1.0");
  TCLAP::ValueArg<std::string> ports("", "ports",
                                     "Comma-separated ports to listen on, one per seat "
                                     "(0: any free port). Default: random free ports.",
                                     false, "", "P1,P2,...", cmd);
  TCLAP::ValueArg<std::string> timeout("", "timeout-ms",
                                       "Milliseconds a player may take for one answer; "
                                       "0 waits without limit. Default 10000.",
                                       false, "10000", "N", cmd);
  TCLAP::ValueArg<std::string> log("", "log", "Log file. Default: MATCH_NAME.log.", false, "",
                                   "FILE", cmd);
  TCLAP::SwitchArg quiet("", "quiet", "Do not report connections and players' faults.", cmd);
  TCLAP::UnlabeledValueArg<std::string> matchName("match-name", "Name of the match.", true, "",
                                                  "MATCH_NAME", cmd);
  TCLAP::UnlabeledValueArg<std::string> gameFile("game-file", "Game definition file.", true, "",
                                                 "GAME_FILE", cmd);
  TCLAP::UnlabeledValueArg<std::string> hands("hands", "Number of hands.", true, "", "HANDS",
                                              cmd);
  TCLAP::UnlabeledValueArg<std::string> seed("seed", "Seed of the deals.", true, "", "SEED",
                                             cmd);
  TCLAP::UnlabeledMultiArg<std::string> names(
      "names", "One player name per seat, without blanks, '|' or ':'.", true, "NAME", cmd);
  cmd.parse(argc, argv);

  Options o;
  o.matchName = matchName.getValue();
  o.gameFile = gameFile.getValue();
  o.hands = parseU32(hands.getValue(), "number of hands");
  o.seed = parseU32(seed.getValue(), "seed");
  o.names = names.getValue();
  for (const std::string& name : o.names) {
    if (!validName(name)) fail("invalid player name '" + name + "' (no blanks, '|' or ':')");
  }
  uint64_t ms;
  if (!dealer::parseUnsigned(timeout.getValue(), INT32_MAX, &ms)) {
    fail("invalid --timeout-ms '" + timeout.getValue() +
         "' (milliseconds up to 2147483647, 0 for no limit)");
  }
  o.timeoutMicros = ms == 0 ? -1 : static_cast<int64_t>(ms) * 1000;
  if (ports.isSet()) {
    const std::string& list = ports.getValue();
    size_t start = 0;
    for (;;) {
      const size_t comma = list.find(',', start);
      const std::string item = list.substr(start, comma == std::string::npos ? comma : comma - start);
      uint64_t port;
      if (!dealer::parseUnsigned(item, 65535, &port)) {
        fail("invalid port '" + item + "' in --ports '" + list + "'");
      }
      o.ports.push_back(static_cast<uint16_t>(port));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  o.logFile = log.isSet() ? log.getValue() : o.matchName + ".log";
  o.quiet = quiet.getValue();
  return o;
}

std::unique_ptr<Game, decltype(&free)> loadGame(const std::string& path) {
  FILE* file = fopen(path.c_str(), "r");
  if (file == nullptr) fail("could not open game " + path);
  Game* game = readGame(file);
  fclose(file);
  if (game == nullptr) fail("could not read game " + path);
  return {game, &free};
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = parseCommandLine(argc, argv);
  const auto game = loadGame(options.gameFile);
  const unsigned seats = game->numPlayers;
  if (options.names.size() != seats) {
    fail("the game has " + std::to_string(seats) + " seats but " +
         std::to_string(options.names.size()) + " player names were given");
  }
  std::vector<uint16_t> ports = options.ports;
  if (ports.empty()) {
    ports.assign(seats, 0);
  } else if (ports.size() != seats) {
    fail("--ports lists " + std::to_string(ports.size()) + " ports for " + std::to_string(seats) +
         " seats");
  }

  // Opened first, so that a bad path fails before any player connects; a
  // match that does not start leaves no log behind.
  FILE* log = fopen(options.logFile.c_str(), "w");
  if (log == nullptr) fail("could not open log file " + options.logFile);
  const auto failWithoutLog = [&](const std::string& message) {
    fclose(log);
    remove(options.logFile.c_str());
    fail(message);
  };

  // Random ports come from random(); without a seed every dealer would try
  // the same ports in the same order.
  srandom(static_cast<unsigned>(time(nullptr)) ^ (static_cast<unsigned>(getpid()) << 16));
  std::vector<int> listeners;
  try {
    listeners = dealer::openListeners(ports);
  } catch (const std::runtime_error& e) {
    failWithoutLog(e.what());
  }
  printf("ports");
  for (uint16_t port : ports) printf(" %u", static_cast<unsigned>(port));
  printf("\n");
  fflush(stdout);

  dealer::MatchSettings settings;
  settings.timeoutMicros = options.timeoutMicros;
  settings.notices = options.quiet ? nullptr : stderr;
  dealer::Match match(game.get(), options.names, options.seed, settings);
  for (unsigned player = 0; player < seats; ++player) {
    const int fd = dealer::acceptPlayer(listeners[player]);
    if (fd < 0) failWithoutLog("could not accept a player on port " + std::to_string(ports[player]));
    if (match.connectPlayer(player, fd) && !options.quiet) {
      fprintf(stderr, "dealer: %s connected on port %u\n", options.names[player].c_str(),
              static_cast<unsigned>(ports[player]));
    }
  }

  match.play(options.hands, log);
  if (ferror(log) || fclose(log) != 0) fail("could not write log file " + options.logFile);

  printf("match %s: %u hands of %s, seed %u\n", options.matchName.c_str(), options.hands,
         options.gameFile.c_str(), options.seed);
  dealer::printResultTable(stdout, match.results());
  return 0;
}
