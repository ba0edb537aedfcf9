// The dealer's listening side: one listening socket per player, and the
// accepted connections with Nagle's algorithm off.
#ifndef DEALER_SERVER_H
#define DEALER_SERVER_H

#include <cstdint>
#include <string>
#include <vector>

namespace dealer {

// Opens one listening socket per entry of `ports` on the local IPv4 address
// `address` ("127.0.0.1" keeps other hosts out, "0.0.0.0" is every
// interface); an entry of 0 gets a random free port, written back. Throws
// std::runtime_error naming the port that could not be opened (the sockets
// opened so far are closed).
std::vector<int> openListeners(std::vector<uint16_t>& ports, const std::string& address);

// Waits up to timeoutMicros (negative: without limit; 0: only a connection
// already waiting) for a connection on the listening socket and returns it
// with TCP_NODELAY set. Returns -1 with errno ETIMEDOUT when none came in
// time, EINTR when a signal ended the wait, else the error of accept.
int acceptConnection(int listenFd, int64_t timeoutMicros);

// Turns Nagle's algorithm off: the protocol's small lines would otherwise
// wait for the peer's delayed acknowledgement, tens of milliseconds each.
void setNoDelay(int fd);

}  // namespace dealer

#endif  // DEALER_SERVER_H
