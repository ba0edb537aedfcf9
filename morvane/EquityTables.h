// The per-hand lookup tables of the hold'em side, indexed by suit-isomorphism
// class of the hand (hole cards and the board so far) in each betting round:
//   equity tables: the probability of beating one or two random opponents,
//     estimated by sampling (see equity_generator.h);
//   cluster tables: the equity placed linearly on 101 clusters 0 .. 100
//     between the smallest and the largest equity of its table;
//   hold'em bucket tables: 5 * utility bucket (0, 1) + equity bucket (0 .. 4),
//     one per player count, round and seat;
//   utility tables: a seat's expected utility in the two-player game of one
//     street.
// Tables live as raw files under "lookup/" in the working directory: they are
// generated when missing and loaded afterwards. A file whose size is not the
// table's size is reported with a "Warning: " line and generated again.
//
// Rounds are 0 (pre-flop) to 3 (river); players is 2 or 3.
#ifndef MORVANE_EQUITY_TABLES_H
#define MORVANE_EQUITY_TABLES_H

#include <cstdint>
#include <memory>
#include <string>

#include "hand_index.h"

class StateTable;

class EquityTables {
 public:
  EquityTables();
  virtual ~EquityTables();
  EquityTables(const EquityTables&) = delete;
  EquityTables& operator=(const EquityTables&) = delete;

  // Equity tables: loads the eight tables, generating the rounds whose files
  // are missing, and computes the extremes of every table.
  void load();
  // Releases the eight equity tables.
  void free();

  uint64_t getRoundSize(int round) const;
  double* getEquityTable(int players, int round) const;
  // Takes ownership of a new[] array; a different table held before is
  // released.
  void setEquityTable(int players, int round, double* table);
  double getMinEquity(int players, int round) const { return minEquity[players][round]; }
  double getMaxEquity(int players, int round) const { return maxEquity[players][round]; }
  // Recomputes the extremes of every equity table held (load does this).
  void updateExtremes();

  // Threads used when generating equities (0, the default: one per core).
  void setThreads(unsigned threads) { threads_ = threads; }
  // Generates the two equity tables of a round with the given state table,
  // keeps them and saves them to the round's files, with progress lines.
  void generateRound(int round, const int* stateTable);
  // Loads "lookup/tpt", generating it first when it is missing or damaged.
  static std::unique_ptr<StateTable> loadStateTable();

  // Hold'em bucket tables: loads the twenty tables, computing the missing
  // ones from the equity tables and the two-player utility tables.
  void loadHoldemTables();
  void freeHoldemTables();
  // Bucket (0 .. 9) of the hand (hole cards, then the board so far) for a
  // seat in a game of `players` players.
  int holdemTableIndex(int players, int round, int position, const uint8_t* cards) const;
  uint8_t* getHoldemTable(int players, int round, int position) const;

  // Utility tables of the two-player street games, [round][position].
  double* getUtilityTable(int round, int position) const;
  // Takes ownership of a new[] array, as setEquityTable.
  void setUtilityTable(int round, int position, double* table);
  void freeUtility();

  // Cluster tables: loads the eight tables, or rebuilds all eight from the
  // equity tables when any file is missing.
  void loadCluster();
  void freeCluster();
  uint8_t* getClusterTable(int players, int round) const;
  // Takes ownership of a new[] array, as setEquityTable.
  void setClusterTable(int players, int round, uint8_t* table);
  int getCluster(const uint8_t* cards, int players, int round) const;
  // By class index; a byte reaches the 169 pre-flop classes.
  int getCluster(uint8_t classIndex, int players, int round) const;
  double clusterToEquity(uint8_t cluster, int players, int round) const;
  int equityToCluster(double equity, int players, int round) const;
  // Smallest class of the round in the cluster, or the round size if none.
  uint64_t findClusterIndex(uint8_t cluster, int players, int round) const;
  // Writes the canonical hand of the last class of the round in the cluster;
  // false, cards untouched, when no class is in it.
  bool findClusterIndexHand(uint8_t cluster, int players, int round, uint8_t* cards) const;

  // The indexer of a round and the index round its classes belong to.
  const hand_indexer_s* getIndexer(int round) const;
  static uint64_t indexRound(int round) { return round == 0 ? 0 : 1; }

  // File names under "lookup/".
  static std::string equityFileName(int players, int round);
  static std::string clusterFileName(int players, int round);
  static std::string holdemFileName(int players, int round, int position);
  static std::string utilityFileName(int round, int position);

 private:
  void printRoundSizes() const;
  hand_indexer_s* indexerOf(int round);

  hand_indexer_s preflop_indexer;
  hand_indexer_s flop_indexer;
  hand_indexer_s turn_indexer;
  hand_indexer_s river_indexer;
  double* equityTable[2][4];       // [players - 2][round]
  uint8_t* clusterTable[2][4];     // [players - 2][round]
  uint8_t* holdemTable[4][4][3];   // [players][round][position]
  double* utilityTable[4][4][3];   // [players][round][position]; players 2 only
  double maxEquity[4][4];          // [players][round]
  double minEquity[4][4];
  unsigned threads_ = 0;
};

// Clusters of an equity table: round(100 * (e - min) / (max - min)) per entry,
// saved under fileName. Returns a new[] array of size entries.
uint8_t* doCluster(unsigned long size, double* equity, std::string fileName);

#endif  // MORVANE_EQUITY_TABLES_H
