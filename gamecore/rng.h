// MT19937, the 32-bit Mersenne Twister of Matsumoto and Nishimura (1998),
// with the operations of its reference implementation. The state is a
// caller-owned record, so any number of independent generators may run; a
// record must be seeded with init_genrand or init_by_array before its first
// draw (there is no automatic seeding).
#ifndef GAMECORE_RNG_H
#define GAMECORE_RNG_H

#include <cstdint>

constexpr int RNG_N = 624;

struct rng_state_t {
  uint32_t mt[RNG_N];
  int32_t mti;  // next word to deliver; RNG_N means regenerate first
};

void init_genrand(rng_state_t* state, uint32_t s);
void init_by_array(rng_state_t* state, const uint32_t init_key[], int key_length);
uint32_t genrand_int32(rng_state_t* state);

#endif  // GAMECORE_RNG_H
