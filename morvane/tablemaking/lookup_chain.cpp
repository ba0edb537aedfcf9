#include "tablemaking/lookup_chain.h"

#include <cstdio>
#include <iostream>

void prepareLookupRound(EquityTables& tables, int round, const LookupStep& step) {
  static const char* const roundNames[4] = {"pre-flop", "flop", "turn", "river"};
  const std::string name = roundNames[round];
  bool newEquities = false, newClusters = false, newUtilities = false, newBuckets = false;
  step(name + " equity tables", [&] { return newEquities = tables.prepareEquityRound(round); });
  step(name + " cluster tables",
       [&] { return newClusters = tables.prepareClusterRound(round, newEquities); });
  // Utilities of equities made just now are stale.
  if (newEquities)
    for (int position = 0; position < 2; ++position)
      std::remove(EquityTables::utilityFileName(round, position).c_str());
  step(name + " utility tables", [&] { return newUtilities = tables.loadUtility(round); });
  // Bucket tables derive from the utilities: new utilities, new buckets.
  if (newUtilities)
    for (int players = 2; players <= 3; ++players)
      for (int position = 0; position < players; ++position)
        std::remove(EquityTables::holdemFileName(players, round, position).c_str());
  for (int players = 2; players <= 3; ++players)
    for (int position = 0; position < players; ++position)
      step(EquityTables::holdemFileName(players, round, position), [&] {
        const bool made = tables.loadHoldemTable(players, round, position);
        newBuckets = newBuckets || made;
        return made;
      });
  if (!newEquities && !newClusters && !newUtilities && !newBuckets)
    std::cout << "The " << name << " tables are present" << std::endl;
  tables.releaseRound(round);
}
