// Information-set keys: the text "seat:round:bucket:history" that names an
// information set in strategy files, in the keyed maps and in play, for
// example "1:0:2:cr". The history is the action text of every action so far,
// round after round, with no separators (one letter per abstract action:
// f, c, r). Numbers are decimal with no leading zeros.
//
// Every key the solver makes or reads goes through these functions; they
// keep no state of their own, so any number of threads may call them.
#ifndef MORVANE_INFOSET_KEY_H
#define MORVANE_INFOSET_KEY_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "game.h"

// "seat:round:bucket:", the part of a key before the history.
std::string infoSetKeyPrefix(uint64_t seat, uint64_t round, uint64_t bucket);

// The key of the seat to act in `state` with its card bucket.
std::string infoSetKey(const Game* game, const State* state, uint64_t bucket);

// The three numbers of a key, and where its history starts.
struct InfoSetKeyFields {
  uint64_t seat = 0;
  uint64_t round = 0;
  uint64_t bucket = 0;
  size_t history = 0;
};

// Reads the numbers of `key`; false unless each is written as the key format
// writes it (1 to 9 digits, no leading zero, then a ':').
bool parseInfoSetKey(const std::string& key, InfoSetKeyFields* fields);

#endif
