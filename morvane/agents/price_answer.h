// Fold or call by price: the answer of a player that never raises to betting
// its strategy does not hold (in no-limit, any raise of the opponent).
//
// The rule, for the seat to act:
//   1. Nothing owed: call (check).
//   2. The raiser's range: the top share q of the holdings it can hold (those
//      not colliding with the seat's cards and the board), ranked by their
//      strength on the board, with q = max(1/3, P / (P + b)) for the last
//      raise of the round: b what that raise added beyond a call, P the pot
//      after such a call. A pot-sized raise reads as the better half; larger
//      ones read narrower, but never narrower than a third, so that a random
//      shove is not read as aces only.
//   3. The equity E: the hand's average chance of winning against that range.
//      On the river hands compare by showdown value (a tie counts a half);
//      earlier, two hands with chances a and b of beating a random hand beat
//      each other with the log5 chance a(1 - b) / (a(1 - b) + b(1 - a)).
//   4. The price: the share of the final pot the call pays for, the amount
//      owed over the pot after the call (as if nobody bet again).
//   5. Call when E >= price, else fold.
// Every function here is a pure function of its arguments: no printing, no
// random numbers, so the answer can be queried for any holding.
#ifndef MORVANE_PRICE_ANSWER_H
#define MORVANE_PRICE_ANSWER_H

#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

#include "game.h"

// The narrowest range a raise is read as.
constexpr double MIN_RAISER_SHARE = 1.0 / 3.0;

// Share of the holdings the last raiser of the round is read to hold (step
// 2); 1 when nobody but `seat` raised in the current round.
double raiserRangeShare(const Game* game, const State* state, uint8_t seat);

// Share of the final pot a call by `seat` pays for (step 4); 0 when nothing
// is owed.
double callPrice(const Game* game, const State* state, uint8_t seat);

// Share of the final pot that calling down pays for in a limit game: the
// call now, then one bet in each later round that the raiser makes and
// `seat` calls, as against a player that raises at every turn; 0 when
// nothing is owed. On the last round, callPrice.
double callDownPrice(const Game* game, const State* state, uint8_t seat);

// log5: chance that a hand beating a random hand with chance a beats one
// that does so with chance b; a half when neither ever wins nor loses.
double log5WinChance(double a, double b);

// A holding the raiser may have, with its strength on the board (higher is
// better).
struct Holding {
  double strength;
  uint8_t cards[2];
};

// Every two-card holding of the 52-card deck that collides with none of the
// `numBoard` cards of `board`, with its `strength`(lower card, higher card),
// strongest first.
std::vector<Holding> rangeHoldings(const uint8_t* board, int numBoard,
                                   const std::function<double(uint8_t, uint8_t)>& strength);

// Average chance that the hand `hole`, of strength `hero`, beats the top
// `share` of the holdings (strongest first) that do not collide with it; the
// cut-off holding counts by the fraction of it inside the share, and a share
// too small for one holding still holds the strongest. `exact`: strengths are
// showdown values, compared as such; else chances of beating a random hand,
// combined by log5. 0.5 with no holdings.
double equityAgainstRange(double hero, const uint8_t hole[2], const std::vector<Holding>& holdings,
                          double share, bool exact);

// The fast path of equityAgainstRange for many hands against one range, equal
// to it up to rounding. The range is read once: its strengths in order, and
// for every card the positions of the holdings that hold it. A hand's share
// of the range is then the top of the range less the few holdings (at most
// 2 * 50) that share a card with it, so a hand costs those holdings plus, on
// the river, two binary searches, and before it a sum of log5 chances over
// the common top of the range, kept per distinct strength of the hands asked
// (before the river many hands share one: 169 pre-flop).
// Not for sharing between threads (it keeps those sums); each query makes its
// own.
class RangeEquity {
 public:
  // `holdings` strongest first (as rangeHoldings makes them), kept by
  // reference: it must outlive this object.
  RangeEquity(const std::vector<Holding>& holdings, double share, bool exact);
  // What equityAgainstRange(hero, hole, holdings, share, exact) returns.
  double equity(double hero, const uint8_t hole[2]);
  // The strength the range gives the holding `hole`, when it holds it (the
  // hand's own strength on the same board, without computing it again).
  bool strengthOf(const uint8_t hole[2], double* strength) const;

 private:
  double win(double hero, size_t position) const;
  // Sum of the chances of `hero` against the holdings before `end`, whether
  // or not they collide with it.
  double winsBefore(double hero, size_t end);

  const std::vector<Holding>& holdings_;
  const double share_;
  const bool exact_;
  std::vector<double> strengths_;
  std::vector<uint16_t> byCard_[52];
  int16_t pairAt_[52][52];  // position of the holding of two cards, or -1
  // Log5 only: the sum over the first `commonTop_` holdings, by hero
  // strength.
  size_t commonTop_ = 0;
  std::unordered_map<double, double> topSums_;
};

// Step 5: call when `equity` pays the price of the call, else fold (a fold
// only when it is legal). Never a raise.
Action priceAnswer(const Game* game, const State* state, uint8_t seat, double equity);

#endif
