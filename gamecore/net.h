// Thin helpers over POSIX sockets for a client of the dealer: connect to a
// host and port, open a listening socket, and read text lines from a socket
// through a small buffer, with an optional deadline for the whole line.
#ifndef GAMECORE_NET_H
#define GAMECORE_NET_H

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

constexpr int READBUF_LEN = 4096;

struct ReadBuf {
  int32_t fd;        // socket descriptor, owned by the record
  int32_t bufStart;  // next unread byte in buf
  int32_t bufEnd;    // number of valid bytes in buf
  char buf[READBUF_LEN];
};

// Reads a port number given as text, as on a command line: decimal digits
// only, 1 to 65535, nothing before or after them. Returns 1 and stores the
// port, or 0 with the port unchanged, so that "70000", "-1" or "12abc" can
// never be taken for some other port.
int parsePort(const char* text, uint16_t* port);

// Connected socket descriptor, or -1 after a message on standard error.
int connectTo(const char* hostname, uint16_t port);
// Listening socket, or -1. A port of 0 picks a random free one, written back.
int getListenSocket(uint16_t* desiredPort);
// The same, bound to one local IPv4 address (dotted text such as
// "127.0.0.1"; "0.0.0.0" is every interface) instead of all of them.
// Returns -1 also when the address is not one.
int getListenSocketOn(const char* address, uint16_t* desiredPort);

ReadBuf* createReadBuf(int fd);
void destroyReadBuf(ReadBuf* readBuf);

// Reads one line (line feed included) into line, at most maxLen - 1 bytes
// plus a zero byte. Returns the bytes stored, 0 at end of stream, or -1 on a
// read error or when timeoutMicros (negative: no limit) passes first.
ssize_t getLine(ReadBuf* readBuf, size_t maxLen, char* line, int64_t timeoutMicros);

#endif  // GAMECORE_NET_H
