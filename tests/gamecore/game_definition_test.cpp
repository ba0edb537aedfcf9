// Reading, checking and printing game definitions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "same_game.h"
#include "test_games.h"

namespace {

// A valid two-seat limit game; the rejection cases below edit one line.
std::string baseGame(const std::string& replaceKey = "", const std::string& replacement = "") {
  std::vector<std::pair<std::string, std::string>> lines = {
      {"gamedef", "GAMEDEF"},          {"betting", "limit"},
      {"players", "numPlayers = 2"},   {"rounds", "numRounds = 2"},
      {"stack", "stack = 100 100"},    {"blind", "blind = 2 1"},
      {"raise", "raiseSize = 2 4"},    {"first", "firstPlayer = 2 1"},
      {"suits", "numSuits = 4"},       {"ranks", "numRanks = 13"},
      {"hole", "numHoleCards = 2"},    {"board", "numBoardCards = 0 3"},
      {"end", "END GAMEDEF"}};
  std::string text;
  for (auto& [key, line] : lines) {
    const std::string& chosen = key == replaceKey ? replacement : line;
    if (!chosen.empty()) text += chosen + "\n";
  }
  return text;
}

std::string rejection(const std::string& text) {
  testing::internal::CaptureStderr();
  GamePtr game = parseGame(text);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(game, nullptr) << text;
  return err;
}

TEST(GameDefinition, ReadsEveryField) {
  GamePtr game = parseGame(baseGame());
  ASSERT_NE(game, nullptr);
  EXPECT_EQ(game->bettingType, limitBetting);
  EXPECT_EQ(game->numPlayers, 2);
  EXPECT_EQ(game->numRounds, 2);
  EXPECT_EQ(game->stack[0], 100);
  EXPECT_EQ(game->blind[0], 2);
  EXPECT_EQ(game->blind[1], 1);
  EXPECT_EQ(game->raiseSize[1], 4);
  EXPECT_EQ(game->firstPlayer[0], 1);  // 1-based in the text
  EXPECT_EQ(game->firstPlayer[1], 0);
  EXPECT_EQ(game->maxRaises[0], 255);
  EXPECT_EQ(game->numSuits, 4);
  EXPECT_EQ(game->numRanks, 13);
  EXPECT_EQ(game->numHoleCards, 2);
  EXPECT_EQ(game->numBoardCards[0], 0);
  EXPECT_EQ(game->numBoardCards[1], 3);
}

struct Rejection {
  std::string key;
  std::string line;
  std::string message;
};

TEST(GameDefinition, EachCheckRejectsWithItsMessage) {
  const std::vector<Rejection> cases = {
      {"rounds", "numRounds = 0", "invalid number of rounds: 0\n"},
      {"rounds", "numRounds = 5", "invalid number of rounds: 5\n"},
      {"players", "numPlayers = 1", "invalid number of players: 1\n"},
      {"players", "numPlayers = 11", "invalid number of players: 11\n"},
      {"stack", "stack = 100", "only read 1 stack sizes, need 2\n"},
      {"blind", "", "only read 0 blinds, need 2\n"},
      {"blind", "blind = 2 101", "blind for player 2 is greater than stack size\n"},
      {"raise", "raiseSize = 2", "only read 1 raise sizes, need 2\n"},
      {"first", "firstPlayer = 0 1", "invalid first player 0 on round 1\n"},
      {"first", "firstPlayer = 1 3", "invalid first player 3 on round 2\n"},
      {"suits", "numSuits = 5", "invalid number of suits: 5\n"},
      {"suits", "", "invalid number of suits: 0\n"},
      {"ranks", "numRanks = 14", "invalid number of ranks: 14\n"},
      {"hole", "numHoleCards = 4", "invalid number of hole cards: 4\n"},
      {"board", "numBoardCards = 0", "only read 1 board card numbers, need 2\n"},
      {"ranks", "numRanks = 1", "too many hole and board cards for specified deck\n"},
      // The hand record holds seven board cards in all.
      {"board", "numBoardCards = 4 4", "too many board cards: 8 in all rounds, at most 7\n"},
      // Negative amounts would make chips out of nothing.
      {"stack", "stack = -5 100", "invalid stack for player 1: -5\n"},
      {"blind", "blind = 2 -1", "invalid blind for player 2: -1\n"},
      {"blind", "blind = -2147483648 1", "invalid blind for player 1: -2147483648\n"},
      {"raise", "raiseSize = 2 -4", "invalid raise size on round 2: -4\n"},
      // Every seat all-in from its blind: nobody could ever be asked to act.
      {"blind", "blind = 100 100", "no player can act: every player is all-in from the blinds\n"},
  };
  for (const Rejection& c : cases) EXPECT_EQ(rejection(baseGame(c.key, c.line)), c.message) << c.line;
}

TEST(GameDefinition, ChecksRunInOrder) {
  // Both the round count and the player count are wrong: rounds come first.
  EXPECT_EQ(rejection("numRounds = 9\nnumPlayers = 0\n"), "invalid number of rounds: 9\n");
  // An empty file fails the first check.
  EXPECT_EQ(rejection(""), "invalid number of rounds: 0\n");
}

TEST(GameDefinition, DefaultStacksCoverFourSeats) {
  const std::string common =
      "limit\nnumRounds 1\nraisesize 2\nnumSuits 4\nnumRanks 13\nnumHoleCards 1\nnumBoardCards 0\n";
  GamePtr four = parseGame(common + "numPlayers = 4\nblind = 1 2 0 0\n");
  ASSERT_NE(four, nullptr);
  EXPECT_EQ(four->stack[3], 2147483647);
  EXPECT_EQ(printedGame(four.get()).find("stack"), std::string::npos);

  EXPECT_EQ(rejection(common + "numPlayers = 5\nblind = 1 2 0 0 0\n"), "only read 4 stack sizes, need 5\n");
}

TEST(GameDefinition, KeywordLinesAloneAreAGame) {
  // No "gamedef" or "end gamedef" line; keywords in any case; comments, blank
  // lines and unknown lines are skipped.
  GamePtr game = parseGame(
      "# comment\n\nNUMPLAYERS 2\nNumRounds 1\nBLIND 1 2\nunknown keyword 99\nraisesize 3\n"
      "numsuits 1\nnumranks 5\nnumholecards 2\nnumboardcards 1\n");
  ASSERT_NE(game, nullptr);
  EXPECT_EQ(game->numPlayers, 2);
  EXPECT_EQ(game->blind[1], 2);
  EXPECT_EQ(game->numBoardCards[0], 1);
  // A commented-out required line counts as missing.
  EXPECT_EQ(rejection("#numRounds 1\n"), "invalid number of rounds: 0\n");
}

TEST(GameDefinition, ValueSeparatorsAndLongerWords) {
  GamePtr game = parseGame(
      "numplayers2\nnumRounds = 1\nstack= 7 =8\nblind=1=2\nraisesize 3 4 5 6 7 8\n"
      "numSuits=1\nnumranks 5\nnumholecards\t2\nnumboardcards 1\n");
  ASSERT_NE(game, nullptr);
  EXPECT_EQ(game->numPlayers, 2);
  EXPECT_EQ(game->stack[0], 7);
  EXPECT_EQ(game->stack[1], 8);
  EXPECT_EQ(game->blind[1], 2);
  EXPECT_EQ(game->raiseSize[0], 3);
  EXPECT_EQ(game->raiseSize[3], 6);  // only the first four values are kept
  EXPECT_EQ(game->numHoleCards, 2);
}

TEST(GameDefinition, LongerWordsMatchButTheirLettersAreNoValues) {
  // "stacksize" matches "stack"; its values would start at "size".
  EXPECT_EQ(rejection(baseGame("stack", "stacksize = 100 100")), "only read 0 stack sizes, need 2\n");
  EXPECT_EQ(rejection(baseGame("hole", "NumHoleCards: 2")), "invalid number of hole cards: 0\n");
}

TEST(GameDefinition, ListsStopAtTheFirstNonNumber) {
  // "x" stops the stack list after one value, so only one stack is read.
  EXPECT_EQ(rejection(baseGame("stack", "stack = 100 x 100")), "only read 1 stack sizes, need 2\n");
}

TEST(GameDefinition, LaterLinesOverwrite) {
  std::string text = baseGame("end", "blind = 4\nnumPlayers 2");
  // The second blind line replaces the count, so only one blind is read.
  EXPECT_EQ(rejection(text), "only read 1 blinds, need 2\n");
  GamePtr again = parseGame(baseGame("end", "stack = 50\nstack = 60 70"));
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->stack[0], 60);
  EXPECT_EQ(again->stack[1], 70);
}

TEST(GameDefinition, ReadingStopsAtEndLine) {
  const std::string text = baseGame() + "numPlayers = 7\n";
  FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  GamePtr game(readGame(in));
  ASSERT_NE(game, nullptr);
  EXPECT_EQ(game->numPlayers, 2);
  char rest[64];
  ASSERT_NE(fgets(rest, sizeof(rest), in), nullptr);  // left just behind the end line
  EXPECT_STREQ(rest, "numPlayers = 7\n");
  fclose(in);
}

TEST(GameDefinition, NoLimitNeedsNoRaiseSizes) {
  GamePtr game = parseGame(baseGame("raise", "nolimit"));
  ASSERT_NE(game, nullptr);
  EXPECT_EQ(game->bettingType, noLimitBetting);
}

TEST(GameDefinition, NumbersOutOfRangeAreRefused) {
  // 258 does not fit the 8-bit field: it is not taken as 2.
  EXPECT_EQ(rejection(baseGame("players", "numPlayers = 258")), "invalid number of players: 0\n");
  EXPECT_EQ(rejection(baseGame("players", "numPlayers = -2")), "invalid number of players: 0\n");
  // A stack beyond 32 bits is not wrapped into some other amount.
  EXPECT_EQ(rejection(baseGame("stack", "stack = 4294967396 100")), "only read 0 stack sizes, need 2\n");
}

TEST(GameDefinition, AmountsThatNothingReadsAreNotChecked) {
  // Raise sizes of a no-limit game, and stacks and blinds beyond the seats.
  GamePtr game = parseGame(baseGame("raise", "nolimit\nraiseSize = -1 -1"));
  EXPECT_NE(game, nullptr);
  game = parseGame(baseGame("blind", "blind = 2 1 -7\nstack = 100 100 -3"));
  EXPECT_NE(game, nullptr);
  // One seat with chips behind its blind is enough to play.
  game = parseGame(baseGame("blind", "blind = 100 1"));
  EXPECT_NE(game, nullptr);
}

TEST(GameDefinition, LongLinesAreReadWhole) {
  // The tail of a comment beyond 4095 characters is still comment: it does
  // not set the number of players.
  std::string text = baseGame("players", "numPlayers = 2\n#" + std::string(4094, 'x') + "numPlayers = 3");
  GamePtr game = parseGame(text);
  ASSERT_NE(game, nullptr);
  EXPECT_EQ(game->numPlayers, 2);
  // A definition line padded far beyond the old buffer keeps all its values.
  game = parseGame(baseGame("stack", "stack = 100" + std::string(5000, ' ') + "100"));
  ASSERT_NE(game, nullptr);
  EXPECT_EQ(game->stack[1], 100);
  // A line of thousands of digits neither overflows nor crashes.
  EXPECT_EQ(rejection(baseGame("stack", "stack = " + std::string(10000, '9'))), "only read 0 stack sizes, need 2\n");
}

TEST(GameDefinition, EndlessInputIsRefusedAtABound) {
  FILE* zeros = fopen("/dev/zero", "r");
  ASSERT_NE(zeros, nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(readGame(zeros), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "game definition longer than 1048576 bytes\n");
  fclose(zeros);
  // Many short lines count alike, and a valid game in front does not help
  // when its end line is missing.
  std::string lines = baseGame("end", "");
  while (lines.size() <= (1u << 20)) lines += "# still no end\n";
  EXPECT_EQ(rejection(lines), "game definition longer than 1048576 bytes\n");
  // Just under the bound is fine.
  std::string comment((1u << 20) - baseGame().size(), 'c');
  comment.front() = '#';
  comment.back() = '\n';
  EXPECT_NE(parseGame(comment + baseGame()), nullptr);
}

TEST(GameDefinition, PrintsTheTextFormat) {
  GamePtr game = parseGame(kHoldemNoLimit2p);
  ASSERT_NE(game, nullptr);
  EXPECT_EQ(printedGame(game.get()),
            "GAMEDEF\nnolimit\nnumPlayers = 2\nnumRounds = 4\nstack = 20000 20000\nblind = 100 50\n"
            "firstPlayer = 2 1 1 1\nnumSuits = 4\nnumRanks = 13\nnumHoleCards = 2\n"
            "numBoardCards = 0 3 1 1\nEND GAMEDEF\n");
  GamePtr kuhn = parseGame(kKuhn3p);
  ASSERT_NE(kuhn, nullptr);
  EXPECT_EQ(printedGame(kuhn.get()),
            "GAMEDEF\nlimit\nnumPlayers = 3\nnumRounds = 1\nblind = 1 1 1\nraiseSize = 1\n"
            "maxRaises = 1\nnumSuits = 1\nnumRanks = 4\nnumHoleCards = 1\nnumBoardCards = 0\nEND GAMEDEF\n");
}

TEST(GameDefinition, PrintedGamesReadBackEqual) {
  for (const char* text : {kKuhn3p, kHoldemNoLimit2p, kHoldemLimit2p, kHoldemLimit3p}) {
    GamePtr game = parseGame(text);
    ASSERT_NE(game, nullptr);
    GamePtr again = parseGame(printedGame(game.get()));
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(sameGame(*game, *again)) << text;
  }
  // Five unlimited stacks print no "stack" line, so the text does not read back.
  GamePtr five = parseGame(
      "numPlayers 5\nnumRounds 1\nstack 2147483647 2147483647 2147483647 2147483647 2147483647\n"
      "blind 1 1 1 1 1\nraisesize 1\nnumsuits 4\nnumranks 13\nnumholecards 1\nnumboardcards 0\n");
  ASSERT_NE(five, nullptr);
  EXPECT_EQ(rejection(printedGame(five.get())), "only read 4 stack sizes, need 5\n");
}

TEST(GameDefinition, ShippedGameFilesRead) {
  FILE* in = fopen(GAMES_DIR "/kuhn.limit.3p.game", "r");
  ASSERT_NE(in, nullptr);
  GamePtr game(readGame(in));
  fclose(in);
  ASSERT_NE(game, nullptr);
  EXPECT_EQ(game->numPlayers, 3);
  EXPECT_EQ(game->numRanks, 4);
}

}  // namespace
