#include "tablemaking/street_solver.h"

#include <chrono>
#include <cstdio>
#include <iostream>

#include "solver/cfr.h"

void solveStreetGame(EquityTables& tables, const Game& game, int round,
                     double* const utilities[2]) {
  static const char* const roundNames[4] = {"pre-flop", "flop", "turn", "river"};
  // Table making always shows the progress of its long solves.
  const ProgressLines progress(true);
  CFR cfr(&game);
  cfr.setEquityTables(&tables);
  cfr.setFillThreads(tables.threads());
  const auto start = std::chrono::steady_clock::now();
  cfr.trainIS(tables.utilityIterations(), tables.getIndexer(round),
              static_cast<int>(EquityTables::indexRound(round)), round);
  const auto trained = std::chrono::steady_clock::now();
  double* out[2] = {utilities[0], utilities[1]};
  cfr.fillUtility(out, tables.getRoundSize(round), round);
  const auto filled = std::chrono::steady_clock::now();
  char line[160];
  std::snprintf(line, sizeof line, "%s utilities: trainIS %.1f s, fillUtility %.1f s",
                roundNames[round], std::chrono::duration<double>(trained - start).count(),
                std::chrono::duration<double>(filled - trained).count());
  std::cout << line << std::endl;
}
