// qel: seven-card hand evaluation through the evaluator state table (tpt.h),
// and Monte Carlo win probabilities drawn from a caller's Mersenne Twister.
//
// The tables live at module level between loadLookupTables and
// freeLookupTables; the rankers run only in between, the estimators also only
// after setQELRNG. Single-threaded.
#ifndef MORVANE_QEL_H
#define MORVANE_QEL_H

#include <cstdint>
#include <string>

#include "game.h"
#include "rng.h"

extern int* twoPlusTwoTable;       // "lookup/tpt", the state table
extern int* twoPlusTwoConversion;  // "lookup/tpt.indexes", hand value -> class rank 1 .. 7462
// Further tables loaded when their files are present (null otherwise); no
// computation reads them.
extern int* qelIndexes;     // "lookup/qel.indexes", 2,704 integers
extern double* qelPreFlop;  // "lookup/qel.preflop", 2,704 doubles
extern double* qelFlop;     // "lookup/qel.flop", 1,261,078 doubles
extern double* qelTurn;     // "lookup/qel.turn", 1,261,078 doubles
extern double* qelRiver;    // "lookup/qel.river", 1,261,078 doubles

// Names of the hand categories, index category - 1 ("High card" .. "Straight flush").
extern const std::string handNames[9];

// Loads the tables above. "lookup/tpt" and "lookup/tpt.indexes" are generated
// and saved first when missing or of the wrong size, with a line on standard
// output saying so; a missing qel file leaves its array null, with one line
// naming the missing files.
void loadLookupTables();
void freeLookupTables();

// The estimators draw from this generator from now on.
void setQELRNG(rng_state_t* rng);

// Hand values (category * 4096 + rank within the category) of 5, 6 or 7 cards.
int rankHand5(uint8_t* cards);
int rankHand6(uint8_t* cards);
int rankHand7(uint8_t* cards);
// The same hands as class ranks, 1 (worst) .. 7462 (best).
int rankHand5C(uint8_t* cards);
int rankHand6C(uint8_t* cards);
int rankHand7C(uint8_t* cards);

// Probability, from 10,000 samples, that the hero's hand beats every one of
// players - 1 random opponents (ties lose). cards: the two hole cards, then
// the board cards dealt so far; the digit is the number of known cards.
double evaluateHand2(uint8_t* cards, unsigned int players);
double evaluateHand5(uint8_t* cards, unsigned int players);
double evaluateHand6(uint8_t* cards, unsigned int players);
double evaluateHand7(uint8_t* cards, unsigned int players);
double evaluateHand2(uint8_t* cards);  // against one opponent
double evaluateHand5(uint8_t* cards);
double evaluateHand6(uint8_t* cards);
double evaluateHand7(uint8_t* cards);

// Win probabilities of the viewing seat of a match state against 1, 2 and 3
// opponents into out[1 .. 3] (the estimators above for its round); all zero
// past the river.
void winProb(MatchState* state, double* out);

// Rank every 5-, 6- or 7-card subset of the deck and print the minimum, the
// maximum, the count and the count per category.
void testRankHand5();
void testRankHand6();
void testRankHand7();

#endif  // MORVANE_QEL_H
