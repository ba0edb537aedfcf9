// Shared helpers of the trikuhn tests: the Kuhn game, match states from text,
// temporary directories, loopback listeners and child processes.
#ifndef TRIKUHN_TESTS_TEST_SUPPORT_H
#define TRIKUHN_TESTS_TEST_SUPPORT_H

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "acpc_game.h"
#include "game.h"

namespace trikuhn_test {

std::string kuhnGamePath();
Acpc::GameDef const& kuhnGame();
MatchState matchState(std::string const& text);

// A fresh directory under the system's temporary directory.
std::string makeTempDir();
std::string readFile(std::string const& path);
void writeFile(std::string const& path, std::string const& text);

// A listening TCP socket on 127.0.0.1 with a port chosen by the system.
struct Listener {
  Listener();
  ~Listener();
  Listener(Listener const&) = delete;
  Listener& operator=(Listener const&) = delete;
  // Waits at most timeoutMs for a connection; -1 when none came.
  int accept(int timeoutMs = 10000);

  int fd = -1;
  uint16_t port = 0;
};

// Reads from fd until a line feed, end of stream or the deadline; returns
// what arrived (line feed included).
std::string readLine(int fd, int timeoutMs = 10000);
// Reads from fd until end of stream or the deadline.
std::string readAll(int fd, int timeoutMs = 10000);
void writeAll(int fd, std::string const& text);

// A child process with standard output and error sent to files.
struct Child {
  pid_t pid = -1;
  std::string outPath;
  std::string errPath;
};
Child spawn(std::vector<std::string> const& argv, std::string const& outPath,
            std::string const& errPath);
// Waits at most timeoutMs (then kills the child); the exit status, or -1
// when the child did not exit normally.
int waitExit(Child const& child, int timeoutMs = 60000);

}  // namespace trikuhn_test

#endif  // TRIKUHN_TESTS_TEST_SUPPORT_H
