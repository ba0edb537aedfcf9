// The flat store against the reference on the two-player limit hold'em
// tree: the keys are exactly those of the 10,000 tree builds, one per
// combination of round buckets, and after training every sum and the
// strategy file agree bit for bit. The reference takes about a minute.
#include <gtest/gtest.h>

#include "holdem_support.h"

TEST(HoldemReference, TwoPlayerLimitFlatStoreEqualsTenThousandBuilds) {
  GamePtr game = holdemGame("holdem.limit.2p.reverse_blinds.game");
  ASSERT_TRUE(game);
  TempDir dir;
  expectFlatEqualsReference(game.get(), 500, dir);
}
