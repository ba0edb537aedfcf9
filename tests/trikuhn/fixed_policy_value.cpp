#include "fixed_policy_value.h"

#include <algorithm>
#include <utility>
#include <vector>

using namespace KuhnPoker::ThreePlayer;

namespace trikuhn_test {

namespace {

using Choices = std::vector<std::pair<Action, double>>;

Choices policyChoices(Game const* game, State const& state, FixedPolicy policy) {
  Action fold{a_fold, 0};
  Action raise{a_raise, 0};
  Action const call{a_call, 0};
  bool const canFold = isValidAction(game, &state, 0, &fold) != 0;
  bool const canRaise = isValidAction(game, &state, 0, &raise) != 0;
  switch (policy) {
    case FixedPolicy::call:
      return {{call, 1}};
    case FixedPolicy::raise:
      return {{canRaise ? raise : call, 1}};
    case FixedPolicy::fold:
      return {{canFold ? fold : call, 1}};
    case FixedPolicy::random: {
      std::vector<Action> legal;
      if (canFold) legal.push_back(fold);
      legal.push_back(call);
      if (canRaise) legal.push_back(raise);
      Choices choices;
      for (Action const& a : legal) choices.push_back({a, 1.0 / legal.size()});
      return choices;
    }
  }
  return {};
}

double walk(Game const* game, MatchState const& ms, KuhnStrategy const& strategy,
            FixedPolicy policy, int seat) {
  State const& state = ms.state;
  if (state.finished) return valueOfState(game, &state, static_cast<uint8_t>(seat));

  Choices choices;
  int const actor = currentPlayer(game, &state);
  if (actor == seat) {
    InfoSetSituation const s = situation(ms);
    bool const facing = s != noBetYet;
    double const p = strategy(seat, cardIndex(state.holeCards[seat][0]), s);
    choices = {{Action{facing ? a_call : a_raise, 0}, p},
               {Action{facing ? a_fold : a_call, 0}, 1 - p}};
  } else {
    choices = policyChoices(game, state, policy);
  }

  double value = 0;
  for (auto const& [action, probability] : choices) {
    if (probability == 0) continue;
    MatchState next = ms;
    doAction(game, &action, &next.state);
    value += probability * walk(game, next, strategy, policy, seat);
  }
  return value;
}

// The deals in which seat holds a given card; the other two cards vary.
struct Deal {
  int cards[NUM_PLAYERS];
};

std::vector<Deal> dealsWith(int seat, int card) {
  std::vector<Deal> deals;
  for (int c0 = 0; c0 < NUM_CARDS; ++c0)
    for (int c1 = 0; c1 < NUM_CARDS; ++c1)
      for (int c2 = 0; c2 < NUM_CARDS; ++c2) {
        Deal const d{{c0, c1, c2}};
        if (c0 == c1 || c0 == c2 || c1 == c2 || d.cards[seat] != card) continue;
        deals.push_back(d);
      }
  return deals;
}

// Walks the public betting of one hand with the deals still possible, each
// weighted by the other seats' probabilities of the actions so far. At the
// seat's own decisions it takes the better action (bestResponse) or follows
// its strategy. Returns the weighted sum of the seat's payoffs.
double profileWalk(Game const* game, MatchState const& ms, std::vector<Deal> const& deals,
                   std::vector<double> const& weights, Profile const& profile, int seat,
                   bool bestResponse) {
  State const& state = ms.state;
  if (state.finished) {
    double value = 0;
    for (std::size_t d = 0; d < deals.size(); ++d) {
      State dealt = state;
      for (int s = 0; s < NUM_PLAYERS; ++s)
        dealt.holeCards[s][0] = makeCard(JACK_RANK + deals[d].cards[s], 3);
      value += weights[d] * valueOfState(game, &dealt, static_cast<uint8_t>(seat));
    }
    return value;
  }

  int const actor = currentPlayer(game, &state);
  InfoSetSituation const s = situation(ms);
  bool const facing = s != noBetYet;
  Action const aggressive{facing ? a_call : a_raise, 0};
  Action const passive{facing ? a_fold : a_call, 0};
  auto child = [&](Action const& action, std::vector<double> const& childWeights) {
    MatchState next = ms;
    doAction(game, &action, &next.state);
    return profileWalk(game, next, deals, childWeights, profile, seat, bestResponse);
  };

  if (actor == seat) {
    double const up = child(aggressive, weights);
    double const down = child(passive, weights);
    if (bestResponse) return std::max(up, down);
    double const p = profile[seat](seat, static_cast<CardIndex>(deals[0].cards[seat]), s);
    return p * up + (1 - p) * down;
  }
  std::vector<double> upWeights(weights), downWeights(weights);
  for (std::size_t d = 0; d < deals.size(); ++d) {
    double const p = profile[actor](actor, static_cast<CardIndex>(deals[d].cards[actor]), s);
    upWeights[d] *= p;
    downWeights[d] *= 1 - p;
  }
  return child(aggressive, upWeights) + child(passive, downWeights);
}

double profileTotal(Acpc::GameDef const& gameDefinition, Profile const& profile, int seat,
                    bool bestResponse) {
  Game const* game = gameDefinition.game.get();
  double total = 0;
  for (int card = 0; card < NUM_CARDS; ++card) {
    std::vector<Deal> const deals = dealsWith(seat, card);
    std::vector<double> const weights(deals.size(), 1.0 / 24);
    MatchState ms{};
    ms.viewingPlayer = static_cast<uint8_t>(seat);
    initState(game, 0, &ms.state);
    total += profileWalk(game, ms, deals, weights, profile, seat, bestResponse);
  }
  return total;
}

}  // namespace

double profileValue(Acpc::GameDef const& game, Profile const& profile, int seat) {
  return profileTotal(game, profile, seat, false);
}

double bestResponseValue(Acpc::GameDef const& game, Profile const& profile, int seat) {
  return profileTotal(game, profile, seat, true);
}

double valueInSeat(Acpc::GameDef const& gameDefinition, KuhnStrategy const& strategy,
                   FixedPolicy policy, int seat) {
  Game const* game = gameDefinition.game.get();
  double total = 0;
  int deals = 0;
  for (int c0 = 0; c0 < NUM_CARDS; ++c0)
    for (int c1 = 0; c1 < NUM_CARDS; ++c1)
      for (int c2 = 0; c2 < NUM_CARDS; ++c2) {
        if (c0 == c1 || c0 == c2 || c1 == c2) continue;
        MatchState ms{};
        ms.viewingPlayer = static_cast<uint8_t>(seat);
        initState(game, 0, &ms.state);
        int const cards[3] = {c0, c1, c2};
        for (int s = 0; s < NUM_PLAYERS; ++s)
          ms.state.holeCards[s][0] = makeCard(JACK_RANK + cards[s], 3);  // spades
        total += walk(game, ms, strategy, policy, seat);
        ++deals;
      }
  return total / deals;
}

double valueOverSeats(Acpc::GameDef const& game, KuhnStrategy const& strategy,
                      FixedPolicy policy) {
  double total = 0;
  for (int seat = 0; seat < NUM_PLAYERS; ++seat) total += valueInSeat(game, strategy, policy, seat);
  return total / NUM_PLAYERS;
}

}  // namespace trikuhn_test
