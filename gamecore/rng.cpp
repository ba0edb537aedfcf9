// MT19937 (Matsumoto and Nishimura, "Mersenne Twister: a 623-dimensionally
// equidistributed uniform pseudo-random number generator", 1998).
#include "rng.h"

namespace {

constexpr int M = 397;
constexpr uint32_t MATRIX_A = 0x9908b0dfU;
constexpr uint32_t UPPER_MASK = 0x80000000U;
constexpr uint32_t LOWER_MASK = 0x7fffffffU;

// Regenerates all RNG_N words at once (the "twist").
void twist(uint32_t* mt) {
  auto mix = [](uint32_t hi, uint32_t lo) {
    const uint32_t y = (hi & UPPER_MASK) | (lo & LOWER_MASK);
    return (y >> 1) ^ ((y & 1U) ? MATRIX_A : 0U);
  };
  int k = 0;
  for (; k < RNG_N - M; ++k) mt[k] = mt[k + M] ^ mix(mt[k], mt[k + 1]);
  for (; k < RNG_N - 1; ++k) mt[k] = mt[k + (M - RNG_N)] ^ mix(mt[k], mt[k + 1]);
  mt[RNG_N - 1] = mt[M - 1] ^ mix(mt[RNG_N - 1], mt[0]);
}

}  // namespace

void init_genrand(rng_state_t* state, uint32_t s) {
  uint32_t* mt = state->mt;
  mt[0] = s;
  for (int i = 1; i < RNG_N; ++i)
    mt[i] = 1812433253U * (mt[i - 1] ^ (mt[i - 1] >> 30)) + static_cast<uint32_t>(i);
  state->mti = RNG_N;
}

void init_by_array(rng_state_t* state, const uint32_t init_key[], int key_length) {
  init_genrand(state, 19650218U);
  uint32_t* mt = state->mt;
  int i = 1;
  int j = 0;
  const int keyLen = key_length > 0 ? key_length : 0;
  for (int k = (RNG_N > keyLen ? RNG_N : keyLen); k > 0; --k) {
    mt[i] = (mt[i] ^ ((mt[i - 1] ^ (mt[i - 1] >> 30)) * 1664525U)) +
            (keyLen > 0 ? init_key[j] : 0U) + static_cast<uint32_t>(j);
    ++i;
    ++j;
    if (i >= RNG_N) {
      mt[0] = mt[RNG_N - 1];
      i = 1;
    }
    if (j >= keyLen) j = 0;
  }
  for (int k = RNG_N - 1; k > 0; --k) {
    mt[i] = (mt[i] ^ ((mt[i - 1] ^ (mt[i - 1] >> 30)) * 1566083941U)) - static_cast<uint32_t>(i);
    ++i;
    if (i >= RNG_N) {
      mt[0] = mt[RNG_N - 1];
      i = 1;
    }
  }
  // Only the top bit of mt[0] is ever used; it is set so the state is never
  // all zero.
  mt[0] |= UPPER_MASK;
}

uint32_t genrand_int32(rng_state_t* state) {
  // A seeded record always has 0 <= mti <= RNG_N; anything else is treated
  // as "regenerate" so that a damaged record can never index out of mt.
  if (state->mti < 0 || state->mti >= RNG_N) {
    twist(state->mt);
    state->mti = 0;
  }
  uint32_t y = state->mt[state->mti++];
  y ^= (y >> 11);
  y ^= (y << 7) & 0x9d2c5680U;
  y ^= (y << 15) & 0xefc60000U;
  y ^= (y >> 18);
  return y;
}
