#include "server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <string>

#include "net.h"

namespace dealer {

std::vector<int> openListeners(std::vector<uint16_t>& ports, const std::string& address) {
  std::vector<int> fds;
  for (uint16_t& port : ports) {
    const uint16_t wanted = port;
    const int fd = getListenSocketOn(address.c_str(), &port);
    if (fd < 0) {
      for (int open : fds) close(open);
      throw std::runtime_error(wanted == 0
                                   ? "could not find a free port to listen on at " + address
                                   : "could not listen on " + address + ":" + std::to_string(wanted));
    }
    setNoDelay(fd);  // inherited by the accepted sockets; set again there anyway
    fds.push_back(fd);
  }
  return fds;
}

int acceptConnection(int listenFd, int64_t timeoutMicros) {
  pollfd waiting = {listenFd, POLLIN, 0};
  // Rounded up, so that a short wait is not taken for none.
  const int timeoutMs =
      timeoutMicros < 0 ? -1
                        : static_cast<int>(std::min<int64_t>((timeoutMicros + 999) / 1000, INT32_MAX));
  const int ready = poll(&waiting, 1, timeoutMs);
  if (ready < 0) return -1;  // errno says why, EINTR for a signal
  if (ready == 0) {
    errno = ETIMEDOUT;
    return -1;
  }
  const int fd = accept(listenFd, nullptr, nullptr);
  if (fd >= 0) setNoDelay(fd);
  return fd;
}

void setNoDelay(int fd) {
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
}

}  // namespace dealer
