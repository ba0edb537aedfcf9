// The 1,326 two-card hands of a 52-card deck, the unit of an opponent's
// range. Pair i holds cards first[i] < second[i]; pairs are listed by the
// higher card, then the lower one, so index(a, b) is a closed formula.
#ifndef LBR_HOLE_PAIRS_H
#define LBR_HOLE_PAIRS_H

#include <array>
#include <cstdint>

#include "showdown.h"

namespace lbr {

constexpr int NUM_PAIRS = 52 * 51 / 2;

struct HolePairs {
  std::array<uint8_t, NUM_PAIRS> first{};
  std::array<uint8_t, NUM_PAIRS> second{};
  std::array<uint64_t, NUM_PAIRS> mask{};  // showdown card-set bits of both cards
};

constexpr HolePairs makeHolePairs() {
  HolePairs pairs;
  int i = 0;
  for (int hi = 1; hi < 52; ++hi)
    for (int lo = 0; lo < hi; ++lo, ++i) {
      pairs.first[i] = static_cast<uint8_t>(lo);
      pairs.second[i] = static_cast<uint8_t>(hi);
      pairs.mask[i] = gamecore::cardBit(static_cast<uint8_t>(lo)) |
                      gamecore::cardBit(static_cast<uint8_t>(hi));
    }
  return pairs;
}

inline constexpr HolePairs holePairs = makeHolePairs();

// Index of the pair of two different cards, in either order.
constexpr int pairIndex(uint8_t a, uint8_t b) {
  const int hi = a > b ? a : b;
  const int lo = a > b ? b : a;
  return hi * (hi - 1) / 2 + lo;
}

}  // namespace lbr

#endif
