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
#include "temp_dir.h"

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
  explicit LookupDir(bool withStateTable) : dir_("equity_test"), cd_(dir_.path()) {
    EXPECT_FALSE(dir_.path().empty());
    EXPECT_EQ(mkdir("lookup", 0755), 0);
    if (withStateTable) {
      const std::string tpt = testStateTablePath();
      EXPECT_FALSE(tpt.empty()) << "POKER_TEST_LOOKUP is not set";
      EXPECT_EQ(symlink(tpt.c_str(), "lookup/tpt"), 0);
    }
  }

 private:
  // Declared in this order: the working directory is left before the
  // directory is removed.
  TempDir dir_;
  WorkingDirectory cd_;
};

inline long long fileSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

#endif  // TESTS_EQUITY_LOOKUP_DIR_H
