// Game engine: game definitions, the betting state of one hand, showdown
// payoffs and the match-state text of the ACPC dealer protocol.
//
// Everything here is a plain function over plain records: the Game comes
// first (read-only), then the record it reads or changes, by pointer.
// Results are small integers (1/0, counts, characters consumed or written,
// -1 for a text failure) or a null pointer after a message.
#ifndef GAMECORE_GAME_H
#define GAMECORE_GAME_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "rng.h"

constexpr int MAX_PLAYERS = 10;
constexpr int MAX_ROUNDS = 4;
constexpr int MAX_BOARD_CARDS = 7;
constexpr int MAX_HOLE_CARDS = 3;
constexpr int MAX_NUM_ACTIONS = 64;
constexpr int MAX_SUITS = 4;
constexpr int MAX_RANKS = 13;

enum BettingType : int32_t { limitBetting = 0, noLimitBetting = 1 };

enum ActionType : int32_t { a_fold = 0, a_call = 1, a_raise = 2, a_invalid = 3 };

struct Action {
  ActionType type;
  int32_t size;  // raise-to total of a no-limit raise, otherwise 0
};

struct Game {
  int32_t stack[MAX_PLAYERS];  // 2147483647 stands for an unlimited stack
  int32_t blind[MAX_PLAYERS];
  int32_t raiseSize[MAX_ROUNDS];
  BettingType bettingType;
  uint8_t numPlayers;
  uint8_t numRounds;
  uint8_t firstPlayer[MAX_ROUNDS];  // 0-based seat
  uint8_t maxRaises[MAX_ROUNDS];
  uint8_t numSuits;
  uint8_t numRanks;
  uint8_t numHoleCards;
  uint8_t numBoardCards[MAX_ROUNDS];
};

struct State {
  uint32_t handId;
  int32_t maxSpent;
  int32_t minNoLimitRaiseTo;
  int32_t spent[MAX_PLAYERS];
  Action action[MAX_ROUNDS][MAX_NUM_ACTIONS];
  uint8_t actingPlayer[MAX_ROUNDS][MAX_NUM_ACTIONS];
  uint8_t numActions[MAX_ROUNDS];
  uint8_t round;
  uint8_t finished;
  uint8_t playerFolded[MAX_PLAYERS];
  uint8_t boardCards[MAX_BOARD_CARDS];
  uint8_t holeCards[MAX_PLAYERS][MAX_HOLE_CARDS];
};

struct MatchState {
  State state;
  uint8_t viewingPlayer;
};

// Cards are one byte: rank * MAX_SUITS + suit, ranks indexing rankChars and
// suits indexing suitChars.
extern const char rankChars[];    // "23456789TJQKA"
extern const char suitChars[];    // "cdhs"
extern const char actionChars[];  // "fcr"
extern const ActionType charToAction[256];

constexpr uint8_t rankOfCard(uint8_t card) { return card / MAX_SUITS; }
constexpr uint8_t suitOfCard(uint8_t card) { return card % MAX_SUITS; }
constexpr uint8_t makeCard(int rank, int suit) {
  return static_cast<uint8_t>(rank * MAX_SUITS + suit);
}

// ---- Game definition -------------------------------------------------------

// Reads a game definition from the stream's current position up to
// "end gamedef" or the end of the file. Returns a new Game (release it with
// free), or null after printing one message to standard error. Lines are
// read whole, whatever their length; a definition of more than 1 MiB is
// refused, so that an endless stream cannot hang the reader.
Game* readGame(FILE* file);
void printGame(FILE* file, const Game* game);

// ---- Betting state ---------------------------------------------------------

void initState(const Game* game, uint32_t handId, State* state);
void dealCards(const Game* game, rng_state_t* rng, State* state);
uint8_t currentPlayer(const Game* game, const State* state);
uint8_t numRaises(const State* state);
uint8_t numFolded(const Game* game, const State* state);
uint8_t numCalled(const Game* game, const State* state);
uint8_t numAllIn(const Game* game, const State* state);
uint8_t numActingPlayers(const Game* game, const State* state);
uint8_t bcStart(const Game* game, uint8_t round);
uint8_t sumBoardCards(const Game* game, uint8_t round);
int raiseIsValid(const Game* game, const State* curState, int32_t* minSize, int32_t* maxSize);
int isValidAction(const Game* game, const State* curState, int tryFixing, Action* action);
void doAction(const Game* game, const Action* action, State* state);
int statesEqual(const Game* game, const State* a, const State* b);

// ---- Payoffs ---------------------------------------------------------------

// Chips won (positive) or lost (negative) by the seat in the hand.
double valueOfState(const Game* game, const State* state, uint8_t player);

// ---- Match-state text ------------------------------------------------------

int readMatchState(const char* string, const Game* game, MatchState* state);
int readState(const char* string, const Game* game, State* state);
int printMatchState(const Game* game, const MatchState* state, size_t maxLen, char* string);
int printState(const Game* game, const State* state, size_t maxLen, char* string);
int readAction(const char* string, const Game* game, Action* action);
int printAction(const Game* game, const Action* action, size_t maxLen, char* string);
int readCard(const char* string, uint8_t* card);
int readCards(const char* string, int maxCards, uint8_t* cards, int* charsConsumed);
int printCard(uint8_t card, size_t maxLen, char* string);
int printCards(int numCards, const uint8_t* cards, size_t maxLen, char* string);
int matchStatesEqual(const Game* game, const MatchState* a, const MatchState* b);

#endif  // GAMECORE_GAME_H
