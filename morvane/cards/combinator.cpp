#include "cards/combinator.h"

#include <cstring>

combinator::combinator(const uint8_t* elements_, int n_, int k_)
    : k(k_), n(n_), elements(new uint8_t[n_]), current(new uint8_t[k_]),
      indices(new int32_t[k_]), first(true) {
  std::memcpy(elements.get(), elements_, n);
  reset();
}

void combinator::reset() {
  for (int i = 0; i < k; ++i) indices[i] = i;
  first = true;
}

bool combinator::next() {
  if (first) {
    first = false;
    return true;
  }
  // Advance the rightmost index that still has room, carrying to the left.
  int i = k - 1;
  ++indices[i];
  while (i > 0 && indices[i] >= i + n - k + 1) {
    --i;
    ++indices[i];
  }
  if (indices[0] > n - k) return false;
  for (int j = i + 1; j < k; ++j) indices[j] = indices[j - 1] + 1;
  return true;
}

uint8_t* combinator::getCurrent() {
  for (int j = 0; j < k; ++j) current[j] = elements[indices[j]];
  return current.get();
}
