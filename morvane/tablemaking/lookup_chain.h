// The order in which the tables of one round are made ahead of play: equity,
// cluster, the two utility tables (a street solve), then the five hold'em
// bucket tables. Every table is loaded and checked, so that a damaged one is
// made again, and whatever derives from a table made just now is made again
// too: new equities make the utilities stale, new utilities the buckets.
#ifndef MORVANE_LOOKUP_CHAIN_H
#define MORVANE_LOOKUP_CHAIN_H

#include <functional>
#include <string>

#include "abstraction/EquityTables.h"

// Runs one step of the chain: `make` returns true when it made its table
// rather than loading it. The caller decides what to report (and may time it).
using LookupStep = std::function<void(const std::string& what, const std::function<bool()>& make)>;

// Prepares the tables of `round` (0 to 3) in the working directory's
// "lookup/", each step through `step`; then releases them. `tables` needs its
// street solver for missing utilities. Prints "The <round> tables are
// present" when nothing had to be made.
void prepareLookupRound(EquityTables& tables, int round, const LookupStep& step);

#endif
