// The abstraction a player plays, chosen on the command line with
// "--abstraction NAME" (or "--abstraction=NAME") anywhere among the
// arguments: "standard" (the default: the bucket abstraction every game has)
// or "large" (finer cards and, in no-limit, bet sizes; two-player hold'em
// only). One home for the names and their parsing, shared by the player and
// the tools that measure it.
#ifndef MORVANE_ABSTRACTION_OPTION_H
#define MORVANE_ABSTRACTION_OPTION_H

#include <string>
#include <vector>

enum class Abstraction { standard, large };

// "standard, large": the names in the order of the enumeration.
const char* abstractionNameList();
const char* abstractionName(Abstraction abstraction);
// False for an unknown name.
bool parseAbstractionName(const std::string& name, Abstraction* abstraction);

// The game files (compared as a whole) the large abstraction plays.
bool largeAbstractionPlays(const std::string& gameFile);

// Why `abstraction` cannot play `gameFile` (a message without the "ERROR: "
// prefix), or "" when it can.
std::string abstractionRefusal(Abstraction abstraction, const std::string& gameFile);

struct AbstractionArguments {
  Abstraction abstraction = Abstraction::standard;
  std::vector<std::string> positional;  // every other argument, in order
  std::string error;                    // a missing or unknown name; "" if none
};

// Splits arguments 1 .. argc-1: the option (the last one counts if it is
// given twice) and the rest in order.
AbstractionArguments takeAbstractionOption(int argc, const char* const* argv);

#endif
