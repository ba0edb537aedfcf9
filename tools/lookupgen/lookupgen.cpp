// lookupgen: prepares the lookup directory of the working directory ahead of
// play, so that the hold'em agents start without generating anything: the
// evaluator state table, then the equity tables and the cluster tables of the
// chosen rounds, each only where its file is missing or has the wrong size.
// A round whose equity tables are generated again gets new cluster tables
// too, so the clusters always belong to the equities on disk. A file of the
// right size whose contents fail their check is made again like a missing
// one.
#include <tclap/CmdLine.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "EquityTables.h"
#include "equity_generator.h"
#include "table_checks.h"
#include "tpt.h"
#include "tpt_generator.h"
#include "util.h"

namespace {

const char* const kRoundNames[4] = {"pre-flop", "flop", "turn", "river"};

[[noreturn]] void fail(const std::string& message) {
  std::fflush(stdout);
  std::fprintf(stderr, "ERROR: %s\n", message.c_str());
  std::exit(1);
}

// "preflop,flop", "0,1", "all": which rounds to prepare.
std::vector<bool> parseRounds(const std::string& list) {
  std::vector<bool> chosen(4, false);
  const std::vector<std::string> pieces = split(list, ',');
  if (pieces.empty()) fail("--rounds names no round");
  for (const std::string& piece : pieces) {
    if (piece == "all") {
      chosen.assign(4, true);
      continue;
    }
    int round = -1;
    if (piece == "preflop" || piece == "pre-flop" || piece == "0") round = 0;
    if (piece == "flop" || piece == "1") round = 1;
    if (piece == "turn" || piece == "2") round = 2;
    if (piece == "river" || piece == "3") round = 3;
    if (round < 0)
      fail("unknown round '" + piece + "' in --rounds (use preflop, flop, turn, river, 0 to 3 "
           "or all)");
    chosen[round] = true;
  }
  return chosen;
}

// A table file is present when it has its size and its contents pass their
// check; a damaged one is reported and made again.
bool equityPresent(const EquityTables& tables, int round) {
  const uint64_t n = tables.getRoundSize(round);
  for (int players = 2; players <= 3; ++players) {
    const std::string name = EquityTables::equityFileName(players, round);
    if (!table_file_ok(name, n * sizeof(double))) return false;
    const std::unique_ptr<double[]> table(loadDoubleTable(name.c_str(), n));
    if (!tableAccepted(name, equityTableProblem(table.get(), n))) return false;
  }
  return true;
}

bool clusterPresent(const std::string& name, uint64_t n) {
  if (!table_file_ok(name, n)) return false;
  const std::unique_ptr<uint8_t[]> table(loadByteTable(name.c_str(), n));
  return tableAccepted(name, clusterTableProblem(table.get(), n));
}

// The evaluator state table, checked; null when it is missing or damaged.
std::unique_ptr<StateTable> loadStateTable() {
  if (!table_file_ok("lookup/tpt", TPT_SIZE * sizeof(int))) return nullptr;
  auto table = std::make_unique<StateTable>("lookup/tpt");
  if (!tableAccepted("lookup/tpt", stateTableProblem(table->data()))) return nullptr;
  return table;
}

bool indexesPresent() {
  if (!table_file_ok("lookup/tpt.indexes", TPT_INDEXES_SIZE * sizeof(int))) return false;
  const std::unique_ptr<int[]> indexes(loadIntTable("lookup/tpt.indexes", TPT_INDEXES_SIZE));
  return tableAccepted("lookup/tpt.indexes", stateTableIndexesProblem(indexes.get()));
}

}  // namespace

int main(int argc, char** argv) {
  unsigned threads = 0;
  std::string roundList;
  try {
    TCLAP::CmdLine cmd(
        "Prepares the lookup tables of the hold'em agents in the directory lookup/ of the "
        "working directory (created when missing): the evaluator state table lookup/tpt, the "
        "equity tables and the cluster tables of the chosen rounds. Each table is made only "
        "where its file is missing or has the wrong size; the others are left as they are. "
        "The river takes most of the time and about 2.2 GB of memory.",
        ' ', "1.0");
    TCLAP::ValueArg<unsigned> threadsArg(
        "t", "threads", "Threads generating equities (default 0: one per core)", false, 0, "N",
        cmd);
    TCLAP::ValueArg<std::string> roundsArg(
        "r", "rounds",
        "Comma-separated rounds to prepare: preflop, flop, turn, river (or 0 to 3), or all "
        "(the default)",
        false, "all", "LIST", cmd);
    cmd.parse(argc, argv);
    threads = threadsArg.getValue();
    roundList = roundsArg.getValue();
  } catch (TCLAP::ArgException& e) {
    fail(e.error() + " for " + e.argId());
  }
  const std::vector<bool> chosen = parseRounds(roundList);
  if (threads > 1024) fail("--threads must be at most 1024");

  struct stat st;
  if (stat("lookup", &st) != 0 && mkdir("lookup", 0755) != 0)
    fail("cannot create the directory lookup");
  randomize();

  // Kept for the equity generation.
  std::unique_ptr<StateTable> stateTable = loadStateTable();
  if (stateTable) {
    std::cout << "lookup/tpt is present" << std::endl;
    if (indexesPresent()) {
      std::cout << "lookup/tpt.indexes is present" << std::endl;
    } else {
      std::cout << "Generating lookup/tpt.indexes" << std::endl;
      saveIntTable("lookup/tpt.indexes", generateTptIndexes().get(), TPT_INDEXES_SIZE);
    }
  } else if (!writeTptFiles("lookup")) {
    return 1;
  }

  EquityTables tables;
  tables.setThreads(threads);
  std::vector<bool> regenerated(4, false);
  for (int round = 0; round < 4; ++round) {
    if (!chosen[round]) continue;
    if (equityPresent(tables, round)) {
      std::cout << "The " << kRoundNames[round] << " equity tables are present" << std::endl;
      continue;
    }
    if (!stateTable) stateTable = std::make_unique<StateTable>("lookup/tpt");
    tables.generateRound(round, stateTable->data());
    tables.free();
    regenerated[round] = true;
  }
  stateTable.reset();

  for (int round = 0; round < 4; ++round) {
    if (!chosen[round]) continue;
    const uint64_t n = tables.getRoundSize(round);
    for (int players = 2; players <= 3; ++players) {
      const std::string name = EquityTables::clusterFileName(players, round);
      if (!regenerated[round] && clusterPresent(name, n)) {
        std::cout << name << " is present" << std::endl;
        continue;
      }
      std::cout << "generating " << kRoundNames[round] << " clusters " << players << "p"
                << std::endl;
      double* equity = loadDoubleTable(EquityTables::equityFileName(players, round).c_str(), n);
      delete[] doCluster(n, equity, name);
      delete[] equity;
    }
  }
  std::cout << "Lookup tables ready" << std::endl;
  return 0;
}
