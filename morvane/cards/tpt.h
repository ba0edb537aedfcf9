// The seven-card evaluator state table ("lookup/tpt") and its walk.
//
// This header is the one home of the walk: the qel module and the equity
// table builder both rank hands through these inline functions, passing the
// table as a plain int*.
//
// Layout: the table is a sequence of blocks of 53 integers. A state is the
// offset of its block. Entry state + card + 1 (cards 0 .. 51) is the next state
// or, after the seventh card, the hand value; entry state + 0 of a state
// reached after five or six cards is the value of those cards. The walk starts
// at the root state 53, so the first lookup is T[53 + card + 1]. The value is
// category * 4096 + rank within the category (categories 1, high card, to 9,
// straight flush; ranks from 1). The order of the cards never matters.
#ifndef MORVANE_TPT_H
#define MORVANE_TPT_H

#include <cstddef>
#include <cstdint>

constexpr size_t TPT_SIZE = 32487834;        // integers in "lookup/tpt"
constexpr size_t TPT_INDEXES_SIZE = 36875;   // integers in "lookup/tpt.indexes"
constexpr int TPT_ROOT = 53;                 // state before any card
constexpr int TPT_CATEGORY_SHIFT = 12;       // value >> 12 is the category

// One step of the walk: the state (or, from a six-card state, the value) after
// adding `card` to the cards that led to `state`.
inline int tptStep(const int* table, int state, uint8_t card) {
  return table[state + card + 1];
}

// State after feeding n cards from `state` on; keeps the hot loops of callers
// that share a prefix of cards between many hands.
inline int tptWalk(const int* table, int state, const uint8_t* cards, int n) {
  for (int i = 0; i < n; ++i) state = table[state + cards[i] + 1];
  return state;
}

inline int tptRank5(const int* table, const uint8_t* cards) {
  return table[tptWalk(table, TPT_ROOT, cards, 5)];
}

inline int tptRank6(const int* table, const uint8_t* cards) {
  return table[tptWalk(table, TPT_ROOT, cards, 6)];
}

inline int tptRank7(const int* table, const uint8_t* cards) {
  int s = table[TPT_ROOT + cards[0] + 1];
  s = table[s + cards[1] + 1];
  s = table[s + cards[2] + 1];
  s = table[s + cards[3] + 1];
  s = table[s + cards[4] + 1];
  s = table[s + cards[5] + 1];
  return table[s + cards[6] + 1];
}

inline int tptCategory(int value) { return value >> TPT_CATEGORY_SHIFT; }

#endif  // MORVANE_TPT_H
