// The no-limit betting tree and its CFR: the tree against the engine and
// the betting abstraction, the flat solver against a plain recursion over
// engine states with keyed maps, and the strategy file.
#include "solver/nolimit_cfr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <set>

#include "abstraction/bet_abstraction.h"
#include "holdem_agent_support.h"
#include "showdown.h"
#include "solver/nolimit_dealer.h"
#include "support.h"

namespace {

GamePtr nolimitGame() { return readGameFile(holdemGamePath("holdem.nolimit.2p.reverse_blinds.game")); }

// Three rounds and short, uneven stacks: a tree of a few hundred decisions
// with all-ins, side money and showdowns in every round.
Game smallGame(const Game& full) {
  Game g = full;
  g.numRounds = 3;
  g.stack[0] = 1000;
  g.stack[1] = 700;
  return g;
}

std::string historyText(const Game* game, const State& state) {
  std::string text;
  for (int r = 0; r <= state.round; ++r) {
    for (int i = 0; i < state.numActions[r]; ++i) {
      char action[32];
      printAction(game, &state.action[r][i], sizeof action, action);
      text += action;
    }
    text += '/';
  }
  return text;
}

// Every decision of the tree with the engine state that reaches it.
void forEachDecision(const NolimitTree& tree, const std::function<void(uint32_t, const State&)>& visit) {
  std::function<void(uint32_t, const State&)> walk = [&](uint32_t d, const State& state) {
    visit(d, state);
    for (int a = 0; a < tree.decision(d).numActions; ++a) {
      State next = state;
      doAction(tree.game(), &tree.action(d, a), &next);
      if (!(tree.child(d, a) & NolimitTree::TERMINAL)) walk(tree.child(d, a), next);
    }
  };
  State root;
  initState(tree.game(), 0, &root);
  walk(0, root);
}

// The plain reference: CFR by recursion over engine states, the actions
// from the betting abstraction, the payoffs from the engine with the dealt
// cards, the sums in maps keyed by bucket and betting history.
struct ReferenceCFR {
  const Game* game;
  bool linear;
  std::map<std::string, std::pair<std::vector<double>, std::vector<double>>> sets;  // regrets, sums
  double weight = 1.0;
  int iteration = 0;

  void walk(const State& state, const uint32_t bucket[2][MAX_ROUNDS], const double reach[2], double u[2]) {
    if (state.finished) {
      for (uint8_t p = 0; p < 2; ++p) u[p] = valueOfState(game, &state, p);
      return;
    }
    const int seat = currentPlayer(game, &state);
    std::vector<Action> actions;
    if (state.spent[seat] < state.maxSpent) actions.push_back({a_fold, 0});
    actions.push_back({a_call, 0});
    for (int32_t to : abstractRaiseSizes(game, &state)) actions.push_back({a_raise, to});
    const int n = static_cast<int>(actions.size());
    auto& [regret, sum] = sets[std::to_string(bucket[seat][state.round]) + ":" + historyText(game, state)];
    regret.resize(n);
    sum.resize(n);

    double strategy[NolimitTree::MAX_ACTIONS];
    double total = 0.0;
    for (int a = 0; a < n; ++a) total += (strategy[a] = regret[a] > 0.0 ? regret[a] : 0.0);
    for (int a = 0; a < n; ++a) {
      strategy[a] = total > 0.0 ? strategy[a] / total : 1.0 / n;
      sum[a] += strategy[a] * (reach[seat] * weight);
    }
    double actionUtility[NolimitTree::MAX_ACTIONS];
    u[0] = u[1] = 0.0;
    for (int a = 0; a < n; ++a) {
      State next = state;
      doAction(game, &actions[a], &next);
      double childReach[2] = {reach[0], reach[1]};
      childReach[seat] *= strategy[a];
      double cu[2];
      walk(next, bucket, childReach, cu);
      actionUtility[a] = cu[seat];
      u[0] += strategy[a] * cu[0];
      u[1] += strategy[a] * cu[1];
    }
    for (int a = 0; a < n; ++a) regret[a] += reach[1 - seat] * weight * (actionUtility[a] - u[seat]);
  }
  void iterate(const State& dealt, const uint32_t bucket[2][MAX_ROUNDS], double u[2]) {
    weight = linear ? ++iteration : 1.0;
    const double reach[2] = {1.0, 1.0};
    walk(dealt, bucket, reach, u);
  }
};

// Deals random cards; buckets mix the cards a seat sees in a round.
void dealRandom(const Game* game, std::mt19937& rng, const uint32_t buckets[MAX_ROUNDS], State* state,
                NolimitCFR::Deal* deal) {
  std::vector<uint8_t> deck(52);
  for (int c = 0; c < 52; ++c) deck[c] = static_cast<uint8_t>(c);
  std::shuffle(deck.begin(), deck.end(), rng);
  initState(game, 0, state);
  int next = 0;
  for (int p = 0; p < 2; ++p)
    for (int c = 0; c < 2; ++c) state->holeCards[p][c] = deck[next++];
  for (int c = 0; c < 5; ++c) state->boardCards[c] = deck[next++];
  for (int r = 0; r < game->numRounds; ++r) {
    for (uint8_t p = 0; p < 2; ++p) {
      uint32_t h = 2166136261u;
      for (int c = 0; c < 2; ++c) h = (h ^ state->holeCards[p][c]) * 16777619u;
      for (int c = 0; c < sumBoardCards(game, static_cast<uint8_t>(r)); ++c) h = (h ^ state->boardCards[c]) * 16777619u;
      deal->bucket[p][r] = h % buckets[r];
    }
    deal->order[r] = NolimitTree::orderOf(gamecore::showdownHandValue(game, state, 0, static_cast<uint8_t>(r)),
                                          gamecore::showdownHandValue(game, state, 1, static_cast<uint8_t>(r)));
  }
}

}  // namespace

TEST(NolimitTree, EveryActionIsTheAbstractionsAndLegalAndEveryStateFindsItsDecision) {
  GamePtr full = nolimitGame();
  ASSERT_TRUE(full);
  const Game small = smallGame(*full);
  for (const Game* game : std::initializer_list<const Game*>{full.get(), &small}) {
    NolimitTree tree(game);
    size_t decisions = 0;
    forEachDecision(tree, [&](uint32_t d, const State& state) {
      ++decisions;
      const NolimitTree::Decision& decision = tree.decision(d);
      ASSERT_EQ(decision.seat, currentPlayer(game, &state));
      ASSERT_EQ(decision.round, state.round);
      // A fold only where chips are owed, always a call, then every size.
      const bool owes = state.spent[decision.seat] < state.maxSpent;
      const std::vector<int32_t> sizes = abstractRaiseSizes(game, &state);
      ASSERT_EQ(decision.numActions, owes + 1 + sizes.size());
      EXPECT_EQ(tree.action(d, 0).type, owes ? a_fold : a_call);
      for (size_t i = 0; i < sizes.size(); ++i)
        EXPECT_EQ(tree.action(d, owes + 1 + static_cast<int>(i)).size, sizes[i]);
      for (int a = 0; a < decision.numActions; ++a) {
        Action action = tree.action(d, a);
        State copy = state;
        EXPECT_TRUE(isValidAction(game, &copy, 0, &action));
        const uint32_t child = tree.child(d, a);
        if (child & NolimitTree::TERMINAL) {
          doAction(game, &action, &copy);
          const NolimitTree::Terminal& t = tree.terminal(child & ~NolimitTree::TERMINAL);
          EXPECT_TRUE(copy.finished);
          EXPECT_EQ(t.round, copy.round);
          EXPECT_EQ(t.spent[0], copy.spent[0]);
          EXPECT_EQ(t.spent[1], copy.spent[1]);
        }
      }
      EXPECT_EQ(tree.decisionOf(state), d);
    });
    EXPECT_EQ(decisions, tree.numDecisions());
    size_t perRound = 0;
    for (int r = 0; r < MAX_ROUNDS; ++r) perRound += tree.decisionsInRound(r);
    EXPECT_EQ(perRound, tree.numDecisions());
  }
  NolimitTree tree(full.get());
  // Four fifths of the 43,984 decisions are the river's 35,304; the river's
  // buckets dominate the count.
  const uint32_t buckets[MAX_ROUNDS] = {169, 50, 50, 50};
  EXPECT_EQ(tree.numDecisions(), 43984u);

  EXPECT_EQ(tree.informationSets(buckets), 64u * 169 + (1032u + 7584 + 35304) * 50);

  // A real history with sizes the tree lacks, read into the abstraction,
  // reaches a decision; one with a check-fold does not.
  MatchState ms;
  ASSERT_GT(readMatchState("MATCHSTATE:0:0:r250r1100c/r2000:Kh9c|/2c3d4h", full.get(), &ms), 0);
  const AbstractHistory read = readHistory(full.get(), ms.state, [](int) { return 0.5; });
  ASSERT_TRUE(read.complete);
  EXPECT_NE(tree.decisionOf(read.state), NolimitTree::NONE);
  EXPECT_EQ(tree.decisionOf(ms.state), NolimitTree::NONE);
  EXPECT_THROW(NolimitTree(readGameFile(holdemGamePath("holdem.limit.2p.reverse_blinds.game")).get()),
               std::invalid_argument);
}

// The flat solver equals the reference, and with threads (the top of the
// tree expanded, the subtrees below it walked as tasks) equals itself
// without, discounted weighting included.
TEST(NolimitCFR, FlatSumsEqualTheReferenceBitForBitWithAndWithoutThreads) {
  GamePtr full = nolimitGame();
  ASSERT_TRUE(full);
  const Game game = smallGame(*full);
  const NolimitTree tree(&game);
  const uint32_t buckets[MAX_ROUNDS] = {3, 4, 5, 0};
  for (NolimitCFR::Weighting weighting : {NolimitCFR::Weighting::uniform, NolimitCFR::Weighting::linear,
                                          NolimitCFR::Weighting::discounted}) {
    NolimitCFR flat(tree, buckets, weighting, 70);
    NolimitCFR threaded(tree, buckets, weighting, 70);
    threaded.setThreads(2, 0);
    const bool discounted = weighting == NolimitCFR::Weighting::discounted;
    ReferenceCFR reference{&game, weighting == NolimitCFR::Weighting::linear, {}};
    std::mt19937 rng(11);
    for (int i = 0; i < 300; ++i) {
      // A thread count changed between iterations changes nothing either.
      if (i == 100) threaded.setThreads(1);
      if (i == 150) threaded.setThreads(2, 0);
      State dealt;
      NolimitCFR::Deal deal{};
      dealRandom(&game, rng, buckets, &dealt, &deal);
      double u[2], expected[2], parallel[2];
      flat.iterate(deal, u);
      threaded.iterate(deal, parallel);
      ASSERT_EQ(parallel[0], u[0]) << i;
      ASSERT_EQ(parallel[1], u[1]) << i;
      if (discounted) continue;
      reference.iterate(dealt, deal.bucket, expected);
      ASSERT_EQ(u[0], expected[0]) << i;
      ASSERT_EQ(u[1], expected[1]) << i;
    }
    ASSERT_EQ(threaded.regrets(), flat.regrets());
    ASSERT_EQ(threaded.strategySums(), flat.strategySums());
    if (discounted) continue;
    size_t compared = 0;
    bool moved = false;
    forEachDecision(tree, [&](uint32_t d, const State& state) {
      const NolimitTree::Decision& decision = tree.decision(d);
      for (uint32_t b = 0; b < buckets[decision.round]; ++b) {
        const auto at = reference.sets.find(std::to_string(b) + ":" + historyText(&game, state));
        const size_t i = flat.index(d, b);
        if (at == reference.sets.end()) {
          for (int a = 0; a < decision.numActions; ++a) EXPECT_EQ(flat.strategySums()[i + a], 0.0);
          continue;
        }
        ++compared;
        for (int a = 0; a < decision.numActions; ++a) {
          ASSERT_EQ(flat.regrets()[i + a], at->second.first[a]);
          ASSERT_EQ(flat.strategySums()[i + a], at->second.second[a]);
          moved = moved || flat.regrets()[i + a] != 0.0;
        }
      }
    });
    EXPECT_EQ(compared, reference.sets.size());
    EXPECT_TRUE(moved);
    EXPECT_EQ(flat.iterationsDone(), 300u);
  }
}

// The whole game's tree with the default threshold and split, as the large
// player trains it: deep top decisions, many tasks of very different sizes.
TEST(NolimitCFR, ThreadedPassOnTheFullTreeEqualsOneThread) {
  GamePtr game = nolimitGame();
  ASSERT_TRUE(game);
  const NolimitTree tree(game.get());
  const uint32_t buckets[MAX_ROUNDS] = {3, 3, 3, 3};
  NolimitCFR single(tree, buckets, NolimitCFR::Weighting::discounted, 16);
  NolimitCFR threaded(tree, buckets, NolimitCFR::Weighting::discounted, 16);
  threaded.setThreads(2);
  std::mt19937 rng(5);
  for (int i = 0; i < 40; ++i) {
    State dealt;
    NolimitCFR::Deal deal{};
    dealRandom(game.get(), rng, buckets, &dealt, &deal);
    double u[2], parallel[2];
    single.iterate(deal, u);
    threaded.iterate(deal, parallel);
    ASSERT_EQ(parallel[0], u[0]) << i;
    ASSERT_EQ(parallel[1], u[1]) << i;
  }
  EXPECT_EQ(threaded.regrets(), single.regrets());
  EXPECT_EQ(threaded.strategySums(), single.strategySums());
}

// Discounted weighting by blocks: within a block the increments are plain
// CFR's; after block 1 every regret is halved and every strategy sum
// quartered; after block 2 positive regrets keep 2^1.5 / (2^1.5 + 1) of
// themselves and negative ones half. The block is kept in the file.
TEST(NolimitCFR, DiscountedWeightingScalesEachBlockAndKeepsItsBlockInTheFile) {
  GamePtr full = nolimitGame();
  ASSERT_TRUE(full);
  const Game game = smallGame(*full);
  const NolimitTree tree(&game);
  const uint32_t buckets[MAX_ROUNDS] = {2, 3, 3, 0};
  constexpr uint64_t kBlock = 40;
  NolimitCFR plain(tree, buckets, NolimitCFR::Weighting::uniform);
  NolimitCFR discounted(tree, buckets, NolimitCFR::Weighting::discounted, kBlock);
  std::mt19937 rng(7);
  std::vector<NolimitCFR::Deal> deals(2 * kBlock);
  for (NolimitCFR::Deal& deal : deals) {
    State dealt;
    dealRandom(&game, rng, buckets, &dealt, &deal);
  }
  double u[2];
  for (uint64_t i = 0; i + 1 < kBlock; ++i) {
    plain.iterate(deals[i], u);
    discounted.iterate(deals[i], u);
  }
  EXPECT_EQ(discounted.regrets(), plain.regrets());
  EXPECT_EQ(discounted.strategySums(), plain.strategySums());
  plain.iterate(deals[kBlock - 1], u);
  discounted.iterate(deals[kBlock - 1], u);
  bool negative = false;
  for (size_t i = 0; i < plain.numEntries(); ++i) {
    ASSERT_EQ(discounted.regrets()[i], plain.regrets()[i] * 0.5) << i;
    ASSERT_EQ(discounted.strategySums()[i], plain.strategySums()[i] * 0.25) << i;
    negative = negative || plain.regrets()[i] < 0.0;
  }
  EXPECT_TRUE(negative);

  // Block 2: the discounted solver equals a plain one that starts from its
  // sums after block 1, trains the same deals and is then scaled by hand.
  TempDir dir;
  const std::string path = dir.path() + "/strategy";
  ASSERT_TRUE(discounted.save(path));
  NolimitCFR loaded(tree, buckets, NolimitCFR::Weighting::uniform);
  ASSERT_EQ(loaded.load(path), "");
  EXPECT_EQ(loaded.weighting(), NolimitCFR::Weighting::discounted);
  EXPECT_EQ(loaded.discountBlock(), kBlock);
  for (uint64_t i = kBlock; i < 2 * kBlock; ++i) discounted.iterate(deals[i], u);
  // The plain solver continues from the discounted sums of block 1.
  NolimitCFR continued(tree, buckets, NolimitCFR::Weighting::uniform);
  {
    std::string bytes = readBytes(path);
    const uint32_t uniformCode = 0, noBlock = 0;
    std::memcpy(&bytes[48], &uniformCode, 4);  // weighting, then its block
    std::memcpy(&bytes[52], &noBlock, 4);
    writeBytes(path + ".uniform", bytes);
  }
  ASSERT_EQ(continued.load(path + ".uniform"), "");
  for (uint64_t i = kBlock; i < 2 * kBlock; ++i) continued.iterate(deals[i], u);
  const double keep = std::pow(2.0, 1.5) / (std::pow(2.0, 1.5) + 1.0);
  for (size_t i = 0; i < plain.numEntries(); ++i) {
    const double r = continued.regrets()[i];
    ASSERT_EQ(discounted.regrets()[i], r * (r > 0.0 ? keep : 0.5)) << i;
    ASSERT_EQ(discounted.strategySums()[i], continued.strategySums()[i] * std::pow(2.0 / 3.0, 2.0)) << i;
  }

  // A discounted header without a block is refused, and so is a discounted
  // solver without one.
  std::string bytes = readBytes(path);
  const uint32_t zero = 0;
  std::memcpy(&bytes[52], &zero, 4);
  writeBytes(path, bytes);
  EXPECT_EQ(loaded.load(path), "its weighting is unknown");
  EXPECT_THROW(NolimitCFR(tree, buckets, NolimitCFR::Weighting::discounted, 0), std::invalid_argument);
}

TEST(NolimitCFR, StrategyFileRoundTripsAndRefusesOtherTreesBucketsAndDamage) {
  GamePtr full = nolimitGame();
  ASSERT_TRUE(full);
  const Game game = smallGame(*full);
  const NolimitTree tree(&game);
  const uint32_t buckets[MAX_ROUNDS] = {2, 3, 3, 0};
  NolimitCFR trained(tree, buckets);
  std::mt19937 rng(3);
  trained.train(50, [&](NolimitCFR::Deal* deal) {
    State dealt;
    dealRandom(&game, rng, buckets, &dealt, deal);
  });
  double p[NolimitTree::MAX_ACTIONS];
  trained.probabilities(0, 1, p);
  double total = 0.0;
  for (int a = 0; a < tree.decision(0).numActions; ++a) total += p[a];
  EXPECT_NEAR(total, 1.0, 1e-12);

  TempDir dir;
  const std::string path = dir.path() + "/strategy";
  ASSERT_TRUE(trained.save(path));
  EXPECT_EQ(std::filesystem::file_size(path), trained.fileBytes());
  NolimitCFR loaded(tree, buckets, NolimitCFR::Weighting::uniform);
  ASSERT_EQ(loaded.load(path), "");
  EXPECT_EQ(loaded.regrets(), trained.regrets());
  EXPECT_EQ(loaded.strategySums(), trained.strategySums());
  EXPECT_EQ(loaded.iterationsDone(), 50u);
  EXPECT_EQ(loaded.weighting(), NolimitCFR::Weighting::linear);

  const uint32_t others[MAX_ROUNDS] = {2, 3, 4, 0};
  NolimitCFR otherBuckets(tree, others);
  EXPECT_NE(otherBuckets.load(path).find("buckets"), std::string::npos);
  Game deeper = game;
  deeper.stack[1] = 800;
  const NolimitTree otherTree(&deeper);
  NolimitCFR otherGame(otherTree, buckets);
  EXPECT_NE(otherGame.load(path).find("another betting tree"), std::string::npos);

  const std::string bytes = readBytes(path);
  writeBytes(path, bytes.substr(0, bytes.size() - 8));
  EXPECT_NE(loaded.load(path).find("bytes where"), std::string::npos);
  std::string damaged = bytes;
  const double nan = std::nan("");
  std::memcpy(&damaged[damaged.size() - 8], &nan, 8);
  writeBytes(path, damaged);
  EXPECT_NE(loaded.load(path).find("damaged"), std::string::npos);
  writeBytes(path, "MVNLCFR?" + bytes.substr(8));
  EXPECT_NE(loaded.load(path).find("not a no-limit strategy"), std::string::npos);
  EXPECT_EQ(loaded.strategySums(), trained.strategySums());

  // No room: nothing written, not even the temporary file.
  setFreeSpaceForTesting(1000);
  EXPECT_FALSE(trained.save(dir.path() + "/full"));
  setFreeSpaceForTesting(-1);
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/full"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/full.tmp"));
}

TEST(HoldemDealer, DealsDistinctCardsAndReadsBucketsAndOrdersFromThem) {
  GamePtr game = nolimitGame();
  ASSERT_TRUE(game);
  // The bucket names the round and the seat's cards.
  const auto bucketOf = [&](int round, const uint8_t* cards) {
    uint32_t h = static_cast<uint32_t>(round);
    for (int c = 0; c < 2 + sumBoardCards(game.get(), static_cast<uint8_t>(round)); ++c) h = h * 53 + cards[c];
    return h;
  };
  HoldemDealer dealer(game.get(), bucketOf, 5);
  int ties = 0;
  for (int i = 0; i < 500; ++i) {
    NolimitCFR::Deal deal{};
    dealer(&deal);
    const uint8_t* cards = dealer.lastCards();
    EXPECT_EQ(std::set<uint8_t>(cards, cards + 9).size(), 9u);
    State state;
    initState(game.get(), 0, &state);
    for (int p = 0; p < 2; ++p)
      for (int c = 0; c < 2; ++c) state.holeCards[p][c] = cards[2 * p + c];
    std::copy(cards + 4, cards + 9, state.boardCards);
    for (int r = 0; r < 4; ++r) {
      for (int p = 0; p < 2; ++p) {
        std::vector<uint8_t> seen = {cards[2 * p], cards[2 * p + 1]};
        seen.insert(seen.end(), cards + 4, cards + 4 + sumBoardCards(game.get(), static_cast<uint8_t>(r)));
        ASSERT_EQ(deal.bucket[p][r], bucketOf(r, seen.data()));
      }
      ASSERT_EQ(deal.order[r], NolimitTree::orderOf(gamecore::showdownHandValue(game.get(), &state, 0, r),
                                                    gamecore::showdownHandValue(game.get(), &state, 1, r)));
      ties += deal.order[r] == NolimitTree::TIE;
    }
  }
  EXPECT_GT(ties, 0);
}
