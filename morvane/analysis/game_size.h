// The size of a small-deck game as the solver enumerates it: every ordered
// deal of the cards one hand needs, times the decision nodes of the abstract
// betting tree (fold, call and a raise of size 0, walked as tree building
// walks it). Counting stops at the bound, so a game without a raise cap is
// measured in bounded time.
#ifndef MORVANE_GAME_SIZE_H
#define MORVANE_GAME_SIZE_H

#include <cstdint>
#include <string>

#include "game.h"

// Bounds of the games the small-deck solver trains and measures exactly.
// Three-player Kuhn poker has 24 deals of 12 betting nodes.
constexpr uint64_t MAX_BETTING_NODES = 1000;  // per deal
constexpr uint64_t MAX_DEAL_NODES = 100000;   // deals times betting nodes

// Ordered deals of the cards a hand needs from the game's deck; 0 when the
// deck is too small, and UINT64_MAX when the count does not fit.
uint64_t numDeals(const Game* game);

// Why the deals and the betting tree of `game` cannot be enumerated within
// the bounds above, or "" when they can.
std::string enumerationProblem(const Game* game);

#endif
