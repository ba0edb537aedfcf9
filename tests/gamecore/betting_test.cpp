// The betting state machine: starting a hand, legal actions and their
// repair, applying actions and the end of rounds and hands.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "test_games.h"

namespace {

class Betting : public testing::Test {
 protected:
  void start(const char* definition) {
    game_ = parseGame(definition);
    ASSERT_NE(game_, nullptr);
    memset(&state_, 0, sizeof(state_));
    initState(game_.get(), 1, &state_);
  }
  // Applies an action that must be legal as given.
  void play(ActionType type, int32_t size = 0) {
    Action a = act(type, size);
    ASSERT_TRUE(isValidAction(game_.get(), &state_, 0, &a)) << "type " << type << " size " << size;
    doAction(game_.get(), &a, &state_);
  }
  bool legal(ActionType type, int32_t size = 0) {
    Action a = act(type, size);
    return isValidAction(game_.get(), &state_, 0, &a) != 0;
  }
  const Game* g() const { return game_.get(); }

  GamePtr game_;
  State state_;
};

TEST_F(Betting, NoLimitMinimumRaiseFollowsTheLastRaise) {
  start(kHoldemNoLimit2p);
  EXPECT_EQ(state_.maxSpent, 100);
  EXPECT_EQ(state_.minNoLimitRaiseTo, 200);
  EXPECT_EQ(currentPlayer(g(), &state_), 1);  // the small blind acts first
  play(a_raise, 300);
  EXPECT_EQ(state_.maxSpent, 300);
  EXPECT_EQ(state_.minNoLimitRaiseTo, 500);
  play(a_raise, 1000);
  EXPECT_EQ(state_.minNoLimitRaiseTo, 1700);
  play(a_call);
  // A new round: the minimum is the bet plus the big blind.
  EXPECT_EQ(state_.round, 1);
  EXPECT_EQ(state_.minNoLimitRaiseTo, 1100);
  EXPECT_EQ(currentPlayer(g(), &state_), 0);
}

TEST_F(Betting, ZeroBlindsAllowARaiseToOne) {
  start("nolimit\nnumPlayers 2\nnumRounds 1\nstack 10 10\nblind 0 0\nnumSuits 4\nnumRanks 13\n"
        "numHoleCards 1\nnumBoardCards 0\n");
  EXPECT_EQ(state_.maxSpent, 0);
  EXPECT_EQ(state_.minNoLimitRaiseTo, 1);
  EXPECT_TRUE(legal(a_raise, 1));
}

TEST_F(Betting, LimitGamesHaveNoMinimumRaise) {
  start(kHoldemLimit2p);
  EXPECT_EQ(state_.minNoLimitRaiseTo, 0);
  int32_t lo = -1, hi = -1;
  EXPECT_TRUE(raiseIsValid(g(), &state_, &lo, &hi));
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 0);
  play(a_raise);
  EXPECT_EQ(state_.maxSpent, 20);
  EXPECT_EQ(state_.spent[1], 20);
}

TEST_F(Betting, RaisesOutsideTheRangeAreRefusedOrRepaired) {
  start(kHoldemNoLimit2p);
  EXPECT_FALSE(legal(a_raise, 199));
  EXPECT_FALSE(legal(a_raise, 20001));
  EXPECT_TRUE(legal(a_raise, 200));
  EXPECT_TRUE(legal(a_raise, 20000));

  Action low = act(a_raise, 150);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(isValidAction(g(), &state_, 1, &low));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARNING: raise of 150 increased to 200\n");
  EXPECT_EQ(low.size, 200);

  Action high = act(a_raise, 25000);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(isValidAction(g(), &state_, 1, &high));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARNING: raise of 25000 decreased to 20000\n");
  EXPECT_EQ(high.size, 20000);
}

TEST_F(Betting, ShortStackMayRaiseOnlyAllIn) {
  start("nolimit\nnumPlayers 2\nnumRounds 1\nstack 20000 250\nblind 100 50\nfirstPlayer 2\n"
        "numSuits 4\nnumRanks 13\nnumHoleCards 2\nnumBoardCards 0\n");
  int32_t lo, hi;
  ASSERT_TRUE(raiseIsValid(g(), &state_, &lo, &hi));
  EXPECT_EQ(lo, 200);
  EXPECT_EQ(hi, 250);
  play(a_call);
  play(a_raise, 300);
  // Seat 1's stack of 250 does not even cover the bet of 300: no raise.
  EXPECT_FALSE(raiseIsValid(g(), &state_, &lo, &hi));
  EXPECT_TRUE(legal(a_fold));
  play(a_call);
  EXPECT_EQ(state_.spent[1], 250);  // all-in for less
  EXPECT_TRUE(state_.finished);
}

TEST_F(Betting, StackBetweenBetAndMinimumGivesAnAllInOnlyRaise) {
  start("nolimit\nnumPlayers 2\nnumRounds 1\nstack 20000 400\nblind 100 50\nfirstPlayer 2\n"
        "numSuits 4\nnumRanks 13\nnumHoleCards 2\nnumBoardCards 0\n");
  play(a_call);
  play(a_raise, 300);  // minimum next is 500, seat 1 has 400
  int32_t lo, hi;
  ASSERT_TRUE(raiseIsValid(g(), &state_, &lo, &hi));
  EXPECT_EQ(lo, 400);
  EXPECT_EQ(hi, 400);
  play(a_raise, 400);
  EXPECT_EQ(numAllIn(g(), &state_), 1);
  // Seat 0 is the only one able to act: it may call but not re-raise.
  EXPECT_FALSE(legal(a_raise, 20000));
  play(a_call);
  EXPECT_TRUE(state_.finished);
}

TEST_F(Betting, FoldsAndChecks) {
  start(kHoldemLimit2p);
  EXPECT_TRUE(legal(a_fold));  // the small blind owes 5
  play(a_call);
  EXPECT_FALSE(legal(a_fold));  // nothing owed
  EXPECT_TRUE(legal(a_call));

  Action foldWithSize = act(a_fold, 7);
  play(a_raise);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(isValidAction(g(), &state_, 0, &foldWithSize));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARNING: size given for fold\n");
  EXPECT_EQ(foldWithSize.size, 0);

  Action callWithSize = act(a_call, 3);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(isValidAction(g(), &state_, 0, &callWithSize));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARNING: size given for something other than a no-limit raise\n");
  EXPECT_EQ(callWithSize.size, 0);

  Action invalid = act(a_invalid);
  EXPECT_FALSE(isValidAction(g(), &state_, 1, &invalid));
  Action outOfRange = act(static_cast<ActionType>(7));
  EXPECT_FALSE(isValidAction(g(), &state_, 1, &outOfRange));

  play(a_fold);
  EXPECT_TRUE(state_.finished);
  EXPECT_FALSE(legal(a_call));  // nothing is legal after the hand ends
}

TEST_F(Betting, RaiseCapPerRound) {
  start(kKuhn3p);  // maxRaises 1
  play(a_call);
  play(a_raise);
  EXPECT_EQ(numRaises(&state_), 1);
  EXPECT_FALSE(legal(a_raise));
  play(a_call);
  play(a_fold);
  EXPECT_TRUE(state_.finished);
  EXPECT_EQ(numFolded(g(), &state_), 1);
}

TEST_F(Betting, LimitHoldemCapsEachRound) {
  start(kHoldemLimit2p);  // caps 3 4 4 4
  play(a_raise);
  play(a_raise);
  play(a_raise);
  EXPECT_FALSE(legal(a_raise));
  play(a_call);
  ASSERT_EQ(state_.round, 1);
  EXPECT_EQ(state_.maxSpent, 40);
  for (int i = 0; i < 4; ++i) play(a_raise);
  EXPECT_FALSE(legal(a_raise));
}

TEST_F(Betting, RaisesStopShortOfTheActionLimit) {
  start("limit\nnumPlayers 10\nnumRounds 1\nblind 1 2 0 0 0 0 0 0 0 0\nstack 1000 1000 1000 1000 1000 "
        "1000 1000 1000 1000 1000\nraisesize 2\nnumSuits 4\nnumRanks 13\nnumHoleCards 1\nnumBoardCards 0\n");
  for (int i = 0; i < 54; ++i) play(a_raise);
  // Raising at 54 actions still leaves room for nine calls.
  EXPECT_TRUE(legal(a_raise));
  play(a_raise);
  ASSERT_EQ(state_.numActions[0], 55);
  int32_t lo, hi;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(raiseIsValid(g(), &state_, &lo, &hi));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARNING: #actions in round is too close to MAX_NUM_ACTIONS, forcing call/fold\n");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(legal(a_raise));
  EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
  for (int i = 0; i < 9; ++i) play(a_call);
  EXPECT_TRUE(state_.finished);
  EXPECT_EQ(state_.numActions[0], 64);
}

TEST_F(Betting, FirstSeatSkipsFoldedAndAllInSeats) {
  start("nolimit\nnumPlayers 3\nnumRounds 2\nstack 100 500 500\nblind 0 10 20\nfirstPlayer 1 1\n"
        "numSuits 4\nnumRanks 13\nnumHoleCards 1\nnumBoardCards 0 1\n");
  play(a_raise, 100);  // seat 0 all-in
  play(a_fold);        // seat 1
  play(a_call);        // seat 2
  // Only seat 2 can act and the round is complete: the hand is over and the
  // round jumps to the last one so the whole board counts.
  EXPECT_TRUE(state_.finished);
  EXPECT_EQ(state_.round, 1);

  start("nolimit\nnumPlayers 3\nnumRounds 2\nstack 100 500 500\nblind 0 10 20\nfirstPlayer 1 1\n"
        "numSuits 4\nnumRanks 13\nnumHoleCards 1\nnumBoardCards 0 1\n");
  play(a_raise, 100);  // seat 0 all-in
  play(a_call);        // seat 1
  play(a_call);        // seat 2
  ASSERT_EQ(state_.round, 1);
  ASSERT_FALSE(state_.finished);
  // Round 1 starts at seat 0, which is all-in: seat 1 acts first.
  EXPECT_EQ(currentPlayer(g(), &state_), 1);
  EXPECT_EQ(numActingPlayers(g(), &state_), 2);
  EXPECT_EQ(numAllIn(g(), &state_), 1);
}

TEST_F(Betting, FoldedSeatIsSkippedInLaterRounds) {
  start(kHoldemLimit3p);  // seat 2 opens round 0, seat 0 the later rounds
  EXPECT_EQ(currentPlayer(g(), &state_), 2);
  play(a_call);
  play(a_fold);  // seat 0
  play(a_call);  // seat 1 checks the big blind
  ASSERT_EQ(state_.round, 1);
  EXPECT_EQ(currentPlayer(g(), &state_), 1);
}

TEST_F(Betting, AllInsJumpToTheLastRound) {
  start(kHoldemNoLimit2p);
  play(a_raise, 20000);
  play(a_call);
  EXPECT_TRUE(state_.finished);
  EXPECT_EQ(state_.round, 3);
  EXPECT_EQ(sumBoardCards(g(), state_.round), 5);

  start("nolimit\nnumPlayers 3\nnumRounds 4\nstack 100 200 1000\nblind 0 10 20\n"
        "numSuits 4\nnumRanks 13\nnumHoleCards 2\nnumBoardCards 0 3 1 1\n");
  play(a_raise, 100);
  play(a_raise, 200);
  play(a_call);
  EXPECT_TRUE(state_.finished);
  EXPECT_EQ(state_.round, 3);
}

TEST_F(Betting, LimitRaiseIsCappedByTheStack) {
  start("limit\nnumPlayers 2\nnumRounds 1\nstack 1000 35\nblind 10 5\nraisesize 10\nfirstplayer 2\n"
        "numSuits 4\nnumRanks 13\nnumHoleCards 1\nnumBoardCards 0\n");
  play(a_raise);  // seat 1: 10 + 10 would be 20
  play(a_raise);  // seat 0: 30
  play(a_raise);  // seat 1: 40, but only 35 in the stack
  EXPECT_EQ(state_.maxSpent, 35);
  EXPECT_EQ(state_.spent[1], 35);
  EXPECT_EQ(numAllIn(g(), &state_), 1);
}

TEST_F(Betting, NumCalledCountsMatchersOfTheLastRaise) {
  start(kHoldemLimit3p);
  EXPECT_EQ(numCalled(g(), &state_), 0);
  play(a_call);
  EXPECT_EQ(numCalled(g(), &state_), 1);
  play(a_raise);
  EXPECT_EQ(numCalled(g(), &state_), 1);  // the raiser alone
  play(a_call);
  EXPECT_EQ(numCalled(g(), &state_), 2);
  EXPECT_EQ(state_.round, 0);
  play(a_call);
  EXPECT_EQ(state_.round, 1);
  EXPECT_EQ(numCalled(g(), &state_), 0);

  start(kHoldemLimit3p);
  play(a_call);
  play(a_raise);
  play(a_fold);  // folds count nothing, but the round shrinks
  EXPECT_EQ(numCalled(g(), &state_), 1);
  EXPECT_EQ(state_.round, 0);
  play(a_call);
  EXPECT_EQ(state_.round, 1);
}

TEST_F(Betting, BoardCardPositions) {
  start(kHoldemNoLimit2p);
  EXPECT_EQ(bcStart(g(), 0), 0);
  EXPECT_EQ(bcStart(g(), 2), 3);
  EXPECT_EQ(bcStart(g(), 3), 4);
  EXPECT_EQ(sumBoardCards(g(), 0), 0);
  EXPECT_EQ(sumBoardCards(g(), 1), 3);
  EXPECT_EQ(sumBoardCards(g(), 3), 5);
}

TEST_F(Betting, NoSeatAbleToActRefusesEveryAction) {
  // Blinds equal to the stacks put everybody all-in before the first action.
  // readGame refuses such a game, so the record is made by hand here.
  start("nolimit\nnumPlayers 2\nnumRounds 1\nstack 10 10\nblind 10 9\nnumSuits 4\nnumRanks 13\n"
        "numHoleCards 1\nnumBoardCards 0\n");
  game_->blind[1] = 10;
  initState(g(), 1, &state_);
  EXPECT_EQ(numActingPlayers(g(), &state_), 0);
  EXPECT_LT(currentPlayer(g(), &state_), 2);  // returns rather than looping
  EXPECT_FALSE(legal(a_call));
}

TEST_F(Betting, HugeAmountsDoNotOverflow) {
  start("nolimit\nnumPlayers 2\nnumRounds 2\nstack 2147483647 2147483647\nblind 2000000000 1500000000\n"
        "firstPlayer 2 1\nnumSuits 4\nnumRanks 13\nnumHoleCards 1\nnumBoardCards 0 1\n");
  EXPECT_EQ(state_.minNoLimitRaiseTo, 2147483647);
  int32_t lo, hi;
  ASSERT_TRUE(raiseIsValid(g(), &state_, &lo, &hi));
  EXPECT_EQ(lo, 2147483647);
  play(a_raise, 2147483647);
  EXPECT_EQ(state_.minNoLimitRaiseTo, 2147483647);
  play(a_call);
  EXPECT_TRUE(state_.finished);

  start("limit\nnumPlayers 2\nnumRounds 2\nblind 1000000000 999999999\nraisesize 1147483646 1\n"
        "firstPlayer 2 1\nnumSuits 4\nnumRanks 13\nnumHoleCards 1\nnumBoardCards 0 1\n");
  play(a_raise);
  EXPECT_EQ(state_.maxSpent, 2147483646);
  play(a_call);
  ASSERT_EQ(state_.round, 1);
  EXPECT_EQ(state_.minNoLimitRaiseTo, 2147483647);  // the bet plus a blind, clamped
  play(a_raise);
  EXPECT_EQ(state_.maxSpent, 2147483647);  // the unlimited stack caps the bet
}

TEST_F(Betting, LimitRaiseRecordsNoSize) {
  start(kHoldemLimit2p);
  play(a_raise, 77);  // the size means nothing in a limit game
  EXPECT_EQ(state_.action[0][0].size, 0);
}

TEST(Dealing, SameSeedSameDealAndDistinctCards) {
  GamePtr game = parseGame(kHoldemLimit3p);
  ASSERT_NE(game, nullptr);
  State a, b;
  rng_state_t ra, rb;
  init_genrand(&ra, 42);
  init_genrand(&rb, 42);
  for (int hand = 0; hand < 50; ++hand) {
    initState(game.get(), hand, &a);
    initState(game.get(), hand, &b);
    dealCards(game.get(), &ra, &a);
    dealCards(game.get(), &rb, &b);
    EXPECT_TRUE(statesEqual(game.get(), &a, &b));
    EXPECT_EQ(memcmp(a.boardCards, b.boardCards, 5), 0);
    std::set<int> seen(a.boardCards, a.boardCards + 5);
    for (int p = 0; p < 3; ++p) seen.insert(a.holeCards[p], a.holeCards[p] + 2);
    EXPECT_EQ(seen.size(), 11u);
    EXPECT_LT(*seen.rbegin(), 52);
  }
}

TEST(Dealing, FirstDrawIsFixedBySeed) {
  // The deal takes genrand_int32 modulo the cards left, seat by seat.
  GamePtr game = parseGame(kKuhn3p);
  ASSERT_NE(game, nullptr);
  rng_state_t rng, copy;
  init_genrand(&rng, 5489);
  copy = rng;
  State state;
  initState(game.get(), 0, &state);
  dealCards(game.get(), &rng, &state);
  // Kuhn deck: J, Q, K, A of spades.
  uint8_t deck[4] = {makeCard(9, 3), makeCard(10, 3), makeCard(11, 3), makeCard(12, 3)};
  uint32_t n = 4;
  for (int p = 0; p < 3; ++p) {
    const uint32_t i = genrand_int32(&copy) % n;
    EXPECT_EQ(state.holeCards[p][0], deck[i]);
    deck[i] = deck[--n];
  }
}

TEST(StatesEqual, ComparesActionsAndVisibleCards) {
  GamePtr game = parseGame(kHoldemNoLimit2p);
  ASSERT_NE(game, nullptr);
  State a;
  memset(&a, 0, sizeof(a));
  initState(game.get(), 3, &a);
  Action raise = act(a_raise, 300);
  doAction(game.get(), &raise, &a);
  State b = a;
  EXPECT_TRUE(statesEqual(game.get(), &a, &b));
  b.spent[0] = 12345;  // follows from the actions; not compared
  EXPECT_TRUE(statesEqual(game.get(), &a, &b));
  b.boardCards[4] = 9;  // not yet visible
  EXPECT_TRUE(statesEqual(game.get(), &a, &b));
  b.action[0][0].size = 301;
  EXPECT_FALSE(statesEqual(game.get(), &a, &b));
  b = a;
  b.holeCards[1][1] = 7;
  EXPECT_FALSE(statesEqual(game.get(), &a, &b));
  b = a;
  b.handId = 4;
  EXPECT_FALSE(statesEqual(game.get(), &a, &b));
}

}  // namespace
