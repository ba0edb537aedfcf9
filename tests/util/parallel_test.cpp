// The thread fan-out: every index runs once, every chunk is taken once, and
// the finished prefix is reported in order whatever the threads do.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <mutex>
#include <vector>

#include "common/parallel.h"

namespace {

TEST(Parallel, EveryThreadIndexRunsOnceAndTheCallerIsIndexZero) {
  for (unsigned threads : {1u, 2u, 5u}) {
    std::vector<std::atomic<int>> runs(threads);
    std::thread::id zero;
    runOnThreads(threads, [&](unsigned t) {
      ++runs[t];
      if (t == 0) zero = std::this_thread::get_id();
    });
    for (unsigned t = 0; t < threads; ++t) EXPECT_EQ(runs[t], 1) << threads << " threads, index " << t;
    EXPECT_EQ(zero, std::this_thread::get_id());
  }
}

// Jobs back to back find the helpers spinning; a pause longer than the spin
// finds them asleep, and a slow helper makes the caller sleep until it ends.
TEST(Parallel, APoolRunsEachJobOnEveryThreadAndWaitsForAll) {
  WorkerPool pool(3);
  ASSERT_EQ(pool.size(), 4u);
  for (int job = 0; job < 60; ++job) {
    if (job % 20 == 10) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const unsigned slow = job % 20 == 15 ? 1 + job % 3 : 0;
    std::vector<int> runs(pool.size(), 0);
    pool.run([&](unsigned t) {
      if (t == slow && slow) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      ++runs[t];
    });
    for (unsigned t = 0; t < pool.size(); ++t) ASSERT_EQ(runs[t], 1) << "job " << job;
  }
}

TEST(Parallel, ChunksAreTakenOnceAndThePrefixGrowsInOrder) {
  constexpr uint64_t kChunks = 1000;
  ChunkQueue queue(kChunks);
  std::vector<std::atomic<int>> taken(kChunks);
  std::vector<uint64_t> prefixes;
  runOnThreads(4, [&](unsigned) {
    for (uint64_t c; queue.take(c);) {
      ++taken[c];
      queue.finish(c, [&](uint64_t done) { prefixes.push_back(done); });
    }
  });
  for (uint64_t c = 0; c < kChunks; ++c) ASSERT_EQ(taken[c], 1) << "chunk " << c;
  ASSERT_EQ(prefixes.size(), kChunks);
  for (uint64_t i = 0; i < kChunks; ++i) ASSERT_EQ(prefixes[i], i + 1);
}

}  // namespace
