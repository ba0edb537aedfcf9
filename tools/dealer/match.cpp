#include "match.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>

namespace dealer {

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kLineLen = 4096;
constexpr size_t kMaxOutgoing = 64 * 1024;
// Faults of one player reported in detail; later ones are only counted.
constexpr uint32_t kMaxNoticesPerPlayer = 10;

// Removes a trailing "\n" or "\r\n"; false when the line has no line feed
// (it was cut short by the end of the stream or by its length).
bool stripLineEnd(char* line, size_t* length) {
  if (*length == 0 || line[*length - 1] != '\n') return false;
  --*length;
  if (*length > 0 && line[*length - 1] == '\r') --*length;
  line[*length] = '\0';
  return true;
}

}  // namespace

void PlayerResult::addHand(double value) {
  ++hands;
  total += value;
  const double delta = value - runningMean_;
  runningMean_ += delta / hands;
  m2_ += delta * (value - runningMean_);
}

double PlayerResult::halfWidth95() const {
  if (hands < 2) return 0.0;
  const double variance = m2_ / (hands - 1);
  return 1.96 * std::sqrt(variance / hands);
}

// One player's end of the match: its connection (null once it is gone), the
// lines not yet sent and the last line sent to it, which its answer must echo.
//
// A player's lines are held back until it is to act (or the match ends, or
// they fill kMaxOutgoing) and then go out together: the same bytes in the
// same order, but one wake-up of the player per decision instead of one per
// line, which is most of the cost of a match.
struct Match::Connection {
  ReadBuf* readBuf = nullptr;
  std::string outgoing;
  size_t sentLength = 0;
  char sent[kLineLen];
  uint32_t notices = 0;
  // Answers still owed to questions that timed out; such an answer may come
  // in later and is then dropped.
  uint32_t lateAnswers = 0;
};

Match::Match(const Game* game, std::vector<std::string> names, uint32_t seed,
             MatchSettings settings)
    : game_(game), numPlayers_(game->numPlayers), settings_(settings) {
  assert(names.size() == numPlayers_);
  init_genrand(&rng_, seed);
  memset(&view_, 0, sizeof(view_));
  results_.resize(numPlayers_);
  for (unsigned p = 0; p < numPlayers_; ++p) {
    results_[p].name = std::move(names[p]);
    results_[p].disconnectedAtHand = 0;  // until connectPlayer succeeds
  }
  connections_.resize(numPlayers_);
}

Match::~Match() {
  for (Connection& c : connections_) {
    if (c.readBuf != nullptr) destroyReadBuf(c.readBuf);
  }
}

bool Match::connectPlayer(unsigned player, int fd) {
  assert(player < numPlayers_ && connections_[player].readBuf == nullptr);
  ReadBuf* readBuf = createReadBuf(fd);
  if (readBuf == nullptr) {
    close(fd);
    return false;
  }
  char line[kLineLen];
  const ssize_t n = getLine(readBuf, sizeof(line), line, settings_.versionTimeoutMicros);
  size_t length = n > 0 ? static_cast<size_t>(n) : 0;
  if (!stripLineEnd(line, &length) || strcmp(line, kVersionLine) != 0) {
    // Anybody may connect to the port (a stray probe, a typo'd player): the
    // seat is not given away to a connection that does not speak first.
    if (settings_.notices != nullptr) {
      fprintf(settings_.notices, "dealer: a connection for %s %s; closed, the seat stays free\n",
              results_[player].name.c_str(),
              n > 0    ? "sent no valid version line"
              : n == 0 ? "closed before the version line"
                       : "sent no version line in time");
    }
    destroyReadBuf(readBuf);
    return false;
  }
  const int64_t timeout = answerTimeout(player);
  if (timeout >= 0) {
    // A player that stops reading must not block the dealer for ever.
    timeval limit;
    limit.tv_sec = timeout / 1'000'000;
    limit.tv_usec = timeout % 1'000'000;
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit));
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
  }
  connections_[player].readBuf = readBuf;
  results_[player].disconnectedAtHand = -1;
  return true;
}

bool Match::isConnected(unsigned player) const { return connections_[player].readBuf != nullptr; }

int64_t Match::answerTimeout(unsigned player) const {
  const bool untimed = player < settings_.untimed.size() && settings_.untimed[player];
  return untimed ? -1 : settings_.timeoutMicros;
}

uint32_t Match::play(uint32_t hands, FILE* log) {
  uint32_t played = 0;
  while (played < hands && !stopRequested() && playHand(played, log)) ++played;
  // After a stop the players are not waited for: they may not be reading.
  if (played > 0 && !stopRequested()) flushAll(played - 1);
  if (log != nullptr) {
    fputs("SCORE:", log);
    for (unsigned p = 0; p < numPlayers_; ++p) {
      fprintf(log, p == 0 ? "%.17g" : "|%.17g", results_[p].total);
    }
    for (unsigned p = 0; p < numPlayers_; ++p) {
      fprintf(log, "%c%s", p == 0 ? ':' : '|', results_[p].name.c_str());
    }
    fputc('\n', log);
    fflush(log);
  }
  for (Connection& c : connections_) {
    if (c.readBuf == nullptr) continue;
    // Closing a socket with unread input resets the connection, and the
    // player could lose the last states; so read what is left (late answers)
    // first, and the player sees a plain end of stream.
    char scratch[kLineLen];
    while (recv(c.readBuf->fd, scratch, sizeof(scratch), MSG_DONTWAIT) > 0) {
    }
    destroyReadBuf(c.readBuf);
    c.readBuf = nullptr;
  }
  return played;
}

bool Match::playHand(uint32_t hand, FILE* log) {
  State& state = view_.state;
  initState(game_, hand, &state);
  dealCards(game_, &rng_, &state);
  sendStates(hand);
  while (!state.finished) {
    const unsigned seat = currentPlayer(game_, &state);
    const Action action = askForAction(playerAt(seat, hand, numPlayers_), hand);
    if (stopRequested()) return false;
    doAction(game_, &action, &state);
    sendStates(hand);
  }

  double values[MAX_PLAYERS];
  for (unsigned seat = 0; seat < numPlayers_; ++seat) {
    values[seat] = valueOfState(game_, &state, static_cast<uint8_t>(seat));
    results_[playerAt(seat, hand, numPlayers_)].addHand(values[seat]);
  }
  if (log != nullptr) {
    // Flushed at once: a match that is killed keeps every hand it finished.
    writeLogLine(log, hand, values);
    fflush(log);
  }
  return true;
}

void Match::sendStates(uint32_t hand) {
  for (unsigned player = 0; player < numPlayers_; ++player) {
    Connection& c = connections_[player];
    if (c.readBuf == nullptr) continue;
    view_.viewingPlayer = static_cast<uint8_t>(seatOf(player, hand, numPlayers_));
    const int n = printMatchState(game_, &view_, sizeof(c.sent) - 2, c.sent);
    assert(n > 0);  // a state of a valid game always fits in a line
    c.sentLength = static_cast<size_t>(n);
    if (c.outgoing.size() + c.sentLength + 2 > kMaxOutgoing) flush(player, hand);
    c.outgoing.append(c.sent, c.sentLength);
    c.outgoing.append("\r\n");
  }
}

bool Match::flush(unsigned player, uint32_t hand) {
  Connection& c = connections_[player];
  if (c.readBuf == nullptr) return false;
  const char* text = c.outgoing.data();
  size_t length = c.outgoing.size();
  while (length > 0) {
    const ssize_t n = send(c.readBuf->fd, text, length, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) {
      if (stopRequested()) return false;
      continue;
    }
    if (n <= 0) {
      disconnect(player, hand, errno == EAGAIN || errno == EWOULDBLOCK
                                   ? "stopped reading"
                                   : "closed the connection");
      return false;
    }
    text += n;
    length -= static_cast<size_t>(n);
  }
  c.outgoing.clear();
  return true;
}

void Match::flushAll(uint32_t hand) {
  for (unsigned player = 0; player < numPlayers_; ++player) flush(player, hand);
}

Action Match::askForAction(unsigned player, uint32_t hand) {
  Connection& c = connections_[player];
  if (!flush(player, hand)) return defaultAction();

  const int64_t timeout = answerTimeout(player);
  const bool limited = timeout >= 0;
  const auto deadline = Clock::now() + std::chrono::microseconds(limited ? timeout : 0);
  const Action call = {a_call, 0};
  const auto timeLeft = [&] {
    if (!limited) return int64_t{-1};
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    return std::max(int64_t{0}, static_cast<int64_t>(left.count()));
  };
  char line[kLineLen];
  for (bool first = true;; first = false) {
    ssize_t n;
    ReadBuf* in = c.readBuf;
    if (first && in->bufStart >= in->bufEnd) {
      // One blocking receive, bounded by the socket's receive timeout, where
      // getLine would wait in select and then read: an answer normally comes
      // in one piece, so this saves a system call per decision. getLine then
      // takes the line from the buffer, waiting for the rest if need be.
      ssize_t got;
      do {
        got = recv(in->fd, in->buf, sizeof(in->buf), 0);
      } while (got < 0 && errno == EINTR && !stopRequested());
      if (got > 0) {
        in->bufStart = 0;
        in->bufEnd = static_cast<int32_t>(got);
        n = getLine(in, sizeof(line), line, timeLeft());
      } else if (got < 0 && errno == EINTR) {
        n = -1;  // stopped
      } else if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        n = 0;  // a broken connection ends like a closed one
      } else {
        n = got;
      }
    } else {
      n = getLine(in, sizeof(line), line, timeLeft());
    }
    // A signal ends a wait early, looking like a timeout: it is none.
    if (stopRequested()) return defaultAction();
    if (n == 0) {
      disconnect(player, hand, "closed the connection");
      return defaultAction();
    }
    if (n < 0) {
      // getLine gives -1 both for a timeout and for a broken connection.
      char probe;
      const ssize_t peeked = recv(c.readBuf->fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
      if (peeked == 0 || (peeked < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
        disconnect(player, hand, "closed the connection");
      } else {
        countTimeout(player, hand);
      }
      return defaultAction();
    }

    size_t length = static_cast<size_t>(n);
    const bool terminated = stripLineEnd(line, &length);
    const bool echoes = terminated && length > c.sentLength && line[c.sentLength] == ':' &&
                        memcmp(line, c.sent, c.sentLength) == 0;
    if (!echoes && c.lateAnswers > 0) {
      // The answer to a question that has already timed out: it comes before
      // the answer to this one, since a player answers in order.
      --c.lateAnswers;
      continue;
    }
    c.lateAnswers = 0;
    if (!terminated) {
      countError(player, hand, "unterminated answer", line);
      return call;
    }
    if (!echoes) {
      countError(player, hand, "answer does not echo the state", line);
      return call;
    }
    const char* actionText = line + c.sentLength + 1;
    Action action;
    const int used = readAction(actionText, game_, &action);
    if (used <= 0 || actionText[used] != '\0' || action.type == a_invalid) {
      countError(player, hand, "malformed action", line);
      return call;
    }
    if (!isValidAction(game_, &view_.state, 1, &action)) {
      countError(player, hand, "illegal action", line);
      return call;
    }
    return action;
  }
}

void Match::countTimeout(unsigned player, uint32_t hand) {
  Connection& c = connections_[player];
  const uint32_t timeouts = ++results_[player].timeouts;
  ++c.lateAnswers;
  if (settings_.notices != nullptr && c.notices++ < kMaxNoticesPerPlayer) {
    fprintf(settings_.notices, "dealer: %s did not answer in time in hand %u\n",
            results_[player].name.c_str(), hand);
  }
  // A player that keeps timing out would cost a full timeout per decision.
  if (settings_.maxTimeouts > 0 && timeouts >= settings_.maxTimeouts) {
    disconnect(player, hand, ("timed out " + std::to_string(timeouts) + " times").c_str());
  }
}

Action Match::defaultAction() const {
  Action fold = {a_fold, 0};
  if (isValidAction(game_, &view_.state, 0, &fold)) return fold;
  return {a_call, 0};
}

void Match::disconnect(unsigned player, uint32_t hand, const char* reason) {
  Connection& c = connections_[player];
  if (c.readBuf == nullptr) return;
  destroyReadBuf(c.readBuf);
  c.readBuf = nullptr;
  c.outgoing.clear();
  results_[player].disconnectedAtHand = hand;
  if (settings_.notices != nullptr) {
    fprintf(settings_.notices, "dealer: %s %s in hand %u; it is played as folding from now on\n",
            results_[player].name.c_str(), reason, hand);
  }
}

void Match::countError(unsigned player, uint32_t hand, const char* what, const char* line) {
  ++results_[player].errors;
  Connection& c = connections_[player];
  if (settings_.notices == nullptr) return;
  if (c.notices < kMaxNoticesPerPlayer) {
    fprintf(settings_.notices, "dealer: %s in hand %u: %s, played as a call: %.200s\n",
            results_[player].name.c_str(), hand, what, line);
  } else if (c.notices == kMaxNoticesPerPlayer) {
    fprintf(settings_.notices, "dealer: %s: further faults are counted but not shown\n",
            results_[player].name.c_str());
  }
  ++c.notices;
}

void Match::writeLogLine(FILE* log, uint32_t hand, const double* values) const {
  char text[kLineLen];
  const int n = printState(game_, &view_.state, sizeof(text), text);
  assert(n > 0);
  fwrite(text, 1, static_cast<size_t>(n), log);
  for (unsigned seat = 0; seat < numPlayers_; ++seat) {
    // %.17g reads back as exactly the same double.
    fprintf(log, seat == 0 ? ":%.17g" : "|%.17g", values[seat]);
  }
  for (unsigned seat = 0; seat < numPlayers_; ++seat) {
    fprintf(log, "%c%s", seat == 0 ? ':' : '|',
            results_[playerAt(seat, hand, numPlayers_)].name.c_str());
  }
  fputc('\n', log);
}

void printResultTable(FILE* out, const std::vector<PlayerResult>& results) {
  size_t width = 6;
  for (const PlayerResult& r : results) width = std::max(width, r.name.size());
  const int w = static_cast<int>(width);
  fprintf(out, "%-*s %12s %12s %12s %8s %8s\n", w, "player", "total", "mean/hand", "95% +/-",
          "errors", "timeouts");
  for (const PlayerResult& r : results) {
    fprintf(out, "%-*s %12.10g %12.6f %12.6f %8u %8u", w, r.name.c_str(), r.total, r.mean(),
            r.halfWidth95(), r.errors, r.timeouts);
    if (r.disconnectedAtHand >= 0) {
      fprintf(out, "  (disconnected in hand %lld)", static_cast<long long>(r.disconnectedAtHand));
    }
    fputc('\n', out);
  }
}

}  // namespace dealer
