// Placeholder definitions so the library links; replaced by the engine.
#include "game.h"

const char rankChars[] = "23456789TJQKA";
const char suitChars[] = "cdhs";
const char actionChars[] = "fcr";
const ActionType charToAction[256] = {};

Game* readGame(FILE*) { return nullptr; }
void printGame(FILE*, const Game*) {}
void initState(const Game*, uint32_t, State*) {}
void dealCards(const Game*, rng_state_t*, State*) {}
uint8_t currentPlayer(const Game*, const State*) { return 0; }
uint8_t numRaises(const State*) { return 0; }
uint8_t numFolded(const Game*, const State*) { return 0; }
uint8_t numCalled(const Game*, const State*) { return 0; }
uint8_t numAllIn(const Game*, const State*) { return 0; }
uint8_t numActingPlayers(const Game*, const State*) { return 0; }
uint8_t bcStart(const Game*, uint8_t) { return 0; }
uint8_t sumBoardCards(const Game*, uint8_t) { return 0; }
int raiseIsValid(const Game*, const State*, int32_t*, int32_t*) { return 0; }
int isValidAction(const Game*, const State*, int, Action*) { return 0; }
void doAction(const Game*, const Action*, State*) {}
int statesEqual(const Game*, const State*, const State*) { return 0; }
double valueOfState(const Game*, const State*, uint8_t) { return 0; }
int readMatchState(const char*, const Game*, MatchState*) { return -1; }
int readState(const char*, const Game*, State*) { return -1; }
int printMatchState(const Game*, const MatchState*, size_t, char*) { return -1; }
int printState(const Game*, const State*, size_t, char*) { return -1; }
int readAction(const char*, const Game*, Action*) { return -1; }
int printAction(const Game*, const Action*, size_t, char*) { return -1; }
int readCard(const char*, uint8_t*) { return -1; }
int readCards(const char*, int, uint8_t*, int*) { return 0; }
int printCard(uint8_t, size_t, char*) { return -1; }
int printCards(int, const uint8_t*, size_t, char*) { return -1; }
int matchStatesEqual(const Game*, const MatchState*, const MatchState*) { return 0; }
