#include "server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>

#include "net.h"

namespace dealer {

std::vector<int> openListeners(std::vector<uint16_t>& ports) {
  std::vector<int> fds;
  for (uint16_t& port : ports) {
    const uint16_t wanted = port;
    const int fd = getListenSocket(&port);
    if (fd < 0) {
      for (int open : fds) close(open);
      throw std::runtime_error(wanted == 0 ? std::string("could not find a free port to listen on")
                                           : "could not listen on port " + std::to_string(wanted));
    }
    setNoDelay(fd);  // inherited by the accepted sockets; set again there anyway
    fds.push_back(fd);
  }
  return fds;
}

int acceptPlayer(int listenFd) {
  int fd;
  do {
    fd = accept(listenFd, nullptr, nullptr);
  } while (fd < 0 && errno == EINTR);
  close(listenFd);
  if (fd >= 0) setNoDelay(fd);
  return fd;
}

void setNoDelay(int fd) {
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
}

}  // namespace dealer
