// lookupgen: prepares the lookup directory of the working directory ahead of
// play, so that the hold'em agents start without generating anything: the
// evaluator state table, then round by round the equity, cluster, utility and
// hold'em bucket tables, each only where its file is missing, has the wrong
// size or fails its content check. A round whose equity tables are generated
// again gets new cluster, utility and bucket tables too, so every table
// belongs to the equities on disk. Rounds are released once prepared, so the
// river alone sets the peak memory.
#include <tclap/CmdLine.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

#include "abstraction/EquityTables.h"
#include "abstraction/equity_generator.h"
#include "cards/table_checks.h"
#include "cards/tpt.h"
#include "cards/tpt_generator.h"
#include "common/util.h"
#include "tablemaking/lookup_chain.h"
#include "tablemaking/street_solver.h"

namespace {

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

// Runs one step and reports what it did with the time it took.
void timed(const std::string& what, const std::function<bool()>& step) {
  const auto start = std::chrono::steady_clock::now();
  const bool made = step();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  char time[80];
  std::snprintf(time, sizeof time, "%.1f s (peak memory so far %ld MB)", seconds,
                usage.ru_maxrss / 1024);
  std::cout << what << (made ? ": made in " : ": loaded in ") << time << std::endl;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned threads = 0;
  std::string roundList;
  try {
    TCLAP::CmdLine cmd(
        "Prepares the lookup tables of the hold'em agents in the directory lookup/ of the "
        "working directory (created when missing): the evaluator state table lookup/tpt and, "
        "for each chosen round, its equity, cluster, two utility and five hold'em bucket "
        "tables. Each table is made only where its file is missing, has the wrong size or "
        "fails its content check, "
        "and a table made again is followed by every table derived from it. The utility "
        "tables solve the one-street games kuhn.preflop.2p.game, kuhn.flop.2p.game, "
        "kuhn.turn.2p.game and kuhn.river.2p.game, which must be in the working directory "
        "(copy them from games/). The river takes most of the time and about 5 GB of memory.",
        ' ', "1.0");
    TCLAP::ValueArg<unsigned> threadsArg(
        "t", "threads", "Threads generating equities and utilities (default 0: one per core)",
        false, 0, "N", cmd);
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
  // A street game is read only when its utilities are solved, which may be
  // after hours of work; a missing one is reported before any of it.
  for (int round = 0; round < 4; ++round) {
    if (!chosen[round]) continue;
    const std::string game = EquityTables::utilityGameFile(round);
    if (FILE* file = std::fopen(game.c_str(), "r")) {
      std::fclose(file);
    } else {
      std::fflush(stdout);
      std::fprintf(stderr, "ERROR: could not open game %s\n", game.c_str());
      return 1;
    }
  }
  randomize();

  // The state table and its conversion table; a damaged one is made again.
  if (loadStateTable()) {
    std::cout << "lookup/tpt is present" << std::endl;
    if (indexesPresent()) {
      std::cout << "lookup/tpt.indexes is present" << std::endl;
    } else {
      timed("lookup/tpt.indexes", [] {
        std::cout << "Generating lookup/tpt.indexes" << std::endl;
        saveIntTable("lookup/tpt.indexes", generateTptIndexes().get(), TPT_INDEXES_SIZE);
        return true;
      });
    }
  } else {
    timed("lookup/tpt", [] {
      if (!writeTptFiles("lookup")) std::exit(1);
      return true;
    });
  }

  EquityTables tables;
  tables.setThreads(threads);
  tables.setStreetSolver(solveStreetGame);
  // Every table is loaded and checked, so that a damaged one is made again
  // with everything derived from it.
  for (int round = 0; round < 4; ++round)
    if (chosen[round]) prepareLookupRound(tables, round, timed);
  std::cout << "Lookup tables ready" << std::endl;
  return 0;
}
