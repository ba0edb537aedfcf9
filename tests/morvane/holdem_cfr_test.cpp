// The solver on the hold'em games: keys of the hold'em tables mode, the
// card-free betting tree on the real betting rules, the flat store against
// the reference (keyed maps, 10,000 tree builds, engine-state recursion) on
// games where the reference is quick, thread-count independence, strategy
// files and lookups of keys the strategy lacks.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <stdexcept>

#include "solver/betting_tree.h"
#include "solver/strategy_check.h"
#include "holdem_support.h"
#include "common/util.h"

namespace {

State afterActions(const Game* game, const std::string& actions) {
  State state;
  initState(game, 0, &state);
  for (char c : actions) {
    Action action{c == 'f' ? a_fold : c == 'c' ? a_call : a_raise, 0};
    EXPECT_TRUE(isValidAction(game, &state, 0, &action)) << actions;
    doAction(game, &action, &state);
  }
  return state;
}

void setAllBuckets(CFR& cfr, uint64_t twoActing, uint64_t threeActing) {
  for (auto& round : cfr.holdemBucket)
    for (int seat = 0; seat < 3; ++seat) {
      round[2][seat] = twoActing;
      round[3][seat] = threeActing;
    }
}

// A small three-player limit game on a 52-card deck: the reference's
// 10,000 tree builds stay quick, and folds leave two seats to act.
GamePtr smallThreePlayerGame(const TempDir& dir) {
  writeText(dir.file("small.3p.game"),
            "GAMEDEF\nlimit\nnumPlayers = 3\nnumRounds = 2\nblind = 5 10 0\nraiseSize = 10 20\n"
            "firstPlayer = 3 1\nmaxRaises = 1 1\nnumSuits = 4\nnumRanks = 13\nnumHoleCards = 2\n"
            "numBoardCards = 0 3\nEND GAMEDEF\n");
  return readGameFile(dir.file("small.3p.game"));
}

}  // namespace

TEST(HoldemKeys, UseTheHoldemTablesOfTheActingSeatsCount) {
  GamePtr two = holdemGame("holdem.limit.2p.reverse_blinds.game");
  GamePtr three = holdemGame("holdem.limit.3p.game");
  ASSERT_TRUE(two && three);

  CFR cfr(two.get());
  cfr.useCardAbstraction = cfr.useHoldemTables = true;
  setAllBuckets(cfr, 0, 0);
  cfr.holdemBucket[2][2][1] = 7;
  State state = afterActions(two.get(), "crrcccr");
  EXPECT_EQ(cfr.abstraction(&state), "1:2:7:crrcccr");

  // Three seats: the three-player bucket while all can act, the two-player
  // one after a fold.
  CFR cfr3(three.get());
  cfr3.useCardAbstraction = cfr3.useHoldemTables = true;
  setAllBuckets(cfr3, 4, 8);
  state = afterActions(three.get(), "");
  EXPECT_EQ(cfr3.abstraction(&state), "2:0:8:");
  state = afterActions(three.get(), "f");
  EXPECT_EQ(cfr3.abstraction(&state), "0:0:4:f");
  state = afterActions(three.get(), "fcc");
  EXPECT_EQ(cfr3.abstraction(&state), "0:1:4:fcc");
}

TEST(HoldemTree, DecisionsPerRoundFollowTheBettingRules) {
  GamePtr two = holdemGame("holdem.limit.2p.reverse_blinds.game");
  GamePtr noLimit = holdemGame("holdem.nolimit.2p.reverse_blinds.game");
  ASSERT_TRUE(two && noLimit);
  CFR solver(two.get());
  const auto actionOf = [&](int a, const State* s, Action* action) { solver.getAbstractedAction(a, s, action); };

  BettingTree tree(two.get(), actionOf);
  size_t perRound[4] = {};
  for (size_t d = 0; d < tree.numDecisions(); ++d) ++perRound[tree.decision(static_cast<uint32_t>(d)).round];
  EXPECT_EQ(perRound[0], 8u);
  EXPECT_EQ(perRound[1], 70u);
  EXPECT_EQ(perRound[2], 630u);
  EXPECT_EQ(perRound[3], 5670u);
  // Decision numbers follow the histories' byte order, map by map.
  for (int m = 0; m < tree.numMaps(); ++m) {
    std::string previous;
    for (uint32_t d : tree.decisionsOf(m)) {
      char text[64];
      const std::string history(text, tree.history(d, text, sizeof(text)));
      if (d != tree.decisionsOf(m).front()) {
        EXPECT_LT(previous, history);
      }
      EXPECT_EQ(tree.follow(history.data(), history.size()), d);
      previous = history;
    }
  }

  // The abstract raise has size 0, which no no-limit raise is.
  BettingTree nl(noLimit.get(), actionOf);
  ASSERT_GT(nl.numDecisions(), 0u);
  for (size_t d = 0; d < nl.numDecisions(); ++d)
    EXPECT_EQ(nl.decision(static_cast<uint32_t>(d)).child[2], BettingTree::NONE);
}

TEST(HoldemSolver, NoLimitFlatStoreEqualsReference) {
  GamePtr game = holdemGame("holdem.nolimit.2p.reverse_blinds.game");
  ASSERT_TRUE(game);
  TempDir dir;
  expectFlatEqualsReference(game.get(), 3000, dir);
  SyntheticBuckets cfr(game.get());
  trainHoldemQuietly(cfr, 10, 1);
  for (const auto& [key, node] : informationSets(cfr)) EXPECT_FALSE(node.isActionValid(2)) << key;
}

TEST(HoldemSolver, ThreePlayerFlatStoreEqualsReferenceThroughFolds) {
  TempDir dir;
  GamePtr game = smallThreePlayerGame(dir);
  ASSERT_TRUE(game);
  expectFlatEqualsReference(game.get(), 2000, dir);
}

// Threads take subtrees of the size the pass chooses, and subtrees of at most
// 8 decisions, so that the sequential top reaches the last round. After
// enough deals many actions have probability zero: subtrees that no seat
// reaches, or that only some seats reach for their strategy sums (with
// three players), are handed out pruned as the one-thread recursion prunes
// them, and the sums must still be the same.
TEST(HoldemSolver, ResultsDoNotDependOnTheThreadCount) {
  TempDir dir;
  GamePtr games[2] = {holdemGame("holdem.limit.2p.reverse_blinds.game"), smallThreePlayerGame(dir)};
  for (const GamePtr& game : games) {
    ASSERT_TRUE(game);
    const int deals = game->numPlayers == 2 ? 1000 : 300;
    SyntheticBuckets one(game.get());
    one.setThreads(1);
    trainHoldemQuietly(one, deals, 5);
    for (unsigned threads : {2u, 3u}) {
      for (uint32_t task : {0u, 8u}) {
        SyntheticBuckets many(game.get());
        many.setThreads(threads, 0, task);  // threaded even on these small trees
        trainHoldemQuietly(many, deals, 5);
        expectSameInformationSets(one, many);
      }
    }
  }
}

// A record may exclude an action its betting tree allows (a file can say
// so): neither pass then visits anything below it, and both still agree.
TEST(HoldemSolver, FlatStoreEqualsReferenceBelowActionsAFileExcludes) {
  GamePtr game = holdemGame("holdem.limit.2p.reverse_blinds.game");
  ASSERT_TRUE(game);
  TempDir dir;
  SyntheticBuckets trained(game.get());
  trainHoldemQuietly(trained, 200, 7);
  ASSERT_TRUE(trained.save(dir.file("strategy")));

  // The file is, map by map, a count and that many records of a 60-byte key
  // and six sums; exclude the raise of every fifth record that allows one.
  std::string bytes = fileBytes(dir.file("strategy"));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  size_t excluded = 0, allowing = 0;
  for (size_t at = 0; at < bytes.size();) {
    uint32_t count;
    std::memcpy(&count, &bytes[at], sizeof(count));
    at += sizeof(count);
    for (uint32_t i = 0; i < count; ++i, at += 108) {
      char* raiseRegret = &bytes[at + 60 + 2 * sizeof(double)];
      double regret;
      std::memcpy(&regret, raiseRegret, sizeof(regret));
      if (regret == regret && allowing++ % 5 == 0) {
        std::memcpy(raiseRegret, &nan, sizeof(nan));
        ++excluded;
      }
    }
  }
  ASSERT_GT(excluded, 1000u);
  writeFileBytes(dir.file("strategy"), bytes);

  SyntheticBuckets flat(game.get());
  SyntheticBuckets reference(game.get());
  reference.setUseFlatStore(false);
  ASSERT_TRUE(flat.load(dir.file("strategy")));
  ASSERT_TRUE(reference.load(dir.file("strategy")));
  ASSERT_TRUE(flat.usesFlatStore());
  ASSERT_FALSE(reference.usesFlatStore());
  trainHoldemQuietly(flat, 300, 11);
  trainHoldemQuietly(reference, 300, 11);
  expectSameInformationSets(flat, reference);
}

TEST(HoldemSolver, StrategyFileRoundTripAndLookups) {
  GamePtr game = holdemGame("holdem.limit.2p.reverse_blinds.game");
  ASSERT_TRUE(game);
  TempDir dir;
  SyntheticBuckets cfr(game.get());
  trainHoldemQuietly(cfr, 200, 3);
  ASSERT_TRUE(cfr.save(dir.file("strategy")));
  const std::string bytes = fileBytes(dir.file("strategy"));
  EXPECT_EQ(bytes.size(), 8 * 4 + 63780 * 108u);

  CFR loaded(game.get());
  ASSERT_TRUE(loaded.load(dir.file("strategy")));
  EXPECT_TRUE(loaded.usesFlatStore());
  EXPECT_TRUE(loaded.treeBuilt);
  expectSameInformationSets(cfr, loaded);
  ASSERT_TRUE(loaded.save(dir.file("again")));
  EXPECT_TRUE(fileBytes(dir.file("again")) == bytes);

  // Play looks keys up in the loaded store, with the agent's mode on.
  loaded.useCardAbstraction = loaded.useHoldemTables = true;
  setAllBuckets(loaded, 7, 7);
  State state = afterActions(game.get(), "crrcccr");
  CFRNode* node = loaded.findNode(&state);
  EXPECT_EQ(node, loaded.findNode("1:2:7:crrcccr"));
  EXPECT_EQ(std::memcmp(node, cfr.findNode("1:2:7:crrcccr"), sizeof(CFRNode)), 0);
  // The same decision in another bucket is the record its key names, for
  // both seats in the first and last rounds as in the middle; no bucket, no
  // record.
  const InfoSetStore& store = *loaded.flatStore();
  for (const char* history : {"", "c", "crrcccr", "ccccccr", "ccccccrr"}) {
    const State at = afterActions(game.get(), history);
    const CFRNode* first = loaded.lookupNode(loaded.abstraction(&at, 0));
    ASSERT_TRUE(first) << history;
    for (int b = 0; b < 10; ++b)
      EXPECT_EQ(store.inBucket(first, b), loaded.lookupNode(loaded.abstraction(&at, b)))
          << history << " " << b;
    EXPECT_EQ(store.inBucket(first, 10), nullptr);
  }
  EXPECT_EQ(store.inBucket(node + store.size(), 3), nullptr);
  // A bucket outside 0 to 9, an unbuilt player count's garbage, a history
  // the tree lacks, a malformed key: the map's out-of-range error.
  loaded.holdemBucket[2][2][1] = 10;
  EXPECT_THROW(loaded.findNode(&state), std::out_of_range);
  EXPECT_THROW(loaded.findNode("1:2:7:crrcccrrrrrr"), std::out_of_range);
  EXPECT_THROW(loaded.findNode("0:2:7:crrcccr"), std::out_of_range);
  EXPECT_THROW(loaded.findNode("1:2:07:crrcccr"), std::out_of_range);
  EXPECT_THROW(loaded.findNode("1:2:"), std::out_of_range);

  // A cut file fails and leaves nothing behind.
  writeFileBytes(dir.file("cut"), bytes.substr(0, bytes.size() / 2));
  CFR cut(game.get());
  EXPECT_FALSE(cut.load(dir.file("cut")));
  EXPECT_FALSE(cut.treeBuilt);
  EXPECT_EQ(cut.numInformationSets(), 0u);

  // A whole-game load refuses a file of other bucket counts without reading
  // its keys into the maps first; a load of any keys still reads them.
  CFR fewer(game.get());
  fewer.setHoldemBuckets(3);
  EXPECT_EQ(loadCheckedHoldemStrategy(fewer, dir.file("strategy"), true),
            "its information sets are not those of the game's tree");
  EXPECT_EQ(fewer.numInformationSets(), 0u);
  CFR anyKeys(game.get());
  anyKeys.setHoldemBuckets(3);
  EXPECT_EQ(loadCheckedHoldemStrategy(anyKeys, dir.file("strategy"), false), "");
  EXPECT_FALSE(anyKeys.usesFlatStore());
  EXPECT_EQ(anyKeys.numInformationSets(), cfr.numInformationSets());
}

// A solver whose buckets do not fit in a byte trains and reads each under its
// own key: none is folded onto a smaller one.
TEST(HoldemSolver, BucketsPastOneByteKeepTheirOwnKeys) {
  class PastOneByte : public CFR {
   public:
    using CFR::CFR;
    int holdemTableBucket(int, int, int, const uint8_t* cards) const override {
      return 256 + (cards[0] + cards[1]) % 2;
    }
  };
  GamePtr game = holdemGame("holdem.limit.2p.reverse_blinds.game");
  ASSERT_TRUE(game);
  PastOneByte cfr(game.get());
  cfr.setHoldemBuckets(258);
  trainHoldemQuietly(cfr, 20, 3);
  const State root = afterActions(game.get(), "");
  const auto visits = [&](int bucket) {
    const CFRNode* node = cfr.lookupNode(cfr.abstraction(&root, bucket));
    EXPECT_TRUE(node) << bucket;
    return node ? node->strategySum[0] + node->strategySum[1] + node->strategySum[2] : 0.0;
  };
  EXPECT_GT(visits(256), 0.0);
  EXPECT_GT(visits(257), 0.0);
  EXPECT_EQ(visits(0), 0.0);
  EXPECT_EQ(visits(1), 0.0);
}
