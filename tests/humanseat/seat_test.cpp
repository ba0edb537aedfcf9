// The human seat's rules: only a legal answer to the current decision is
// sent, finished hands wait for the person, and the end of the match.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "seat.h"
#include "test_games.h"

namespace {

using humanseat::HumanSeat;
using nlohmann::json;

struct Recorder {
  std::vector<std::string> sent;
  bool works = true;
  HumanSeat::Sender sender() {
    return [this](const std::string& line) {
      if (works) sent.push_back(line);
      return works;
    };
  }
};

json request(const std::string& token, const std::string& action) {
  return {{"token", token}, {"action", action}};
}

TEST(HumanSeat, OnlyALegalAnswerToTheCurrentDecisionIsSent) {
  const GamePtr game = parseGame(kHoldemNoLimit2p);
  Recorder dealer;
  HumanSeat seat(game.get(), {}, dealer.sender());
  ASSERT_TRUE(seat.dealerLine("MATCHSTATE:0:0:c:3h7d|"));
  EXPECT_EQ(seat.view()["hand"]["token"], "0:1");

  json tooSmall = request("0:1", "raise");
  tooSmall["size"] = 199;
  json tooLarge = request("0:1", "raise");
  tooLarge["size"] = 20001;
  json textSize = request("0:1", "raise");
  textSize["size"] = "300";
  const std::vector<json> refused = {
      request("0:0", "call"),                    // an older decision
      request("0:1", "fold"),                    // nothing is owed
      request("0:1", "raise"),                   // no size
      tooSmall, tooLarge, textSize,
      request("0:1", "allin"),
      json{{"action", "call"}},                  // no token
      json::array(),
  };
  for (const json& r : refused) {
    const HumanSeat::Reply reply = seat.act(r);
    EXPECT_FALSE(reply.ok) << r;
    EXPECT_FALSE(reply.message.empty()) << r;
  }
  EXPECT_NE(seat.act(tooSmall).message.find("between 200 and 20000"), std::string::npos);
  EXPECT_TRUE(dealer.sent.empty());

  json raise = request("0:1", "raise");
  raise["size"] = 300;
  EXPECT_TRUE(seat.act(raise).ok);
  ASSERT_EQ(dealer.sent, std::vector<std::string>{"MATCHSTATE:0:0:c:3h7d|:r300\r\n"});
  // A second click before the dealer answers sends nothing more.
  EXPECT_FALSE(seat.act(raise).ok);
  EXPECT_FALSE(seat.view()["hand"].contains("legal"));
  EXPECT_EQ(dealer.sent.size(), 1u);

  // The opponent re-raises: the new decision has its own token.
  ASSERT_TRUE(seat.dealerLine("MATCHSTATE:0:0:cr300r900:3h7d|"));
  EXPECT_TRUE(seat.view()["hand"]["legal"]["fold"]);
  EXPECT_FALSE(seat.act(request("0:1", "fold")).ok);
  EXPECT_TRUE(seat.act(request("0:3", "fold")).ok);
  EXPECT_EQ(dealer.sent.back(), "MATCHSTATE:0:0:cr300r900:3h7d|:f\r\n");
}

TEST(HumanSeat, NotTheViewersTurnOrUnreachableDealerSendsNothing) {
  const GamePtr game = parseGame(kKuhn3p);
  Recorder dealer;
  HumanSeat seat(game.get(), {}, dealer.sender());
  ASSERT_TRUE(seat.dealerLine("MATCHSTATE:1:4::|Ks|"));  // seat 0 is to act
  EXPECT_FALSE(seat.act(request("4:0", "call")).ok);
  ASSERT_TRUE(seat.dealerLine("MATCHSTATE:1:4:c:|Ks|"));
  dealer.works = false;
  const HumanSeat::Reply reply = seat.act(request("4:1", "call"));
  EXPECT_FALSE(reply.ok);
  EXPECT_NE(reply.message.find("dealer"), std::string::npos);
  dealer.works = true;
  EXPECT_TRUE(seat.act(request("4:1", "raise")).ok);  // still the person's turn
  EXPECT_EQ(dealer.sent, std::vector<std::string>{"MATCHSTATE:1:4:c:|Ks|:r\r\n"});

  // Lines that are not states of this game are ignored.
  EXPECT_FALSE(seat.dealerLine("MATCHSTATE:1:4:c:|Ks|:c"));
  EXPECT_FALSE(seat.dealerLine("MATCHSTATE:5:4::|Ks|"));
  EXPECT_FALSE(seat.dealerLine("hello"));
  EXPECT_EQ(seat.view()["hand"]["token"], "4:1");
}

TEST(HumanSeat, FinishedHandsWaitForThePersonAndTheTotalFollowsThem) {
  const GamePtr game = parseGame(kHoldemNoLimit2p);
  Recorder dealer;
  HumanSeat seat(game.get(), {}, dealer.sender());
  json view = seat.view();
  EXPECT_TRUE(view["hand"].is_null());
  EXPECT_FALSE(view["canNext"]);

  ASSERT_TRUE(seat.dealerLine("MATCHSTATE:0:0:c:3h7d|"));
  EXPECT_FALSE(seat.next().ok);  // the hand is not over
  ASSERT_TRUE(seat.dealerLine("MATCHSTATE:0:0:cr300f:3h7d|"));
  // The dealer has already dealt the next two hands; the opponent folded
  // the first of them at once.
  ASSERT_TRUE(seat.dealerLine("MATCHSTATE:0:1:f:Kd6s|"));
  ASSERT_TRUE(seat.dealerLine("MATCHSTATE:0:2:c:Qs2h|"));
  view = seat.view();
  EXPECT_EQ(view["hand"]["hand"], 0);
  EXPECT_TRUE(view["canNext"]);
  EXPECT_EQ(view["total"], 100.0);
  EXPECT_EQ(view["history"], json({100.0}));
  // Hand 2 waits for the person's answer but is not shown yet.
  EXPECT_FALSE(seat.act(request("2:1", "call")).ok);

  EXPECT_TRUE(seat.next().ok);
  view = seat.view();
  EXPECT_EQ(view["hand"]["hand"], 1);
  EXPECT_EQ(view["history"], json({100.0, 150.0}));
  EXPECT_TRUE(seat.next().ok);
  EXPECT_FALSE(seat.next().ok);
  EXPECT_TRUE(seat.act(request("2:1", "call")).ok);
  EXPECT_FALSE(seat.endSeen());

  // The dealer goes away mid-hand: the hand is abandoned and not scored.
  seat.dealerClosed();
  view = seat.view();
  EXPECT_TRUE(view["matchOver"]);
  EXPECT_TRUE(view["hand"]["abandoned"]);
  EXPECT_FALSE(view["canNext"]);
  EXPECT_EQ(view["total"], 150.0);
  EXPECT_TRUE(seat.endSeen());
  EXPECT_FALSE(seat.act(request("2:1", "check")).ok);
}

}  // namespace
