// The family-1 bots: the random draws of construction, the starting
// parameters, the c34 and c33 rules, and the answers of act.
#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include "kuhn_bot.h"
#include "test_support.h"

using namespace KuhnPoker::ThreePlayer;
using KuhnPoker::ThreePlayer::BetaAndFreeOptimized::BetaAndFreeOptimizedBot;
using trikuhn_test::kuhnGame;
using trikuhn_test::matchState;

namespace {

TEST(BotConstructionTest, DrawsTwelveNumbersAndIsReproducible) {
  for (uint32_t seed : {1u, 42u, 2026u}) {
    std::mt19937 engine1(seed), engine2(seed), reference(seed);
    BetaAndFreeOptimizedBot const bot1(kuhnGame(), engine1);
    BetaAndFreeOptimizedBot const bot2(kuhnGame(), engine2);
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(bot1.modeler.models[i].probabilities, bot2.modeler.models[i].probabilities);
    reference.discard(24);  // 12 numbers of two 32-bit outputs each
    EXPECT_EQ(engine1, reference);
  }
}

TEST(BotConstructionTest, OpponentsGetFamilyOneMembersAndTheBotTheBestFreeParameters) {
  for (uint32_t seed = 0; seed < 20; ++seed) {
    std::mt19937 engine(seed);
    BetaAndFreeOptimizedBot const bot(kuhnGame(), engine);
    auto const& models = bot.modeler.models;
    for (int i = 0; i < 3; ++i) {
      PlayerModel const& m = models[i];
      double const beta = m.at(1, 1, 1);
      EXPECT_EQ(m.at(1, 2, 1), beta);
      if (i != thisPlayer) {
        EXPECT_GE(beta, 0);
        EXPECT_LE(beta, 0.25);
        EXPECT_LE(m.at(1, 3, 2), std::min(1.0, 0.5 + 1.75 * beta) + 1e-15);
        EXPECT_EQ(m.at(1, 3, 3), 1.5 * beta + 0.5);
        EXPECT_EQ(m.at(1, 4, 1), 4 * beta);
      }
      // c33 within the bounds set by the seat in position b (the bot's own
      // free parameters have been moved by the rules since).
      PlayerModel const& o = models[(i + 2) % 3];
      EXPECT_GE(m.at(2, 3, 4), 0);
      EXPECT_LE(m.at(2, 3, 4), 1);
      if (i != thisPlayer && (i + 2) % 3 != thisPlayer) {
        double const lo = std::max(0.0, 0.5 - o.at(1, 3, 2));
        double const hi =
            std::min(1.0, std::max(0.0, 1.75 * o.at(1, 1, 1) + 0.5 - o.at(1, 3, 2)));
        EXPECT_GE(m.at(2, 3, 3), lo);
        EXPECT_LE(m.at(2, 3, 3), hi + 1e-15);
      }
    }
    // The rules see family-1 opponents: D = E = F = G = 0.
    PlayerModel const& self = models[thisPlayer];
    PlayerModel const& prev = models[previousPlayer];
    EXPECT_EQ(self.at(1, 1, 1), 0.25);
    EXPECT_EQ(self.at(1, 2, 1), 0.25);
    EXPECT_EQ(self.at(1, 3, 2), 0.9375);
    EXPECT_EQ(self.at(2, 3, 4), 1);
    EXPECT_DOUBLE_EQ(self.at(2, 3, 3),
                     std::min(1.0, 0.5 - prev.at(1, 3, 2) + 1.75 * prev.at(1, 1, 1)));
    // b33 = 1.5 beta + 0.5 and b41 = 4 beta keep the beta drawn at first.
    EXPECT_NEAR(self.at(1, 4, 1), 4 * (self.at(1, 3, 3) - 0.5) / 1.5, 1e-12);
    EXPECT_LE(self.at(1, 4, 1), 1);
  }
}

double cellA(int card, int s) { return ((card * 7 + s * 3) % 10) / 10.0 + 0.05; }
double cellB(int card, int s) { return ((card * 5 + s * 7) % 10) / 10.0 + 0.05; }

TEST(BotRulesTest, C34AndC33FollowFAndG) {
  std::mt19937 engine(7);
  BetaAndFreeOptimizedBot bot(kuhnGame(), engine);
  auto& models = bot.modeler.models;
  for (int card = 1; card <= 4; ++card)
    for (int s = 1; s <= 4; ++s) {
      models[nextPlayer].at(0, card, s) = cellA(card, s);
      models[previousPlayer].at(1, card, s) = cellB(card, s);
    }
  // F = 3.105, G = 1.93 (worked out separately).
  bot.optimizeC34AndC33();
  PlayerModel const& self = models[thisPlayer];
  EXPECT_EQ(self.at(2, 3, 4), 1);
  EXPECT_NEAR(self.at(2, 3, 3), 0.4875, 1e-12);

  // Position a bets only the ace: F = -1.4, G = -0.6.
  models[nextPlayer].at(0, 1, 1) = 0;
  models[nextPlayer].at(0, 2, 1) = 0;
  models[nextPlayer].at(0, 4, 1) = 1;
  bot.optimizeC34AndC33();
  EXPECT_EQ(self.at(2, 3, 4), 0);
  EXPECT_EQ(self.at(2, 3, 3), 0);  // max(0, 0.5 - b32 = 0.95)

  // c33's upper value is cut at 1.
  models[nextPlayer].at(0, 2, 1) = 1;
  models[previousPlayer].at(1, 3, 2) = 0;
  bot.optimizeC34AndC33();
  EXPECT_EQ(self.at(2, 3, 3), 1);
}

// Counts the aggressive answers of act over many draws.
int aggressiveAnswers(BetaAndFreeOptimizedBot& bot, char const* text, int tries) {
  MatchState const ms = matchState(text);
  bool const facing = situation(ms) != noBetYet;
  int aggressive = 0;
  for (int i = 0; i < tries; ++i) {
    Action const a = bot.act(ms);
    EXPECT_EQ(a.size, 0);
    if (a.type == (facing ? a_call : a_raise)) ++aggressive;
    else EXPECT_EQ(a.type, facing ? a_fold : a_call);
  }
  return aggressive;
}

TEST(BotActTest, CertainSpotsOfTheTable) {
  std::mt19937 engine(11);
  BetaAndFreeOptimizedBot bot(kuhnGame(), engine);
  EXPECT_EQ(aggressiveAnswers(bot, "MATCHSTATE:0:0::Js||", 200), 0);      // a11 = 0
  EXPECT_EQ(aggressiveAnswers(bot, "MATCHSTATE:0:0::As||", 200), 0);      // a41 = 0
  EXPECT_EQ(aggressiveAnswers(bot, "MATCHSTATE:0:0:cr:As||", 200), 200);  // a42 = 1
  EXPECT_EQ(aggressiveAnswers(bot, "MATCHSTATE:0:0:crf:As||", 200), 200);
  EXPECT_EQ(aggressiveAnswers(bot, "MATCHSTATE:0:0:crc:As||", 200), 200);
  EXPECT_EQ(aggressiveAnswers(bot, "MATCHSTATE:2:0:rc:||Js", 200), 0);    // c14 = 0
  // c34 is 1 right after construction.
  EXPECT_EQ(aggressiveAnswers(bot, "MATCHSTATE:2:0:rc:||Ks", 200), 200);
}

TEST(BotActTest, BetsWithProbabilityBeta) {
  std::mt19937 engine(3);
  BetaAndFreeOptimizedBot bot(kuhnGame(), engine);
  ASSERT_EQ(bot.modeler.models[thisPlayer].at(1, 1, 1), 0.25);
  int const bets = aggressiveAnswers(bot, "MATCHSTATE:1:0:c:|Js|", 4000);
  EXPECT_NEAR(bets / 4000.0, 0.25, 0.03);
}

TEST(BotActTest, OneDrawPerDecisionAndSameSeedsSameAnswers) {
  std::mt19937 engine1(99), engine2(99);
  BetaAndFreeOptimizedBot bot1(kuhnGame(), engine1);
  BetaAndFreeOptimizedBot bot2(kuhnGame(), engine2);
  std::mt19937 reference = engine1;
  char const* spots[] = {"MATCHSTATE:1:0:c:|Js|", "MATCHSTATE:1:0:c:|Qs|", "MATCHSTATE:2:0:cc:||Qs",
                         "MATCHSTATE:1:0:r:|Ks|", "MATCHSTATE:2:0:rf:||Ks"};
  for (int round = 0; round < 50; ++round)
    for (char const* spot : spots) {
      MatchState const ms = matchState(spot);
      EXPECT_EQ(bot1.act(ms).type, bot2.act(ms).type);
      reference.discard(2);
    }
  EXPECT_EQ(engine1, reference);
  bot1.update(matchState("MATCHSTATE:1:0:rcc:Ks|Qs|Js"));
  bot2.update(matchState("MATCHSTATE:1:0:rcc:Ks|Qs|Js"));
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(bot1.modeler.models[i].probabilities, bot2.modeler.models[i].probabilities);
}

TEST(BotUpdateTest, ReOptimisesAgainstTheObservedOpponent) {
  std::mt19937 engine(5);
  BetaAndFreeOptimizedBot bot(kuhnGame(), engine);
  // Seen from seat 1: previousPlayer (seat 0) opens with the jack. That is
  // a11(prev) = 1, which makes D = -1.5 < 0: the bot stops bluffing.
  bot.update(matchState("MATCHSTATE:1:0:rcc:Js|Qs|Ks"));
  EXPECT_EQ(bot.modeler.lastMatchState.state.handId, 0u);
  PlayerModel const& self = bot.modeler.models[thisPlayer];
  EXPECT_EQ(bot.modeler.models[previousPlayer].at(0, 1, 1), 1);
  EXPECT_EQ(self.at(1, 1, 1), 0);
  EXPECT_EQ(self.at(1, 2, 1), 0);
}

TEST(BotTest, RefusesOtherGamesAndUnknownCards) {
  std::string const dir = trikuhn_test::makeTempDir();
  std::string const path = dir + "/two.game";
  trikuhn_test::writeFile(path,
                          "GAMEDEF\nlimit\nnumPlayers = 2\nnumRounds = 1\nblind = 1 1\n"
                          "raiseSize = 1\nnumSuits = 1\nnumRanks = 3\nnumHoleCards = 1\n"
                          "numBoardCards = 0\nEND GAMEDEF\n");
  Acpc::GameDef const twoPlayer(path);
  std::mt19937 engine;
  EXPECT_THROW(BetaAndFreeOptimizedBot(twoPlayer, engine), std::runtime_error);

  BetaAndFreeOptimizedBot bot(kuhnGame(), engine);
  // The dealer's text may name a card outside the deck.
  EXPECT_THROW(bot.act(matchState("MATCHSTATE:0:0::2c||")), std::runtime_error);
}

}  // namespace
