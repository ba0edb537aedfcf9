// Builds the seven-card evaluator state table "lookup/tpt" and its companion
// "lookup/tpt.indexes" (see tpt.h for the table's layout and walk).
//
// Construction: a state stands for every card set that will rank alike
// whatever cards are added to it, and that is all the rank counts plus, for
// each suit that can still hold five cards by the seventh card, the ranks held
// in it. A suit whose count plus the cards still to come is below five can
// never make a flush, so its cards are forgotten beyond their rank counts.
// States are numbered breadth first, one level per number of cards; this
// gives 1 + 52 + 1,326 + 22,100 + 84,448 + 152,607 + 352,443 states, which
// with the unused block 0 fill the table's 612,978 blocks of 53 entries.
// States of five and six cards hold their own value in entry 0; the
// transitions of six-card states hold the final values.
//
// Hand values: category * 4096 + rank within the category, ranks counted from
// 1 (weakest) upwards: 1,277 high cards, 2,860 pairs, 858 two pairs, 858
// trips, 10 straights, 1,277 flushes, 156 full houses, 156 quads and 10
// straight flushes, 7,462 classes in all.
#ifndef MORVANE_TPT_GENERATOR_H
#define MORVANE_TPT_GENERATOR_H

#include <cstdint>
#include <memory>
#include <string>

enum HandCategory {
  HIGH_CARD = 1,
  ONE_PAIR,
  TWO_PAIR,
  THREE_OF_A_KIND,
  STRAIGHT,
  FLUSH,
  FULL_HOUSE,
  FOUR_OF_A_KIND,
  STRAIGHT_FLUSH
};

constexpr int HAND_CLASSES = 7462;
// Number of five-card hand classes in each category, indexed by category.
constexpr int handClassesInCategory[10] = {0, 1277, 2860, 858, 858, 10, 1277, 156, 156, 10};

// Plain evaluation of 5 to 7 distinct cards (codes 0 .. 51) straight from the
// rules, without any table: the reference the state table is built from and
// checked against.
int referenceHandValue(const uint8_t* cards, int n);

// Value of the best five cards of a hand given by its per-rank counts and,
// when one suit holds five or more of its cards, the ranks of that suit
// (0 otherwise).
int handValueOfRanks(const uint8_t rankCount[13], unsigned flushRanks);

// The state table, TPT_SIZE integers. With `progress`, one line per level of
// states goes to standard output.
std::unique_ptr<int[]> generateTptTable(bool progress);

// The conversion table, TPT_INDEXES_SIZE integers: entry v is the rank of hand
// value v among the 7,462 classes (1 the worst, 7,462 the best), 0 where v is
// no hand value.
std::unique_ptr<int[]> generateTptIndexes();

// Generates and writes "<dir>/tpt" and "<dir>/tpt.indexes" (each written under
// a temporary name and renamed), creating the directory when it is missing.
// Progress goes to standard output. Returns false, after an "ERROR: " line on
// standard error, when the directory cannot be created.
bool writeTptFiles(const std::string& dir);

#endif  // MORVANE_TPT_GENERATOR_H
