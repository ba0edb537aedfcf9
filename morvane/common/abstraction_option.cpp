#include "common/abstraction_option.h"

#include <cstring>

namespace {

constexpr const char* OPTION = "--abstraction";

}  // namespace

const char* abstractionNameList() { return "standard, large"; }

const char* abstractionName(Abstraction abstraction) {
  return abstraction == Abstraction::large ? "large" : "standard";
}

bool parseAbstractionName(const std::string& name, Abstraction* abstraction) {
  if (name == "standard") {
    *abstraction = Abstraction::standard;
    return true;
  }
  if (name == "large") {
    *abstraction = Abstraction::large;
    return true;
  }
  return false;
}

bool largeAbstractionPlays(const std::string& gameFile) {
  return gameFile == "holdem.limit.2p.reverse_blinds.game" ||
         gameFile == "holdem.nolimit.2p.reverse_blinds.game";
}

std::string abstractionRefusal(Abstraction abstraction, const std::string& gameFile) {
  if (abstraction == Abstraction::standard || largeAbstractionPlays(gameFile)) return "";
  return "the large abstraction plays holdem.limit.2p.reverse_blinds.game and "
         "holdem.nolimit.2p.reverse_blinds.game only, not " +
         gameFile;
}

AbstractionArguments takeAbstractionOption(int argc, const char* const* argv) {
  AbstractionArguments result;
  const size_t optionLength = std::strlen(OPTION);
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    std::string name;
    if (argument == OPTION) {
      if (i + 1 >= argc) {
        result.error = std::string(OPTION) + " needs a name (" + abstractionNameList() + ")";
        continue;
      }
      name = argv[++i];
    } else if (argument.compare(0, optionLength + 1, std::string(OPTION) + "=") == 0) {
      name = argument.substr(optionLength + 1);
    } else {
      result.positional.push_back(argument);
      continue;
    }
    if (!parseAbstractionName(name, &result.abstraction))
      result.error = "unknown abstraction '" + name + "' (" + abstractionNameList() + ")";
  }
  return result;
}
