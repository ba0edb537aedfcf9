#include "cards/table_checks.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <random>
#include <vector>

#include "showdown.h"
#include "cards/tpt.h"
#include "cards/tpt_generator.h"

namespace {

constexpr int CARDS = 52;
constexpr int SPOT_HANDS = 3000;  // per hand size
constexpr int64_t LAST_STATE = int64_t(TPT_SIZE) - CARDS - 1;  // its row still fits

bool validHandValue(int value) {
  const int category = tptCategory(value);
  const int rank = value & ((1 << TPT_CATEGORY_SHIFT) - 1);
  return category >= HIGH_CARD && category <= STRAIGHT_FLUSH && rank >= 1 &&
         rank <= handClassesInCategory[category];
}

bool valueOrNone(int value) { return value == 0 || validHandValue(value); }

std::string at(const char* what, size_t index) {
  return std::string(what) + " at entry " + std::to_string(index);
}

// Value of `n` cards by the walk (five and six cards: one more lookup).
int walkValue(const int* table, const uint8_t* cards, int n) {
  const int state = tptWalk(table, TPT_ROOT, cards, n);
  return n == 7 ? state : table[state];
}

}  // namespace

std::string stateTableProblem(const int* table) {
  // Breadth first over the states of 0 to 6 cards. Impossible steps (a card
  // already held) hold 0, whose row is checked like any other.
  std::vector<bool> seen(TPT_SIZE, false);
  std::vector<int> level{TPT_ROOT};
  for (int cards = 0; cards <= 6; ++cards) {
    std::vector<int> next;
    for (int state : level) {
      if (cards >= 5 && !valueOrNone(table[state]))
        return at("a hand value out of range", state);
      for (int c = 0; c < CARDS; ++c) {
        const size_t entry = size_t(state) + c + 1;
        const int to = table[entry];
        if (cards == 6) {
          if (!valueOrNone(to)) return at("a hand value out of range", entry);
          continue;
        }
        if (to < 0 || to > LAST_STATE) return at("a transition outside the table", entry);
        if (!seen[to]) {
          seen[to] = true;
          next.push_back(to);
        }
      }
    }
    for (int state : next) seen[state] = false;
    level = std::move(next);
  }

  // The walk must order hands as the engine's showdown does.
  std::mt19937 rng(20240611);
  for (int n = 5; n <= 7; ++n) {
    struct Hand {
      int engine;
      int walk;
    };
    std::vector<Hand> hands;
    uint8_t deck[CARDS];
    for (int c = 0; c < CARDS; ++c) deck[c] = static_cast<uint8_t>(c);
    for (int h = 0; h < SPOT_HANDS; ++h) {
      uint64_t mask = 0;
      for (int i = 0; i < n; ++i) {
        std::swap(deck[i], deck[i + rng() % (CARDS - i)]);
        mask |= gamecore::cardBit(deck[i]);
      }
      const int walk = walkValue(table, deck, n);
      if (!validHandValue(walk))
        return "a hand of " + std::to_string(n) + " cards walks to no hand value";
      hands.push_back({gamecore::rankShowdownHand(mask), walk});
    }
    std::sort(hands.begin(), hands.end(),
              [](const Hand& a, const Hand& b) { return a.engine < b.engine; });
    for (size_t i = 1; i < hands.size(); ++i) {
      const bool sameEngine = hands[i].engine == hands[i - 1].engine;
      const bool ordered = sameEngine ? hands[i].walk == hands[i - 1].walk
                                      : hands[i].walk > hands[i - 1].walk;
      if (!ordered)
        return "hands of " + std::to_string(n) + " cards rank differently from the showdown";
    }
  }
  return "";
}

std::string stateTableIndexesProblem(const int* indexes) {
  int expected = 1;
  for (size_t v = 0; v < TPT_INDEXES_SIZE; ++v) {
    if (!validHandValue(static_cast<int>(v))) continue;
    if (indexes[v] != expected) return at("a class rank out of order", v);
    ++expected;
  }
  return "";
}

std::string equityTableProblem(const double* table, uint64_t n) {
  for (uint64_t i = 0; i < n; ++i)
    if (!(table[i] >= 0.0 && table[i] <= 1.0)) return at("an equity outside [0, 1]", i);
  return "";
}

std::string clusterTableProblem(const uint8_t* table, uint64_t n) {
  for (uint64_t i = 0; i < n; ++i)
    if (table[i] > 100) return at("a cluster above 100", i);
  return "";
}

std::string bucketTableProblem(const uint8_t* table, uint64_t n) {
  for (uint64_t i = 0; i < n; ++i)
    if (table[i] > 9) return at("a bucket above 9", i);
  return "";
}

std::string utilityTableProblem(const double* table, uint64_t n) {
  for (uint64_t i = 0; i < n; ++i)
    if (!std::isfinite(table[i])) return at("a utility that is not finite", i);
  return "";
}

bool tableAccepted(const std::string& path, const std::string& problem) {
  if (problem.empty()) return true;
  std::cout << "Warning: " << path << " is damaged (" << problem << ") and is made again"
            << std::endl;
  return false;
}
