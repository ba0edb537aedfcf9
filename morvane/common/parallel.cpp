#include "common/parallel.h"

unsigned threadCount(unsigned threads) {
  if (threads) return threads;
  const unsigned cores = std::thread::hardware_concurrency();
  return cores ? cores : 1;
}

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
  std::unique_lock<std::mutex> lock(mutex);
  done.wait(lock, [this] { return running == 0; });
  current = nullptr;
}

void WorkerPool::work(unsigned index) {
  uint64_t seen = 0;
  for (;;) {
    const std::function<void(unsigned)>* job;
    {
      std::unique_lock<std::mutex> lock(mutex);
      wake.wait(lock, [&] { return stopping || generation != seen; });
      if (stopping) return;
      seen = generation;
      job = current;
    }
    (*job)(index);
    std::lock_guard<std::mutex> lock(mutex);
    if (--running == 0) done.notify_one();
  }
}

void runOnThreads(unsigned threads, const std::function<void(unsigned)>& job) {
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < threads; ++t) pool.emplace_back(job, t);
  job(0);
  for (std::thread& t : pool) t.join();
}
