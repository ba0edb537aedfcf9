// Information-set keys: the text the engine's states give, the reading of
// keys back, and key building on several threads at once.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "solver/infoset_key.h"
#include "support.h"

namespace {

TEST(InfoSetKey, StatesGiveSeatRoundBucketAndEveryActionSoFar) {
  const GamePtr game = kuhnGame();
  ASSERT_TRUE(game);
  State state;
  initState(game.get(), 0, &state);
  EXPECT_EQ(infoSetKey(game.get(), &state, 3), "0:0:3:");
  Action call{a_call, 0};
  Action raise{a_raise, 0};
  doAction(game.get(), &call, &state);
  doAction(game.get(), &raise, &state);
  EXPECT_EQ(infoSetKey(game.get(), &state, 12), "2:0:12:cr");
  EXPECT_EQ(infoSetKeyPrefix(2, 0, 12), "2:0:12:");
}

TEST(InfoSetKey, ReadsCanonicalNumbersAndRefusesEverythingElse) {
  InfoSetKeyFields fields;
  ASSERT_TRUE(parseInfoSetKey("1:3:107:crc", &fields));
  EXPECT_EQ(fields.seat, 1u);
  EXPECT_EQ(fields.round, 3u);
  EXPECT_EQ(fields.bucket, 107u);
  EXPECT_EQ(fields.history, 8u);
  ASSERT_TRUE(parseInfoSetKey("0:0:0:", &fields));
  EXPECT_EQ(fields.history, 6u);
  for (const char* bad : {"", "1:2:", "1:2:07:c", "1::3:c", "a:0:0:", "1:2:3", "-1:0:0:",
                          "0:0:1234567890:"})
    EXPECT_FALSE(parseInfoSetKey(bad, &fields)) << bad;
}

// The keys of the many-threaded passes: no buffer is shared between calls.
TEST(InfoSetKey, ThreadsBuildingKeysAtOnceEachGetTheirOwn) {
  const GamePtr game = kuhnGame();
  ASSERT_TRUE(game);
  State state;
  initState(game.get(), 0, &state);
  Action call{a_call, 0};
  doAction(game.get(), &call, &state);
  Action raise{a_raise, 0};
  State raised = state;
  doAction(game.get(), &raise, &raised);
  std::vector<int> wrong(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      const State& mine = t % 2 ? raised : state;
      const std::string expected = t % 2 ? "2:0:1:cr" : "1:0:1:c";
      for (int i = 0; i < 20000; ++i)
        if (infoSetKey(game.get(), &mine, 1) != expected) ++wrong[t];
    });
  for (std::thread& t : threads) t.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(wrong[t], 0) << "thread " << t;
}

}  // namespace
