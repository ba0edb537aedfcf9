// The solver on the hold'em games with synthetic bucket tables.
#include <gtest/gtest.h>

#include "cfr.h"
#include "support.h"
#include "util.h"

namespace {

GamePtr holdemGame(const char* name) { return readGameFile(std::string(POKER_GAMES_DIR) + "/" + name); }

// Buckets from a fixed mix of the cards, so that every deal has buckets in
// 0 to 9 that differ by seat, round and player count, without lookup files.
class SyntheticBuckets : public CFR {
 public:
  using CFR::CFR;
  int holdemTableBucket(int players, int round, int seat, const uint8_t* cards) const override {
    const int seen = 2 + (round == 0 ? 0 : round + 2);
    uint32_t h = 2166136261u ^ static_cast<uint32_t>(players * 31 + seat);
    for (int c = 0; c < seen; ++c) h = (h ^ cards[c]) * 16777619u;
    return static_cast<int>(h % 10);
  }
};

}  // namespace

TEST(HoldemSolver, TwoPlayerLimitTreeHasTenBucketsPerDecision) {
  GamePtr game = holdemGame("holdem.limit.2p.reverse_blinds.game");
  ASSERT_TRUE(game);
  SyntheticBuckets cfr(game.get());
  testing::internal::CaptureStdout();
  cfr.trainHoldem(100);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Number of information sets: 63780\n"), std::string::npos) << out.substr(out.size() - 200);
}
