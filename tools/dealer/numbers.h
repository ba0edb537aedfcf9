// Strict parsing of the whole numbers on our tools' command lines: decimal
// digits only, no sign, no blanks, no trailing text, within a maximum.
#ifndef DEALER_NUMBERS_H
#define DEALER_NUMBERS_H

#include <cstdint>
#include <string>

namespace dealer {

inline bool parseUnsigned(const std::string& text, uint64_t max, uint64_t* value) {
  if (text.empty() || text.size() > 20) return false;
  uint64_t v = 0;
  for (char ch : text) {
    if (ch < '0' || ch > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(ch - '0');
    if (v > (max - digit) / 10) return false;
    v = v * 10 + digit;
  }
  *value = v;
  return true;
}

}  // namespace dealer

#endif  // DEALER_NUMBERS_H
