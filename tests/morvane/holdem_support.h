// Hold'em solvers for tests: bucket tables that need no lookup files, and
// the comparison of two solvers record by record.
#ifndef TESTS_MORVANE_HOLDEM_SUPPORT_H
#define TESTS_MORVANE_HOLDEM_SUPPORT_H

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "solver/cfr.h"
#include "support.h"
#include "synthetic_buckets.h"
#include "common/util.h"

inline GamePtr holdemGame(const std::string& name) {
  return readGameFile(std::string(POKER_GAMES_DIR) + "/" + name);
}

// Trains quietly from a fixed seed.
inline void trainHoldemQuietly(CFR& cfr, uint64_t iterations, unsigned seed) {
  global_urng().seed(seed);
  testing::internal::CaptureStdout();
  cfr.trainHoldem(iterations);
  testing::internal::GetCapturedStdout();
}

// Same keys in the same order and the same six sums, bit for bit.
inline void expectSameInformationSets(CFR& a, CFR& b) {
  const auto x = informationSets(a);
  const auto y = informationSets(b);
  ASSERT_EQ(x.size(), y.size());
  size_t differing = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    ASSERT_EQ(x[i].first, y[i].first) << "record " << i;
    if (std::memcmp(&x[i].second, &y[i].second, sizeof(CFRNode)) != 0) ++differing;
  }
  EXPECT_EQ(differing, 0u);
}

inline std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Trains a flat and a reference solver alike from the same seed and checks
// that they hold the same information sets and write the same file.
inline void expectFlatEqualsReference(const Game* game, uint64_t iterations, const TempDir& dir) {
  SyntheticBuckets flat(game);
  SyntheticBuckets reference(game);
  reference.setUseFlatStore(false);
  trainHoldemQuietly(flat, iterations, 99);
  trainHoldemQuietly(reference, iterations, 99);
  ASSERT_TRUE(flat.usesFlatStore());
  ASSERT_FALSE(reference.usesFlatStore());
  expectSameInformationSets(flat, reference);
  ASSERT_TRUE(flat.save(dir.file("flat")));
  ASSERT_TRUE(reference.save(dir.file("reference")));
  EXPECT_TRUE(fileBytes(dir.file("flat")) == fileBytes(dir.file("reference")));
}

#endif
