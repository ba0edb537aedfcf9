// A temporary working directory for tests of code that reads and writes the
// relative "lookup/" paths; the previous working directory is restored after.
#ifndef TESTS_EVALUATOR_SCRATCH_DIR_H
#define TESTS_EVALUATOR_SCRATCH_DIR_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

class ScratchDirTest : public testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    char pattern[] = "/tmp/evaluator-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::filesystem::current_path(dir_);
    std::filesystem::create_directory("lookup");
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::filesystem::path previous_, dir_;
};

#endif
