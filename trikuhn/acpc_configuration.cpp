#include "acpc_configuration.h"

#include <cstdlib>
#include <cstring>
#include <exception>

#include "net.h"

namespace Acpc {

namespace {

[[noreturn]] void fail(char const* message) {
  std::fputs(message, stderr);
  std::exit(1);
}

constexpr int LINE_BUFFER_SIZE = 4096;
// Room the answer needs behind the match state: ':', one action letter and
// "\r\n", inside the line buffer.
constexpr int ANSWER_RESERVE = 4;

}  // namespace

DealerConnection::DealerConnection(std::string const& hostName, uint16_t dealerPort)
    : port(dealerPort), host{}, toServer(nullptr), fromServer(nullptr) {
  // The buffer must keep its terminating zero; a longer name is refused
  // rather than cut, which would connect to some other host.
  if (hostName.size() >= HOST_BUFFER_SIZE) {
    std::fprintf(stderr, "ERROR: host name too long: %s\n", hostName.c_str());
    std::exit(1);
  }
  std::memcpy(host, hostName.data(), hostName.size());

  int const sock = connectTo(host, port);
  if (sock < 0) std::exit(1);  // connectTo has printed why

  toServer = fdopen(sock, "w");
  fromServer = fdopen(sock, "r");
  if (toServer == nullptr || fromServer == nullptr) fail("ERROR: could not get socket streams\n");

  if (std::fprintf(toServer, "VERSION:%u.%u.%u\n", 2u, 0u, 0u) != 14)
    fail("ERROR: could not get send version to server\n");
  std::fflush(toServer);
}

Configuration::Configuration(std::string const& gamePath, std::string const& host, uint16_t port)
    : gameDefinition(gamePath), dealerConnection(host, port) {}

void Configuration::for_every_match_state(ActCallback const& act,
                                          ObserveCallback const& observe) const {
  Game const* game = gameDefinition.game.get();
  char line[LINE_BUFFER_SIZE];

  while (std::fgets(line, LINE_BUFFER_SIZE, dealerConnection.fromServer) != nullptr) {
    if (line[0] == ';' || line[0] == '#') continue;

    // A fresh record per line: cards the line does not show stay zero, which
    // is how the bot's bookkeeping recognises them as unknown.
    MatchState matchState{};
    int const len = readMatchState(line, game, &matchState);
    if (len < 0) {
      std::fprintf(stderr, "ERROR: could not read state %s", line);
      std::exit(1);
    }

    if (matchState.state.finished) {
      observe(matchState);
      continue;
    }
    if (currentPlayer(game, &matchState.state) != matchState.viewingPlayer) continue;

    // A match state so long that not even a one-letter answer fits behind it
    // (possible with a run of '/' separators) cannot be answered; putting the
    // colon there would overwrite the line's terminator.
    if (len > LINE_BUFFER_SIZE - ANSWER_RESERVE) fail("ERROR: line too long after printing action\n");
    // A last line without a line feed ends right at len: keep the text
    // terminated once the colon replaces its zero byte.
    if (line[len] == '\0') line[len + 1] = '\0';
    line[len] = ':';

    std::size_t const room = static_cast<std::size_t>(LINE_BUFFER_SIZE - 3 - len);
    int printed;
    try {
      Action action = act(matchState);
      if (!isValidAction(game, &matchState.state, 0, &action)) {
        std::fprintf(stderr,
                     "WARNING: generated invalid action, %d, in %s. Defaulting to check/call\n",
                     static_cast<int>(action.type), line);
        action = Action{a_call, 0};
      }
      printed = printAction(game, &action, room, line + len + 1);
    } catch (std::exception const&) {
      Action const call{a_call, 0};
      printed = printAction(game, &call, room, line + len + 1);
    }
    if (printed < 0) fail("ERROR: line too long after printing action\n");

    std::size_t const answerLength = static_cast<std::size_t>(len + 1 + printed);
    line[answerLength] = '\r';
    line[answerLength + 1] = '\n';
    // The stream buffers the answer, so a dealer that has gone shows up in
    // the flush; either failure means the answer was not sent.
    if (std::fwrite(line, 1, answerLength + 2, dealerConnection.toServer) != answerLength + 2 ||
        std::fflush(dealerConnection.toServer) != 0)
      fail("ERROR: could not get send response to server\n");
  }
}

}  // namespace Acpc
