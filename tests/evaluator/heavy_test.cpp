// The long runs: every seven-card hand against the engine, the seven-card
// self-test, and generating the tables when they are missing.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "abstraction/EquityTables.h"
#include "abstraction/equity_generator.h"
#include "hands.h"
#include "lookup_fixture.h"
#include "cards/qel.h"
#include "scratch_dir.h"
#include "cards/tpt_generator.h"

namespace {

namespace fs = std::filesystem;
using gamecore::cardBit;
using gamecore::rankShowdownHand;

TEST(TptTableHeavy, EverySevenCardHandAgreesWithTheEngine) {
  REQUIRE_TABLE();
  const int* t = sharedTable();
  OrderAgreement agreement;
  long count = 0;
  for (int a = 0; a < 52; ++a) {
    const int sa = t[TPT_ROOT + a + 1];
    const uint64_t ma = cardBit(a);
    for (int b = a + 1; b < 52; ++b) {
      const int sb = t[sa + b + 1];
      const uint64_t mb = ma | cardBit(b);
      for (int c = b + 1; c < 52; ++c) {
        const int sc = t[sb + c + 1];
        const uint64_t mc = mb | cardBit(c);
        for (int d = c + 1; d < 52; ++d) {
          const int sd = t[sc + d + 1];
          const uint64_t md = mc | cardBit(d);
          for (int e = d + 1; e < 52; ++e) {
            const int se = t[sd + e + 1];
            const uint64_t me = md | cardBit(e);
            for (int f = e + 1; f < 52; ++f) {
              const int sf = t[se + f + 1];
              const uint64_t mf = me | cardBit(f);
              for (int g = f + 1; g < 52; ++g) {
                agreement.add(t[sf + g + 1], rankShowdownHand(mf | cardBit(g)));
                ++count;
              }
            }
          }
        }
      }
    }
  }
  EXPECT_EQ(count, 133784560);
  agreement.check();
}

TEST(TptTableHeavy, SelfTestPrintsThePublishedSevenCardCounts) {
  REQUIRE_TABLE();
  twoPlusTwoTable = const_cast<int*>(sharedTable());
  const std::string out = capturedOutput(testRankHand7);
  twoPlusTwoTable = nullptr;
  // The weakest seven cards play 9-8-7-5-4.
  const std::vector<uint8_t> weakest = hand("9c8d7h5s4c");
  char head[160];
  std::snprintf(head, sizeof head, "Rank 7 hand cards:\nMin value: %d\nMax value: 36874\n",
                referenceHandValue(weakest.data(), 5));
  EXPECT_EQ(out, std::string(head) +
                     "Count: 133784560\n"
                     "Rank High card: 23294460\n"
                     "Rank One pair: 58627800\n"
                     "Rank Two pair: 31433400\n"
                     "Rank Three of a kind: 6461620\n"
                     "Rank Straight: 6180020\n"
                     "Rank Flush: 4047644\n"
                     "Rank Full house: 3473184\n"
                     "Rank Four of a kind: 224848\n"
                     "Rank Straight flush: 41584\n"
                     "--------------------------------------\n");
}

std::string fileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class TptGenerationTest : public ScratchDirTest {
 protected:
  void TearDown() override {
    freeLookupTables();
    ScratchDirTest::TearDown();
  }
};

// A fresh working directory gets both files, byte for byte what tptgen wrote,
// and no temporary file is left behind; a truncated table is replaced.
TEST_F(TptGenerationTest, LoadLookupTablesGeneratesMissingOrDamagedTables) {
  ASSERT_FALSE(testLookupDir().empty());
  std::string out = capturedOutput(loadLookupTables);
  EXPECT_NE(out.find("lookup/tpt is missing: generating it\n"), std::string::npos) << out;
  EXPECT_NE(out.find("lookup/tpt.indexes is missing: generating it\n"), std::string::npos) << out;
  EXPECT_EQ(rankHand7(hand("AsKsQsJsTs2c3d").data()), 36874);
  freeLookupTables();

  const std::string expected = fileBytes(testLookupDir() + "/tpt");
  ASSERT_EQ(expected.size(), TPT_SIZE * sizeof(int));
  EXPECT_TRUE(fileBytes("lookup/tpt") == expected);
  EXPECT_TRUE(fileBytes("lookup/tpt.indexes") == fileBytes(testLookupDir() + "/tpt.indexes"));
  for (const auto& entry : fs::directory_iterator("lookup"))
    EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();

  fs::resize_file("lookup/tpt", 1000);
  out = capturedOutput(loadLookupTables);
  EXPECT_EQ(out.rfind("Warning: lookup/tpt has 1000 bytes", 0), 0u) << out;
  EXPECT_NE(out.find("lookup/tpt is missing: generating it\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("tpt.indexes"), std::string::npos) << out;
  EXPECT_TRUE(fileBytes("lookup/tpt") == expected);
}

// A same-size state table whose first step leads outside it is replaced
// before anything walks it.
TEST_F(TptGenerationTest, DamagedStateTableOfTheRightSizeIsMadeAgain) {
  REQUIRE_TABLE();
  std::vector<int> damaged(sharedTable(), sharedTable() + TPT_SIZE);
  damaged[TPT_ROOT + 1] = 2000000000;
  saveIntTable("lookup/tpt", damaged.data(), damaged.size());
  std::unique_ptr<StateTable> table;
  const std::string out = capturedOutput([&] { table = EquityTables::loadStateTable(); });
  EXPECT_EQ(out.rfind("Warning: lookup/tpt is damaged (a transition outside the table at entry 54)", 0), 0u)
      << out;
  EXPECT_NE(out.find("Generating the evaluator state table lookup/tpt..."), std::string::npos);
  EXPECT_TRUE(fileBytes("lookup/tpt") == fileBytes(testLookupDir() + "/tpt"));
  EXPECT_EQ(table->data()[TPT_ROOT + 1], sharedTable()[TPT_ROOT + 1]);
}

}  // namespace
