#include "common/parallel.h"

unsigned threadCount(unsigned threads) {
  if (threads) return threads;
  const unsigned cores = std::thread::hardware_concurrency();
  return cores ? cores : 1;
}

namespace {

// Spins while `busy()` holds, for at most `limit`; returns whether it still holds.
template <typename Busy>
bool spinWhile(Busy&& busy, std::chrono::microseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    for (int i = 0; i < 64; ++i) {
      if (!busy()) return false;
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#endif
    }
    if (std::chrono::steady_clock::now() >= end) return busy();
  }
}

}  // namespace

WorkerPool::WorkerPool(unsigned helpers) {
  for (unsigned i = 0; i < helpers; ++i) workers.emplace_back([this, i] { work(i + 1); });
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
  }
  wake.notify_all();
  for (std::thread& t : workers) t.join();
}

void WorkerPool::run(const std::function<void(unsigned)>& job) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    current = &job;
    running = static_cast<unsigned>(workers.size());
    ++generation;
  }
  wake.notify_all();
  job(0);
  if (!spinWhile([this] { return running.load() != 0; }, SPIN)) return;
  std::unique_lock<std::mutex> lock(mutex);
  done.wait(lock, [this] { return running.load() == 0; });
}

void WorkerPool::work(unsigned index) {
  uint64_t seen = 0;
  for (;;) {
    spinWhile([&] { return generation.load() == seen && !stopping.load(); }, SPIN);
    const std::function<void(unsigned)>* job;
    {
      std::unique_lock<std::mutex> lock(mutex);
      wake.wait(lock, [&] { return stopping || generation != seen; });
      if (stopping) return;
      seen = generation;
      job = current;
    }
    (*job)(index);
    // The last helper to finish wakes the caller if it sleeps; taking the
    // lock orders the notification after the caller's check of `running`.
    if (running.fetch_sub(1) == 1) {
      std::lock_guard<std::mutex> lock(mutex);
      done.notify_one();
    }
  }
}

void runOnThreads(unsigned threads, const std::function<void(unsigned)>& job) {
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < threads; ++t) pool.emplace_back(job, t);
  job(0);
  for (std::thread& t : pool) t.join();
}
