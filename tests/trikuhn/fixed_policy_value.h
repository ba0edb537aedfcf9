// Exact expected winnings of a three-player Kuhn strategy against two
// opponents with a fixed simplebot policy: every deal and every branch of
// the betting is enumerated with the engine's rules and payoffs.
#ifndef TRIKUHN_TESTS_FIXED_POLICY_VALUE_H
#define TRIKUHN_TESTS_FIXED_POLICY_VALUE_H

#include <array>
#include <functional>

#include "acpc_game.h"
#include "kuhn_info_sets.h"

namespace trikuhn_test {

// Probability of the aggressive action (bet, or call when facing a bet) of
// the seat holding card in situation s.
using KuhnStrategy = std::function<double(int seat, KuhnPoker::ThreePlayer::CardIndex card,
                                          KuhnPoker::ThreePlayer::InfoSetSituation s)>;

// The policies of simplebot: call always calls or checks; raise raises
// whenever it may, else calls; random picks uniformly among the legal
// actions; fold folds whenever it may, else checks.
enum class FixedPolicy { call, raise, random, fold };

// Chips per hand of strategy in seat, over the 24 deals, against two
// opponents playing policy.
double valueInSeat(Acpc::GameDef const& game, KuhnStrategy const& strategy, FixedPolicy policy,
                   int seat);

// The same averaged over the three seats, as the dealer's rotation moves a
// player through them.
double valueOverSeats(Acpc::GameDef const& game, KuhnStrategy const& strategy, FixedPolicy policy);

// One strategy per seat for a single hand.
using Profile = std::array<KuhnStrategy, 3>;

// Chips per hand of seat when every seat plays its strategy of profile.
double profileValue(Acpc::GameDef const& game, Profile const& profile, int seat);

// The most seat can earn against the other seats' strategies of profile.
double bestResponseValue(Acpc::GameDef const& game, Profile const& profile, int seat);

}  // namespace trikuhn_test

#endif  // TRIKUHN_TESTS_FIXED_POLICY_VALUE_H
