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

struct Game;
struct State;

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

// Showdown value of a seat's hole cards with the board dealt up to `round`.
int showdownHandValue(const Game* game, const State* state, uint8_t seat, uint8_t round);

// valueOfState of a finished hand with the seats' hand values given rather
// than read from the cards (folded seats' values are ignored). Only the order
// of the values matters, so a solver can tabulate a betting outcome once per
// order of the hands and get exactly the engine's payoffs.
double payoffWithHandValues(const Game* game, const State* state, const int* handValue, uint8_t player);

// The card-set bit of a one-byte card.
constexpr uint64_t cardBit(uint8_t card) {
  return uint64_t(1) << ((card % 4) * 16 + card / 4);
}

}  // namespace gamecore

#endif  // GAMECORE_SHOWDOWN_H
