// The betting state of one hand: starting and dealing a hand, whose turn it
// is, which actions are legal, and applying them.
#include <algorithm>
#include <cassert>
#include <climits>

#include "game.h"

namespace {

// Amounts are computed in 64 bits and stored back clamped, so games with
// huge stacks, blinds or raise sizes can never overflow a 32-bit field.
int32_t clampToInt32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

bool canAct(const Game* game, const State* state, int p) {
  return !state->playerFolded[p] && state->spent[p] < game->stack[p];
}

int32_t largestBlind(const Game* game) {
  int32_t largest = 0;
  for (int p = 0; p < game->numPlayers; ++p) largest = std::max(largest, game->blind[p]);
  return largest;
}

}  // namespace

void initState(const Game* game, uint32_t handId, State* state) {
  state->handId = handId;
  state->maxSpent = 0;
  for (int p = 0; p < game->numPlayers; ++p) {
    state->spent[p] = game->blind[p];
    state->maxSpent = std::max(state->maxSpent, game->blind[p]);
    state->playerFolded[p] = 0;
  }
  if (game->bettingType == noLimitBetting) {
    state->minNoLimitRaiseTo = state->maxSpent > 0 ? clampToInt32(2 * int64_t(state->maxSpent)) : 1;
  } else {
    state->minNoLimitRaiseTo = 0;
  }
  for (int r = 0; r < game->numRounds; ++r) state->numActions[r] = 0;
  state->round = 0;
  state->finished = 0;
}

void dealCards(const Game* game, rng_state_t* rng, State* state) {
  uint8_t deck[MAX_RANKS * MAX_SUITS];
  uint32_t n = 0;
  for (int s = MAX_SUITS - game->numSuits; s < MAX_SUITS; ++s)
    for (int r = MAX_RANKS - game->numRanks; r < MAX_RANKS; ++r) deck[n++] = makeCard(r, s);

  // Draw without replacement; the order of draws fixes the deal for a seed.
  auto draw = [&]() {
    assert(n > 0);
    const uint32_t i = genrand_int32(rng) % n;
    const uint8_t card = deck[i];
    deck[i] = deck[--n];
    return card;
  };
  for (int p = 0; p < game->numPlayers; ++p)
    for (int c = 0; c < game->numHoleCards; ++c) state->holeCards[p][c] = draw();
  int s = 0;
  for (int r = 0; r < game->numRounds; ++r)
    for (int c = 0; c < game->numBoardCards[r]; ++c) {
      assert(s < MAX_BOARD_CARDS);
      state->boardCards[s++] = draw();
    }
}

uint8_t currentPlayer(const Game* game, const State* state) {
  const int players = game->numPlayers;
  const int round = state->round;
  int p = state->numActions[round] > 0 ? state->actingPlayer[round][state->numActions[round] - 1]
                                       : game->firstPlayer[round] + players - 1;
  // Visits every seat once at most: with no seat able to act (which callers
  // must not ask about) the loop still ends.
  for (int step = 0; step < players; ++step) {
    p = (p + 1) % players;
    if (canAct(game, state, p)) return static_cast<uint8_t>(p);
  }
  return static_cast<uint8_t>(p % players);
}

uint8_t numRaises(const State* state) {
  uint8_t count = 0;
  for (int i = 0; i < state->numActions[state->round]; ++i)
    count += state->action[state->round][i].type == a_raise;
  return count;
}

uint8_t numFolded(const Game* game, const State* state) {
  uint8_t count = 0;
  for (int p = 0; p < game->numPlayers; ++p) count += state->playerFolded[p] != 0;
  return count;
}

uint8_t numCalled(const Game* game, const State* state) {
  uint8_t count = 0;
  const int round = state->round;
  for (int i = state->numActions[round] - 1; i >= 0; --i) {
    const int p = state->actingPlayer[round][i];
    const bool allIn = state->spent[p] >= game->stack[p];
    const ActionType type = state->action[round][i].type;
    if (type == a_call) {
      count += !allIn;
    } else if (type == a_raise) {
      count += !allIn;
      break;
    }
  }
  return count;
}

uint8_t numAllIn(const Game* game, const State* state) {
  uint8_t count = 0;
  for (int p = 0; p < game->numPlayers; ++p) count += state->spent[p] >= game->stack[p];
  return count;
}

uint8_t numActingPlayers(const Game* game, const State* state) {
  uint8_t count = 0;
  for (int p = 0; p < game->numPlayers; ++p) count += canAct(game, state, p);
  return count;
}

uint8_t bcStart(const Game* game, uint8_t round) {
  uint8_t start = 0;
  for (int r = 0; r < round && r < MAX_ROUNDS; ++r) start += game->numBoardCards[r];
  return start;
}

uint8_t sumBoardCards(const Game* game, uint8_t round) {
  uint8_t total = 0;
  for (int r = 0; r <= round && r < MAX_ROUNDS; ++r) total += game->numBoardCards[r];
  return total;
}

int raiseIsValid(const Game* game, const State* curState, int32_t* minSize, int32_t* maxSize) {
  if (numRaises(curState) >= game->maxRaises[curState->round]) return 0;
  // A raise must leave room in the round for one call by every other seat.
  if (curState->numActions[curState->round] + game->numPlayers > MAX_NUM_ACTIONS) {
    fprintf(stderr, "WARNING: #actions in round is too close to MAX_NUM_ACTIONS, forcing call/fold\n");
    return 0;
  }
  // The last seat able to act may not raise: nobody could answer.
  if (numActingPlayers(game, curState) <= 1) return 0;
  if (game->bettingType != noLimitBetting) {
    *minSize = 0;
    *maxSize = 0;
    return 1;
  }
  const int p = currentPlayer(game, curState);
  *minSize = curState->minNoLimitRaiseTo;
  *maxSize = game->stack[p];
  // Only when amounts reach the 32-bit limit can the minimum fail to exceed
  // the current bet; no raise is possible then.
  if (*minSize <= curState->maxSpent) return 0;
  if (*minSize > game->stack[p]) {
    // An all-in raise for less than a full raise is allowed.
    if (game->stack[p] > curState->maxSpent) {
      *minSize = game->stack[p];
      return 1;
    }
    return 0;
  }
  return 1;
}

int isValidAction(const Game* game, const State* curState, int tryFixing, Action* action) {
  if (curState->finished) return 0;
  // Nobody can act (every seat folded or all-in from the start): no action
  // is possible, and there is no current player to judge it for.
  if (numActingPlayers(game, curState) == 0) return 0;
  const int p = currentPlayer(game, curState);

  switch (action->type) {
    case a_raise: {
      int32_t minSize;
      int32_t maxSize;
      if (!raiseIsValid(game, curState, &minSize, &maxSize)) return 0;
      if (game->bettingType != noLimitBetting) return 1;
      if (action->size < minSize) {
        if (!tryFixing) return 0;
        fprintf(stderr, "WARNING: raise of %d increased to %d\n", action->size, minSize);
        action->size = minSize;
      } else if (action->size > maxSize) {
        if (!tryFixing) return 0;
        fprintf(stderr, "WARNING: raise of %d decreased to %d\n", action->size, maxSize);
        action->size = maxSize;
      }
      return 1;
    }
    case a_fold:
      // Folding is pointless with nothing owed, and impossible when all-in.
      if (curState->spent[p] == curState->maxSpent || curState->spent[p] == game->stack[p]) return 0;
      if (action->size != 0) {
        fprintf(stderr, "WARNING: size given for fold\n");
        action->size = 0;
      }
      return 1;
    case a_call:
      if (action->size != 0) {
        fprintf(stderr, "WARNING: size given for something other than a no-limit raise\n");
        action->size = 0;
      }
      return 1;
    default:
      return 0;
  }
}

void doAction(const Game* game, const Action* action, State* state) {
  const int p = currentPlayer(game, state);
  const int round = state->round;
  assert(state->numActions[round] < MAX_NUM_ACTIONS);

  state->action[round][state->numActions[round]] = *action;
  // A limit raise carries no size (isValidAction lets any size through);
  // record 0 so the state matches the one read back from its text.
  if (action->type == a_raise && game->bettingType != noLimitBetting)
    state->action[round][state->numActions[round]].size = 0;
  state->actingPlayer[round][state->numActions[round]] = static_cast<uint8_t>(p);
  ++state->numActions[round];

  switch (action->type) {
    case a_fold:
      state->playerFolded[p] = 1;
      break;
    case a_call:
      state->spent[p] = std::min(state->maxSpent, game->stack[p]);
      break;
    case a_raise:
      if (game->bettingType == noLimitBetting) {
        assert(action->size > state->maxSpent);
        assert(action->size <= game->stack[p]);
        // The next raise must add at least as much as this one did.
        const int64_t nextMin = 2 * int64_t(action->size) - state->maxSpent;
        if (nextMin > state->minNoLimitRaiseTo) state->minNoLimitRaiseTo = clampToInt32(nextMin);
        state->maxSpent = action->size;
      } else {
        state->maxSpent = clampToInt32(
            std::min<int64_t>(int64_t(state->maxSpent) + game->raiseSize[round], game->stack[p]));
      }
      state->spent[p] = state->maxSpent;
      break;
    default:
      fprintf(stderr, "ERROR: trying to do invalid action %d", static_cast<int>(action->type));
      assert(!"doAction given an action that is not fold, call or raise");
      return;
  }

  if (numFolded(game, state) + 1 >= game->numPlayers) {
    state->finished = 1;
    return;
  }
  if (numCalled(game, state) < numActingPlayers(game, state)) return;  // round goes on

  if (numActingPlayers(game, state) <= 1) {
    // Nobody is left to bet against: show the whole board at once.
    state->finished = 1;
    state->round = static_cast<uint8_t>(game->numRounds - 1);
    return;
  }
  if (state->round + 1 < game->numRounds) {
    ++state->round;
    state->minNoLimitRaiseTo = clampToInt32(int64_t(state->maxSpent) + std::max<int32_t>(1, largestBlind(game)));
  } else {
    state->finished = 1;
  }
}

int statesEqual(const Game* game, const State* a, const State* b) {
  if (a->handId != b->handId || a->round != b->round) return 0;
  if (a->round >= MAX_ROUNDS) return 0;
  for (int r = 0; r <= a->round; ++r) {
    if (a->numActions[r] != b->numActions[r]) return 0;
    for (int i = 0; i < a->numActions[r] && i < MAX_NUM_ACTIONS; ++i) {
      if (a->action[r][i].type != b->action[r][i].type || a->action[r][i].size != b->action[r][i].size) return 0;
    }
  }
  const int board = std::min<int>(sumBoardCards(game, a->round), MAX_BOARD_CARDS);
  for (int i = 0; i < board; ++i)
    if (a->boardCards[i] != b->boardCards[i]) return 0;
  for (int p = 0; p < game->numPlayers && p < MAX_PLAYERS; ++p)
    for (int c = 0; c < game->numHoleCards && c < MAX_HOLE_CARDS; ++c)
      if (a->holeCards[p][c] != b->holeCards[p][c]) return 0;
  return 1;
}
