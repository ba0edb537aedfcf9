// Sockets and the buffered line reader, over loopback.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "net.h"
#include "../seeded_random.h"

namespace {

using namespace std::chrono_literals;

// A connected pair: the test writes on server_ and reads through reader_.
class Loopback : public testing::Test {
 protected:
  void SetUp() override {
    uint16_t port = 0;
    listener_ = getListenSocket(&port);
    ASSERT_GE(listener_, 0);
    ASSERT_GE(port, 1024);
    port_ = port;
    const int client = connectTo("127.0.0.1", port);
    ASSERT_GE(client, 0);
    server_ = accept(listener_, nullptr, nullptr);
    ASSERT_GE(server_, 0);
    reader_ = createReadBuf(client);
    ASSERT_NE(reader_, nullptr);
  }
  void TearDown() override {
    if (writer_.joinable()) writer_.join();
    if (reader_ != nullptr) destroyReadBuf(reader_);
    if (server_ >= 0) close(server_);
    if (listener_ >= 0) close(listener_);
  }
  void send(const std::string& text) { ASSERT_EQ(write(server_, text.data(), text.size()), ssize_t(text.size())); }
  // Sends text after a pause, from another thread.
  void sendLater(std::string text, std::chrono::milliseconds pause) {
    writer_ = std::thread([this, text, pause] {
      std::this_thread::sleep_for(pause);
      (void)!write(server_, text.data(), text.size());
    });
  }
  std::string line(size_t maxLen = 256, int64_t timeout = 2000000) {
    char buf[256];
    const ssize_t n = getLine(reader_, maxLen, buf, timeout);
    if (n < 0) return "<timeout>";
    EXPECT_EQ(static_cast<size_t>(n), strlen(buf));
    return std::string(buf, n);
  }

  int listener_ = -1;
  int server_ = -1;
  uint16_t port_ = 0;
  ReadBuf* reader_ = nullptr;
  std::thread writer_;
};

TEST_F(Loopback, TwoLinesInOnePacket) {
  send("MATCHSTATE:0:1::Ah|\r\nMATCHSTATE:0:2::Kd|\r\n");
  EXPECT_EQ(line(), "MATCHSTATE:0:1::Ah|\r\n");
  // The second line is already buffered: no wait even with a zero timeout.
  EXPECT_EQ(line(256, 0), "MATCHSTATE:0:2::Kd|\r\n");
}

TEST_F(Loopback, LineSplitAcrossPacketsWithinTheDeadline) {
  send("MATCH");
  sendLater("STATE\n", 100ms);
  EXPECT_EQ(line(256, 3000000), "MATCHSTATE\n");
}

TEST_F(Loopback, DeadlineBoundsTheWholeLine) {
  send("par");
  EXPECT_EQ(line(256, 100000), "<timeout>");
  // Nothing pending at all: a zero timeout fails at once.
  EXPECT_EQ(line(256, 0), "<timeout>");
}

TEST_F(Loopback, NegativeTimeoutWaitsForTheRest) {
  send("wait");
  sendLater("ed\n", 150ms);
  EXPECT_EQ(line(256, -1), "waited\n");
}

TEST_F(Loopback, EndOfStream) {
  send("last line\n");
  shutdown(server_, SHUT_WR);
  EXPECT_EQ(line(), "last line\n");
  EXPECT_EQ(line(), "");
  EXPECT_EQ(line(), "");
}

TEST_F(Loopback, PartialLineBeforeEndOfStream) {
  send("no newline");
  shutdown(server_, SHUT_WR);
  EXPECT_EQ(line(), "no newline");
  EXPECT_EQ(line(), "");
}

TEST_F(Loopback, LongLinesComeInPieces) {
  send("abcdefgh\nz\n");
  EXPECT_EQ(line(5), "abcd");
  EXPECT_EQ(line(5), "efgh");
  EXPECT_EQ(line(5), "\n");
  EXPECT_EQ(line(1), "");  // room for the zero byte only
  EXPECT_EQ(line(5), "z\n");
}

TEST(Net, UnknownHostIsReported) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(connectTo("no-such-host.invalid", 1234), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: could not look up address for no-such-host.invalid\n");
}

TEST(Net, RefusedConnectionIsReported) {
  uint16_t port = 0;
  const int listener = getListenSocket(&port);
  ASSERT_GE(listener, 0);
  close(listener);  // nobody listens there now
  testing::internal::CaptureStderr();
  EXPECT_EQ(connectTo("127.0.0.1", port), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: could not connect to 127.0.0.1:" + std::to_string(port) + "\n");
}

TEST(Net, ListenOnAGivenPort) {
  uint16_t port = 0;
  const int first = getListenSocket(&port);
  ASSERT_GE(first, 0);
  uint16_t same = port;
  EXPECT_EQ(getListenSocket(&same), -1);  // in use
  close(first);
  uint16_t again = port;
  const int second = getListenSocket(&again);
  EXPECT_GE(second, 0);
  EXPECT_EQ(again, port);
  if (second >= 0) close(second);
}

// Unseeded, random() starts every process on the same sequence, and test
// processes running side by side would keep picking the same ports.
TEST(Net, TestProcessesDrawTheirOwnRandomPorts) {
  const long unseeded[] = {1804289383, 846930886, 1681692777};  // glibc, seed 1
  bool same = true;
  for (long value : unseeded) same = random() == value && same;
  EXPECT_FALSE(same);
}

TEST(Net, PortTextIsTakenWholeOrRefused) {
  const std::pair<const char*, int> good[] = {{"1", 1}, {"80", 80}, {"65535", 65535}, {"0080", 80}};
  for (const auto& [text, value] : good) {
    uint16_t port = 7;
    EXPECT_EQ(parsePort(text, &port), 1) << text;
    EXPECT_EQ(port, value) << text;
  }
  // Each of these once connected to some other port: wrapped, signed or cut.
  for (const char* text : {"0", "65536", "70000", "-1", "+80", "12abc", " 80", "80 ", "", "http",
                           "99999999999999999999"}) {
    uint16_t port = 7;
    EXPECT_EQ(parsePort(text, &port), 0) << text;
    EXPECT_EQ(port, 7) << text;
  }
}

TEST(Net, ListenOnOneAddressOnly) {
  uint16_t port = 0;
  const int listener = getListenSocketOn("127.0.0.1", &port);
  ASSERT_GE(listener, 0);
  sockaddr_in bound{};
  socklen_t length = sizeof(bound);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &length), 0);
  EXPECT_EQ(ntohl(bound.sin_addr.s_addr), INADDR_LOOPBACK);
  EXPECT_EQ(ntohs(bound.sin_port), port);
  const int client = connectTo("127.0.0.1", port);
  EXPECT_GE(client, 0);
  if (client >= 0) close(client);
  close(listener);

  uint16_t other = 0;
  EXPECT_EQ(getListenSocketOn("localhost", &other), -1);  // not an address
  EXPECT_EQ(getListenSocketOn("256.0.0.1", &other), -1);
}

}  // namespace
