// The match-state text of the dealer protocol: reading it into a State by
// replaying every action through the betting rules, and writing it back.
#include <cstring>

#include "game.h"
#include "scan.h"

namespace {

constexpr ActionType makeCharToAction(unsigned char c) {
  switch (c) {
    case 'f': case 'F': return a_fold;
    case 'c': case 'C': case 'k': case 'K': return a_call;
    case 'r': case 'R': case 'b': case 'B': return a_raise;
    default: return a_invalid;
  }
}

// A game whose sizes do not fit the fixed records (possible only for a Game
// not made by readGame) is refused by the readers and printers.
bool fitsRecords(const Game* game) {
  if (game->numPlayers < 2 || game->numPlayers > MAX_PLAYERS) return false;
  if (game->numRounds < 1 || game->numRounds > MAX_ROUNDS) return false;
  if (game->numHoleCards > MAX_HOLE_CARDS) return false;
  int board = 0;
  for (int r = 0; r < game->numRounds; ++r) {
    board += game->numBoardCards[r];
    if (game->firstPlayer[r] >= game->numPlayers) return false;
  }
  return board <= MAX_BOARD_CARDS;
}

bool stateFitsRecords(const Game* game, const State* state) {
  if (state->round >= game->numRounds) return false;
  for (int r = 0; r <= state->round; ++r)
    if (state->numActions[r] > MAX_NUM_ACTIONS) return false;
  return true;
}

int rankIndex(char c) {
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  const char* found = c != 0 ? strchr(rankChars, c) : nullptr;
  return found != nullptr ? static_cast<int>(found - rankChars) : -1;
}

int suitIndex(char c) {
  if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  const char* found = c != 0 ? strchr(suitChars, c) : nullptr;
  return found != nullptr ? static_cast<int>(found - suitChars) : -1;
}

// Appends text to a fixed buffer, always leaving room for the zero byte.
class Writer {
 public:
  Writer(size_t maxLen, char* buffer) : maxLen_(maxLen), buffer_(buffer) {}

  bool put(const char* text, size_t len) {
    if (failed_ || pos_ + len + 1 > maxLen_) return fail();
    memcpy(buffer_ + pos_, text, len);
    pos_ += len;
    buffer_[pos_] = 0;
    return true;
  }
  bool put(const char* text) { return put(text, strlen(text)); }
  bool put(char c) { return put(&c, 1); }
  bool putUnsigned(unsigned long long v) {
    char digits[24];
    const int n = snprintf(digits, sizeof(digits), "%llu", v);
    return put(digits, static_cast<size_t>(n));
  }
  bool putSigned(long long v) {
    char digits[24];
    const int n = snprintf(digits, sizeof(digits), "%lld", v);
    return put(digits, static_cast<size_t>(n));
  }
  // Runs a printer that writes into the free space; it returns its length.
  template <typename Print>
  bool putWith(Print print) {
    if (failed_ || pos_ >= maxLen_) return fail();
    const int n = print(maxLen_ - pos_, buffer_ + pos_);
    if (n < 0) return fail();
    pos_ += static_cast<size_t>(n);
    return true;
  }
  bool ok() const { return !failed_; }
  int length() const { return failed_ ? -1 : static_cast<int>(pos_); }

 private:
  bool fail() {
    failed_ = true;
    return false;
  }
  size_t maxLen_;
  char* buffer_;
  size_t pos_ = 0;
  bool failed_ = false;
};

int readStateCommon(const char* string, const Game* game, State* state) {
  if (string[0] != ':') return -1;
  uint32_t handId;
  const int used = gamecore::scanUint32(string + 1, &handId);
  if (used == 0) return -1;
  int c = 1 + used;
  initState(game, handId, state);
  if (string[c] != ':') return -1;
  ++c;

  // Betting. Rounds change only through doAction; "/" is decoration.
  while (string[c] != 0) {
    if (string[c] == ':') {
      ++c;
      break;
    }
    if (string[c] == '/') {
      ++c;
      continue;
    }
    Action action;
    const int r = readAction(string + c, game, &action);
    if (r < 0) return -1;
    if (!isValidAction(game, state, 0, &action)) return -1;
    if (state->numActions[state->round] >= MAX_NUM_ACTIONS) return -1;
    doAction(game, &action, state);
    c += r;
  }

  // Hole cards: a group is empty (hidden) or complete; "|" may be missing.
  for (int p = 0; p < game->numPlayers; ++p) {
    int consumed;
    const int n = readCards(string + c, game->numHoleCards, state->holeCards[p], &consumed);
    if (n != 0 && n != game->numHoleCards) return -1;
    c += consumed;
    if (p + 1 < game->numPlayers && string[c] == '|') ++c;
  }

  // Board: every round reached must show all its cards.
  for (int r = 0; r <= state->round; ++r) {
    if (r > 0 && string[c] == '/') ++c;
    const int want = game->numBoardCards[r];
    if (want > 0) {
      int consumed;
      const int n = readCards(string + c, want, state->boardCards + bcStart(game, r), &consumed);
      if (n < want) return -1;
      c += consumed;
    }
  }
  return c;
}

bool printBetting(const Game* game, const State* state, Writer* out) {
  if (!out->put(':') || !out->putUnsigned(state->handId) || !out->put(':')) return false;
  for (int r = 0; r <= state->round; ++r) {
    if (r > 0 && !out->put('/')) return false;
    for (int i = 0; i < state->numActions[r]; ++i) {
      const Action* action = &state->action[r][i];
      if (!out->putWith([&](size_t len, char* buf) { return printAction(game, action, len, buf); })) return false;
    }
  }
  return out->put(':');
}

bool printCardGroup(int n, const uint8_t* cards, Writer* out) {
  if (n < 1) return true;
  return out->putWith([&](size_t len, char* buf) { return printCards(n, cards, len, buf); });
}

bool printBoard(const Game* game, const State* state, Writer* out) {
  for (int r = 0; r <= state->round; ++r) {
    if (r > 0 && !out->put('/')) return false;
    if (!printCardGroup(game->numBoardCards[r], state->boardCards + bcStart(game, r), out)) return false;
  }
  return true;
}

int printStateCommon(const Game* game, const State* state, Writer* out) {
  return printBetting(game, state, out) ? out->length() : -1;
}

}  // namespace

// Filled at compile time from makeCharToAction.
const ActionType charToAction[256] = {
#define A(c) makeCharToAction(c)
#define ROW(b) A(b), A(b + 1), A(b + 2), A(b + 3), A(b + 4), A(b + 5), A(b + 6), A(b + 7)
    ROW(0),   ROW(8),   ROW(16),  ROW(24),  ROW(32),  ROW(40),  ROW(48),  ROW(56),
    ROW(64),  ROW(72),  ROW(80),  ROW(88),  ROW(96),  ROW(104), ROW(112), ROW(120),
    ROW(128), ROW(136), ROW(144), ROW(152), ROW(160), ROW(168), ROW(176), ROW(184),
    ROW(192), ROW(200), ROW(208), ROW(216), ROW(224), ROW(232), ROW(240), ROW(248),
#undef ROW
#undef A
};

int readMatchState(const char* string, const Game* game, MatchState* state) {
  if (!fitsRecords(game)) return -1;
  static const char prefix[] = "MATCHSTATE:";
  constexpr int prefixLen = sizeof(prefix) - 1;
  if (strncmp(string, prefix, prefixLen) != 0) return -1;
  uint8_t seat;
  const int used = gamecore::scanUint8(string + prefixLen, &seat);
  if (used == 0 || seat >= game->numPlayers) return -1;
  state->viewingPlayer = seat;
  const int common = readStateCommon(string + prefixLen + used, game, &state->state);
  return common < 0 ? -1 : prefixLen + used + common;
}

int readState(const char* string, const Game* game, State* state) {
  if (!fitsRecords(game)) return -1;
  if (strncmp(string, "STATE", 5) != 0) return -1;
  const int common = readStateCommon(string + 5, game, state);
  return common < 0 ? -1 : 5 + common;
}

int printState(const Game* game, const State* state, size_t maxLen, char* string) {
  if (!fitsRecords(game) || !stateFitsRecords(game, state)) return -1;
  Writer out(maxLen, string);
  if (!out.put("STATE") || printStateCommon(game, state, &out) < 0) return -1;
  for (int p = 0; p < game->numPlayers; ++p) {
    if (p > 0 && !out.put('|')) return -1;
    if (!printCardGroup(game->numHoleCards, state->holeCards[p], &out)) return -1;
  }
  if (!printBoard(game, state, &out)) return -1;
  return out.length();
}

int printMatchState(const Game* game, const MatchState* state, size_t maxLen, char* string) {
  const State* s = &state->state;
  if (!fitsRecords(game) || !stateFitsRecords(game, s) || state->viewingPlayer >= game->numPlayers) return -1;
  Writer out(maxLen, string);
  if (!out.put("MATCHSTATE:") || !out.putUnsigned(state->viewingPlayer) || printStateCommon(game, s, &out) < 0)
    return -1;
  const bool showdown = s->finished && numFolded(game, s) + 1 < game->numPlayers;
  for (int p = 0; p < game->numPlayers; ++p) {
    if (p > 0 && !out.put('|')) return -1;
    const bool visible = p == state->viewingPlayer || (showdown && !s->playerFolded[p]);
    if (visible && !printCardGroup(game->numHoleCards, s->holeCards[p], &out)) return -1;
  }
  if (!printBoard(game, s, &out)) return -1;
  return out.length();
}

int readAction(const char* string, const Game* game, Action* action) {
  action->type = charToAction[static_cast<unsigned char>(string[0])];
  action->size = 0;
  if (action->type == a_raise && game->bettingType == noLimitBetting) {
    int32_t size;
    const int used = gamecore::scanInt32(string + 1, &size);
    if (used == 0) return -1;
    action->size = size;
    return 1 + used;
  }
  return 1;
}

int printAction(const Game* game, const Action* action, size_t maxLen, char* string) {
  if (maxLen == 0) return -1;
  if (action->type < a_fold || action->type > a_raise) return -1;
  Writer out(maxLen, string);
  out.put(actionChars[action->type]);
  if (action->type == a_raise && game->bettingType == noLimitBetting) out.putSigned(action->size);
  return out.length();
}

int readCard(const char* string, uint8_t* card) {
  if (string[0] == 0) return -1;
  const int rank = rankIndex(string[0]);
  if (rank < 0) return -1;
  if (string[1] == 0) return -1;
  const int suit = suitIndex(string[1]);
  if (suit < 0) return -1;
  *card = makeCard(rank, suit);
  return 2;
}

int readCards(const char* string, int maxCards, uint8_t* cards, int* charsConsumed) {
  int n = 0;
  int c = 0;
  while (n < maxCards) {
    const int used = readCard(string + c, &cards[n]);
    if (used < 0) break;
    c += used;
    ++n;
  }
  *charsConsumed = c;
  return n;
}

int printCard(uint8_t card, size_t maxLen, char* string) {
  if (maxLen < 3) return -1;
  if (card >= MAX_RANKS * MAX_SUITS) return -1;  // not a card
  string[0] = rankChars[rankOfCard(card)];
  string[1] = suitChars[suitOfCard(card)];
  string[2] = 0;
  return 2;
}

int printCards(int numCards, const uint8_t* cards, size_t maxLen, char* string) {
  if (numCards < 1) return 0;
  if (maxLen < 3) return -1;
  size_t c = 0;
  for (int i = 0; i < numCards; ++i) {
    if (c + 3 > maxLen) return -1;
    if (printCard(cards[i], maxLen - c, string + c) < 0) return -1;
    c += 2;
  }
  return static_cast<int>(c);
}

int matchStatesEqual(const Game* game, const MatchState* a, const MatchState* b) {
  if (a->viewingPlayer != b->viewingPlayer) return 0;
  const State* sa = &a->state;
  const State* sb = &b->state;
  if (sa->handId != sb->handId || sa->round != sb->round || sa->round >= MAX_ROUNDS) return 0;
  for (int r = 0; r <= sa->round; ++r) {
    if (sa->numActions[r] != sb->numActions[r]) return 0;
    for (int i = 0; i < sa->numActions[r] && i < MAX_NUM_ACTIONS; ++i)
      if (sa->action[r][i].type != sb->action[r][i].type || sa->action[r][i].size != sb->action[r][i].size) return 0;
  }
  const int board = sumBoardCards(game, sa->round);
  for (int i = 0; i < board && i < MAX_BOARD_CARDS; ++i)
    if (sa->boardCards[i] != sb->boardCards[i]) return 0;
  const int viewer = a->viewingPlayer;
  if (viewer >= MAX_PLAYERS) return 0;
  for (int c = 0; c < game->numHoleCards && c < MAX_HOLE_CARDS; ++c)
    if (sa->holeCards[viewer][c] != sb->holeCards[viewer][c]) return 0;
  return 1;
}
