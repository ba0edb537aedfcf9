// Test support: a temporary working directory with a "lookup/" directory in
// it, optionally holding the evaluator state table of the test build, which
// the tpt_table fixture provides in the directory named by POKER_TEST_LOOKUP.
#ifndef TESTS_EQUITY_LOOKUP_DIR_H
#define TESTS_EQUITY_LOOKUP_DIR_H

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "cards/tpt.h"
#include "common/util.h"

// A file of `bytes` bytes that holds no blocks until it is written.
inline void sparseFile(const std::string& path, size_t bytes) {
  const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  ASSERT_GE(fd, 0) << path;
  ASSERT_EQ(ftruncate(fd, static_cast<off_t>(bytes)), 0);
  close(fd);
}

// A sparse file that was never written over still has no blocks.
inline bool untouched(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && st.st_blocks == 0;
}

// What `run` prints on standard output.
inline std::string capture(const std::function<void()>& run) {
  ::testing::internal::CaptureStdout();
  run();
  return ::testing::internal::GetCapturedStdout();
}

inline std::string testStateTablePath() {
  const char* dir = std::getenv("POKER_TEST_LOOKUP");
  return dir ? std::string(dir) + "/tpt" : std::string();
}

// The state table of the test build, loaded once per test program.
inline const int* testStateTable() {
  static std::unique_ptr<int[]> table;
  if (!table) {
    const std::string path = testStateTablePath();
    if (path.empty() || !table_file_ok(path, TPT_SIZE * sizeof(int))) return nullptr;
    table.reset(loadIntTable(path.c_str(), TPT_SIZE));
  }
  return table.get();
}

#define REQUIRE_STATE_TABLE(var)                                                  \
  const int* var = testStateTable();                                              \
  ASSERT_NE(var, nullptr) << "no state table: POKER_TEST_LOOKUP must name the "   \
                             "directory holding tpt"

// Makes a fresh directory the working directory for the test's lifetime.
class LookupDir {
 public:
  explicit LookupDir(bool withStateTable) {
    char pattern[] = "/tmp/equity_test.XXXXXX";
    const char* made = mkdtemp(pattern);
    EXPECT_NE(made, nullptr);
    path_ = made ? made : "/tmp";
    char* old = getcwd(nullptr, 0);
    previous_ = old ? old : "/";
    std::free(old);
    EXPECT_EQ(chdir(path_.c_str()), 0);
    EXPECT_EQ(mkdir("lookup", 0755), 0);
    if (withStateTable) {
      const std::string tpt = testStateTablePath();
      EXPECT_FALSE(tpt.empty()) << "POKER_TEST_LOOKUP is not set";
      EXPECT_EQ(symlink(tpt.c_str(), "lookup/tpt"), 0);
    }
  }
  ~LookupDir() {
    if (chdir(previous_.c_str()) != 0) return;
    std::system(("rm -rf '" + path_ + "'").c_str());
  }
  LookupDir(const LookupDir&) = delete;
  LookupDir& operator=(const LookupDir&) = delete;

 private:
  std::string path_;
  std::string previous_;
};

inline long long fileSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

#endif  // TESTS_EQUITY_LOOKUP_DIR_H
