// A temporary working directory for tests of code that reads and writes the
// relative "lookup/" paths; the previous working directory is restored after.
#ifndef TESTS_EVALUATOR_SCRATCH_DIR_H
#define TESTS_EVALUATOR_SCRATCH_DIR_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "temp_dir.h"

class ScratchDirTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    cd_ = std::make_unique<WorkingDirectory>(dir_.path());
    std::filesystem::create_directory("lookup");
  }
  void TearDown() override { cd_.reset(); }
  TempDir dir_{"evaluator-test"};
  std::unique_ptr<WorkingDirectory> cd_;
};

#endif
