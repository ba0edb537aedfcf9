// Number conversion for the text readers. These follow the scanf
// conversions "%d", "%u" and "%hhu" (leading white space, an optional sign,
// decimal digits, the count of characters used) but refuse a value that does
// not fit the destination instead of silently wrapping it, so that text such
// as a seat "256" can never be taken for seat 0.
#ifndef GAMECORE_SCAN_H
#define GAMECORE_SCAN_H

#include <cstdint>

namespace gamecore {

// Each returns the characters used, or 0 when the text does not start with a
// number of the destination's range (the destination is then unchanged).
int scanInt32(const char* text, int32_t* value);
int scanUint32(const char* text, uint32_t* value);
int scanUint8(const char* text, uint8_t* value);

inline bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace gamecore

#endif  // GAMECORE_SCAN_H
