#include "showdowns.h"

#include <cassert>

namespace lbr {

void Showdowns::addBoard(uint64_t board, uint64_t hero) {
  const int heroValue = gamecore::rankShowdownHand(board | hero);
  const uint64_t blocked = board | hero;
  for (int i = 0; i < NUM_PAIRS; ++i) {
    const uint64_t pair = holePairs.mask[i];
    if (pair & blocked) continue;
    const int value = gamecore::rankShowdownHand(board | pair);
    share_[i] += heroValue > value ? 1.0 : heroValue == value ? 0.5 : 0.0;
    count_[i] += 1.0;
  }
}

void Showdowns::prepare(const uint8_t* hero, const uint8_t* board, int boardCards, int samples,
                        Rng& rng) {
  assert(boardCards >= 0 && boardCards <= 5);
  share_.fill(0.0);
  count_.fill(0.0);
  const uint64_t heroMask = gamecore::cardBit(hero[0]) | gamecore::cardBit(hero[1]);
  uint64_t known = 0;
  for (int c = 0; c < boardCards; ++c) known |= gamecore::cardBit(board[c]);

  uint8_t rest[52];
  int restSize = 0;
  for (int c = 0; c < 52; ++c)
    if (!(gamecore::cardBit(static_cast<uint8_t>(c)) & (known | heroMask)))
      rest[restSize++] = static_cast<uint8_t>(c);

  const int missing = 5 - boardCards;
  if (missing == 0) {
    addBoard(known, heroMask);
  } else if (missing == 1) {
    for (int c = 0; c < restSize; ++c) addBoard(known | gamecore::cardBit(rest[c]), heroMask);
  } else {
    for (int s = 0; s < samples; ++s) {
      // A partial Fisher-Yates shuffle of the unseen cards.
      uint64_t drawn = known;
      for (int k = 0; k < missing; ++k) {
        const int j = k + static_cast<int>(rng() % static_cast<uint64_t>(restSize - k));
        std::swap(rest[k], rest[j]);
        drawn |= gamecore::cardBit(rest[k]);
      }
      addBoard(drawn, heroMask);
    }
  }
}

double Showdowns::equity(const double* w) const {
  double won = 0.0;
  double total = 0.0;
  for (int i = 0; i < NUM_PAIRS; ++i) {
    won += w[i] * share_[i];
    total += w[i] * count_[i];
  }
  return total > 0.0 ? won / total : 0.0;
}

}  // namespace lbr
