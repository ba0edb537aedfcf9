#include "net.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int parsePort(const char* text, uint16_t* port) {
  if (text == nullptr || *text == '\0') return 0;
  uint32_t value = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return 0;
    value = value * 10 + static_cast<uint32_t>(*c - '0');
    if (value > 65535) return 0;
  }
  if (value == 0) return 0;
  *port = static_cast<uint16_t>(value);
  return 1;
}

int connectTo(const char* hostname, uint16_t port) {
  const hostent* host = gethostbyname(hostname);
  if (host == nullptr || host->h_addrtype != AF_INET || host->h_addr_list[0] == nullptr) {
    fprintf(stderr, "ERROR: could not look up address for %s\n", hostname);
    return -1;
  }
  const int sock = socket(AF_INET, SOCK_STREAM, 0);
  if (sock < 0) {
    fprintf(stderr, "ERROR: could not open socket\n");
    return -1;
  }
  sockaddr_in addr;
  memset(&addr, 0, sizeof(addr));
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  size_t addrLen = static_cast<size_t>(host->h_length);
  if (addrLen > sizeof(addr.sin_addr)) addrLen = sizeof(addr.sin_addr);
  memcpy(&addr.sin_addr, host->h_addr_list[0], addrLen);
  if (connect(sock, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) < 0) {
    fprintf(stderr, "ERROR: could not connect to %s:%u\n", hostname, static_cast<unsigned>(port));
    close(sock);
    return -1;
  }
  return sock;
}

namespace {

int bindTo(int sock, in_addr address, uint16_t port) {
  sockaddr_in addr;
  memset(&addr, 0, sizeof(addr));
  addr.sin_family = AF_INET;
  addr.sin_addr = address;
  addr.sin_port = htons(port);
  return bind(sock, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr));
}

// A socket listening on the port, or -1.
int listenOnPort(in_addr address, uint16_t port) {
  const int sock = socket(AF_INET, SOCK_STREAM, 0);
  if (sock < 0) return -1;
  const int on = 1;
  if (setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) < 0 || bindTo(sock, address, port) < 0 ||
      listen(sock, 8) < 0) {
    close(sock);
    return -1;
  }
  return sock;
}

int listenOn(in_addr address, uint16_t* desiredPort) {
  if (*desiredPort != 0) return listenOnPort(address, *desiredPort);
  // A random port can be taken by another process between our bind and our
  // listen (with SO_REUSEADDR both binds succeed while neither listens yet),
  // so a failed listen counts as a failed attempt, like a failed bind.
  for (int attempt = 0; attempt < 11; ++attempt) {
    *desiredPort = static_cast<uint16_t>(random() % 64512 + 1024);
    const int sock = listenOnPort(address, *desiredPort);
    if (sock >= 0) return sock;
  }
  return -1;
}

}  // namespace

int getListenSocket(uint16_t* desiredPort) {
  in_addr any;
  any.s_addr = htonl(INADDR_ANY);
  return listenOn(any, desiredPort);
}

int getListenSocketOn(const char* address, uint16_t* desiredPort) {
  in_addr parsed;
  if (address == nullptr || inet_pton(AF_INET, address, &parsed) != 1) return -1;
  return listenOn(parsed, desiredPort);
}

ReadBuf* createReadBuf(int fd) {
  ReadBuf* readBuf = static_cast<ReadBuf*>(malloc(sizeof(ReadBuf)));
  if (readBuf == nullptr) return nullptr;
  readBuf->fd = fd;
  readBuf->bufStart = 0;
  readBuf->bufEnd = 0;
  return readBuf;
}

void destroyReadBuf(ReadBuf* readBuf) {
  close(readBuf->fd);
  free(readBuf);
}

namespace {

int64_t microsSince(const timeval& start) {
  timeval now;
  gettimeofday(&now, nullptr);
  return (static_cast<int64_t>(now.tv_sec) - start.tv_sec) * 1000000 +
         (static_cast<int64_t>(now.tv_usec) - start.tv_usec);
}

// Waits until fd is readable or the microseconds run out; true when readable.
bool waitReadable(int fd, int64_t micros) {
  if (fd < 0 || fd >= FD_SETSIZE) return false;  // select cannot watch it
  fd_set fds;
  FD_ZERO(&fds);
  FD_SET(fd, &fds);
  timeval tv;
  tv.tv_sec = static_cast<time_t>(micros / 1000000);
  tv.tv_usec = static_cast<suseconds_t>(micros % 1000000);
  return select(fd + 1, &fds, nullptr, nullptr, &tv) > 0;
}

}  // namespace

ssize_t getLine(ReadBuf* readBuf, size_t maxLen, char* line, int64_t timeoutMicros) {
  if (maxLen == 0) return -1;  // not even room for the zero byte
  // Repair a damaged record instead of indexing outside buf.
  if (readBuf->bufEnd < 0 || readBuf->bufEnd > READBUF_LEN || readBuf->bufStart < 0 ||
      readBuf->bufStart > readBuf->bufEnd) {
    readBuf->bufStart = readBuf->bufEnd = 0;
  }
  timeval start;
  bool startTaken = false;
  size_t count = 0;
  while (count < maxLen - 1) {
    if (readBuf->bufStart >= readBuf->bufEnd) {
      if (timeoutMicros >= 0) {
        int64_t left = timeoutMicros;
        if (!startTaken) {
          gettimeofday(&start, nullptr);
          startTaken = true;
        } else {
          left = timeoutMicros - microsSince(start);
          if (left < 0) return -1;
        }
        if (!waitReadable(readBuf->fd, left)) return -1;
      }
      const ssize_t got = read(readBuf->fd, readBuf->buf, READBUF_LEN);
      if (got < 0) {
        readBuf->bufStart = readBuf->bufEnd = 0;
        return -1;
      }
      readBuf->bufStart = 0;
      readBuf->bufEnd = static_cast<int32_t>(got);
      if (got == 0) break;  // end of stream
    }
    const char c = readBuf->buf[readBuf->bufStart++];
    line[count++] = c;
    if (c == '\n') break;
  }
  line[count] = 0;
  return static_cast<ssize_t>(count);
}
