// The --abstraction option: anywhere on the line, unknown names, refused games.
#include "common/abstraction_option.h"

#include <gtest/gtest.h>

namespace {

AbstractionArguments take(std::vector<const char*> args) {
  args.insert(args.begin(), "morvane");
  return takeAbstractionOption(static_cast<int>(args.size()), args.data());
}

using Positional = std::vector<std::string>;

TEST(AbstractionOption, RecognisedAnywhereLeavingThePositionalArgumentsInOrder) {
  const Positional expected = {"game", "host", "9000"};
  AbstractionArguments a = take({"game", "host", "9000"});
  EXPECT_EQ(a.abstraction, Abstraction::standard);
  EXPECT_EQ(a.positional, expected);
  EXPECT_TRUE(a.error.empty());
  for (auto args : {std::vector<const char*>{"--abstraction", "large", "game", "host", "9000"},
                    std::vector<const char*>{"game", "--abstraction", "large", "host", "9000"},
                    std::vector<const char*>{"game", "host", "9000", "--abstraction=large"}}) {
    a = take(args);
    EXPECT_EQ(a.abstraction, Abstraction::large);
    EXPECT_EQ(a.positional, expected);
    EXPECT_TRUE(a.error.empty());
  }
  a = take({"--abstraction", "large", "game", "--abstraction", "standard", "host", "9000"});
  EXPECT_EQ(a.abstraction, Abstraction::standard);
}

TEST(AbstractionOption, UnknownOrMissingNamesAreErrors) {
  AbstractionArguments a = take({"game", "--abstraction", "huge", "host", "9000"});
  EXPECT_EQ(a.error, "unknown abstraction 'huge' (standard, large)");
  EXPECT_EQ(a.positional, (Positional{"game", "host", "9000"}));
  a = take({"game", "host", "9000", "--abstraction"});
  EXPECT_EQ(a.error, "--abstraction needs a name (standard, large)");
  EXPECT_FALSE(take({"--abstraction="}).error.empty());
  Abstraction parsed = Abstraction::standard;
  EXPECT_FALSE(parseAbstractionName("Large", &parsed));
  EXPECT_TRUE(parseAbstractionName("large", &parsed));
  EXPECT_EQ(parsed, Abstraction::large);
  EXPECT_STREQ(abstractionName(parsed), "large");
}

TEST(AbstractionOption, LargeOnlyForTheTwoPlayerHoldemGames) {
  EXPECT_EQ(abstractionRefusal(Abstraction::large, "holdem.limit.2p.reverse_blinds.game"), "");
  EXPECT_EQ(abstractionRefusal(Abstraction::large, "holdem.nolimit.2p.reverse_blinds.game"), "");
  for (const char* game : {"holdem.limit.3p.game", "kuhn.limit.3p.game",
                           "./holdem.limit.2p.reverse_blinds.game"})
    EXPECT_NE(abstractionRefusal(Abstraction::large, game).find(std::string("not ") + game),
              std::string::npos);
  for (const char* game : {"holdem.limit.3p.game", "kuhn.limit.3p.game"})
    EXPECT_EQ(abstractionRefusal(Abstraction::standard, game), "");
}

}  // namespace
