#include "agents/price_answer.h"

#include <algorithm>

namespace {

int64_t pot(const Game* game, const State* state) {
  int64_t total = 0;
  for (int p = 0; p < game->numPlayers; ++p) total += state->spent[p];
  return total;
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
  const int32_t owed = std::min(state->maxSpent, game->stack[seat]) - state->spent[seat];
  if (owed <= 0) return 0.0;
  return static_cast<double>(owed) / static_cast<double>(pot(game, state) + owed);
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

Action priceAnswer(const Game* game, const State* state, uint8_t seat, double equity) {
  Action fold = {a_fold, 0};
  const bool foldLegal = isValidAction(game, state, 0, &fold) != 0;
  if (foldLegal && equity < callPrice(game, state, seat)) return fold;
  return {a_call, 0};
}
