#include "abstraction/EquityTables.h"

#include <assert.h>
#include <cfloat>
#include <climits>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "abstraction/equity_generator.h"
#include "cards/table_checks.h"
#include "cards/tpt.h"
#include "cards/tpt_generator.h"
#include "common/game_file.h"
#include "common/check.h"
#include "common/util.h"

namespace {

const uint8_t preflop_structure[] = {2};
const uint8_t flop_structure[] = {2, 3};
const uint8_t turn_structure[] = {2, 4};
const uint8_t river_structure[] = {2, 5};

const char* const fileRoundNames[4] = {"preflop", "flop", "turn", "river"};
const char* const roundNames[4] = {"pre-flop", "flop", "turn", "river"};
const int knownCards[4] = {2, 5, 6, 7};
const uint64_t progressSteps[4] = {10, 1000, 1000, 1000};
const char* const unindexChecks[4] = {
    "hand_unindex(&preflop_indexer,0,index,hand)", "hand_unindex(&flop_indexer,1,index,hand)",
    "hand_unindex(&turn_indexer,1,index,hand)", "hand_unindex(&river_indexer,1,index,hand)"};

bool validPlayersRound(int players, int round) {
  return players >= 2 && players <= 3 && round >= 0 && round <= 3;
}

// The extremes start where the tables were always scanned from: the largest
// finite double for the minimum, the smallest positive normal one for the
// maximum.
void extremes(const double* table, uint64_t n, double& lo, double& hi) {
  lo = DBL_MAX;
  hi = DBL_MIN;
  for (uint64_t i = 0; i < n; ++i) {
    if (table[i] > hi) hi = table[i];
    if (table[i] < lo) lo = table[i];
  }
}

// round(scale * (x - lo) / (hi - lo)), half away from zero. A table whose
// entries are all equal (hi == lo) would divide zero by zero; it maps to 0.
long scaled(double x, double lo, double hi, double scale) {
  if (!(hi > lo)) return 0;
  return std::lround((x - lo) / (hi - lo) * scale);
}

[[noreturn]] void fatal(const std::string& message) {
  std::fflush(stdout);
  std::fprintf(stderr, "ERROR: %s\n", message.c_str());
  std::exit(1);
}

}  // namespace

EquityTables::EquityTables() {
  std::cout << "Creating indexers... " << std::flush;
  MORVANE_CHECK(hand_indexer_init(1, preflop_structure, &preflop_indexer));
  MORVANE_CHECK(hand_indexer_init(2, flop_structure, &flop_indexer));
  MORVANE_CHECK(hand_indexer_init(2, turn_structure, &turn_indexer));
  MORVANE_CHECK(hand_indexer_init(2, river_structure, &river_indexer));
  std::cout << "done!" << std::endl;
  for (auto& row : equityTable)
    for (double*& t : row) t = nullptr;
  for (auto& row : clusterTable)
    for (uint8_t*& t : row) t = nullptr;
  for (auto& players : holdemTable)
    for (auto& round : players)
      for (uint8_t*& t : round) t = nullptr;
  for (auto& players : utilityTable)
    for (auto& round : players)
      for (double*& t : round) t = nullptr;
  for (int p = 0; p < 4; ++p)
    for (int r = 0; r < 4; ++r) minEquity[p][r] = maxEquity[p][r] = 0.0;
}

// Everything the object holds is released here, the bucket, utility and
// cluster tables as well as the equity tables.
EquityTables::~EquityTables() {
  free();
  freeCluster();
  freeHoldemTables();
  freeUtility();
  hand_indexer_free(&preflop_indexer);
  hand_indexer_free(&flop_indexer);
  hand_indexer_free(&turn_indexer);
  hand_indexer_free(&river_indexer);
}

const hand_indexer_s* EquityTables::getIndexer(int round) const {
  switch (round) {
    case 0: return &preflop_indexer;
    case 1: return &flop_indexer;
    case 2: return &turn_indexer;
    case 3: return &river_indexer;
    default: return nullptr;
  }
}

uint64_t EquityTables::getRoundSize(int round) const {
  const hand_indexer_s* indexer = getIndexer(round);
  return indexer ? hand_indexer_size(indexer, indexRound(round)) : 0;
}

std::string EquityTables::equityFileName(int players, int round) {
  return std::string("lookup/") + fileRoundNames[round] + "_" + std::to_string(players) + "p";
}

std::string EquityTables::clusterFileName(int players, int round) {
  return equityFileName(players, round) + "_c";
}

std::string EquityTables::holdemFileName(int players, int round, int position) {
  return std::string("lookup/holdem_") + fileRoundNames[round] + "_" +
         std::to_string(players) + "p_" + std::to_string(position);
}

std::string EquityTables::utilityFileName(int round, int position) {
  return std::string("lookup/utility_") + fileRoundNames[round] + "_2p_" +
         std::to_string(position);
}

void EquityTables::printRoundSizes() const {
  std::cout << "pre-flop size: " << getRoundSize(0) << "\n"
            << "flop size: " << getRoundSize(1) << "\n"
            << "turn size: " << getRoundSize(2) << "\n"
            << "river size: " << getRoundSize(3) << std::endl;
}

// ---------------------------------------------------------------------------
// Equity tables

double* EquityTables::getEquityTable(int players, int round) const {
  return validPlayersRound(players, round) ? equityTable[players - 2][round] : nullptr;
}

void EquityTables::setEquityTable(int players, int round, double* table) {
  if (!validPlayersRound(players, round)) return;
  double*& slot = equityTable[players - 2][round];
  if (slot != table) delete[] slot;
  slot = table;
}

void EquityTables::free() {
  for (auto& row : equityTable)
    for (double*& t : row) {
      delete[] t;
      t = nullptr;
    }
}

void EquityTables::updateExtremes() {
  for (int players = 2; players <= 3; ++players)
    for (int round = 0; round < 4; ++round)
      if (equityTable[players - 2][round])
        extremes(equityTable[players - 2][round], getRoundSize(round), minEquity[players][round],
               maxEquity[players][round]);
}

std::unique_ptr<StateTable> EquityTables::loadStateTable() {
  if (table_file_ok("lookup/tpt", TPT_SIZE * sizeof(int))) {
    auto table = std::make_unique<StateTable>("lookup/tpt");
    if (tableAccepted("lookup/tpt", stateTableProblem(table->data()))) return table;
  }
  std::cout << "Generating the evaluator state table lookup/tpt..." << std::endl;
  if (!writeTptFiles("lookup")) std::exit(1);
  return std::make_unique<StateTable>("lookup/tpt");
}

void EquityTables::load() {
  printRoundSizes();
  free();

  // Every file is checked once, so a damaged one is reported once.
  int status[2][4] = {};  // 0 unchecked, 1 valid, -1 missing or damaged
  auto valid = [&](int players, int round) {
    int& s = status[players - 2][round];
    if (!s)
      s = table_file_ok(equityFileName(players, round), getRoundSize(round) * sizeof(double))
              ? 1
              : -1;
    return s > 0;
  };
  bool all = true;
  for (int players = 2; players <= 3 && all; ++players)
    for (int round = 0; round < 4 && all; ++round) all = valid(players, round);

  // Loads a round's two tables; false, with a warning, when one is damaged.
  bool loaded[4] = {};
  auto loadRound = [&](int round) {
    bool sound = true;
    for (int players = 2; players <= 3; ++players) {
      const std::string name = equityFileName(players, round);
      double* table = loadDoubleTable(name.c_str(), getRoundSize(round));
      setEquityTable(players, round, table);
      if (!tableAccepted(name, equityTableProblem(table, getRoundSize(round)))) {
        status[players - 2][round] = -1;
        sound = false;
      }
    }
    return loaded[round] = sound;
  };

  if (all) {
    for (int round = 0; round < 4; ++round) all = loadRound(round) && all;
    if (all) {
      std::cout << "Equity tables loaded from file!\n"
                << "Calculating max and min equities" << std::endl;
      updateExtremes();
      return;
    }
  }

  std::cout << "Generating equity lookup tables..." << std::endl;
  std::cout << "Loading twoplustwo table... " << std::flush;
  const std::unique_ptr<StateTable> stateTable = loadStateTable();
  std::cout << "done!" << std::endl;
  for (int round = 0; round < 4; ++round) {
    if (loaded[round]) continue;
    if (!(valid(2, round) && valid(3, round) && loadRound(round)))
      generateRound(round, stateTable->data());
  }
  updateExtremes();
}

void EquityTables::generateRound(int round, const int* stateTable) {
  assert(round >= 0 && round <= 3);
  const uint64_t n = getRoundSize(round);
  std::cout << "Indexing " << roundNames[round] << " hands..." << std::endl;
  double* table2p = new double[n];
  double* table3p = new double[n];

  const unsigned threads = equityThreads(threads_);
  const auto start = std::chrono::steady_clock::now();
  bool rateShown = false;
  // One line with the speed once a hundredth of the round is done.
  auto progress = [&](uint64_t index) {
    std::cout << static_cast<double>(index) / n * 100 << "% done" << std::endl;
    if (rateShown || index == 0 || index * 100 < n) return;
    rateShown = true;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double rate = seconds > 0 ? index / seconds : 0;
    char line[160];
    std::snprintf(line, sizeof line,
                  "%s: %.0f classes per second with %u threads, about %.0f s left",
                  roundNames[round], rate, threads, rate > 0 ? (n - index) / rate : 0.0);
    std::cout << line << std::endl;
  };
  const uint64_t seed = (static_cast<uint64_t>(global_urng()()) << 31) ^ global_urng()();
  const EquityRound desc{getIndexer(round), indexRound(round), knownCards[round],
                         unindexChecks[round]};
  generateEquities(stateTable, desc, 0, n, table2p, table3p, threads, seed,
                   progressSteps[round], progress);

  std::cout << "100% done!\n"
            << "Saving tables to files..." << std::endl;
  saveDoubleTable(equityFileName(2, round).c_str(), table2p, n);
  saveDoubleTable(equityFileName(3, round).c_str(), table3p, n);
  std::cout << "done!" << std::endl;
  setEquityTable(2, round, table2p);
  setEquityTable(3, round, table3p);
}

// ---------------------------------------------------------------------------
// Hold'em bucket tables

uint8_t* EquityTables::getHoldemTable(int players, int round, int position) const {
  if (!validPlayersRound(players, round) || position < 0 || position >= players) return nullptr;
  return holdemTable[players][round][position];
}

void computeHoldemBuckets(uint64_t n, const double* u, const double* e, uint8_t* out) {
  double uLo, uHi, eLo, eHi;
  extremes(u, n, uLo, uHi);
  extremes(e, n, eLo, eHi);
  for (uint64_t k = 0; k < n; ++k)
    out[k] = static_cast<uint8_t>(scaled(u[k], uLo, uHi, 1.0) * 5 + scaled(e[k], eLo, eHi, 4.0));
}

void EquityTables::loadHoldemTables() {
  for (int players = 2; players <= 3; ++players)
    for (int round = 0; round < 4; ++round)
      for (int position = 0; position < players; ++position)
        loadHoldemTable(players, round, position);
}

void EquityTables::loadHoldemRound(int round) {
  for (int players = 2; players <= 3; ++players)
    for (int position = 0; position < players; ++position)
      loadHoldemTable(players, round, position);
}

bool EquityTables::loadHoldemTable(int players, int round, int position) {
  assert(validPlayersRound(players, round) && position >= 0 && position < players);
  const uint64_t n = getRoundSize(round);
  const std::string name = holdemFileName(players, round, position);
  uint8_t*& slot = holdemTable[players][round][position];
  delete[] slot;
  slot = nullptr;
  if (table_file_ok(name, n)) {
    std::cout << "Loading table " << name << "!" << std::endl;
    slot = loadByteTable(name.c_str(), n);
    if (tableAccepted(name, bucketTableProblem(slot, n))) return false;
    delete[] slot;
    slot = nullptr;
  }
  std::cout << "File " << name << " is missing!\n"
            << "Computing hsut for " << players << " players and round " << round
            << std::endl;
  // The two-player utility table serves three players as well. Without it
  // the round's whole chain is prepared: equities, clusters, utilities.
  const int utilityPosition = position == 0 ? 0 : 1;
  if (!utilityTable[2][round][utilityPosition]) {
    // Utilities of equities made just now are stale.
    const bool newEquities = prepareEquityRound(round);
    prepareClusterRound(round, newEquities);
    if (newEquities)
      for (int p = 0; p < 2; ++p) std::remove(utilityFileName(round, p).c_str());
    loadUtility(round);
  } else if (!getEquityTable(players, round)) {
    prepareEquityRound(round);
  }
  slot = new uint8_t[n];
  computeHoldemBuckets(n, utilityTable[2][round][utilityPosition], getEquityTable(players, round),
                       slot);
  saveByteTable(name.c_str(), slot, n);
  return true;
}

void EquityTables::freeHoldemTables() {
  for (auto& players : holdemTable)
    for (auto& round : players)
      for (uint8_t*& t : round) {
        delete[] t;
        t = nullptr;
      }
}

int EquityTables::holdemTableIndex(int players, int round, int position,
                                   const uint8_t* cards) const {
  const uint8_t* table = getHoldemTable(players, round, position);
  assert(table);
  return table[hand_index_last(getIndexer(round), cards)];
}

// ---------------------------------------------------------------------------
// Utility tables

double* EquityTables::getUtilityTable(int round, int position) const {
  if (round < 0 || round > 3 || position < 0 || position > 1) return nullptr;
  return utilityTable[2][round][position];
}

void EquityTables::setUtilityTable(int round, int position, double* table) {
  if (round < 0 || round > 3 || position < 0 || position > 1) return;
  double*& slot = utilityTable[2][round][position];
  if (slot != table) delete[] slot;
  slot = table;
}

std::string EquityTables::utilityGameFile(int round) {
  return std::string("kuhn.") + fileRoundNames[round] + ".2p.game";
}

void EquityTables::loadUtility() {
  for (int round = 0; round < 4; ++round) loadUtility(round);
}

bool EquityTables::loadUtility(int round) {
  assert(round >= 0 && round <= 3);
  const uint64_t n = getRoundSize(round);
  bool loaded = true;
  for (int position = 0; position < 2 && loaded; ++position) {
    const std::string name = utilityFileName(round, position);
    if (table_file_ok(name, n * sizeof(double))) {
      std::cout << "Loading table " << name << "!" << std::endl;
      setUtilityTable(round, position, loadDoubleTable(name.c_str(), n));
      if (!tableAccepted(name, utilityTableProblem(getUtilityTable(round, position), n))) {
        setUtilityTable(round, position, nullptr);
        loaded = false;
      }
    } else {
      std::cout << "File " << name << " is missing!\n"
                << "Computing ne for " << 2 << " players and round " << round << std::endl;
      loaded = false;
    }
  }
  if (loaded) return false;
  solveUtility(round);
  return true;
}

void EquityTables::solveUtility(int round) {
  assert(round >= 0 && round <= 3);
  const uint64_t n = getRoundSize(round);
  if (!getEquityTable(2, round) && !(maxEquity[2][round] > minEquity[2][round]))
    fatal(std::string("the ") + roundNames[round] +
          " utility tables need its equity tables, which are not loaded");
  if (!getClusterTable(2, round))
    fatal(std::string("the ") + roundNames[round] +
          " utility tables need its cluster tables, which are not loaded");

  if (!streetSolver_)
    fatal(std::string("the ") + roundNames[round] +
          " utility tables must be made, and this program cannot solve street games");

  const std::string gameFile = utilityGameFile(round);
  std::cout << "Loading game " << gameFile << "!" << std::endl;
  std::string problem;
  const GamePtr game = readGameFile(gameFile, &problem);
  if (!game) {
    std::fflush(stdout);
    std::fprintf(stderr, "ERROR: %s\n", problem.c_str());
    std::exit(1);
  }

  double* tables[2] = {new double[n], new double[n]};
  streetSolver_(*this, *game, round, tables);
  setUtilityTable(round, 0, tables[0]);
  setUtilityTable(round, 1, tables[1]);
  saveDoubleTable(utilityFileName(round, 0).c_str(), tables[0], n);
  saveDoubleTable(utilityFileName(round, 1).c_str(), tables[1], n);
}

void EquityTables::freeUtility() {
  for (auto& players : utilityTable)
    for (auto& round : players)
      for (double*& t : round) {
        delete[] t;
        t = nullptr;
      }
}

bool EquityTables::prepareEquityRound(int round) {
  assert(round >= 0 && round <= 3);
  if (getEquityTable(2, round) && getEquityTable(3, round)) return false;
  const uint64_t n = getRoundSize(round);
  if (table_file_ok(equityFileName(2, round), n * sizeof(double)) &&
      table_file_ok(equityFileName(3, round), n * sizeof(double))) {
    bool sound = true;
    for (int players = 2; players <= 3 && sound; ++players) {
      const std::string name = equityFileName(players, round);
      setEquityTable(players, round, loadDoubleTable(name.c_str(), n));
      sound = tableAccepted(name, equityTableProblem(getEquityTable(players, round), n));
    }
    if (sound) {
      updateExtremes();
      return false;
    }
    for (int players = 2; players <= 3; ++players) setEquityTable(players, round, nullptr);
  }
  const std::unique_ptr<StateTable> stateTable = loadStateTable();
  generateRound(round, stateTable->data());
  updateExtremes();
  return true;
}

bool EquityTables::prepareClusterRound(int round, bool remake) {
  assert(round >= 0 && round <= 3);
  const uint64_t n = getRoundSize(round);
  bool made = false;
  for (int players = 2; players <= 3; ++players) {
    const std::string name = clusterFileName(players, round);
    if (!remake && getClusterTable(players, round)) continue;
    if (!remake && table_file_ok(name, n)) {
      setClusterTable(players, round, loadByteTable(name.c_str(), n));
      if (tableAccepted(name, clusterTableProblem(getClusterTable(players, round), n))) continue;
      setClusterTable(players, round, nullptr);
    }
    double* equity = getEquityTable(players, round);
    if (!equity) {
      prepareEquityRound(round);
      equity = getEquityTable(players, round);
    }
    std::cout << "generating " << roundNames[round] << " clusters " << players << "p"
              << std::endl;
    setClusterTable(players, round, doCluster(n, equity, name));
    made = true;
  }
  return made;
}

void EquityTables::releaseRound(int round) {
  if (round < 0 || round > 3) return;
  for (int players = 2; players <= 3; ++players) {
    setEquityTable(players, round, nullptr);
    setClusterTable(players, round, nullptr);
    for (int position = 0; position < players; ++position) {
      delete[] holdemTable[players][round][position];
      holdemTable[players][round][position] = nullptr;
    }
  }
  for (int position = 0; position < 2; ++position) setUtilityTable(round, position, nullptr);
}

void EquityTables::setEquityExtremes(int players, int round, double lo, double hi) {
  if (!validPlayersRound(players, round)) return;
  minEquity[players][round] = lo;
  maxEquity[players][round] = hi;
}

// ---------------------------------------------------------------------------
// Cluster tables

uint8_t* doCluster(unsigned long size, double* equity, std::string fileName) {
  double lo, hi;
  extremes(equity, size, lo, hi);
  uint8_t* clusters = new uint8_t[size];
  for (unsigned long i = 0; i < size; ++i)
    clusters[i] = static_cast<uint8_t>(scaled(equity[i], lo, hi, 100.0));
  saveByteTable(fileName.c_str(), clusters, size);
  return clusters;
}

void EquityTables::loadCluster() {
  printRoundSizes();
  std::cout << "loading clusters..." << std::endl;
  bool all = true;
  for (int players = 2; players <= 3 && all; ++players)
    for (int round = 0; round < 4 && all; ++round)
      all = table_file_ok(clusterFileName(players, round), getRoundSize(round));
  freeCluster();
  if (all) {
    for (int round = 0; round < 4; ++round)
      for (int players = 2; players <= 3 && all; ++players) {
        const std::string name = clusterFileName(players, round);
        uint8_t* table = loadByteTable(name.c_str(), getRoundSize(round));
        clusterTable[players - 2][round] = table;
        all = tableAccepted(name, clusterTableProblem(table, getRoundSize(round)));
      }
    if (all) {
      std::cout << "Cluster tables loaded from file!" << std::endl;
      return;
    }
    freeCluster();
  }
  for (int round = 0; round < 4; ++round)
    for (int players = 2; players <= 3; ++players) {
      std::cout << "generating " << roundNames[round] << " clusters " << players << "p"
                << std::endl;
      double* equity = getEquityTable(players, round);
      if (!equity) fatal("the cluster tables need the equity tables, which are not loaded");
      clusterTable[players - 2][round] =
          doCluster(getRoundSize(round), equity, clusterFileName(players, round));
    }
}

void EquityTables::freeCluster() {
  for (auto& row : clusterTable)
    for (uint8_t*& t : row) {
      delete[] t;
      t = nullptr;
    }
}

uint8_t* EquityTables::getClusterTable(int players, int round) const {
  return validPlayersRound(players, round) ? clusterTable[players - 2][round] : nullptr;
}

void EquityTables::setClusterTable(int players, int round, uint8_t* table) {
  if (!validPlayersRound(players, round)) return;
  uint8_t*& slot = clusterTable[players - 2][round];
  if (slot != table) delete[] slot;
  slot = table;
}

int EquityTables::getCluster(const uint8_t* cards, int players, int round) const {
  const uint8_t* table = getClusterTable(players, round);
  assert(table);
  return table[hand_index_last(getIndexer(round), cards)];
}

int EquityTables::getCluster(uint8_t classIndex, int players, int round) const {
  const uint8_t* table = getClusterTable(players, round);
  assert(table);
  return table[classIndex];
}

double EquityTables::clusterToEquity(uint8_t cluster, int players, int round) const {
  return cluster / 100.0 * (maxEquity[players][round] - minEquity[players][round]) +
         minEquity[players][round];
}

int EquityTables::equityToCluster(double equity, int players, int round) const {
  const double c = std::round((equity - minEquity[players][round]) /
                              (maxEquity[players][round] - minEquity[players][round]) * 100.0);
  // Not clamped to 0 .. 100; only kept within int (NaN, from extremes that
  // were never computed, gives 0).
  if (!(c == c)) return 0;
  if (c >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (c <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(c);
}

uint64_t EquityTables::findClusterIndex(uint8_t cluster, int players, int round) const {
  const uint8_t* table = getClusterTable(players, round);
  assert(table);
  const uint64_t n = getRoundSize(round);
  for (uint64_t i = 0; i < n; ++i)
    if (table[i] == cluster) return i;
  return n;
}

// The hand of the last matching class is the one a scan over all classes
// would leave behind; scanning from the end unindexes just that one.
bool EquityTables::findClusterIndexHand(uint8_t cluster, int players, int round,
                                        uint8_t* cards) const {
  const uint8_t* table = getClusterTable(players, round);
  assert(table);
  for (uint64_t i = getRoundSize(round); i-- > 0;)
    if (table[i] == cluster) return hand_unindex(getIndexer(round), indexRound(round), i, cards);
  return false;
}
