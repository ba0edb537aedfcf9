// Content checks of the lookup files, run when a file of the right size is
// loaded: a same-size file with damaged entries must never crash a walk or
// bias a bucket silently. A table that fails is treated like a missing one:
// one "Warning: " line naming it, and it is made again.
//
// Each check costs little next to reading the file:
//   state table ("lookup/tpt"): every transition reachable from the root,
//     level by level for up to six cards, stays inside the table, so that no
//     walk can leave it; every hand value reached (five, six and seven
//     cards) is a valid value (category 1 to 9, rank within the category's
//     classes) or 0 for no hand; and 3,000 fixed pseudo-random hands of each
//     size rank in the same order as the engine's showdown ranking;
//   conversion table ("lookup/tpt.indexes"): the valid hand values, in
//     increasing order, map to the class ranks 1 to 7,462 in that order;
//   equity tables: every entry within [0, 1];
//   cluster tables: every entry 0 to 100;
//   hold'em bucket tables: every entry 0 to 9;
//   utility tables: every entry finite.
// Each returns why the table is damaged, or "" when it passes.
#ifndef MORVANE_TABLE_CHECKS_H
#define MORVANE_TABLE_CHECKS_H

#include <cstdint>
#include <string>

std::string stateTableProblem(const int* table);  // TPT_SIZE entries
std::string stateTableIndexesProblem(const int* indexes);  // TPT_INDEXES_SIZE entries
std::string equityTableProblem(const double* table, uint64_t n);
std::string clusterTableProblem(const uint8_t* table, uint64_t n);
std::string bucketTableProblem(const uint8_t* table, uint64_t n);
std::string utilityTableProblem(const double* table, uint64_t n);

// True when `problem` is empty; otherwise prints "Warning: PATH is damaged
// (PROBLEM) and is made again" on standard output and returns false.
bool tableAccepted(const std::string& path, const std::string& problem);

#endif
