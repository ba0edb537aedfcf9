// The match-state text: reading (with every action replayed through the
// rules), printing, and the texts of single actions and cards.
#include <gtest/gtest.h>

#include <string>

#include "test_games.h"

namespace {

class Protocol : public testing::Test {
 protected:
  void SetUp() override {
    limit_ = parseGame(kHoldemLimit2p);
    noLimit_ = parseGame(kHoldemNoLimit2p);
    kuhn_ = parseGame(kKuhn3p);
    ASSERT_TRUE(limit_ && noLimit_ && kuhn_);
  }
  // Reads a match state; returns the characters consumed or -1.
  int read(const Game* game, const std::string& text) {
    memset(&ms_, 0, sizeof(ms_));
    return readMatchState(text.c_str(), game, &ms_);
  }
  std::string print(const Game* game) {
    char buf[4096];
    const int n = printMatchState(game, &ms_, sizeof(buf), buf);
    EXPECT_GE(n, 0);
    return n < 0 ? "" : std::string(buf, n);
  }
  // A line that reads in full and prints back as the given text.
  void roundTrip(const Game* game, const std::string& text, const std::string& printed) {
    ASSERT_EQ(read(game, text), static_cast<int>(text.size())) << text;
    EXPECT_EQ(print(game), printed);
    MatchState first = ms_;
    ASSERT_EQ(read(game, printed), static_cast<int>(printed.size()));
    EXPECT_TRUE(matchStatesEqual(game, &first, &ms_));
  }

  GamePtr limit_, noLimit_, kuhn_;
  MatchState ms_;
};

TEST_F(Protocol, ReadsALimitLine) {
  const std::string line = "MATCHSTATE:0:30:cr:AhKd|";
  ASSERT_EQ(read(limit_.get(), line), static_cast<int>(line.size()));
  EXPECT_EQ(ms_.viewingPlayer, 0);
  EXPECT_EQ(ms_.state.handId, 30u);
  EXPECT_EQ(ms_.state.round, 0);
  ASSERT_EQ(ms_.state.numActions[0], 2);
  EXPECT_EQ(ms_.state.action[0][0].type, a_call);
  EXPECT_EQ(ms_.state.action[0][1].type, a_raise);
  EXPECT_EQ(ms_.state.actingPlayer[0][0], 1);
  EXPECT_EQ(ms_.state.holeCards[0][0], makeCard(12, 2));
  EXPECT_EQ(ms_.state.holeCards[0][1], makeCard(11, 1));
  EXPECT_EQ(currentPlayer(limit_.get(), &ms_.state), 1);
}

TEST_F(Protocol, ReadsANoLimitLine) {
  roundTrip(noLimit_.get(), "MATCHSTATE:1:31:r300c/r900:|Kd9s/Th5c3s", "MATCHSTATE:1:31:r300c/r900:|Kd9s/Th5c3s");
  EXPECT_EQ(ms_.state.round, 1);
  EXPECT_EQ(ms_.state.action[1][0].size, 900);
  EXPECT_EQ(ms_.state.maxSpent, 900);
}

TEST_F(Protocol, SpellingVariantsPrintInCanonicalForm) {
  // k and b for call and raise, lower-case ranks and upper-case suits.
  roundTrip(limit_.get(), "MATCHSTATE:0:5:kb:aHtD|", "MATCHSTATE:0:5:cr:AhTd|");
  roundTrip(noLimit_.get(), "MATCHSTATE:0:5:B250K/:qSqC|/2c3c4c", "MATCHSTATE:0:5:r250c/:QsQc|/2c3c4c");
}

TEST_F(Protocol, SeparatorsMayBeMissing) {
  // No "|" between two full groups, no "/" in the betting or the board.
  roundTrip(limit_.get(), "MATCHSTATE:1:2:cccrc:AhKdQsJs2c3c4c5d",
            "MATCHSTATE:1:2:cc/crc/:|QsJs/2c3c4c/5d");
  // Extra "/" in the betting change nothing either.
  ASSERT_GT(read(limit_.get(), "MATCHSTATE:1:2:c//c/:|QsJs/2c3c4c"), 0);
  EXPECT_EQ(ms_.state.round, 1);
}

TEST_F(Protocol, HiddenAndShownHoleCards) {
  roundTrip(kuhn_.get(), "MATCHSTATE:1:9:c:|Ks|", "MATCHSTATE:1:9:c:|Ks|");
  // At a showdown every seat still in shows its cards; a folded one does not.
  roundTrip(kuhn_.get(), "MATCHSTATE:2:9:crfc:Js|Qs|As", "MATCHSTATE:2:9:crfc:Js|Qs|As");
  roundTrip(kuhn_.get(), "MATCHSTATE:0:9:crfc:Js|Qs|As", "MATCHSTATE:0:9:crfc:Js|Qs|");
  EXPECT_TRUE(ms_.state.finished);
  EXPECT_EQ(valueOfState(kuhn_.get(), &ms_.state, 0), -2);
  EXPECT_EQ(valueOfState(kuhn_.get(), &ms_.state, 1), 3);
  EXPECT_EQ(valueOfState(kuhn_.get(), &ms_.state, 2), -1);
  // Before the end only the viewer's own cards are printed.
  roundTrip(kuhn_.get(), "MATCHSTATE:0:9:cr:Js|Qs|As", "MATCHSTATE:0:9:cr:Js||");
}

TEST_F(Protocol, AllInOnTheFirstRoundShowsEveryBoard) {
  roundTrip(noLimit_.get(), "MATCHSTATE:0:3:r20000c:AhAd|Kd9s/Th5c3s/7d/As",
            "MATCHSTATE:0:3:r20000c///:AhAd|Kd9s/Th5c3s/7d/As");
}

TEST_F(Protocol, InvalidLines) {
  const Game* nl = noLimit_.get();
  const Game* lim = limit_.get();
  EXPECT_EQ(read(lim, "MATCHSTATE:2:1::AhKd|"), -1);      // seat beyond the game
  EXPECT_EQ(read(lim, "MATCHSTATE:256:1::AhKd|"), -1);    // not taken as seat 0
  EXPECT_EQ(read(lim, "MATCHSTATE:0:4294967296::"), -1);  // hand number beyond 32 bits
  EXPECT_EQ(read(lim, "MATCHSTATE:-1:1::"), -1);
  EXPECT_EQ(read(lim, "MATCHSTATE:x:1::"), -1);
  EXPECT_EQ(read(lim, "matchstate:0:1::"), -1);
  EXPECT_EQ(read(lim, "MATCHSTATE:0:1"), -1);     // no betting field
  EXPECT_EQ(read(lim, "MATCHSTATE:0::c:"), -1);   // no hand number
  EXPECT_EQ(read(lim, "MATCHSTATE:0:1:cx:"), -1);  // not an action
  EXPECT_EQ(read(lim, "MATCHSTATE:0:1:cc/f:"), -1);  // fold with nothing owed
  EXPECT_EQ(read(lim, "MATCHSTATE:0:1:rrrr:"), -1);  // over the cap of three
  EXPECT_EQ(read(lim, "MATCHSTATE:0:1:rfc:"), -1);   // action after the end
  EXPECT_EQ(read(lim, "MATCHSTATE:0:1:r10:"), -1);   // limit raises carry no number
  EXPECT_EQ(read(nl, "MATCHSTATE:0:1:rc:"), -1);     // no-limit raises need one
  EXPECT_EQ(read(nl, "MATCHSTATE:0:1:r199:"), -1);   // below the minimum
  EXPECT_EQ(read(nl, "MATCHSTATE:0:1:r20001:"), -1);  // beyond the stack
  EXPECT_EQ(read(nl, "MATCHSTATE:0:1:r99999999999:"), -1);
  EXPECT_EQ(read(lim, "MATCHSTATE:0:1:cc:AhK|"), -1);    // half a card group
  EXPECT_EQ(read(lim, "MATCHSTATE:0:1:cc:AhKd|/2c3c"), -1);  // a board card missing
  EXPECT_EQ(read(lim, "MATCHSTATE:0:1:cc:AhKd|"), -1);   // the whole flop missing
  EXPECT_EQ(read(lim, ""), -1);
  State state;
  EXPECT_EQ(readState("STAT:1::", lim, &state), -1);
  EXPECT_EQ(readState("MATCHSTATE:0:1::", lim, &state), -1);
}

TEST_F(Protocol, TextAfterTheStateIsNotConsumed) {
  EXPECT_EQ(read(limit_.get(), "MATCHSTATE:0:30:cr:AhKd|:c\r\n"), 24);
  EXPECT_EQ(read(limit_.get(), "MATCHSTATE:0:30:cr:AhKd|QsJs trailing"), 28);
}

TEST_F(Protocol, LongBettingStaysWithinTheRecord) {
  GamePtr ten = parseGame(
      "limit\nnumPlayers 10\nnumRounds 1\nblind 1 2 0 0 0 0 0 0 0 0\nraisesize 2\nstack 9999 9999 9999 9999 "
      "9999 9999 9999 9999 9999 9999\nnumSuits 4\nnumRanks 13\nnumHoleCards 1\nnumBoardCards 0\n");
  ASSERT_NE(ten, nullptr);
  std::string line = "MATCHSTATE:0:1:" + std::string(55, 'r') + std::string(9, 'c') + ":";
  ASSERT_EQ(read(ten.get(), line), static_cast<int>(line.size()));
  EXPECT_EQ(ms_.state.numActions[0], 64);
  testing::internal::CaptureStderr();
  EXPECT_EQ(read(ten.get(), "MATCHSTATE:0:1:" + std::string(200, 'r') + ":"), -1);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(read(ten.get(), line.substr(0, line.size() - 1) + "c:"), -1);
}

TEST_F(Protocol, FullStateText) {
  State state;
  const std::string text = "STATE:7:cc/rf:AhKd|QsJs/2c3c4c";
  ASSERT_EQ(readState(text.c_str(), limit_.get(), &state), static_cast<int>(text.size()));
  EXPECT_TRUE(state.finished);
  char buf[256];
  ASSERT_EQ(printState(limit_.get(), &state, sizeof(buf), buf), static_cast<int>(text.size()));
  EXPECT_EQ(buf, text);
  EXPECT_EQ(valueOfState(limit_.get(), &state, 1), -10);
  EXPECT_EQ(valueOfState(limit_.get(), &state, 0), 10);
}

TEST_F(Protocol, PrintersNeedRoomForTheZeroByte) {
  ASSERT_GT(read(noLimit_.get(), "MATCHSTATE:0:3:r20000c:AhAd|Kd9s/Th5c3s/7d/As"), 0);
  char buf[128];
  const int n = printMatchState(noLimit_.get(), &ms_, sizeof(buf), buf);
  ASSERT_GT(n, 0);
  for (size_t len = 0; len <= static_cast<size_t>(n); ++len)
    EXPECT_EQ(printMatchState(noLimit_.get(), &ms_, len, buf), -1) << len;
  EXPECT_EQ(printMatchState(noLimit_.get(), &ms_, n + 1, buf), n);
  const int m = printState(noLimit_.get(), &ms_.state, sizeof(buf), buf);
  ASSERT_GT(m, 0);
  EXPECT_EQ(printState(noLimit_.get(), &ms_.state, m, buf), -1);

  Action raise = act(a_raise, 20000);
  EXPECT_EQ(printAction(noLimit_.get(), &raise, 6, buf), -1);
  EXPECT_EQ(printAction(noLimit_.get(), &raise, 7, buf), 6);
  EXPECT_STREQ(buf, "r20000");
  EXPECT_EQ(printAction(limit_.get(), &raise, 2, buf), 1);
  EXPECT_STREQ(buf, "r");
  Action call = act(a_call);
  EXPECT_EQ(printAction(limit_.get(), &call, 0, buf), -1);
  EXPECT_EQ(printAction(limit_.get(), &call, 1, buf), -1);
  Action invalid = act(a_invalid);
  EXPECT_EQ(printAction(limit_.get(), &invalid, sizeof(buf), buf), -1);
}

TEST_F(Protocol, ActionText) {
  Action a;
  EXPECT_EQ(readAction("r300x", noLimit_.get(), &a), 4);
  EXPECT_EQ(a.type, a_raise);
  EXPECT_EQ(a.size, 300);
  EXPECT_EQ(readAction("r", noLimit_.get(), &a), -1);
  EXPECT_EQ(readAction("r300", limit_.get(), &a), 1);
  EXPECT_EQ(a.size, 0);
  EXPECT_EQ(readAction("F", limit_.get(), &a), 1);
  EXPECT_EQ(a.type, a_fold);
  EXPECT_EQ(readAction("z", limit_.get(), &a), 1);
  EXPECT_EQ(a.type, a_invalid);
  EXPECT_EQ(charToAction[static_cast<unsigned char>('K')], a_call);
  EXPECT_EQ(charToAction[static_cast<unsigned char>('b')], a_raise);
  EXPECT_EQ(charToAction[0xff], a_invalid);
}

TEST_F(Protocol, CardText) {
  uint8_t c = 0;
  EXPECT_EQ(readCard("As", &c), 2);
  EXPECT_EQ(c, 51);
  EXPECT_EQ(readCard("2c", &c), 2);
  EXPECT_EQ(c, 0);
  EXPECT_EQ(readCard("tH", &c), 2);
  EXPECT_EQ(c, makeCard(8, 2));
  EXPECT_EQ(readCard("1s", &c), -1);
  EXPECT_EQ(readCard("Ax", &c), -1);
  EXPECT_EQ(readCard("A", &c), -1);
  EXPECT_EQ(readCard("", &c), -1);

  uint8_t cards[4];
  int consumed = -1;
  EXPECT_EQ(readCards("AsKd|Qh", 4, cards, &consumed), 2);
  EXPECT_EQ(consumed, 4);
  EXPECT_EQ(readCards("AsKdQh", 2, cards, &consumed), 2);
  EXPECT_EQ(readCards("AsKd", 0, cards, &consumed), 0);
  EXPECT_EQ(consumed, 0);

  char buf[16];
  EXPECT_EQ(printCard(51, 2, buf), -1);
  EXPECT_EQ(printCard(51, 3, buf), 2);
  EXPECT_STREQ(buf, "As");
  EXPECT_EQ(printCard(52, sizeof(buf), buf), -1);  // not a card
  const uint8_t three[3] = {0, 51, 33};
  EXPECT_EQ(printCards(3, three, 7, buf), 6);
  EXPECT_STREQ(buf, "2cAsTd");
  EXPECT_EQ(printCards(3, three, 6, buf), -1);
  EXPECT_EQ(printCards(0, three, 0, buf), 0);
}

TEST_F(Protocol, MatchStatesEqualComparesTheViewersCardsOnly) {
  ASSERT_GT(read(limit_.get(), "MATCHSTATE:0:1:cc:AhKd|QsJs/2c3c4c"), 0);
  MatchState a = ms_;
  ASSERT_GT(read(limit_.get(), "MATCHSTATE:0:1:cc:AhKd|/2c3c4c"), 0);
  EXPECT_TRUE(matchStatesEqual(limit_.get(), &a, &ms_));
  ASSERT_GT(read(limit_.get(), "MATCHSTATE:0:1:cc:AhKc|/2c3c4c"), 0);
  EXPECT_FALSE(matchStatesEqual(limit_.get(), &a, &ms_));
  ASSERT_GT(read(limit_.get(), "MATCHSTATE:0:1:cc:AhKd|/2c3c4d"), 0);
  EXPECT_FALSE(matchStatesEqual(limit_.get(), &a, &ms_));
  ASSERT_GT(read(limit_.get(), "MATCHSTATE:1:1:cc:AhKd|QsJs/2c3c4c"), 0);
  EXPECT_FALSE(matchStatesEqual(limit_.get(), &a, &ms_));
}

TEST_F(Protocol, FuzzSeedsReadBack) {
  // The seed lines of the match-state fuzzer all parse in one of its games.
  for (const char* line : {"MATCHSTATE:0:30:cr:Qs||", "MATCHSTATE:2:7:crcc:Js|Qs|As"})
    EXPECT_GT(read(kuhn_.get(), line), 0) << line;
}

}  // namespace
