// Small helpers for writing hands in tests.
#ifndef TESTS_EVALUATOR_HANDS_H
#define TESTS_EVALUATOR_HANDS_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "game.h"

// Cards from their protocol text, e.g. "AsKsQsJsTs".
inline std::vector<uint8_t> hand(const std::string& text) {
  std::vector<uint8_t> cards(text.size() / 2);
  int consumed = 0;
  const int n = readCards(text.c_str(), static_cast<int>(cards.size()), cards.data(), &consumed);
  EXPECT_EQ(n * 2, static_cast<int>(text.size())) << "bad hand text " << text;
  cards.resize(n);
  return cards;
}

// Category (1 high card .. 9 straight flush) of an engine showdown value.
inline int engineCategory(int value) {
  static const int bandStart[] = {0, 1287, 5005, 8606, 9620, 9633, 10920, 11934, 12103};
  int category = 0;
  while (category < 9 && value >= bandStart[category]) ++category;
  return category;
}

// Captures what `print` writes to standard output.
template <typename F>
std::string capturedOutput(F print) {
  testing::internal::CaptureStdout();
  print();
  return testing::internal::GetCapturedStdout();
}

#endif
