#include "scan.h"

namespace gamecore {

namespace {

// Parses [space]* [+-]? digit+ ; saturates the magnitude at 2^40 so that very
// long digit strings cannot overflow. Returns the characters used, 0 if none.
int scanDecimal(const char* text, bool* negative, uint64_t* magnitude) {
  int i = 0;
  while (isSpace(text[i])) ++i;
  *negative = false;
  if (text[i] == '+' || text[i] == '-') {
    *negative = text[i] == '-';
    ++i;
  }
  if (text[i] < '0' || text[i] > '9') return 0;
  uint64_t m = 0;
  constexpr uint64_t cap = uint64_t(1) << 40;
  while (text[i] >= '0' && text[i] <= '9') {
    m = m * 10 + static_cast<uint64_t>(text[i] - '0');
    if (m > cap) m = cap;
    ++i;
  }
  *magnitude = m;
  return i;
}

}  // namespace

int scanInt32(const char* text, int32_t* value) {
  bool negative;
  uint64_t m;
  const int used = scanDecimal(text, &negative, &m);
  if (used == 0) return 0;
  if (negative ? m > uint64_t(INT32_MAX) + 1 : m > uint64_t(INT32_MAX)) return 0;
  *value = negative ? static_cast<int32_t>(-static_cast<int64_t>(m)) : static_cast<int32_t>(m);
  return used;
}

int scanUint32(const char* text, uint32_t* value) {
  bool negative;
  uint64_t m;
  const int used = scanDecimal(text, &negative, &m);
  if (used == 0 || (negative && m != 0) || m > UINT32_MAX) return 0;
  *value = static_cast<uint32_t>(m);
  return used;
}

int scanUint8(const char* text, uint8_t* value) {
  uint32_t v;
  const int used = scanUint32(text, &v);
  if (used == 0 || v > UINT8_MAX) return 0;
  *value = static_cast<uint8_t>(v);
  return used;
}

}  // namespace gamecore
