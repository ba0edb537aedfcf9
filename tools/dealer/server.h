// The dealer's listening side: one listening socket per player, and the
// accepted connections with Nagle's algorithm off.
#ifndef DEALER_SERVER_H
#define DEALER_SERVER_H

#include <cstdint>
#include <vector>

namespace dealer {

// Opens one listening socket per entry of `ports`; an entry of 0 gets a
// random free port, written back. Throws std::runtime_error naming the port
// that could not be opened (the sockets opened so far are closed).
std::vector<int> openListeners(std::vector<uint16_t>& ports);

// Accepts one connection on the listening socket, closes the listener and
// returns the connected socket with TCP_NODELAY set, or -1.
int acceptPlayer(int listenFd);

// Turns Nagle's algorithm off: the protocol's small lines would otherwise
// wait for the peer's delayed acknowledgement, tens of milliseconds each.
void setNoDelay(int fd);

}  // namespace dealer

#endif  // DEALER_SERVER_H
