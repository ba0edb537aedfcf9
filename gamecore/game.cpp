// Game definitions: reading and checking the text format, and writing it back.
#include "game.h"

#include <strings.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "scan.h"

const char rankChars[] = "23456789TJQKA";
const char suitChars[] = "cdhs";
const char actionChars[] = "fcr";

namespace {

// A definition is a few hundred bytes; this is ample room for comments.
constexpr size_t MAX_DEFINITION_BYTES = 1 << 20;
constexpr int32_t UNLIMITED_STACK = INT32_MAX;
constexpr uint8_t NO_RAISE_CAP = 255;
// Seats 0 to 3 start with unlimited stacks, so a game of up to four seats may
// leave out the "stack" line.
constexpr int DEFAULT_STACKS = 4;

// Reads one line, its line feed included, into *line. Returns end when
// nothing is left, overBound when the line would pass `room` bytes.
enum class LineRead { line, end, overBound };
LineRead readLine(FILE* file, size_t room, std::string* line) {
  line->clear();
  for (int c; (c = getc(file)) != EOF;) {
    if (line->size() == room) return LineRead::overBound;
    line->push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return line->empty() ? LineRead::end : LineRead::line;
}

// Reads up to maxItems numbers from the rest of a line into items. Before
// each value any run of white space and '=' is skipped, so values may be
// separated by blanks, equals signs or both. Returns the count read; the
// characters used go to *consumed.
template <typename T, int (*scan)(const char*, T*)>
int readItems(int maxItems, const char* text, T* items, int* consumed) {
  int pos = 0;
  int count = 0;
  while (count < maxItems) {
    int skip = pos;
    while (gamecore::isSpace(text[skip]) || text[skip] == '=') ++skip;
    const int used = scan(text + skip, &items[count]);
    if (used == 0) break;
    pos = skip + used;
    ++count;
  }
  *consumed = pos;
  return count;
}

int readSigned(int maxItems, const char* text, int32_t* items) {
  int consumed;
  return readItems<int32_t, gamecore::scanInt32>(maxItems, text, items, &consumed);
}

int readUnsigned8(int maxItems, const char* text, uint8_t* items) {
  int consumed;
  return readItems<uint8_t, gamecore::scanUint8>(maxItems, text, items, &consumed);
}

bool startsWith(const char* line, const char* keyword) {
  return strncasecmp(line, keyword, strlen(keyword)) == 0;
}

// Counts of the list lines read so far; a later line replaces its count.
struct ReadCounts {
  int stacks = DEFAULT_STACKS;
  int blinds = 0;
  int raiseSizes = 0;
  int boardCardNumbers = 0;
};

// Applies one definition line. Returns false at "end gamedef".
bool applyLine(const char* line, Game* game, ReadCounts* counts) {
  if (startsWith(line, "end gamedef")) return false;
  if (startsWith(line, "gamedef")) return true;
  if (startsWith(line, "stack")) {
    counts->stacks = readSigned(MAX_PLAYERS, line + 5, game->stack);
  } else if (startsWith(line, "blind")) {
    counts->blinds = readSigned(MAX_PLAYERS, line + 5, game->blind);
  } else if (startsWith(line, "raisesize")) {
    counts->raiseSizes = readSigned(MAX_ROUNDS, line + 9, game->raiseSize);
  } else if (startsWith(line, "limit")) {
    game->bettingType = limitBetting;
  } else if (startsWith(line, "nolimit")) {
    game->bettingType = noLimitBetting;
  } else if (startsWith(line, "numplayers")) {
    readUnsigned8(1, line + 10, &game->numPlayers);
  } else if (startsWith(line, "numrounds")) {
    readUnsigned8(1, line + 9, &game->numRounds);
  } else if (startsWith(line, "firstplayer")) {
    readUnsigned8(MAX_ROUNDS, line + 11, game->firstPlayer);
  } else if (startsWith(line, "maxraises")) {
    readUnsigned8(MAX_ROUNDS, line + 9, game->maxRaises);
  } else if (startsWith(line, "numsuits")) {
    readUnsigned8(1, line + 8, &game->numSuits);
  } else if (startsWith(line, "numranks")) {
    readUnsigned8(1, line + 8, &game->numRanks);
  } else if (startsWith(line, "numholecards")) {
    readUnsigned8(1, line + 12, &game->numHoleCards);
  } else if (startsWith(line, "numboardcards")) {
    counts->boardCardNumbers = readUnsigned8(MAX_ROUNDS, line + 13, game->numBoardCards);
  }
  return true;
}

// Checks a freshly read game in a fixed order and turns the 1-based first
// players into seats. Prints the first failure and returns false.
bool checkGame(Game* game, const ReadCounts& counts) {
  const unsigned players = game->numPlayers;
  const unsigned rounds = game->numRounds;
  if (rounds == 0 || rounds > MAX_ROUNDS) {
    fprintf(stderr, "invalid number of rounds: %u\n", rounds);
    return false;
  }
  if (players < 2 || players > MAX_PLAYERS) {
    fprintf(stderr, "invalid number of players: %u\n", players);
    return false;
  }
  if (counts.stacks < static_cast<int>(players)) {
    fprintf(stderr, "only read %u stack sizes, need %u\n", static_cast<unsigned>(counts.stacks), players);
    return false;
  }
  if (counts.blinds < static_cast<int>(players)) {
    fprintf(stderr, "only read %u blinds, need %u\n", static_cast<unsigned>(counts.blinds), players);
    return false;
  }
  // Negative amounts would take chips from nowhere: the hand's values would
  // no longer sum to zero.
  for (unsigned p = 0; p < players; ++p) {
    if (game->stack[p] < 0) {
      fprintf(stderr, "invalid stack for player %d: %d\n", static_cast<int>(p + 1), game->stack[p]);
      return false;
    }
    if (game->blind[p] < 0) {
      fprintf(stderr, "invalid blind for player %d: %d\n", static_cast<int>(p + 1), game->blind[p]);
      return false;
    }
  }
  for (unsigned p = 0; p < players; ++p) {
    if (game->blind[p] > game->stack[p]) {
      fprintf(stderr, "blind for player %d is greater than stack size\n", static_cast<int>(p + 1));
      return false;
    }
  }
  if (game->bettingType == limitBetting && counts.raiseSizes < static_cast<int>(rounds)) {
    fprintf(stderr, "only read %u raise sizes, need %u\n", static_cast<unsigned>(counts.raiseSizes), rounds);
    return false;
  }
  if (game->bettingType == limitBetting) {
    for (unsigned r = 0; r < rounds; ++r) {
      if (game->raiseSize[r] < 0) {
        fprintf(stderr, "invalid raise size on round %d: %d\n", static_cast<int>(r + 1), game->raiseSize[r]);
        return false;
      }
    }
  }
  for (unsigned r = 0; r < rounds; ++r) {
    if (game->firstPlayer[r] == 0 || game->firstPlayer[r] > players) {
      fprintf(stderr, "invalid first player %u on round %d\n", static_cast<unsigned>(game->firstPlayer[r]),
              static_cast<int>(r + 1));
      return false;
    }
    --game->firstPlayer[r];
  }
  for (unsigned r = rounds; r < MAX_ROUNDS; ++r) game->firstPlayer[r] = 0;
  if (game->numSuits == 0 || game->numSuits > MAX_SUITS) {
    fprintf(stderr, "invalid number of suits: %u\n", static_cast<unsigned>(game->numSuits));
    return false;
  }
  if (game->numRanks == 0 || game->numRanks > MAX_RANKS) {
    fprintf(stderr, "invalid number of ranks: %u\n", static_cast<unsigned>(game->numRanks));
    return false;
  }
  if (game->numHoleCards == 0 || game->numHoleCards > MAX_HOLE_CARDS) {
    fprintf(stderr, "invalid number of hole cards: %u\n", static_cast<unsigned>(game->numHoleCards));
    return false;
  }
  if (counts.boardCardNumbers < static_cast<int>(rounds)) {
    fprintf(stderr, "only read %u board card numbers, need %u\n", static_cast<unsigned>(counts.boardCardNumbers),
            rounds);
    return false;
  }
  unsigned boardCards = 0;
  for (unsigned r = 0; r < rounds; ++r) boardCards += game->numBoardCards[r];
  for (unsigned r = rounds; r < MAX_ROUNDS; ++r) game->numBoardCards[r] = 0;
  if (game->numHoleCards * players + boardCards > static_cast<unsigned>(game->numSuits) * game->numRanks) {
    fprintf(stderr, "too many hole and board cards for specified deck\n");
    return false;
  }
  // With every seat all-in from its blind, no seat could be asked to act,
  // and a hand of this game could not even be written as a readable state.
  bool someoneCanAct = false;
  for (unsigned p = 0; p < players; ++p) someoneCanAct |= game->blind[p] < game->stack[p];
  if (!someoneCanAct) {
    fprintf(stderr, "no player can act: every player is all-in from the blinds\n");
    return false;
  }
  // A hand record has room for MAX_BOARD_CARDS board cards in all.
  if (boardCards > MAX_BOARD_CARDS) {
    fprintf(stderr, "too many board cards: %u in all rounds, at most %d\n", boardCards, MAX_BOARD_CARDS);
    return false;
  }
  return true;
}

}  // namespace

Game* readGame(FILE* file) {
  Game* game = static_cast<Game*>(calloc(1, sizeof(Game)));
  if (game == nullptr) {
    fprintf(stderr, "ERROR: could not allocate memory for game\n");
    return nullptr;
  }
  for (int p = 0; p < DEFAULT_STACKS; ++p) game->stack[p] = UNLIMITED_STACK;
  game->bettingType = limitBetting;
  for (int r = 0; r < MAX_ROUNDS; ++r) {
    game->firstPlayer[r] = 1;
    game->maxRaises[r] = NO_RAISE_CAP;
  }
  ReadCounts counts;

  // Every line is read whole, however long, so that the tail of a long
  // comment cannot pass for a definition line; a definition that runs on
  // past the bound (an endless stream, say) is refused.
  std::string line;
  size_t total = 0;
  bool tooLong = false;
  for (;;) {
    const LineRead read = readLine(file, MAX_DEFINITION_BYTES - total, &line);
    if (read == LineRead::end) break;
    if (read == LineRead::overBound) {
      tooLong = true;
      break;
    }
    total += line.size();
    if (line[0] == '\n' || line[0] == '#') continue;
    if (!applyLine(line.c_str(), game, &counts)) break;
  }
  if (tooLong) {
    fprintf(stderr, "game definition longer than %zu bytes\n", MAX_DEFINITION_BYTES);
    free(game);
    return nullptr;
  }

  if (!checkGame(game, counts)) {
    free(game);
    return nullptr;
  }
  return game;
}

void printGame(FILE* file, const Game* game) {
  const int players = game->numPlayers;
  const int rounds = game->numRounds;
  fprintf(file, "GAMEDEF\n");
  fprintf(file, game->bettingType == noLimitBetting ? "nolimit\n" : "limit\n");
  fprintf(file, "numPlayers = %u\n", static_cast<unsigned>(game->numPlayers));
  fprintf(file, "numRounds = %u\n", static_cast<unsigned>(game->numRounds));

  bool limitedStacks = false;
  for (int p = 0; p < players; ++p) limitedStacks |= game->stack[p] != UNLIMITED_STACK;
  if (limitedStacks) {
    fprintf(file, "stack =");
    for (int p = 0; p < players; ++p) fprintf(file, " %d", game->stack[p]);
    fprintf(file, "\n");
  }
  fprintf(file, "blind =");
  for (int p = 0; p < players; ++p) fprintf(file, " %d", game->blind[p]);
  fprintf(file, "\n");
  if (game->bettingType == limitBetting) {
    fprintf(file, "raiseSize =");
    for (int r = 0; r < rounds; ++r) fprintf(file, " %d", game->raiseSize[r]);
    fprintf(file, "\n");
  }
  bool otherFirst = false;
  bool capped = false;
  for (int r = 0; r < rounds; ++r) {
    otherFirst |= game->firstPlayer[r] != 0;
    capped |= game->maxRaises[r] != NO_RAISE_CAP;
  }
  if (otherFirst) {
    fprintf(file, "firstPlayer =");
    for (int r = 0; r < rounds; ++r) fprintf(file, " %u", game->firstPlayer[r] + 1U);
    fprintf(file, "\n");
  }
  if (capped) {
    fprintf(file, "maxRaises =");
    for (int r = 0; r < rounds; ++r) fprintf(file, " %u", static_cast<unsigned>(game->maxRaises[r]));
    fprintf(file, "\n");
  }
  fprintf(file, "numSuits = %u\n", static_cast<unsigned>(game->numSuits));
  fprintf(file, "numRanks = %u\n", static_cast<unsigned>(game->numRanks));
  fprintf(file, "numHoleCards = %u\n", static_cast<unsigned>(game->numHoleCards));
  fprintf(file, "numBoardCards =");
  for (int r = 0; r < rounds; ++r) fprintf(file, " %u", static_cast<unsigned>(game->numBoardCards[r]));
  fprintf(file, "\n");
  fprintf(file, "END GAMEDEF\n");
}
