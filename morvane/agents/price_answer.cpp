#include "agents/price_answer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

namespace {

int64_t pot(const Game* game, const State* state) {
  int64_t total = 0;
  for (int p = 0; p < game->numPlayers; ++p) total += state->spent[p];
  return total;
}

// Share of the final pot `seat` pays for when it calls now and then calls
// `later` chips more that the raiser bets; 0 when nothing is owed.
double sharePaid(const Game* game, const State* state, uint8_t seat, int64_t later) {
  const int32_t owed = std::min(state->maxSpent, game->stack[seat]) - state->spent[seat];
  if (owed <= 0) return 0.0;
  return static_cast<double>(owed + later) / static_cast<double>(pot(game, state) + owed + 2 * later);
}

}  // namespace

double raiserRangeShare(const Game* game, const State* state, uint8_t seat) {
  // Replay the hand to see the pot and the bet of each raise of the round.
  State replay;
  initState(game, state->handId, &replay);
  double share = 1.0;
  for (int r = 0; r <= state->round; ++r) {
    for (int i = 0; i < state->numActions[r]; ++i) {
      const Action action = state->action[r][i];
      const uint8_t actor = state->actingPlayer[r][i];
      const int32_t before = replay.maxSpent;
      const int64_t potAfterCall = pot(game, &replay) + (before - replay.spent[actor]);
      doAction(game, &action, &replay);
      if (r != state->round || action.type != a_raise || actor == seat) continue;
      const double bet = replay.maxSpent - before;
      share = std::max(MIN_RAISER_SHARE, potAfterCall / (potAfterCall + bet));
    }
  }
  return share;
}

double callPrice(const Game* game, const State* state, uint8_t seat) {
  return sharePaid(game, state, seat, 0);
}

double callDownPrice(const Game* game, const State* state, uint8_t seat) {
  int64_t later = 0;
  for (int r = state->round + 1; r < game->numRounds; ++r) later += game->raiseSize[r];
  return sharePaid(game, state, seat, later);
}

double log5WinChance(double a, double b) {
  const double win = a * (1.0 - b);
  const double lose = b * (1.0 - a);
  return win + lose > 0.0 ? win / (win + lose) : 0.5;
}

std::vector<Holding> rangeHoldings(const uint8_t* board, int numBoard,
                                   const std::function<double(uint8_t, uint8_t)>& strength) {
  bool used[52] = {};
  for (int i = 0; i < numBoard; ++i)
    if (board[i] < 52) used[board[i]] = true;
  std::vector<Holding> holdings;
  holdings.reserve(52 * 51 / 2);
  for (uint8_t a = 0; a < 52; ++a) {
    if (used[a]) continue;
    for (uint8_t b = a + 1; b < 52; ++b)
      if (!used[b]) holdings.push_back({strength(a, b), {a, b}});
  }
  // Stable, so that equal strengths keep the order of the cards.
  std::stable_sort(holdings.begin(), holdings.end(),
                   [](const Holding& x, const Holding& y) { return x.strength > y.strength; });
  return holdings;
}

double equityAgainstRange(double hero, const uint8_t hole[2], const std::vector<Holding>& holdings,
                          double share, bool exact) {
  const auto collides = [&](const Holding& h) {
    return h.cards[0] == hole[0] || h.cards[0] == hole[1] || h.cards[1] == hole[0] ||
           h.cards[1] == hole[1];
  };
  size_t possible = 0;
  for (const Holding& h : holdings) possible += !collides(h);
  if (possible == 0) return 0.5;
  double room = std::clamp(share, 0.0, 1.0) * static_cast<double>(possible);
  if (room <= 0.0) room = 1.0;
  double weight = 0.0;
  double wins = 0.0;
  for (const Holding& h : holdings) {
    if (room <= 0.0) break;
    if (collides(h)) continue;
    const double w = std::min(1.0, room);
    room -= w;
    const double other = h.strength;
    const double win = exact ? (hero > other ? 1.0 : hero == other ? 0.5 : 0.0)
                             : log5WinChance(hero, other);
    weight += w;
    wins += w * win;
  }
  return wins / weight;
}

RangeEquity::RangeEquity(const std::vector<Holding>& holdings, double share, bool exact)
    : holdings_(holdings), share_(std::clamp(share, 0.0, 1.0)), exact_(exact) {
  for (auto& row : pairAt_) std::fill(std::begin(row), std::end(row), int16_t{-1});
  strengths_.reserve(holdings.size());
  for (size_t i = 0; i < holdings.size(); ++i) {
    strengths_.push_back(holdings[i].strength);
    const uint8_t x = holdings[i].cards[0];
    const uint8_t y = holdings[i].cards[1];
    if (x < 52) byCard_[x].push_back(static_cast<uint16_t>(i));
    if (y < 52 && y != x) byCard_[y].push_back(static_cast<uint16_t>(i));
    if (x < 52 && y < 52) pairAt_[x][y] = pairAt_[y][x] = static_cast<int16_t>(i);
  }
  // The end of the top most hands' shares reach: a hand leaves `share` of
  // the holdings without its cards, and as many of its own cards' holdings
  // fall inside that top on average, so it ends near `share` of them all.
  commonTop_ = static_cast<size_t>(share_ * static_cast<double>(holdings.size()));
}

bool RangeEquity::strengthOf(const uint8_t hole[2], double* strength) const {
  if (hole[0] >= 52 || hole[1] >= 52 || pairAt_[hole[0]][hole[1]] < 0) return false;
  *strength = strengths_[pairAt_[hole[0]][hole[1]]];
  return true;
}

double RangeEquity::win(double hero, size_t position) const {
  const double other = strengths_[position];
  if (!exact_) return log5WinChance(hero, other);
  return hero > other ? 1.0 : hero == other ? 0.5 : 0.0;
}

double RangeEquity::winsBefore(double hero, size_t end) {
  if (exact_) {
    // Strongest first: the holdings beaten start at `weaker`, the ties at
    // `tied`.
    const auto first = strengths_.begin();
    const size_t tied = std::partition_point(first, strengths_.end(), [&](double x) { return x > hero; }) - first;
    const size_t weaker = std::partition_point(first + tied, strengths_.end(), [&](double x) { return x >= hero; }) - first;
    const size_t beaten = end > weaker ? end - weaker : 0;
    const size_t ties = std::min(end, weaker) > tied ? std::min(end, weaker) - tied : 0;
    return static_cast<double>(beaten) + 0.5 * static_cast<double>(ties);
  }
  auto [at, made] = topSums_.try_emplace(hero, 0.0);
  if (made) {
    // Two lanes of two sums each keep the divisions in flight; each term is
    // log5WinChance's arithmetic, with its even answer where neither wins.
    using Pair = double __attribute__((vector_size(16)));
    const Pair a = {hero, hero};
    const Pair one = {1.0, 1.0};
    const Pair half = {0.5, 0.5};
    const Pair zero = {0.0, 0.0};
    Pair lanes[2] = {zero, zero};
    size_t i = 0;
    for (; i + 4 <= commonTop_; i += 4) {
      for (int k = 0; k < 2; ++k) {
        Pair b;
        std::memcpy(&b, &strengths_[i + 2 * k], sizeof b);
        const Pair win = a * (one - b);
        const Pair lose = b * (one - a);
        const Pair both = win + lose;
        lanes[k] += both > zero ? win / both : half;
      }
    }
    double sums[4] = {lanes[0][0], lanes[0][1], lanes[1][0], lanes[1][1]};
    for (; i < commonTop_; ++i) sums[0] += log5WinChance(hero, strengths_[i]);
    at->second = (sums[0] + sums[1]) + (sums[2] + sums[3]);
  }
  double total = at->second;
  for (size_t i = commonTop_; i < end; ++i) total += log5WinChance(hero, strengths_[i]);
  for (size_t i = end; i < commonTop_; ++i) total -= log5WinChance(hero, strengths_[i]);
  return total;
}

double RangeEquity::equity(double hero, const uint8_t hole[2]) {
  static const std::vector<uint16_t> none;
  const std::vector<uint16_t>& a = hole[0] < 52 ? byCard_[hole[0]] : none;
  const std::vector<uint16_t>& b = hole[1] < 52 && hole[1] != hole[0] ? byCard_[hole[1]] : none;
  const bool both = hole[0] < 52 && hole[1] < 52 && pairAt_[hole[0]][hole[1]] >= 0;
  const size_t possible = holdings_.size() - (a.size() + b.size() - both);
  if (possible == 0) return 0.5;
  double room = share_ * static_cast<double>(possible);
  if (room <= 0.0) room = 1.0;
  const double whole = std::floor(room);
  const double part = room - whole;

  // The holdings that share a card with the hand, in order of position, read
  // only as far as the hand's top of the range reaches.
  size_t i = 0, j = 0;
  const size_t past = holdings_.size();
  const auto nextColliding = [&] {
    return std::min<size_t>(i < a.size() ? a[i] : past, j < b.size() ? b[j] : past);
  };
  const auto skip = [&](size_t position) {
    if (i < a.size() && a[i] == position) ++i;
    if (j < b.size() && b[j] == position) ++j;
  };
  // The end of the top `whole` holdings the hand leaves...
  size_t end = static_cast<size_t>(whole);
  double left = 0.0;
  for (size_t p = nextColliding(); p < end; p = nextColliding()) {
    left += win(hero, p);
    skip(p);
    ++end;
  }
  double wins = winsBefore(hero, end) - left;
  // ... and the holding after them that counts by `part`.
  if (part > 0.0) {
    size_t cut = end;
    for (size_t p = nextColliding(); p == cut; p = nextColliding()) {
      skip(p);
      ++cut;
    }
    wins += part * win(hero, cut);
  }
  return wins / room;
}

Action priceAnswer(const Game* game, const State* state, uint8_t seat, double equity) {
  Action fold = {a_fold, 0};
  const bool foldLegal = isValidAction(game, state, 0, &fold) != 0;
  if (foldLegal && equity < callPrice(game, state, seat)) return fold;
  return {a_call, 0};
}
