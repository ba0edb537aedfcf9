// humanseat: a player whose decisions a person makes in a web browser. It
// connects to the dealer like any player and serves a page on a local
// address; the page shows the hand and offers only the legal actions, and
// what the person chooses is checked again here before it goes to the
// dealer. Closing the page does not end the match: opening it again resumes.
// The program ends when the dealer closes the match, once the page has shown
// its end (or nobody has looked at the page for a while).
#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <tclap/CmdLine.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "game.h"
#include "net.h"
#include "numbers.h"
#include "seat.h"
#include "web_assets.h"

namespace {

using humanseat::HumanSeat;
using nlohmann::json;

// With nobody looking at the page this long after the dealer has closed,
// the program ends without waiting for anyone to see the end.
constexpr auto kUnwatchedGrace = std::chrono::seconds(10);

volatile sig_atomic_t stopSignal = 0;
void requestStop(int signal) { stopSignal = signal; }

[[noreturn]] void fail(const std::string& message) {
  fprintf(stderr, "ERROR: %s\n", message.c_str());
  exit(1);
}

std::vector<std::string> splitNames(const std::string& list) {
  std::vector<std::string> names;
  size_t start = 0;
  for (;;) {
    const size_t comma = list.find(',', start);
    names.push_back(list.substr(start, comma == std::string::npos ? comma : comma - start));
    if (comma == std::string::npos) return names;
    start = comma + 1;
  }
}

bool sendAll(int fd, const std::string& text) {
  const char* data = text.data();
  size_t length = text.size();
  while (length > 0) {
    const ssize_t n = send(fd, data, length, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

// Reads the dealer's lines into the seat until the dealer closes.
void readDealer(ReadBuf* fromDealer, HumanSeat* seat) {
  char line[READBUF_LEN];
  for (;;) {
    const ssize_t n = getLine(fromDealer, sizeof(line), line, -1);
    if (n <= 0) break;
    std::string text(line, static_cast<size_t>(n));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text.empty() || text[0] == '#' || text[0] == ';') continue;
    if (!seat->dealerLine(text)) {
      fprintf(stderr, "WARNING: skipped a line from the dealer that is no state of this game: %s\n",
              text.c_str());
    }
  }
  seat->dealerClosed();
  printf("humanseat: the dealer has closed the match\n");
  fflush(stdout);
}

// Only the page's own origin may use the page's actions: a request must name
// the address the page is served on, so another site in the same browser
// cannot reach the seat through a name that resolves to this host.
bool hostAllowed(const httplib::Request& request, const std::string& bindAddress) {
  std::string host = request.get_header_value("Host");
  const size_t colon = host.rfind(':');
  if (colon != std::string::npos && host.find(']') == std::string::npos) host.resize(colon);
  if (bindAddress != "127.0.0.1") return true;  // served to the network on purpose
  return host == "127.0.0.1" || host == "localhost";
}

void reply(httplib::Response& response, const HumanSeat::Reply& result) {
  response.set_content(json{{"ok", result.ok}, {"message", result.message}}.dump(),
                       "application/json");
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  TCLAP::CmdLine cmd(
      "Lets a person play a seat of a dealer's match in a web browser. It connects to the "
      "dealer at HOST:PORT like any player, serves the page on --bind:--port and prints its "
      "address; the page shows the hand and offers only the legal actions. Closing the page "
      "does not end the match: opening the address again resumes it. The program ends when "
      "the dealer closes the match.",
      ' ', "1.0");
  TCLAP::ValueArg<std::string> bindArg(
      "", "bind",
      "Local IPv4 address to serve the page on. Default 127.0.0.1, this host only; anybody "
      "who can reach another address can play the seat.",
      false, "127.0.0.1", "ADDRESS", cmd);
  TCLAP::ValueArg<std::string> portArg("", "port", "Port of the page; 0 (the default) picks a free one.",
                                       false, "0", "PORT", cmd);
  TCLAP::ValueArg<std::string> namesArg(
      "", "names",
      "The players' names in the dealer's order, comma-separated, this seat's included; "
      "shown beside the seats. Default: 'You' and seat numbers.",
      false, "", "NAME,NAME,...", cmd);
  TCLAP::ValueArg<std::string> youArg("", "you", "This seat's place among --names, from 1 (default 1).",
                                      false, "1", "N", cmd);
  TCLAP::UnlabeledValueArg<std::string> gameArg("game-file", "Game definition file.", true, "",
                                                "GAME_FILE", cmd);
  TCLAP::UnlabeledValueArg<std::string> hostArg("host", "Dealer host.", true, "", "HOST", cmd);
  TCLAP::UnlabeledValueArg<std::string> dealerPortArg("dealer-port", "Dealer port.", true, "", "PORT",
                                                      cmd);
  cmd.parse(argc, argv);

  uint16_t dealerPort;
  if (!parsePort(dealerPortArg.getValue().c_str(), &dealerPort)) {
    fail("invalid port " + dealerPortArg.getValue());
  }
  uint16_t pagePort = 0;
  if (portArg.getValue() != "0" && !parsePort(portArg.getValue().c_str(), &pagePort)) {
    fail("invalid --port " + portArg.getValue());
  }
  const std::string bindAddress = bindArg.getValue();
  in_addr address;
  if (inet_pton(AF_INET, bindAddress.c_str(), &address) != 1) {
    fail("invalid --bind address '" + bindAddress + "' (an IPv4 address such as 127.0.0.1)");
  }

  FILE* file = fopen(gameArg.getValue().c_str(), "r");
  if (file == nullptr) fail("could not open game " + gameArg.getValue());
  std::unique_ptr<Game, decltype(&free)> game(readGame(file), &free);
  fclose(file);
  if (game == nullptr) fail("could not read game " + gameArg.getValue());

  humanseat::Table table;
  if (namesArg.isSet()) {
    table.names = splitNames(namesArg.getValue());
    if (table.names.size() != game->numPlayers) {
      fail("--names lists " + std::to_string(table.names.size()) + " names for " +
           std::to_string(game->numPlayers) + " seats");
    }
  }
  uint64_t you;
  if (!dealer::parseUnsigned(youArg.getValue(), MAX_PLAYERS, &you) || you == 0 ||
      you > game->numPlayers) {
    fail("invalid --you '" + youArg.getValue() + "' (a place from 1 to " +
         std::to_string(game->numPlayers) + ")");
  }
  table.me = static_cast<unsigned>(you - 1);

  // The page's server first: a port in use fails before the dealer sees us.
  httplib::Server server;
  int boundPort;
  if (pagePort == 0) {
    boundPort = server.bind_to_any_port(bindAddress);
  } else {
    boundPort = server.bind_to_port(bindAddress, pagePort) ? pagePort : -1;
  }
  if (boundPort <= 0) fail("could not serve the page on " + bindAddress + ":" + portArg.getValue());

  const int sock = connectTo(hostArg.getValue().c_str(), dealerPort);
  if (sock < 0) return 1;  // connectTo has said why
  const int on = 1;
  setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
  ReadBuf* fromDealer = createReadBuf(sock);
  if (fromDealer == nullptr) fail("out of memory");
  if (!sendAll(sock, "VERSION:2.0.0\r\n")) fail("could not send the version line");

  // Answers are written by the page's requests, one at a time.
  HumanSeat seat(game.get(), table, [sock](const std::string& line) { return sendAll(sock, line); });

  server.set_pre_routing_handler([&](const httplib::Request& request, httplib::Response& response) {
    if (hostAllowed(request, bindAddress)) return httplib::Server::HandlerResponse::Unhandled;
    response.status = 403;
    response.set_content("Forbidden", "text/plain");
    return httplib::Server::HandlerResponse::Handled;
  });
  for (size_t i = 0; i < humanseat::kNumWebAssets; ++i) {
    const humanseat::WebAsset& asset = humanseat::kWebAssets[i];
    server.Get(asset.path, [&asset](const httplib::Request&, httplib::Response& response) {
      response.set_header("Cache-Control", "no-store");
      response.set_content(asset.body, asset.contentType);
    });
  }
  server.Get("/api/view", [&](const httplib::Request&, httplib::Response& response) {
    response.set_header("Cache-Control", "no-store");
    response.set_content(seat.view().dump(), "application/json");
  });
  // Posts must be JSON: a browser sends that across origins only after
  // asking, which this server never allows.
  const auto postedJson = [](const httplib::Request& request, httplib::Response& response,
                             json* body) {
    if (request.get_header_value("Content-Type").rfind("application/json", 0) != 0) {
      response.status = 415;
      reply(response, {false, "Requests must be JSON."});
      return false;
    }
    *body = json::parse(request.body, nullptr, false);
    if (body->is_discarded()) {
      response.status = 400;
      reply(response, {false, "The request is not understood."});
      return false;
    }
    return true;
  };
  server.Post("/api/action", [&](const httplib::Request& request, httplib::Response& response) {
    json body;
    if (postedJson(request, response, &body)) reply(response, seat.act(body));
  });
  server.Post("/api/next", [&](const httplib::Request& request, httplib::Response& response) {
    json body;
    if (postedJson(request, response, &body)) reply(response, seat.next());
  });

  struct sigaction action = {};
  sigemptyset(&action.sa_mask);
  action.sa_handler = requestStop;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);

  std::thread serving([&server] { server.listen_after_bind(); });
  std::thread reading(readDealer, fromDealer, &seat);
  const std::string shownHost = bindAddress == "0.0.0.0" ? "127.0.0.1" : bindAddress;
  printf("humanseat: play at http://%s:%d/\n", shownHost.c_str(), boundPort);
  fflush(stdout);

  while (stopSignal == 0) {
    if (seat.dealerHasClosed() && (seat.endSeen() || seat.sinceLastView() > kUnwatchedGrace)) {
      // Time for the page's last request to be answered.
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  server.stop();
  serving.join();
  if (stopSignal != 0) shutdown(sock, SHUT_RDWR);  // ends the reader's wait
  reading.join();
  destroyReadBuf(fromDealer);
  return stopSignal != 0 ? 128 + stopSignal : 0;
}
