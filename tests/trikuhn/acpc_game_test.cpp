// The engine wrappers: loading games with exceptions, match states from
// strings, printing, and replaying a hand action by action.
#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>
#include <vector>

#include "acpc_game.h"
#include "test_support.h"

using trikuhn_test::kuhnGame;
using trikuhn_test::matchState;

namespace {

std::string errorOf(auto&& call) {
  try {
    call();
  } catch (std::runtime_error const& e) {
    return e.what();
  }
  return "(no exception)";
}

TEST(GameDefTest, LoadsTheKuhnGameAndReportsUnreadableFiles) {
  Game const& game = *kuhnGame().game;
  EXPECT_EQ(game.numPlayers, 3);
  EXPECT_EQ(game.numRanks, 4);

  EXPECT_EQ(errorOf([] { Acpc::gameDef("/nonexistent/kuhn.game"); }),
            "Could not open game definition /nonexistent/kuhn.game\n");

  std::string const dir = trikuhn_test::makeTempDir();
  std::string const bad = dir + "/bad.game";
  trikuhn_test::writeFile(bad, "GAMEDEF\nlimit\nnumPlayers = 1\nEND GAMEDEF\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(errorOf([&] { Acpc::gameDef(bad); }), "Could not read game " + bad + "\n");
  testing::internal::GetCapturedStderr();  // readGame's own reason
}

TEST(NewMatchStateTest, WholeTextMustBeOneMatchState) {
  MatchState const ms = matchState("MATCHSTATE:0:0::Ks||");
  EXPECT_EQ(ms.viewingPlayer, 0);
  EXPECT_EQ(ms.state.numActions[0], 0);
  EXPECT_EQ(Acpc::matchStateToString(ms, kuhnGame().game.get()), "MATCHSTATE:0:0::Ks||");

  EXPECT_EQ(errorOf([] { matchState("MATCHSTATE:0:0::Ks||\n"); }),
            "Unable to read match state \"MATCHSTATE:0:0::Ks||\n\"");
  EXPECT_EQ(errorOf([] { matchState("garbage"); }), "Unable to read match state \"garbage\"");
  // A fold with nothing owed is refused by the betting rules.
  EXPECT_EQ(errorOf([] { matchState("MATCHSTATE:0:0:f:Ks||"); }),
            "Unable to read match state \"MATCHSTATE:0:0:f:Ks||\"");
}

TEST(StateToStringTest, PrintsTheFullState) {
  MatchState const ms = matchState("MATCHSTATE:1:3:crc:Js|Qs|Ks");
  EXPECT_EQ(Acpc::stateToString(ms.state, kuhnGame().game.get()), "STATE:3:crc:Js|Qs|Ks");
}

struct Shown {
  uint8_t seat;
  ActionType type;
  int actionsBefore;
};

std::vector<Shown> replayAll(MatchState const& ms) {
  std::vector<Shown> shown;
  Game const* game = kuhnGame().game.get();
  Acpc::replay(ms, kuhnGame(), [&](MatchState const& r, Action const& a) {
    shown.push_back({currentPlayer(game, &r.state), a.type, r.state.numActions[0]});
    return false;
  });
  return shown;
}

TEST(ReplayTest, ShowsEveryActionWithTheStateBeforeIt) {
  EXPECT_TRUE(replayAll(matchState("MATCHSTATE:0:0::Ks||")).empty());

  MatchState const inProgress = matchState("MATCHSTATE:2:5:cr:||As");
  int calls = 0;
  Acpc::replay(inProgress, kuhnGame(), [&](MatchState const& r, Action const& a) {
    Game const* game = kuhnGame().game.get();
    EXPECT_EQ(r.state.handId, 5u);
    EXPECT_EQ(r.viewingPlayer, 2);
    EXPECT_EQ(r.state.holeCards[2][0], makeCard(12, 3));  // the ace of spades
    EXPECT_EQ(currentPlayer(game, &r.state), calls);
    EXPECT_EQ(a.type, calls == 0 ? a_call : a_raise);
    ++calls;
    return false;
  });
  EXPECT_EQ(calls, 2);

  std::vector<Shown> const showdown = replayAll(matchState("MATCHSTATE:0:1:rcf:Js|Qs|"));
  ASSERT_EQ(showdown.size(), 3u);
  EXPECT_EQ(showdown[2].seat, 2);
  EXPECT_EQ(showdown[2].type, a_fold);
  EXPECT_EQ(showdown[2].actionsBefore, 2);
}

TEST(ReplayTest, StopsWhenTheCallbackSaysSoAndNeedsACallback) {
  int calls = 0;
  Acpc::replay(matchState("MATCHSTATE:0:0:ccc:Ks|Qs|As"), kuhnGame(),
               [&](MatchState const& r, Action const&) {
                 ++calls;
                 EXPECT_EQ(r.state.numActions[0], 0);
                 return true;
               });
  EXPECT_EQ(calls, 1);

  EXPECT_NO_THROW(Acpc::replay(matchState("MATCHSTATE:0:0::Ks||"), kuhnGame(), {}));
  EXPECT_THROW(Acpc::replay(matchState("MATCHSTATE:0:0:c:Ks||"), kuhnGame(), {}),
               std::bad_function_call);
}

TEST(RandomRandomSeedTest, DrawsFreshValues) {
  // Four draws from the device all equal would be a broken device.
  uint32_t const first = Acpc::randomRandomSeed();
  bool differs = false;
  for (int i = 0; i < 3; ++i) differs = differs || Acpc::randomRandomSeed() != first;
  EXPECT_TRUE(differs);
}

}  // namespace
