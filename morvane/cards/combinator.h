// Enumerates the k-element subsets of a small byte array in lexicographic
// order of their index sequences: elements[0..k-1] first, elements[n-k..n-1]
// last. The solver uses it to visit every set of dealt cards of a small deck.
//
//   combinator c(deck, n, k);
//   while (c.next()) use(c.getCurrent());
#ifndef MORVANE_COMBINATOR_H
#define MORVANE_COMBINATOR_H

#include <cstdint>
#include <memory>

class combinator {
 public:
  combinator(const uint8_t* elements, int n, int k);
  virtual ~combinator() = default;

  // Moves to the next subset; false once every subset has been visited.
  bool next();
  // Starts the enumeration again from the first subset.
  void reset();
  // The current subset; valid until the next getCurrent or destruction.
  uint8_t* getCurrent();

 private:
  int k;
  int n;
  std::unique_ptr<uint8_t[]> elements;
  std::unique_ptr<uint8_t[]> current;
  std::unique_ptr<int32_t[]> indices;  // strictly increasing positions
  bool first;                           // next() yields the first subset as is
};

#endif
