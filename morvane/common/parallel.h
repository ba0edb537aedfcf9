// Threads for the parallel passes: one job run on several threads with the
// calling thread among them, either once (runOnThreads) or again and again on
// threads kept between runs (WorkerPool), and a queue of chunks for passes
// whose results must not depend on the thread count.
//
// Determinism is the caller's: a job must write each result to a place of its
// own and draw random numbers from a source tied to the chunk, never to the
// thread, so that any thread count gives the same bytes. ChunkQueue reports the
// finished prefix of the chunks in order, for progress lines.
#ifndef MORVANE_PARALLEL_H
#define MORVANE_PARALLEL_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// `threads`, or one per core when 0.
unsigned threadCount(unsigned threads);

// Helper threads that run one job at a time together with the calling thread.
//
// Jobs can be as short as tens of microseconds (one deal of a CFR pass) and
// follow each other closely, while waking a sleeping thread takes about as
// long. So a helper that has finished a job, and the caller waiting for the
// helpers, first spin for a short while (SPIN) watching for the next job or
// for the last helper to finish, and only then sleep on a condition variable.
class WorkerPool {
 public:
  explicit WorkerPool(unsigned helpers);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Threads that run a job, the caller included.
  unsigned size() const { return static_cast<unsigned>(workers.size()) + 1; }
  // Runs job(t) for t = 0 .. size()-1, job(0) on the caller; returns when
  // every one has returned.
  void run(const std::function<void(unsigned)>& job);

 private:
  // How long a thread spins before it sleeps.
  static constexpr std::chrono::microseconds SPIN{200};

  void work(unsigned index);

  std::vector<std::thread> workers;
  std::mutex mutex;
  std::condition_variable wake, done;
  // Written under `mutex`; the atomics are also read while spinning.
  const std::function<void(unsigned)>* current = nullptr;
  std::atomic<unsigned> running{0};
  std::atomic<uint64_t> generation{0};
  std::atomic<bool> stopping{false};
};

// Runs job(t) for t = 0 .. threads-1 on as many threads, job(0) on the
// caller, and returns when every one has returned.
void runOnThreads(unsigned threads, const std::function<void(unsigned)>& job);

// Chunks 0 .. count-1, each taken by one thread.
class ChunkQueue {
 public:
  explicit ChunkQueue(uint64_t count) : count_(count), finished_(count, 0) {}

  // The next chunk not yet taken; false when none is left.
  bool take(uint64_t& chunk) {
    chunk = next_.fetch_add(1);
    return chunk < count_;
  }
  // Marks `chunk` finished and calls advanced(n) for every new length n of
  // the prefix of finished chunks, in increasing order, one call at a time.
  template <typename Advanced>
  void finish(uint64_t chunk, Advanced&& advanced) {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_[chunk] = 1;
    while (prefix_ < count_ && finished_[prefix_]) advanced(++prefix_);
  }

 private:
  const uint64_t count_;
  std::atomic<uint64_t> next_{0};
  std::mutex mutex_;
  std::vector<uint8_t> finished_;
  uint64_t prefix_ = 0;
};

#endif
