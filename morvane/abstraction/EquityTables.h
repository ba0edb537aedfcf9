// The per-hand lookup tables of the hold'em side, indexed by suit-isomorphism
// class of the hand (hole cards and the board so far) in each betting round:
//   equity tables: the probability of beating one or two random opponents,
//     estimated by sampling (see equity_generator.h);
//   cluster tables: the equity placed linearly on 101 clusters 0 .. 100
//     between the smallest and the largest equity of its table;
//   hold'em bucket tables: 5 * utility bucket (0, 1) + equity bucket (0 .. 4),
//     one per player count, round and seat;
//   utility tables: a seat's expected utility in the two-player game of one
//     street, from an equilibrium of that game on the street's clusters (the
//     games "kuhn.<street>.2p.game" are read from the working directory and
//     solved by the street solver its owner hands in; see setStreetSolver).
// Bucket tables need the utilities, which need the clusters, which need the
// equities: a missing table makes whatever it needs first, round by round.
// Tables live as raw files under "lookup/" in the working directory: they are
// generated when missing and loaded afterwards. A file whose size is not the
// table's size is reported with a "Warning: " line and generated again.
//
// Rounds are 0 (pre-flop) to 3 (river); players is 2 or 3.
#ifndef MORVANE_EQUITY_TABLES_H
#define MORVANE_EQUITY_TABLES_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "cards/hand_index.h"

class StateTable;
struct Game;

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

  // Makes sure the two equity tables of a round are held: loaded from their
  // files, or generated and saved (then it returns true).
  bool prepareEquityRound(int round);
  // Makes sure the two cluster tables of a round are held: loaded from their
  // files, or made from the round's equity tables and saved, which `remake`
  // forces. Returns true when it made them.
  bool prepareClusterRound(int round, bool remake);

  // Hold'em bucket tables: loads the twenty tables, computing the missing
  // ones from the equity tables and the two-player utility tables. A round
  // whose utility tables are not held gets its equity, cluster and utility
  // tables first, loaded or made as needed.
  void loadHoldemTables();
  // The same for the five tables of one round.
  void loadHoldemRound(int round);
  // One table; true when it was computed rather than loaded.
  bool loadHoldemTable(int players, int round, int position);
  void freeHoldemTables();
  // Bucket (0 .. 9) of the hand (hole cards, then the board so far) for a
  // seat in a game of `players` players.
  int holdemTableIndex(int players, int round, int position, const uint8_t* cards) const;
  uint8_t* getHoldemTable(int players, int round, int position) const;

  // Utility tables of the two-player street games, [round][position]:
  // loads the eight tables, solving the street games whose files are missing
  // (see utilityGameFile), and saves what it computed.
  void loadUtility();
  // The two tables of one round; true when the street was solved.
  bool loadUtility(int round);
  // Solves the street game of a round and saves both of its tables, whatever
  // is on disk. Needs the round's equity and cluster tables.
  void solveUtility(int round);
  // CFR iterations per street (100,000 unless changed).
  void setUtilityIterations(uint64_t iterations) { utilityIterations_ = iterations; }
  uint64_t utilityIterations() const { return utilityIterations_; }
  unsigned threads() const { return threads_; }
  // Solves the two-player game of one street on the round's clusters and
  // writes each seat's utility per class of the round into utilities[0] and
  // utilities[1]. Solving games is the solver's work, a layer above these
  // tables, so the owner hands it in (tablemaking/street_solver.h); without
  // one, a utility table that must be made stops the program with an
  // "ERROR: " line.
  using StreetSolver = std::function<void(EquityTables& tables, const Game& game, int round,
                                          double* const utilities[2])>;
  void setStreetSolver(StreetSolver solver) { streetSolver_ = std::move(solver); }
  // The one-street game of a round, read from the working directory.
  static std::string utilityGameFile(int round);
  double* getUtilityTable(int round, int position) const;
  // Takes ownership of a new[] array, as setEquityTable.
  void setUtilityTable(int round, int position, double* table);
  void freeUtility();

  // Releases every table of a round (equity, cluster, utility and bucket).
  void releaseRound(int round);
  // Sets the extremes of an equity table that is not held, for callers that
  // work with cluster tables alone.
  void setEquityExtremes(int players, int round, double lo, double hi);

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
  uint64_t utilityIterations_ = 100000;
  StreetSolver streetSolver_;
};

// Bucket of every class from its two-player utility u and its equity e:
// 5 * round((u - min u) / (max u - min u)) + round(4 * (e - min e) / (max e -
// min e)), 0 .. 9, each scaled part 0 when its table is constant. The
// extremes are scanned from the largest finite double and the smallest
// positive normal one, as for the clusters.
void computeHoldemBuckets(uint64_t n, const double* u, const double* e, uint8_t* out);

// Clusters of an equity table: round(100 * (e - min) / (max - min)) per entry,
// saved under fileName. Returns a new[] array of size entries.
uint8_t* doCluster(unsigned long size, double* equity, std::string fileName);

#endif  // MORVANE_EQUITY_TABLES_H
