// Table-driven showdown ranking and the payoff of a finished hand.
#include "showdown.h"

#include <algorithm>
#include <cassert>

#include "game.h"

namespace gamecore {

namespace {

constexpr int binomial(int n, int k) {
  if (k < 0 || n < k) return 0;
  int result = 1;
  for (int i = 1; i <= k; ++i) result = result * (n - k + i) / i;
  return result;
}

// Every entry is derived from the entry of the mask without its highest rank,
// so building all tables takes a few steps per mask (compilers bound the
// work of a constant evaluation).
//
// The colex index of ranks r1 < r2 < ... < rk is the sum of C(ri, i). For the
// highest k ranks of a mask whose top rank is h, h is the n-th of them with
// n = min(k, ranks in the mask), so colex_k(m) = C(h, n) + colex_{k-1}(m - h).
struct RankMaskFacts {
  int count[RANK_MASKS];        // ranks in the mask
  int colex[6][RANK_MASKS];     // colex index of the highest k ranks, k = 0..5
  int straightTop[RANK_MASKS];  // top rank of the highest straight, or -1
};

constexpr int WHEEL = (1 << 12) | 0xf;  // A, 2, 3, 4, 5: a straight topped by the 5

constexpr ShowdownTables buildTables() {
  ShowdownTables t{};
  RankMaskFacts f{};
  int choose[13][6] = {};
  for (int n = 0; n < 13; ++n)
    for (int k = 0; k < 6; ++k) choose[n][k] = binomial(n, k);

  f.straightTop[0] = -1;
  int top = 0;
  for (int m = 1; m < RANK_MASKS; ++m) {
    if (m == 2 << top) ++top;  // masks run upwards, so the top rank only grows
    const int below = m & ~(1 << top);
    t.topBit[m] = static_cast<uint8_t>(top);
    f.count[m] = f.count[below] + 1;
    for (int k = 1; k <= 5; ++k) {
      const int n = f.count[m] < k ? f.count[m] : k;
      f.colex[k][m] = choose[top][n] + f.colex[k - 1][below];
    }
    const int run = top >= 4 ? 0x1f << (top - 4) : -1;
    if (top >= 4 && (m & run) == run)
      f.straightTop[m] = top;
    else if (f.straightTop[below] >= 0)
      f.straightTop[m] = f.straightTop[below];
    else
      f.straightTop[m] = (m & WHEEL) == WHEEL ? 3 : -1;
  }

  for (int m = 0; m < RANK_MASKS; ++m) {
    const int straight = f.straightTop[m];
    t.anySuitVal[m] = static_cast<uint16_t>(straight >= 0 ? 9620 + straight : f.colex[5][m]);
    if (f.count[m] < 5)
      t.oneSuitVal[m] = 0;
    else
      t.oneSuitVal[m] = static_cast<uint16_t>(straight >= 0 ? 12103 + straight : 9633 + f.colex[5][m]);
    t.pairOtherVal[m] = static_cast<uint16_t>(f.colex[3][m]);
    t.tripsOtherVal[m] = static_cast<uint8_t>(f.colex[2][m]);
  }
  for (int r = 0; r < 13; ++r) {
    t.pairsVal[r] = static_cast<uint16_t>(1287 + 286 * r);
    t.twoPairOtherVal[r] = static_cast<uint16_t>(3718 + 13 * r);
    t.tripsVal[r] = static_cast<uint16_t>(8606 + 78 * r);
    t.quadsVal[r] = static_cast<uint16_t>(11934 + 13 * r);
  }
  return t;
}

}  // namespace

constinit const ShowdownTables showdownTables = buildTables();

int rankShowdownHand(uint64_t cards) {
  const ShowdownTables& t = showdownTables;
  constexpr int RANKS = RANK_MASKS - 1;
  const int s0 = static_cast<int>(cards & RANKS);
  const int s1 = static_cast<int>((cards >> 16) & RANKS);
  const int s2 = static_cast<int>((cards >> 32) & RANKS);
  const int s3 = static_cast<int>((cards >> 48) & RANKS);

  const int flush = std::max(std::max(t.oneSuitVal[s0], t.oneSuitVal[s1]), std::max(t.oneSuitVal[s2], t.oneSuitVal[s3]));
  if (flush >= 12103) return flush;  // straight flush

  const int any = s0 | s1 | s2 | s3;
  const int quads = s0 & s1 & s2 & s3;
  if (quads) {
    const int q = t.topBit[quads];
    return t.quadsVal[q] + t.topBit[any & ~(1 << q)];
  }

  const int pairs = (s0 & s1) | (s0 & s2) | (s0 & s3) | (s1 & s2) | (s1 & s3) | (s2 & s3);
  const int trips = (s0 & s1 & s2) | (s0 & s1 & s3) | (s0 & s2 & s3) | (s1 & s2 & s3);

  if (trips) {
    const int tr = t.topBit[trips];
    const int rest = pairs & ~(1 << tr);
    if (rest) return t.tripsVal[tr] + 2314 + t.topBit[rest];  // full house
    int value = flush;
    if (value == 0) value = t.anySuitVal[any];
    if (value < 9620) value = t.tripsVal[tr] + t.tripsOtherVal[any & ~(1 << tr)];
    return value;
  }

  int value = flush;
  if (value == 0) value = t.anySuitVal[any];
  if (value < 9620 && pairs) {
    const int hi = t.topBit[pairs];
    const int rest = pairs & ~(1 << hi);
    if (rest) {
      const int lo = t.topBit[rest];
      value = t.pairsVal[hi] + t.twoPairOtherVal[lo] + t.topBit[any & ~(1 << hi) & ~(1 << lo)];
    } else {
      value = t.pairsVal[hi] + t.pairOtherVal[any & ~(1 << hi)];
    }
  }
  return value;
}

}  // namespace gamecore

int gamecore::showdownHandValue(const Game* game, const State* state, uint8_t seat, uint8_t round) {
  const int boardCards = std::min<int>(sumBoardCards(game, round), MAX_BOARD_CARDS);
  uint64_t cards = 0;
  for (int c = 0; c < game->numHoleCards && c < MAX_HOLE_CARDS; ++c) cards |= cardBit(state->holeCards[seat][c]);
  for (int c = 0; c < boardCards; ++c) cards |= cardBit(state->boardCards[c]);
  return rankShowdownHand(cards);
}

double valueOfState(const Game* game, const State* state, uint8_t player) {
  assert(player < game->numPlayers);
  // Cards are ranked only for a showdown: the result of a folded seat, or
  // of a hand the others folded, needs none, and a player's view of such a
  // hand does not show them.
  const bool showdown =
      !state->playerFolded[player] && numFolded(game, state) + 1 < game->numPlayers;
  int handValue[MAX_PLAYERS];
  for (int p = 0; p < game->numPlayers; ++p)
    handValue[p] = !showdown || state->playerFolded[p] || state->spent[p] <= 0
                       ? -1
                       : gamecore::showdownHandValue(game, state, static_cast<uint8_t>(p), state->round);
  return gamecore::payoffWithHandValues(game, state, handValue, player);
}

double gamecore::payoffWithHandValues(const Game* game, const State* state, const int* handValue,
                                      uint8_t player) {
  assert(player < game->numPlayers);
  if (state->playerFolded[player]) return -static_cast<double>(state->spent[player]);

  const int players = game->numPlayers;
  if (numFolded(game, state) + 1 == players) {
    int64_t others = 0;
    for (int p = 0; p < players; ++p)
      if (p != player) others += state->spent[p];
    return static_cast<double>(others);
  }

  // Showdown. Seats that put nothing in take no part; such a seat (possible
  // only in games with zero blinds) neither wins nor loses.
  if (state->spent[player] <= 0) return 0;

  struct Entry {
    int seat;
    int64_t stake;
    int value;
  };
  Entry list[MAX_PLAYERS];
  int n = 0;
  for (int p = 0; p < players; ++p) {
    if (state->spent[p] <= 0) continue;
    list[n++] = Entry{p, state->spent[p], state->playerFolded[p] ? -1 : handValue[p]};
  }

  // Peel the pot one layer at a time: each layer of the smallest remaining
  // stake is shared by the best hands still in it.
  double result = 0;
  for (;;) {
    int64_t size = list[0].stake;
    int best = 0;
    int self = -1;
    for (int i = 0; i < n; ++i) {
      size = std::min(size, list[i].stake);
      best = std::max(best, list[i].value);
      if (list[i].seat == player) self = i;
    }
    assert(self >= 0);
    int winners = 0;
    for (int i = 0; i < n; ++i) winners += list[i].value == best;
    assert(size > 0);
    if (list[self].value == best)
      result += static_cast<double>((n - winners) * size) / winners;
    else
      result -= static_cast<double>(size);

    int kept = 0;
    for (int i = 0; i < n; ++i) {
      list[i].stake -= size;
      if (list[i].seat == player && list[i].stake == 0) return result;
      if (list[i].stake > 0) list[kept++] = list[i];
    }
    n = kept;
  }
}
