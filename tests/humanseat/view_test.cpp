// The page's view of hand-made states: what the viewer may see, the betting
// texts, the legal actions with their amounts, and the seats' names.
#include <gtest/gtest.h>

#include <cstring>

#include "test_games.h"
#include "view.h"

namespace {

using humanseat::handView;
using humanseat::Table;
using nlohmann::json;

MatchState readInto(const Game* game, const char* line, MatchState* ms) {
  EXPECT_GT(readMatchState(line, game, ms), 0) << line;
  return *ms;
}

MatchState stateOf(const Game* game, const char* line) {
  MatchState ms;
  memset(&ms, 0, sizeof(ms));
  return readInto(game, line, &ms);
}

std::vector<std::string> texts(const json& round) {
  std::vector<std::string> result;
  for (const json& action : round["actions"]) {
    result.push_back(action["name"].get<std::string>() + " " + action["text"].get<std::string>());
  }
  return result;
}

TEST(HumanSeatView, NoLimitHandInProgress) {
  const GamePtr game = parseGame(kHoldemNoLimit2p);
  const Table table{{"alice", "bot"}, 0};
  // The small blind (seat 1) calls, the viewer raises to 300 and is called.
  const json view = handView(game.get(), table, stateOf(game.get(), "MATCHSTATE:0:7:cr300c/:3h7d|/Ah4s6h"), false);

  EXPECT_EQ(view["seats"][0]["cards"], json({"3h", "7d"}));
  EXPECT_EQ(view["seats"][1]["cards"], json::array());
  EXPECT_EQ(view["seats"][0]["name"], "alice");
  EXPECT_EQ(view["seats"][1]["name"], "bot");
  EXPECT_EQ(view["board"], json({"Ah", "4s", "6h"}));
  EXPECT_EQ(view["pot"], 600);
  ASSERT_EQ(view["rounds"].size(), 2u);
  EXPECT_EQ(texts(view["rounds"][0]),
            (std::vector<std::string>{"bot calls 50", "alice raises to 300", "bot calls 200"}));
  EXPECT_EQ(view["rounds"][1]["name"], "Flop");
  EXPECT_TRUE(view["rounds"][1]["actions"].empty());
  EXPECT_EQ(view["toAct"], 0);
  EXPECT_TRUE(view["seats"][0]["toAct"]);
  EXPECT_EQ(view["token"], "7:3");
  EXPECT_FALSE(view.contains("value"));

  const json& legal = view["legal"];
  EXPECT_FALSE(legal["fold"]);  // nothing is owed
  EXPECT_EQ(legal["call"]["label"], "Check");
  EXPECT_EQ(legal["raise"]["label"], "Bet");
  EXPECT_EQ(legal["raise"]["min"], 400);
  EXPECT_EQ(legal["raise"]["max"], 20000);

  // The other seat's view of the same moment has no buttons.
  const json theirs = handView(game.get(), table, stateOf(game.get(), "MATCHSTATE:1:7:cr300c/:|Kd6s/Ah4s6h"), false);
  EXPECT_FALSE(theirs.contains("legal"));
  EXPECT_EQ(theirs["seats"][1]["name"], "alice");  // the names follow the viewer
  EXPECT_EQ(theirs["seats"][0]["name"], "bot");
}

TEST(HumanSeatView, ShowdownShowsTheCardsReachedAndFoldsHideThem) {
  const GamePtr game = parseGame(kHoldemNoLimit2p);
  const Table table;  // no names: "You" and seat numbers
  MatchState ms;
  memset(&ms, 0, sizeof(ms));
  const json showdown = handView(
      game.get(), table, readInto(game.get(), "MATCHSTATE:1:8:cc/cc/cc/cc:Kc7h|JcJd/2c4s4h/9c/2s", &ms),
      false);
  EXPECT_TRUE(showdown["finished"]);
  EXPECT_TRUE(showdown["showdown"]);
  EXPECT_EQ(showdown["seats"][0]["cards"], json({"Kc", "7h"}));
  EXPECT_EQ(showdown["seats"][1]["cards"], json({"Jc", "Jd"}));
  EXPECT_EQ(showdown["seats"][1]["name"], "You");
  EXPECT_EQ(showdown["seats"][0]["name"], "Seat 1");
  EXPECT_EQ(showdown["seats"][1]["value"], 100.0);
  EXPECT_EQ(showdown["seats"][0]["value"], -100.0);
  EXPECT_EQ(showdown["value"], 100.0);
  EXPECT_EQ(showdown["toAct"], -1);
  EXPECT_FALSE(showdown.contains("legal"));
  EXPECT_EQ(showdown["board"].size(), 5u);

  // Read into the same record, the folded opponent's cards of the last line
  // are still in it; they must not reach the page.
  const json fold = handView(game.get(), table, readInto(game.get(), "MATCHSTATE:1:9:r300f:|JcJd", &ms), false);
  EXPECT_FALSE(fold["showdown"]);
  EXPECT_EQ(fold["seats"][0]["cards"], json::array());
  EXPECT_TRUE(fold["seats"][0]["folded"]);
  EXPECT_EQ(fold["value"], 100.0);
  EXPECT_EQ(texts(fold["rounds"][0]), (std::vector<std::string>{"You raises to 300", "Seat 1 folds"}));

  // A hand the match ended before it finished offers nothing.
  const json abandoned = handView(game.get(), table, stateOf(game.get(), "MATCHSTATE:1:9::|JcJd"), true);
  EXPECT_TRUE(abandoned["abandoned"]);
  EXPECT_EQ(abandoned["toAct"], -1);
  EXPECT_FALSE(abandoned.contains("legal"));
}

TEST(HumanSeatView, LimitRaisesHaveOneSizeAndStopAtTheCap) {
  const GamePtr game = parseGame(kHoldemLimit2p);
  const Table table;
  const json facing = handView(game.get(), table, stateOf(game.get(), "MATCHSTATE:1:3:cr:|As2d"), false);
  EXPECT_TRUE(facing["legal"]["fold"]);
  EXPECT_EQ(facing["legal"]["call"]["amount"], 10);
  EXPECT_EQ(facing["legal"]["call"]["label"], "Call 10");
  EXPECT_EQ(facing["legal"]["raise"]["label"], "Raise");
  EXPECT_EQ(facing["legal"]["raise"]["min"], 30);
  EXPECT_EQ(facing["legal"]["raise"]["max"], 30);

  const json capped = handView(game.get(), table, stateOf(game.get(), "MATCHSTATE:1:3:crrr:|As2d"), false);
  EXPECT_TRUE(capped["legal"]["fold"]);
  EXPECT_TRUE(capped["legal"]["raise"].is_null());

  // Kuhn's equal antes open the betting: the first raise is a bet.
  const GamePtr kuhn = parseGame(kKuhn3p);
  const json first = handView(kuhn.get(), table, stateOf(kuhn.get(), "MATCHSTATE:0:4::Ks||"), false);
  EXPECT_EQ(first["legal"]["call"]["label"], "Check");
  EXPECT_EQ(first["legal"]["raise"]["label"], "Bet");
  EXPECT_EQ(first["legal"]["raise"]["min"], 2);
  const json after = handView(kuhn.get(), table, stateOf(kuhn.get(), "MATCHSTATE:2:4:cr:||Qs"), false);
  EXPECT_EQ(texts(after["rounds"][0]), (std::vector<std::string>{"Seat 1 checks", "Seat 2 bets 1"}));
}

TEST(HumanSeatView, NamesKeepTheDealersCyclicOrderAsSeatsMove) {
  const GamePtr game = parseGame(kKuhn3p);
  const Table table{{"morvane", "trikuhn", "human"}, 2};
  // The dealer seats the player of place i in seat (i + hand) mod 3: in
  // hand 1 the human (place 2) is in seat 0, morvane in 1, trikuhn in 2.
  EXPECT_EQ(humanseat::seatName(game.get(), table, 0, 0), "human");
  EXPECT_EQ(humanseat::seatName(game.get(), table, 0, 1), "morvane");
  EXPECT_EQ(humanseat::seatName(game.get(), table, 0, 2), "trikuhn");
  // In hand 2 the human is in seat 1: trikuhn in 0, morvane in 2.
  EXPECT_EQ(humanseat::seatName(game.get(), table, 1, 0), "trikuhn");
  EXPECT_EQ(humanseat::seatName(game.get(), table, 1, 2), "morvane");
}

}  // namespace
