// The street solver of the utility tables: CFR on the two-player game of one
// street, every seat keyed by the cluster of its cards (CFR::trainIS), then
// each seat's average utility per class of the round under the average
// strategies (CFR::fillUtility). EquityTables calls it through the function
// its owner hands in:
//
//   EquityTables tables;
//   tables.setStreetSolver(solveStreetGame);
//
// Deterministic for a given process random engine state; the utility fill's
// thread count (EquityTables::threads) does not change the result.
#ifndef MORVANE_STREET_SOLVER_H
#define MORVANE_STREET_SOLVER_H

#include "abstraction/EquityTables.h"

// Trains `game` (the street game of `round`) for tables.utilityIterations()
// iterations with progress lines, fills utilities[0] and utilities[1] (one
// double per class of the round) and prints the time of both steps.
void solveStreetGame(EquityTables& tables, const Game& game, int round,
                     double* const utilities[2]);

#endif
