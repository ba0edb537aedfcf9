#include "test_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace trikuhn_test {

std::string kuhnGamePath() { return std::string(POKER_GAMES_DIR) + "/kuhn.limit.3p.game"; }

Acpc::GameDef const& kuhnGame() {
  static Acpc::GameDef const game(kuhnGamePath());
  return game;
}

MatchState matchState(std::string const& text) { return Acpc::newMatchState(text, kuhnGame()); }

std::string makeTempDir() {
  char const* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/trikuhn-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

std::string readFile(std::string const& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(std::string const& path, std::string const& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

Listener::Listener() {
  fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 8) != 0)
    throw std::runtime_error("bind or listen failed");
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
}

Listener::~Listener() {
  if (fd >= 0) ::close(fd);
}

int Listener::accept(int timeoutMs) {
  pollfd waiting{fd, POLLIN, 0};
  if (::poll(&waiting, 1, timeoutMs) != 1) return -1;
  return ::accept(fd, nullptr, nullptr);
}

namespace {

// Reads until stop(received) holds, the stream ends or the deadline passes.
template <typename Stop>
std::string readUntil(int fd, int timeoutMs, Stop stop) {
  std::string received;
  auto const deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!stop(received)) {
    auto const left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd waiting{fd, POLLIN, 0};
    if (::poll(&waiting, 1, static_cast<int>(left.count())) != 1) break;
    char c;
    if (::read(fd, &c, 1) != 1) break;
    received.push_back(c);
  }
  return received;
}

}  // namespace

std::string readLine(int fd, int timeoutMs) {
  return readUntil(fd, timeoutMs,
                   [](std::string const& s) { return !s.empty() && s.back() == '\n'; });
}

std::string readAll(int fd, int timeoutMs) {
  return readUntil(fd, timeoutMs, [](std::string const&) { return false; });
}

void writeAll(int fd, std::string const& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t const n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) throw std::runtime_error("write failed");
    done += static_cast<std::size_t>(n);
  }
}

Child spawn(std::vector<std::string> const& argv, std::string const& outPath,
            std::string const& errPath) {
  Child child{-1, outPath, errPath};
  child.pid = ::fork();
  if (child.pid < 0) throw std::runtime_error("fork failed");
  if (child.pid == 0) {
    int const out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int const err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int const in = ::open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0) ::_exit(127);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    std::vector<char*> args;
    for (auto const& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  return child;
}

int waitExit(Child const& child, int timeoutMs) {
  auto const deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int status = 0;
  while (::waitpid(child.pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child.pid, SIGKILL);
      ::waitpid(child.pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace trikuhn_test
