// Showdown hand ranking, shared by the payoff code and its tests.
//
// A card set is a 64-bit mask with bit (suit * 16 + rank) per card, so each
// suit's ranks form one 16-bit word. Hand values are non-negative and a
// higher value is a better hand; categories occupy consecutive bands (high
// card 0.., pair 1287.., two pair 5005.., trips 8606.., straight 9620..,
// flush 9633.., full house 10920.., quads 11934.., straight flush 12103..).
// Works for any deck of the game format, with one to seven cards.
#ifndef GAMECORE_SHOWDOWN_H
#define GAMECORE_SHOWDOWN_H

#include <cstdint>

namespace gamecore {

constexpr int RANK_MASKS = 1 << 13;  // 13-bit sets of ranks, bit r for rank r

// Tables indexed by a rank mask (or by a rank), computed at compile time.
struct ShowdownTables {
  uint8_t topBit[RANK_MASKS];          // highest rank in the mask; 0 if empty
  uint16_t anySuitVal[RANK_MASKS];     // straight value, else colex of top five
  uint16_t oneSuitVal[RANK_MASKS];     // flush / straight flush value, 0 below five ranks
  uint16_t pairOtherVal[RANK_MASKS];   // colex of the top three ranks
  uint8_t tripsOtherVal[RANK_MASKS];   // colex of the top two ranks
  uint16_t pairsVal[13];
  uint16_t twoPairOtherVal[13];
  uint16_t tripsVal[13];
  uint16_t quadsVal[13];
};

extern const ShowdownTables showdownTables;

int rankShowdownHand(uint64_t cards);

// The card-set bit of a one-byte card.
constexpr uint64_t cardBit(uint8_t card) {
  return uint64_t(1) << ((card % 4) * 16 + card / 4);
}

}  // namespace gamecore

#endif  // GAMECORE_SHOWDOWN_H
