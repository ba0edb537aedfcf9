// dealer: serves one poker match to its players over TCP. It listens on one
// port per seat, prints "ports P1 P2 ...", accepts the players, deals HANDS
// hands from SEED, writes the match log and prints the result table.
#include <tclap/CmdLine.h>
#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "game.h"
#include "match.h"
#include "net.h"
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
  int64_t connectTimeoutMicros = -1;  // no limit
  uint32_t maxTimeouts = 0;           // no limit
  std::vector<bool> untimed;          // per player: no answer timeout
  std::string bindAddress = "127.0.0.1";
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
      "a timeout, and a player that disconnects is played that way to the end. A seat goes "
      "only to a connection that sends the version line first; any other is closed and the "
      "port listens on. The log has one line per hand (final state, the seats' values, the "
      "names in seat order), written as the hand ends, and a SCORE line; the result table "
      "goes to standard output. SIGTERM or SIGINT ends the match after the hands played so "
      "far: the log gets their SCORE line and the dealer exits with status 128 + signal.",
      ' ', "1.0");
  TCLAP::ValueArg<std::string> ports("", "ports",
                                     "Comma-separated ports to listen on, one per seat "
                                     "(0: any free port). Default: random free ports.",
                                     false, "", "P1,P2,...", cmd);
  TCLAP::ValueArg<std::string> timeout("", "timeout-ms",
                                       "Milliseconds a player may take for one answer; "
                                       "0 waits without limit. Default 10000.",
                                       false, "10000", "N", cmd);
  TCLAP::ValueArg<std::string> untimed(
      "", "untimed-players",
      "Comma-separated players, by their place among the names (from 1), that may take any "
      "time to answer, such as a person playing in a browser; the others keep --timeout-ms. "
      "Default: none.",
      false, "", "I,J,...", cmd);
  TCLAP::ValueArg<std::string> bind("", "bind",
                                    "Local IPv4 address to listen on; 0.0.0.0 for every "
                                    "interface. Default 127.0.0.1, this host only.",
                                    false, "127.0.0.1", "ADDRESS", cmd);
  TCLAP::ValueArg<std::string> connectTimeout(
      "", "connect-timeout-ms",
      "Milliseconds, from the start, within which every player must connect; a seat still "
      "free then is played as folding. 0 waits without limit (the default: a player may "
      "train for hours before it connects).",
      false, "0", "N", cmd);
  TCLAP::ValueArg<std::string> maxTimeouts(
      "", "max-timeouts",
      "Timeouts after which a player is disconnected and its seat played as folding; "
      "0 for no limit (the default).",
      false, "0", "N", cmd);
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
  if (!dealer::parseUnsigned(connectTimeout.getValue(), INT32_MAX, &ms)) {
    fail("invalid --connect-timeout-ms '" + connectTimeout.getValue() +
         "' (milliseconds up to 2147483647, 0 for no limit)");
  }
  o.connectTimeoutMicros = ms == 0 ? -1 : static_cast<int64_t>(ms) * 1000;
  uint64_t count;
  if (!dealer::parseUnsigned(maxTimeouts.getValue(), UINT32_MAX, &count)) {
    fail("invalid --max-timeouts '" + maxTimeouts.getValue() + "' (a whole number, 0 for no limit)");
  }
  o.maxTimeouts = static_cast<uint32_t>(count);
  o.untimed.assign(o.names.size(), false);
  if (untimed.isSet()) {
    const std::string& list = untimed.getValue();
    size_t start = 0;
    for (;;) {
      const size_t comma = list.find(',', start);
      const std::string item = list.substr(start, comma == std::string::npos ? comma : comma - start);
      uint64_t place;
      if (!dealer::parseUnsigned(item, UINT32_MAX, &place) || place == 0 ||
          place > o.names.size()) {
        fail("invalid player '" + item + "' in --untimed-players '" + list + "' (a place from 1 to " +
             std::to_string(o.names.size()) + " among the names)");
      }
      o.untimed[place - 1] = true;
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  in_addr address;
  if (inet_pton(AF_INET, bind.getValue().c_str(), &address) != 1) {
    fail("invalid --bind address '" + bind.getValue() + "' (an IPv4 address such as 127.0.0.1)");
  }
  o.bindAddress = bind.getValue();
  if (ports.isSet()) {
    const std::string& list = ports.getValue();
    size_t start = 0;
    for (;;) {
      const size_t comma = list.find(',', start);
      const std::string item = list.substr(start, comma == std::string::npos ? comma : comma - start);
      uint16_t port = 0;
      if (item != "0" && !parsePort(item.c_str(), &port)) {
        fail("invalid port '" + item + "' in --ports '" + list + "'");
      }
      o.ports.push_back(port);
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

// The signal that asked the match to stop, 0 while none has.
volatile sig_atomic_t stopSignal = 0;

// A signal that comes just before a wait begins does not end that wait. So
// once a stop is asked for, an alarm every second interrupts whatever wait
// the match is in, until it has seen the request.
void nudge(int) { alarm(1); }

void requestStop(int signal) {
  stopSignal = signal;
  alarm(1);
}

// Without SA_RESTART, so that a wait for a player ends at the signal.
void catchStopSignals() {
  struct sigaction action = {};
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  action.sa_handler = nudge;
  sigaction(SIGALRM, &action, nullptr);
  action.sa_handler = requestStop;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

void stopNudging() {
  signal(SIGALRM, SIG_IGN);
  alarm(0);
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

  // From here on a stop request ends the match with a complete log.
  catchStopSignals();

  // Random ports come from random(); without a seed every dealer would try
  // the same ports in the same order.
  srandom(static_cast<unsigned>(time(nullptr)) ^ (static_cast<unsigned>(getpid()) << 16));
  std::vector<int> listeners;
  try {
    listeners = dealer::openListeners(ports, options.bindAddress);
  } catch (const std::runtime_error& e) {
    failWithoutLog(e.what());
  }
  printf("ports");
  for (uint16_t port : ports) printf(" %u", static_cast<unsigned>(port));
  printf("\n");
  fflush(stdout);

  dealer::MatchSettings settings;
  settings.timeoutMicros = options.timeoutMicros;
  // A player sends its version line as soon as it has connected.
  settings.versionTimeoutMicros =
      options.timeoutMicros < 0 ? 10'000'000 : std::min<int64_t>(options.timeoutMicros, 10'000'000);
  settings.maxTimeouts = options.maxTimeouts;
  settings.untimed = options.untimed;
  settings.notices = options.quiet ? nullptr : stderr;
  settings.stop = &stopSignal;
  dealer::Match match(game.get(), options.names, options.seed, settings);

  using Clock = std::chrono::steady_clock;
  const Clock::time_point connectDeadline =
      Clock::now() + std::chrono::microseconds(std::max<int64_t>(options.connectTimeoutMicros, 0));
  for (unsigned player = 0; player < seats && stopSignal == 0; ++player) {
    while (!match.isConnected(player) && stopSignal == 0) {
      int64_t left = -1;
      if (options.connectTimeoutMicros >= 0) {
        left = std::max<int64_t>(0, std::chrono::duration_cast<std::chrono::microseconds>(
                                        connectDeadline - Clock::now())
                                        .count());
      }
      const int fd = dealer::acceptConnection(listeners[player], left);
      if (fd < 0) {
        if (errno == EINTR) continue;
        if (errno != ETIMEDOUT) {
          failWithoutLog("could not accept a player on port " + std::to_string(ports[player]));
        }
        if (!options.quiet) {
          fprintf(stderr, "dealer: %s did not connect in time; it is played as folding\n",
                  options.names[player].c_str());
        }
        break;
      }
      if (match.connectPlayer(player, fd) && !options.quiet) {
        fprintf(stderr, "dealer: %s connected on port %u\n", options.names[player].c_str(),
                static_cast<unsigned>(ports[player]));
      }
    }
    close(listeners[player]);
    listeners[player] = -1;
  }
  for (int fd : listeners) {
    if (fd >= 0) close(fd);
  }

  const uint32_t played = match.play(options.hands, log);
  stopNudging();
  if (ferror(log) || fclose(log) != 0) fail("could not write log file " + options.logFile);

  printf("match %s: %u hands of %s, seed %u\n", options.matchName.c_str(), played,
         options.gameFile.c_str(), options.seed);
  dealer::printResultTable(stdout, match.results());
  if (stopSignal != 0) {
    fflush(stdout);
    fprintf(stderr, "dealer: stopped by signal %d after %u of %u hands\n",
            static_cast<int>(stopSignal), played, options.hands);
    return 128 + stopSignal;
  }
  return 0;
}
