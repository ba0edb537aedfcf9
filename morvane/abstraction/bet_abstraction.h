// The betting abstraction of the large no-limit player: which raises it may
// make, and how an opponent's raise of any size is read in its terms.
//
// Raises are named as fractions of the pot after the raiser's call (a "pot"
// raise calls, then adds the whole pot): half pot, pot and twice the pot for
// the first raise of a round, pot and twice the pot for the second, the pot
// for the third, then all-in only; all-in is always there. Every size is
// made legal as the dealer's rules make it: a size below the minimum raise
// becomes the minimum raise, one at or beyond the raiser's stack becomes
// all-in, and sizes that meet are kept once.
//
// An opponent's raise of x (as a fraction of the same pot) between two
// abstract fractions A < x < B is read as A with the pseudo-harmonic chance
// f(x) = ((B - x)(1 + A)) / ((B - A)(1 + x)) and as B otherwise (Ganzfried and
// Sandholm, 2013); below the smallest or beyond the largest it is read as that
// one. Everything here is a pure function of its arguments.
#ifndef MORVANE_BET_ABSTRACTION_H
#define MORVANE_BET_ABSTRACTION_H

#include <cstdint>
#include <functional>
#include <vector>

#include "game.h"

// Pot fractions of the raise a round's `raisesSoFar`-th raise may name
// (all-in apart).
std::vector<double> raiseFractions(int raisesSoFar);

// The pot a raise of the seat to act is measured against: every seat's money
// in the hand plus what that seat owes.
int64_t potAfterCall(const Game* game, const State* state);

// Raise-to totals the seat to act may name in the abstraction, ascending,
// each legal (isValidAction without repair); empty when it may not raise.
std::vector<int32_t> abstractRaiseSizes(const Game* game, const State* state);

// The same sizes as fractions of the pot (potAfterCall), all-in's last.
std::vector<double> abstractRaiseFractions(const Game* game, const State* state);

// The legal raise-to total of a raise of `fraction` of the pot at `state`,
// for sending an abstract raise in the real game: a size below the minimum
// raise becomes the minimum, one beyond the stack all-in. `state` must allow
// a raise.
int32_t legalRaiseTo(const Game* game, const State* state, double fraction);

// The raise-to total `raiseTo` as a fraction of the pot it raised: the amount
// beyond a call over potAfterCall of the state before it.
double raiseFraction(const Game* game, const State* before, int32_t raiseTo);

// Chance of reading x as A rather than B (A <= x <= B, A < B).
double pseudoHarmonicLowerChance(double A, double B, double x);

struct SizeReading {
  int lower;           // index into the sizes
  int upper;           // index into the sizes; == lower when x reads as one size
  double lowerChance;  // chance of reading x as sizes[lower]
};

// Reading of x among `sizes` (ascending, non-empty).
SizeReading readRaiseSize(const std::vector<double>& sizes, double x);

// A real betting history read in the abstraction: the hand replayed from
// its start with every fold and call copied and every raise read among the
// abstract sizes of the abstract state so far (its size taken as a fraction
// of the real pot before it), as the lower of two sizes when draw(k) <
// lowerChance for the k-th raise, else the upper. A raise where the
// abstraction allows none is read as a call. `complete` is false when the
// abstract hand ended before the real one or an action has no reading there
// (a fold where nothing is owed); the rest is then not read.
struct AbstractHistory {
  State state;
  bool complete;
};
AbstractHistory readHistory(const Game* game, const State& real,
                            const std::function<double(int)>& draw);

#endif
