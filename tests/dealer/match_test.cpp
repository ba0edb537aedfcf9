// The dealer's match logic driven in-process: scripted players on the other
// end of loopback connections, each in its own thread.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "game.h"
#include "match.h"
#include "net.h"

namespace {

using GamePtr = std::unique_ptr<Game, decltype(&free)>;

GamePtr loadKuhn() {
  const std::string path = std::string(POKER_GAMES_DIR) + "/kuhn.limit.3p.game";
  FILE* file = fopen(path.c_str(), "r");
  EXPECT_NE(file, nullptr) << path;
  Game* game = file != nullptr ? readGame(file) : nullptr;
  if (file != nullptr) fclose(file);
  EXPECT_NE(game, nullptr);
  return {game, &free};
}

// What a scripted player does when its seat is to act.
struct Reply {
  enum Kind { answer, silence, hangUp } kind = answer;
  std::string text;  // sent followed by "\r\n" when kind is answer
  int delayMs = 0;
  std::string extraLine;  // sent unasked, extraDelayMs after the answer
  int extraDelayMs = 0;
  int pauseAfterMs = 0;  // before reading on
};
using Script = std::function<Reply(const std::string& line, const MatchState& ms, int turn)>;

Reply answerWith(std::string text, int delayMs = 0) {
  Reply reply;
  reply.text = std::move(text);
  reply.delayMs = delayMs;
  return reply;
}
Reply silence() {
  Reply reply;
  reply.kind = Reply::silence;
  return reply;
}
Reply hangUp() {
  Reply reply;
  reply.kind = Reply::hangUp;
  return reply;
}

Reply act(const std::string& line, char letter) { return answerWith(line + ":" + letter); }
Script always(char letter) {
  return [letter](const std::string& line, const MatchState&, int) { return act(line, letter); };
}

// Two ends of a TCP connection over loopback: the dealer's and the player's.
void loopbackPair(int fds[2]) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(addr);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &length), 0);
  fds[1] = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(connect(fds[1], reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
  fds[0] = accept(listener, nullptr, nullptr);
  close(listener);
  const int on = 1;
  for (int i = 0; i < 2; ++i) setsockopt(fds[i], IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
}

// A player on one end of a loopback connection. It records every line it receives
// and, where it is to act, follows its script.
class ScriptedPlayer {
 public:
  ScriptedPlayer(const Game* game, Script script, std::string versionLine = "VERSION:2.0.0")
      : game_(game), script_(std::move(script)) {
    int fds[2] = {-1, -1};
    loopbackPair(fds);
    dealerEnd_ = fds[0];
    thread_ = std::thread([this, fd = fds[1], versionLine] { run(fd, versionLine); });
  }
  ~ScriptedPlayer() { thread_.join(); }

  int dealerEnd() const { return dealerEnd_; }
  // Lines received, without their line ends; valid once the match is over.
  const std::vector<std::string>& received() {
    finish();
    return received_;
  }
  // Whether the connection ended with a plain end of stream (not a reset).
  bool sawEndOfStream() {
    finish();
    return endOfStream_;
  }

 private:
  void finish() {
    thread_.join();
    thread_ = std::thread([] {});
  }

  void run(int fd, const std::string& versionLine) {
    ReadBuf* in = createReadBuf(fd);
    const std::string hello = versionLine + "\n";
    write(fd, hello.data(), hello.size());
    char buf[READBUF_LEN];
    int turn = 0;
    MatchState ms;
    ssize_t n;
    while ((n = getLine(in, sizeof(buf), buf, -1)) > 0) {
      std::string line(buf);
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
      received_.push_back(line);
      if (readMatchState(line.c_str(), game_, &ms) < 0) break;
      if (ms.state.finished || currentPlayer(game_, &ms.state) != ms.viewingPlayer) continue;
      const Reply reply = script_(line, ms, turn++);
      if (reply.kind == Reply::hangUp) break;
      if (reply.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(reply.delayMs));
      if (reply.kind == Reply::answer) {
        const std::string out = reply.text + "\r\n";
        send(fd, out.data(), out.size(), MSG_NOSIGNAL);
      }
      if (!reply.extraLine.empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(reply.extraDelayMs));
        const std::string out = reply.extraLine + "\r\n";
        send(fd, out.data(), out.size(), MSG_NOSIGNAL);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(reply.pauseAfterMs));
    }
    endOfStream_ = n == 0;
    destroyReadBuf(in);
  }

  const Game* game_;
  Script script_;
  int dealerEnd_ = -1;
  std::thread thread_;
  std::vector<std::string> received_;
  bool endOfStream_ = false;
};

// "p0", "p1", ...: the names runMatch gives the players.
std::string playerName(size_t i) {
  std::string name = "p";
  name += std::to_string(i);
  return name;
}

struct LogLine {
  std::string betting, cards;
  std::vector<double> values;
  std::vector<std::string> names;
};

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, separator)) parts.push_back(part);
  return parts;
}

// Splits "STATE:hand:betting:cards:values:names" of a Kuhn hand.
LogLine parseLogLine(const std::string& line) {
  const std::vector<std::string> fields = split(line, ':');
  EXPECT_EQ(fields.size(), 6u) << line;
  LogLine parsed;
  if (fields.size() != 6) return parsed;
  parsed.betting = fields[2];
  parsed.cards = fields[3];
  for (const std::string& v : split(fields[4], '|')) parsed.values.push_back(std::stod(v));
  parsed.names = split(fields[5], '|');
  return parsed;
}

// Runs a match of the scripted players and returns the log's lines.
struct MatchRun {
  std::vector<std::string> log;
  std::vector<dealer::PlayerResult> results;
};

MatchRun runMatch(const Game* game, std::vector<ScriptedPlayer*> players, uint32_t hands,
                  uint32_t seed = 7, int64_t timeoutMicros = 2'000'000, uint32_t maxTimeouts = 0,
                  std::vector<bool> untimed = {}) {
  dealer::MatchSettings settings;
  settings.untimed = std::move(untimed);
  settings.timeoutMicros = timeoutMicros;
  settings.maxTimeouts = maxTimeouts;
  settings.notices = nullptr;
  std::vector<std::string> names;
  for (size_t i = 0; i < players.size(); ++i) names.push_back(playerName(i));
  dealer::Match match(game, names, seed, settings);
  for (unsigned i = 0; i < players.size(); ++i) match.connectPlayer(i, players[i]->dealerEnd());
  FILE* log = tmpfile();
  match.play(hands, log);
  rewind(log);
  MatchRun run;
  char buf[4096];
  while (fgets(buf, sizeof(buf), log) != nullptr) {
    std::string line(buf);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    run.log.push_back(line);
  }
  fclose(log);
  run.results = match.results();
  return run;
}

TEST(DealerMatch, FullMatchLogsEveryHandRotatesSeatsAndBalances) {
  const GamePtr game = loadKuhn();
  ScriptedPlayer a(game.get(), always('c')), b(game.get(), always('r')), c(game.get(), always('c'));
  const uint32_t hands = 30;
  const MatchRun run = runMatch(game.get(), {&a, &b, &c}, hands);

  ASSERT_EQ(run.log.size(), hands + 1);
  double totals[3] = {0, 0, 0};
  for (uint32_t h = 0; h < hands; ++h) {
    EXPECT_EQ(run.log[h].rfind("STATE:" + std::to_string(h) + ":", 0), 0u) << run.log[h];
    const LogLine line = parseLogLine(run.log[h]);
    ASSERT_EQ(line.values.size(), 3u);
    EXPECT_DOUBLE_EQ(line.values[0] + line.values[1] + line.values[2], 0.0) << run.log[h];
    // The player of port i sits in seat (i + hand) mod 3.
    for (unsigned p = 0; p < 3; ++p) {
      const unsigned seat = (p + h) % 3;
      EXPECT_EQ(line.names[seat], playerName(p)) << run.log[h];
      totals[p] += line.values[seat];
    }
    // p1 raises at its first turn; the others call, so every hand has one raise.
    EXPECT_EQ(std::count(line.betting.begin(), line.betting.end(), 'r'), 1) << run.log[h];
  }
  EXPECT_EQ(run.log.back(), "SCORE:" + std::to_string(static_cast<int>(totals[0])) + "|" +
                                std::to_string(static_cast<int>(totals[1])) + "|" +
                                std::to_string(static_cast<int>(totals[2])) + ":p0|p1|p2");
  for (unsigned p = 0; p < 3; ++p) {
    EXPECT_EQ(run.results[p].hands, hands);
    EXPECT_DOUBLE_EQ(run.results[p].total, totals[p]);
    EXPECT_EQ(run.results[p].errors, 0u);
    EXPECT_EQ(run.results[p].timeouts, 0u);
    EXPECT_EQ(run.results[p].disconnectedAtHand, -1);
  }
}

TEST(DealerMatch, EveryPlayerSeesItsOwnViewOfEveryState) {
  const GamePtr game = loadKuhn();
  ScriptedPlayer a(game.get(), always('c')), b(game.get(), always('r')), c(game.get(), always('c'));
  const uint32_t hands = 6;
  const MatchRun run = runMatch(game.get(), {&a, &b, &c}, hands);
  ScriptedPlayer* players[3] = {&a, &b, &c};
  for (unsigned p = 0; p < 3; ++p) {
    const std::vector<std::string>& lines = players[p]->received();
    size_t finals = 0;
    for (const std::string& text : lines) {
      MatchState ms;
      ASSERT_GT(readMatchState(text.c_str(), game.get(), &ms), 0) << text;
      EXPECT_EQ(ms.viewingPlayer, (p + ms.state.handId) % 3) << text;
      const std::vector<std::string> groups = split(split(text, ':').back(), '|');
      for (unsigned seat = 0; seat < 3; ++seat) {
        const bool shown = seat < groups.size() && !groups[seat].empty();
        // Others' cards only at a showdown, and then of the seats still in.
        const bool expected = seat == ms.viewingPlayer ||
                              (ms.state.finished && !ms.state.playerFolded[seat] &&
                               numFolded(game.get(), &ms.state) < 2);
        EXPECT_EQ(shown, expected) << text << " seat " << seat;
      }
      if (ms.state.finished) {
        ++finals;
        // The final betting each player saw is the one the log recorded.
        EXPECT_EQ(split(text, ':')[3], parseLogLine(run.log[ms.state.handId]).betting) << text;
      }
    }
    EXPECT_EQ(finals, hands);
  }
}

TEST(DealerMatch, SameSeedSameDealsAsTheEngine) {
  const GamePtr game = loadKuhn();
  const auto run = [&](uint32_t seed) {
    ScriptedPlayer a(game.get(), always('c')), b(game.get(), always('c')),
        c(game.get(), always('c'));
    return runMatch(game.get(), {&a, &b, &c}, 20, seed).log;
  };
  const std::vector<std::string> first = run(42);
  EXPECT_EQ(first, run(42));
  EXPECT_NE(first, run(43));

  // The deals are dealCards's, from one generator seeded once per match.
  rng_state_t rng;
  init_genrand(&rng, 42);
  for (uint32_t h = 0; h < 20; ++h) {
    State state;
    initState(game.get(), h, &state);
    dealCards(game.get(), &rng, &state);
    std::string cards;
    for (unsigned seat = 0; seat < 3; ++seat) {
      char card[3];
      printCard(state.holeCards[seat][0], sizeof(card), card);
      if (seat > 0) cards += '|';
      cards += card;
    }
    EXPECT_EQ(parseLogLine(first[h]).cards, cards) << first[h];
  }
}

TEST(DealerMatch, FaultyAnswersBecomeCallsAndAreCounted) {
  const GamePtr game = loadKuhn();
  const uint32_t hands = 9;
  const std::vector<std::pair<const char*, Script>> faults = {
      {"wrong echo",
       [](const std::string& line, const MatchState&, int) {
         return answerWith(line.substr(0, line.size() - 1) + ":r");
       }},
      {"garbage",
       [](const std::string&, const MatchState&, int) {
         return answerWith("hello dealer");
       }},
      {"action with trailing text",
       [](const std::string& line, const MatchState&, int) {
         return answerWith(line + ":r7");
       }},
      // Folding with nothing owed is illegal.
      {"illegal fold", always('f')},
      {"unknown letter", always('x')},
  };
  for (const auto& [what, script] : faults) {
    SCOPED_TRACE(what);
    ScriptedPlayer bad(game.get(), script), b(game.get(), always('c')), c(game.get(), always('c'));
    const MatchRun run = runMatch(game.get(), {&bad, &b, &c}, hands);
    ASSERT_EQ(run.log.size(), hands + 1);
    for (uint32_t h = 0; h < hands; ++h) {
      EXPECT_EQ(parseLogLine(run.log[h]).betting, "ccc") << run.log[h];
    }
    EXPECT_EQ(run.results[0].errors, hands);
    EXPECT_EQ(run.results[0].timeouts, 0u);
    EXPECT_EQ(run.results[0].disconnectedAtHand, -1);
    EXPECT_EQ(run.results[1].errors + run.results[2].errors, 0u);
  }
}

TEST(DealerMatch, IllegalSecondRaiseBecomesACall) {
  const GamePtr game = loadKuhn();
  ScriptedPlayer a(game.get(), always('r')), b(game.get(), always('r')), c(game.get(), always('r'));
  const MatchRun run = runMatch(game.get(), {&a, &b, &c}, 6);
  for (uint32_t h = 0; h < 6; ++h) EXPECT_EQ(parseLogLine(run.log[h]).betting, "rcc");
  // Each player acts second or third in two of the six hands.
  for (unsigned p = 0; p < 3; ++p) EXPECT_EQ(run.results[p].errors, 4u);
}

TEST(DealerMatch, DisconnectedPlayerFoldsOrChecksToTheEnd) {
  const GamePtr game = loadKuhn();
  // p0 plays hands 0 and 1, then hangs up.
  ScriptedPlayer quitter(game.get(), [](const std::string& line, const MatchState& ms, int) {
    return ms.state.handId < 2 ? act(line, 'c') : hangUp();
  });
  ScriptedPlayer raiser(game.get(), always('r')), caller(game.get(), always('c'));
  const uint32_t hands = 12;
  const MatchRun run = runMatch(game.get(), {&quitter, &raiser, &caller}, hands);
  ASSERT_EQ(run.log.size(), hands + 1);
  EXPECT_EQ(run.results[0].disconnectedAtHand, 2);
  for (uint32_t h = 2; h < hands; ++h) {
    const LogLine line = parseLogLine(run.log[h]);
    const unsigned quitterSeat = h % 3;
    // The raiser always raises, so the quitter faces a raise and folds.
    EXPECT_LT(line.values[quitterSeat], 0) << run.log[h];
    EXPECT_NE(line.betting.find('f'), std::string::npos) << run.log[h];
  }
  for (unsigned p = 0; p < 3; ++p) EXPECT_EQ(run.results[p].hands, hands);
  EXPECT_EQ(run.results[1].disconnectedAtHand, -1);
}

TEST(DealerMatch, SilentPlayerTimesOutAndALateAnswerIsNotTakenForTheNext) {
  const GamePtr game = loadKuhn();
  const int64_t timeout = 40'000;
  const uint32_t hands = 6;
  {
    ScriptedPlayer silent(game.get(), [](const std::string&, const MatchState&, int) {
      return silence();
    });
    ScriptedPlayer b(game.get(), always('c')), c(game.get(), always('c'));
    const MatchRun run = runMatch(game.get(), {&silent, &b, &c}, hands, 7, timeout);
    ASSERT_EQ(run.log.size(), hands + 1);
    EXPECT_EQ(run.results[0].timeouts, hands);  // checked for it each time
    EXPECT_EQ(run.results[0].errors, 0u);
    EXPECT_EQ(run.results[0].disconnectedAtHand, -1);
    for (uint32_t h = 0; h < hands; ++h) EXPECT_EQ(parseLogLine(run.log[h]).betting, "ccc");
  }
  {
    // Answers every question, but too late: each late answer comes in while
    // the dealer waits for the next one and must be dropped, not judged.
    ScriptedPlayer slow(game.get(), [](const std::string& line, const MatchState&, int) {
      return answerWith(line + ":r", 150);
    });
    ScriptedPlayer b(game.get(), always('c')), c(game.get(), always('c'));
    const MatchRun run = runMatch(game.get(), {&slow, &b, &c}, hands, 7, timeout);
    EXPECT_EQ(run.results[0].timeouts, hands);
    EXPECT_EQ(run.results[0].errors, 0u);
    for (uint32_t h = 0; h < hands; ++h) EXPECT_EQ(parseLogLine(run.log[h]).betting, "ccc");
  }
}

TEST(DealerMatch, UntimedPlayerIsWaitedForWhileTheOthersKeepTheirTimeout) {
  const GamePtr game = loadKuhn();
  const int64_t timeout = 40'000;
  const uint32_t hands = 3;
  // The slow player answers long after the timeout and is still heard; the
  // silent one is timed out as usual.
  ScriptedPlayer slow(game.get(), [](const std::string& line, const MatchState&, int) {
    return answerWith(line + ":c", 150);
  });
  ScriptedPlayer silent(game.get(), [](const std::string&, const MatchState&, int) {
    return silence();
  });
  ScriptedPlayer c(game.get(), always('c'));
  const MatchRun run =
      runMatch(game.get(), {&slow, &silent, &c}, hands, 7, timeout, 0, {true, false, false});
  ASSERT_EQ(run.log.size(), hands + 1);
  EXPECT_EQ(run.results[0].timeouts + run.results[0].errors, 0u);
  EXPECT_GE(run.results[1].timeouts, hands);
}

TEST(DealerMatch, PlayerWithoutTheVersionLineIsDroppedAtOnce) {
  const GamePtr game = loadKuhn();
  ScriptedPlayer wrong(game.get(), always('r'), "VERSION:1.0.0");
  ScriptedPlayer b(game.get(), always('r')), c(game.get(), always('c'));
  const MatchRun run = runMatch(game.get(), {&wrong, &b, &c}, 3);
  EXPECT_TRUE(wrong.received().empty());
  EXPECT_EQ(run.results[0].disconnectedAtHand, 0);
  // Hand 0: p0 (seat 0) checks for want of an answer, p1 raises, p2 calls, p0 folds.
  EXPECT_EQ(parseLogLine(run.log[0]).betting, "crcf");
}

TEST(DealerMatch, OnlyAConnectionThatSendsTheVersionLineGetsTheSeat) {
  const GamePtr game = loadKuhn();
  dealer::MatchSettings settings;
  settings.versionTimeoutMicros = 200'000;  // the silent stray below waits it out once
  settings.notices = nullptr;
  dealer::Match match(game.get(), {"p0", "p1", "p2"}, 7, settings);
  const std::vector<std::string> strays = {"", "GET / HTTP/1.0\r\n", "VERSION:2.0.0"};
  for (const std::string& sent : strays) {
    int fds[2];
    loopbackPair(fds);
    if (sent.empty()) {
      close(fds[1]);  // connects and hangs up
      fds[1] = -1;
    } else {
      write(fds[1], sent.data(), sent.size());  // the last one never ends its line
    }
    EXPECT_FALSE(match.connectPlayer(0, fds[0])) << sent;
    EXPECT_FALSE(match.isConnected(0));
    if (fds[1] >= 0) close(fds[1]);
  }
  {
    int fds[2];
    loopbackPair(fds);  // connects and stays silent
    EXPECT_FALSE(match.connectPlayer(0, fds[0]));
    close(fds[1]);
  }
  // The seat is still free for the real player, who plays the whole match.
  ScriptedPlayer a(game.get(), always('c')), b(game.get(), always('c')), c(game.get(), always('c'));
  ScriptedPlayer* players[3] = {&a, &b, &c};
  for (unsigned p = 0; p < 3; ++p) EXPECT_TRUE(match.connectPlayer(p, players[p]->dealerEnd()));
  EXPECT_EQ(match.play(3, nullptr), 3u);
  EXPECT_EQ(match.results()[0].disconnectedAtHand, -1);
  EXPECT_EQ(match.results()[0].errors + match.results()[0].timeouts, 0u);
  EXPECT_EQ(a.received().size(), 3u * 4u);  // four states of each hand of checks
}

TEST(DealerMatch, PlayerOutOfTimeoutsIsDisconnected) {
  const GamePtr game = loadKuhn();
  ScriptedPlayer silent(game.get(), [](const std::string&, const MatchState&, int) {
    return silence();
  });
  ScriptedPlayer b(game.get(), always('c')), c(game.get(), always('c'));
  const uint32_t hands = 8;
  // The timeout is long enough for the others on a loaded machine; the
  // silent player costs only two of them, not eight.
  const MatchRun run = runMatch(game.get(), {&silent, &b, &c}, hands, 7, 150'000, 2);
  ASSERT_EQ(run.log.size(), hands + 1);
  // Asked once per hand: the second timeout, in hand 1, is the last.
  EXPECT_EQ(run.results[0].timeouts, 2u);
  EXPECT_EQ(run.results[0].disconnectedAtHand, 1);
  for (uint32_t h = 0; h < hands; ++h) EXPECT_EQ(parseLogLine(run.log[h]).betting, "ccc");
  EXPECT_EQ(run.results[1].disconnectedAtHand, -1);
}

// A log file on disk, read back as lines.
struct LogFile {
  LogFile() {
    char pattern[] = "/tmp/dealer-log-XXXXXX";
    const int fd = mkstemp(pattern);
    path = pattern;
    file = fdopen(fd, "w");
  }
  ~LogFile() {
    if (file != nullptr) fclose(file);
    remove(path.c_str());
  }
  std::vector<std::string> lines() const {
    std::vector<std::string> all;
    FILE* in = fopen(path.c_str(), "r");
    char buf[4096];
    while (in != nullptr && fgets(buf, sizeof(buf), in) != nullptr) all.push_back(buf);
    if (in != nullptr) fclose(in);
    return all;
  }
  std::string path;
  FILE* file = nullptr;
};

TEST(DealerMatch, EachHandIsOnDiskWhenItEndsAndAStopKeepsTheHandsPlayed) {
  const GamePtr game = loadKuhn();
  LogFile log;
  volatile sig_atomic_t stop = 0;
  std::vector<std::string> seenAtHand4;
  // p0 looks at the log file when it is asked in hand 4, then asks the
  // match to stop; its answer comes in, but the hand is not finished.
  ScriptedPlayer watcher(game.get(), [&](const std::string& line, const MatchState& ms, int) {
    if (ms.state.handId == 4) {
      seenAtHand4 = log.lines();
      stop = 1;
    }
    return act(line, 'c');
  });
  ScriptedPlayer b(game.get(), always('r')), c(game.get(), always('c'));
  dealer::MatchSettings settings;
  settings.notices = nullptr;
  settings.stop = &stop;
  dealer::Match match(game.get(), {"p0", "p1", "p2"}, 7, settings);
  ScriptedPlayer* players[3] = {&watcher, &b, &c};
  for (unsigned p = 0; p < 3; ++p) ASSERT_TRUE(match.connectPlayer(p, players[p]->dealerEnd()));
  EXPECT_EQ(match.play(10, log.file), 4u);
  fclose(log.file);
  log.file = nullptr;

  ASSERT_EQ(seenAtHand4.size(), 4u);
  for (const std::string& line : seenAtHand4) EXPECT_EQ(line.back(), '\n');
  const std::vector<std::string> lines = log.lines();
  ASSERT_EQ(lines.size(), 5u);
  double totals[3] = {0, 0, 0};
  for (uint32_t h = 0; h < 4; ++h) {
    EXPECT_EQ(lines[h], seenAtHand4[h]);
    std::string text = lines[h];
    text.pop_back();
    const LogLine parsed = parseLogLine(text);
    for (unsigned p = 0; p < 3; ++p) totals[p] += parsed.values[(p + h) % 3];
  }
  char score[256];
  snprintf(score, sizeof(score), "SCORE:%.17g|%.17g|%.17g:p0|p1|p2\n", totals[0], totals[1], totals[2]);
  EXPECT_EQ(lines[4], score);
  for (unsigned p = 0; p < 3; ++p) EXPECT_EQ(match.results()[p].hands, 4u);
}

TEST(DealerMatch, UnaskedInputAtTheEndStillEndsTheStreamCleanly) {
  // p0 answers at once and then sends a line nobody asked for, which is still
  // unread when the match ends: closing over it would reset the connection,
  // which can drop the last states on their way to p0 and ends its stream
  // with an error instead of a plain end.
  const GamePtr game = loadKuhn();
  ScriptedPlayer chatty(game.get(), [](const std::string& line, const MatchState&, int) {
    Reply reply = act(line, 'c');
    reply.extraLine = "good game";
    reply.extraDelayMs = 10;
    reply.pauseAfterMs = 250;  // so that the hand is over when it reads on
    return reply;
  });
  ScriptedPlayer late(game.get(), [](const std::string& line, const MatchState&, int) {
    Reply reply = act(line, 'c');
    reply.delayMs = 100;  // lets the extra line arrive before the hand ends
    return reply;
  });
  ScriptedPlayer c(game.get(), always('c'));
  const MatchRun run = runMatch(game.get(), {&chatty, &late, &c}, 1);
  ASSERT_EQ(run.log.size(), 2u);
  EXPECT_EQ(parseLogLine(run.log[0]).betting, "ccc");
  const std::vector<std::string>& seen = chatty.received();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), "MATCHSTATE:0:0:ccc:" + parseLogLine(run.log[0]).cards);
  EXPECT_TRUE(chatty.sawEndOfStream());
}

TEST(DealerResult, MeanAndConfidenceHalfWidth) {
  dealer::PlayerResult r;
  EXPECT_EQ(r.halfWidth95(), 0.0);
  for (double v : {1.0, -1.0, 2.0, -2.0, 1.0e9 + 3.0, -1.0e9 - 3.0}) r.addHand(v);
  EXPECT_DOUBLE_EQ(r.mean(), 0.0);
  const double variance = (1 + 1 + 4 + 4 + 2 * std::pow(1.0e9 + 3.0, 2)) / 5;
  EXPECT_NEAR(r.halfWidth95(), 1.96 * std::sqrt(variance / 6), 1e-6);
}

TEST(DealerSeating, PlayersMoveOneSeatPerHand) {
  for (uint32_t hand : {0u, 1u, 2u, 4294967295u}) {
    for (unsigned p = 0; p < 3; ++p) {
      EXPECT_EQ(dealer::playerAt(dealer::seatOf(p, hand, 3), hand, 3), p);
    }
  }
  EXPECT_EQ(dealer::seatOf(2, 1, 3), 0u);
  EXPECT_EQ(dealer::seatOf(0, 4294967295u, 3), 0u);  // 2^32 - 1 is a multiple of 3
}

}  // namespace
