#include "abstraction/bet_abstraction.h"

#include <algorithm>

std::vector<double> raiseFractions(int raisesSoFar) {
  // A re-raise of twice the pot is common enough that reading it between
  // the pot and all-in costs much (a local best response that re-raises
  // half, one or two pots won twice as much before it was there). A third
  // raise of the pot keeps a string of small raises (a minimum raiser's)
  // from being read as all-in after the second.
  if (raisesSoFar <= 0) return {0.5, 1.0, 2.0};
  if (raisesSoFar == 1) return {1.0, 2.0};
  if (raisesSoFar == 2) return {1.0};
  return {};
}

int64_t potAfterCall(const Game* game, const State* state) {
  int64_t pot = 0;
  for (int p = 0; p < game->numPlayers; ++p) pot += state->spent[p];
  const uint8_t seat = currentPlayer(game, state);
  return pot + (std::min(state->maxSpent, game->stack[seat]) - state->spent[seat]);
}

std::vector<int32_t> abstractRaiseSizes(const Game* game, const State* state) {
  int32_t minimum = 0;
  int32_t maximum = 0;
  if (state->finished || !raiseIsValid(game, state, &minimum, &maximum)) return {};
  std::vector<int32_t> sizes;
  const int64_t pot = potAfterCall(game, state);
  for (double fraction : raiseFractions(numRaises(state))) {
    const int64_t to = state->maxSpent + static_cast<int64_t>(fraction * static_cast<double>(pot));
    sizes.push_back(static_cast<int32_t>(std::clamp<int64_t>(to, minimum, maximum)));
  }
  sizes.push_back(maximum);  // all-in
  std::sort(sizes.begin(), sizes.end());
  sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
  return sizes;
}

std::vector<double> abstractRaiseFractions(const Game* game, const State* state) {
  std::vector<double> fractions;
  for (int32_t to : abstractRaiseSizes(game, state))
    fractions.push_back(raiseFraction(game, state, to));
  return fractions;
}

int32_t legalRaiseTo(const Game* game, const State* state, double fraction) {
  int32_t minimum = 0;
  int32_t maximum = 0;
  raiseIsValid(game, state, &minimum, &maximum);
  const double to = state->maxSpent + fraction * static_cast<double>(potAfterCall(game, state));
  if (to >= maximum) return maximum;
  return std::max(minimum, static_cast<int32_t>(to));
}

double raiseFraction(const Game* game, const State* before, int32_t raiseTo) {
  const int64_t pot = potAfterCall(game, before);
  return pot > 0 ? static_cast<double>(raiseTo - before->maxSpent) / static_cast<double>(pot) : 0.0;
}

double pseudoHarmonicLowerChance(double A, double B, double x) {
  return ((B - x) * (1.0 + A)) / ((B - A) * (1.0 + x));
}

SizeReading readRaiseSize(const std::vector<double>& sizes, double x) {
  const int n = static_cast<int>(sizes.size());
  if (x <= sizes.front()) return {0, 0, 1.0};
  if (x >= sizes.back()) return {n - 1, n - 1, 1.0};
  const int upper =
      static_cast<int>(std::lower_bound(sizes.begin(), sizes.end(), x) - sizes.begin());
  if (sizes[upper] == x) return {upper, upper, 1.0};
  const int lower = upper - 1;
  return {lower, upper, pseudoHarmonicLowerChance(sizes[lower], sizes[upper], x)};
}

AbstractHistory readHistory(const Game* game, const State& real,
                            const std::function<double(int)>& draw) {
  AbstractHistory result{State(), true};
  State& abstract = result.state;
  initState(game, real.handId, &abstract);
  std::copy(&real.holeCards[0][0], &real.holeCards[0][0] + sizeof real.holeCards,
            &abstract.holeCards[0][0]);
  std::copy(real.boardCards, real.boardCards + MAX_BOARD_CARDS, abstract.boardCards);
  State replay;
  initState(game, real.handId, &replay);
  int raises = 0;
  for (int r = 0; r <= real.round; ++r) {
    for (int i = 0; i < real.numActions[r]; ++i) {
      if (abstract.finished || abstract.round != r) {
        result.complete = false;
        return result;
      }
      const Action action = real.action[r][i];
      Action read = action;
      if (action.type == a_raise) {
        const std::vector<double> sizes = abstractRaiseFractions(game, &abstract);
        if (sizes.empty()) {
          read = {a_call, 0};
        } else {
          const SizeReading reading = readRaiseSize(sizes, raiseFraction(game, &replay, action.size));
          const int index = draw(raises) < reading.lowerChance ? reading.lower : reading.upper;
          read = {a_raise, abstractRaiseSizes(game, &abstract)[index]};
        }
        ++raises;
      }
      // A fold where the abstract seat owes nothing has no reading.
      if (!isValidAction(game, &abstract, 0, &read)) {
        result.complete = false;
        return result;
      }
      doAction(game, &action, &replay);
      doAction(game, &read, &abstract);
    }
  }
  if (abstract.finished && !real.finished) result.complete = false;
  return result;
}
