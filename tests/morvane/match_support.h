// A match of our dealer with morvane and simplebots, for the tests that
// start the programs (they are given the programs' paths).
#ifndef TESTS_MORVANE_MATCH_SUPPORT_H
#define TESTS_MORVANE_MATCH_SUPPORT_H

#include <sstream>
#include <string>
#include <vector>

#include "support.h"

// One match of our dealer in `dir`: morvane (MORVANE_PATH, with
// `morvaneOptions` before the game file) in the first seat and a simplebot of
// each given policy in the others.
struct MatchRun {
  int morvaneStatus = -1;
  int dealerStatus = -1;
  std::string table;       // the dealer's standard output
  std::string log;         // the match log
  std::string morvaneOut;  // morvane's standard output and error
  std::string morvaneErr;
  // The errors and timeouts counted against morvane; false without its row.
  bool morvaneRow(unsigned& errors, unsigned& timeouts) const {
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
      std::istringstream fields(line);
      std::string name, total, mean, half;
      if (fields >> name >> total >> mean >> half >> errors >> timeouts && name == "morvane")
        return true;
    }
    return false;
  }
};

inline MatchRun playMatch(const std::string& dir, const std::string& gameFile, int hands,
                          unsigned seed, const std::vector<std::string>& policies,
                          const std::string& morvaneOptions = "") {
  std::string names = "morvane";
  for (const std::string& policy : policies) names += " " + policy;
  std::string script = "cd '" + dir + "' && { '" DEALER_PATH "' --log match.log test " + gameFile +
                       " " + std::to_string(hands) + " " + std::to_string(seed) + " " + names +
                       " > dealer.out 2> dealer.err & dealer=$!; "
                       "for i in $(seq 100); do grep -q '^ports ' dealer.out 2>/dev/null && "
                       "break; sleep 0.1; done; "
                       "set -- $(head -1 dealer.out); "
                       "'" MORVANE_PATH "' " + morvaneOptions + " " + gameFile +
                       " localhost $2 > morvane.out 2> morvane.err & m=$!; ";
  for (size_t i = 0; i < policies.size(); ++i)
    script += "'" SIMPLEBOT_PATH "' --policy " + policies[i] + " --seed " +
              std::to_string(seed + i + 1) + " " + gameFile + " localhost $" +
              std::to_string(i + 3) + " > /dev/null 2>&1 & ";
  script += "wait $m; ms=$?; wait $dealer; ds=$?; wait; echo $ms $ds > status; }";
  MatchRun run;
  if (std::system(script.c_str()) != 0) return run;
  std::istringstream status(slurp(dir + "/status"));
  status >> run.morvaneStatus >> run.dealerStatus;
  run.table = slurp(dir + "/dealer.out");
  run.log = slurp(dir + "/match.log");
  run.morvaneOut = slurp(dir + "/morvane.out");
  run.morvaneErr = slurp(dir + "/morvane.err");
  return run;
}

#endif
