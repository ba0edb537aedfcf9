// Always-on checks. The build never defines NDEBUG, but a check whose failure
// means corrupt tables (an indexer that cannot be made, an index that does not
// unindex) must stop the program in any build, so these do not depend on it.
// A failed check reports like a failed assertion and aborts.
//
//   MORVANE_CHECK(hand_unindex(indexer, round, i, hand));
//   MORVANE_CHECK_AS(hand_unindex(...), "hand_unindex(&flop_indexer,1,index,hand)");
//
// The second form reports `text` instead of the expression, for checks whose
// report names the operation rather than the local code.
#ifndef MORVANE_CHECK_H
#define MORVANE_CHECK_H

#include <cassert>

#define MORVANE_CHECK_AS(condition, text) \
  ((condition) ? void(0) : __assert_fail((text), __FILE__, __LINE__, __func__))
#define MORVANE_CHECK(condition) MORVANE_CHECK_AS(condition, #condition)

#endif
