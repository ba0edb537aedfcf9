#include "lbr.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace lbr {

bool parseActionSet(const std::string& name, ActionSet* set) {
  if (name == "fcr") *set = ActionSet::fcr;
  else if (name == "fc") *set = ActionSet::fc;
  else if (name == "fcpa") *set = ActionSet::fcpa;
  else if (name == "wide") *set = ActionSet::wide;
  else return false;
  return true;
}

namespace {

uint64_t splitmix64(uint64_t x) {
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

double uniform01(Rng& rng) { return static_cast<double>(rng() >> 11) * 0x1.0p-53; }

}  // namespace

// Everything one hand keeps: the engine state, the opponent's range and the
// showdowns of the current round.
struct LocalBestResponse::Hand {
  State state;
  int lbr;
  int opp;
  Rng* rng;
  std::array<double, NUM_PAIRS> weight;
  int blockedRound = -1;  // board cards up to this round are out of the range
  Showdowns showdowns;
  int showdownRound = -1;
  // Scratch for queries: the live pairs and the opponent's answer.
  std::vector<int> live;
  std::unique_ptr<uint8_t[][2]> cards = std::make_unique<uint8_t[][2]>(NUM_PAIRS);
  Opponent::ActionList list;
  // The hand's raise draws, made from its generator when first asked for,
  // so that opponents that never ask leave the generator as it was.
  std::vector<double> draws;
  Opponent::RaiseDraw draw = [this](int k) {
    while (static_cast<int>(draws.size()) <= k) draws.push_back(uniform01(*rng));
    return draws[k];
  };

  // Collects the pairs with weight left.
  void gatherLive() {
    live.clear();
    for (int i = 0; i < NUM_PAIRS; ++i)
      if (weight[i] > 0.0) {
        cards[live.size()][0] = holePairs.first[i];
        cards[live.size()][1] = holePairs.second[i];
        live.push_back(i);
      }
  }
};

LocalBestResponse::LocalBestResponse(const Game* game, const Opponent& opponent,
                                     const Settings& settings)
    : game_(game), opponent_(opponent), settings_(settings) {
  bigBlind_ = 0.0;
  for (int p = 0; p < game->numPlayers; ++p) bigBlind_ = std::max<double>(bigBlind_, game->blind[p]);
}

Rng LocalBestResponse::dealRng(uint64_t deal) const {
  return Rng(splitmix64(splitmix64(settings_.seed) ^ deal));
}

DealResult LocalBestResponse::playDeal(uint64_t deal) const {
  Rng rng = dealRng(deal);
  uint8_t deck[52];
  for (int c = 0; c < 52; ++c) deck[c] = static_cast<uint8_t>(c);
  for (int k = 0; k < 9; ++k) {
    const int j = k + static_cast<int>(rng() % static_cast<uint64_t>(52 - k));
    std::swap(deck[k], deck[j]);
  }
  const uint8_t hole[2][2] = {{deck[0], deck[1]}, {deck[2], deck[3]}};
  const uint8_t* board = deck + 4;
  DealResult result;
  const uint32_t handId = static_cast<uint32_t>(deal);
  result.seat[0] = playHand(hole, board, 0, rng, handId);
  result.seat[1] = playHand(hole, board, 1, rng, handId);
  return result;
}

double LocalBestResponse::playHand(const uint8_t (*hole)[2], const uint8_t* board, int lbrSeat,
                                   Rng& rng, uint32_t handId) const {
  Hand hand;
  initState(game_, handId, &hand.state);
  for (int p = 0; p < 2; ++p)
    for (int c = 0; c < 2; ++c) hand.state.holeCards[p][c] = hole[p][c];
  for (int c = 0; c < 5; ++c) hand.state.boardCards[c] = board[c];
  hand.lbr = lbrSeat;
  hand.opp = 1 - lbrSeat;
  hand.rng = &rng;
  const uint64_t mine = gamecore::cardBit(hole[lbrSeat][0]) | gamecore::cardBit(hole[lbrSeat][1]);
  for (int i = 0; i < NUM_PAIRS; ++i) hand.weight[i] = (holePairs.mask[i] & mine) ? 0.0 : 1.0;

  while (!hand.state.finished) {
    const int round = hand.state.round;
    if (hand.blockedRound != round) {
      uint64_t seen = 0;
      for (int c = 0; c < sumBoardCards(game_, round); ++c) seen |= gamecore::cardBit(board[c]);
      for (int i = 0; i < NUM_PAIRS; ++i)
        if (holePairs.mask[i] & seen) hand.weight[i] = 0.0;
      hand.blockedRound = round;
    }
    if (currentPlayer(game_, &hand.state) == hand.opp) {
      opponentActs(hand);
    } else {
      const Action action = decide(hand);
      doAction(game_, &action, &hand.state);
    }
  }
  return valueOfState(game_, &hand.state, static_cast<uint8_t>(lbrSeat));
}

void LocalBestResponse::opponentActs(Hand& hand) const {
  const State& state = hand.state;
  hand.gatherLive();
  Opponent::ActionList& list = hand.list;
  opponent_.actionList(state, static_cast<uint8_t>(hand.opp), hand.cards.get(), hand.live.size(),
                       hand.draw, &list);
  const size_t n = list.actions.size();
  if (n == 0) {
    // Nothing to send: the dealer's answer to nothing, by every hand.
    const Action call{a_call, 0};
    doAction(game_, &call, &hand.state);
    return;
  }
  // The opponent's own action, drawn from the row of its real cards.
  const int real = pairIndex(state.holeCards[hand.opp][0], state.holeCards[hand.opp][1]);
  const auto at = std::lower_bound(hand.live.begin(), hand.live.end(), real);
  if (at == hand.live.end() || *at != real)
    throw std::logic_error("the opponent's own hand left its range");
  const double* row = &list.probabilities[(at - hand.live.begin()) * n];
  const double u = uniform01(*hand.rng);
  int chosen = -1;
  double cumulative = 0.0;
  for (size_t a = 0; a < n; ++a) {
    if (row[a] <= 0.0) continue;
    chosen = static_cast<int>(a);
    cumulative += row[a];
    if (u < cumulative) break;
  }
  Action action{a_call, 0};  // no weight anywhere: the dealer's answer to nothing
  if (chosen >= 0) {
    for (size_t k = 0; k < hand.live.size(); ++k) hand.weight[hand.live[k]] *= list.probabilities[k * n + chosen];
    action = list.actions[chosen];
    if (action.type == a_raise && action.size == 0) action = opponent_.raise(state, *hand.rng);
  } else {
    for (size_t k = 0; k < hand.live.size(); ++k) {
      hand.weight[hand.live[k]] *= list.share(k, a_call);
    }
  }
  doAction(game_, &action, &hand.state);
}

std::vector<int32_t> raiseSizes(const Game* game, const State& state, ActionSet set) {
  std::vector<int32_t> sizes;
  int32_t minTo, maxTo;
  if (!raiseRange(game, state, &minTo, &maxTo)) return sizes;
  if (game->bettingType != noLimitBetting) {
    if (set != ActionSet::fc) sizes.push_back(0);  // the engine sizes it
    return sizes;
  }
  // Pot fractions in halves: a raise by f times the pot after calling.
  std::vector<int64_t> halves;
  switch (set) {
    case ActionSet::fc: return sizes;
    case ActionSet::fcr:
    case ActionSet::fcpa: halves = {2}; break;
    case ActionSet::wide: halves = {1, 2, 4}; break;
  }
  const int64_t pot = static_cast<int64_t>(state.spent[0]) + state.spent[1];
  const int64_t toCall = state.maxSpent - state.spent[currentPlayer(game, &state)];
  for (int64_t h : halves) {
    const int64_t to = state.maxSpent + h * (pot + toCall) / 2;
    sizes.push_back(static_cast<int32_t>(std::clamp<int64_t>(to, minTo, maxTo)));
  }
  sizes.push_back(maxTo);
  std::sort(sizes.begin(), sizes.end());
  sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
  return sizes;
}

Action LocalBestResponse::decide(Hand& hand) const {
  const State& state = hand.state;
  const Action call{a_call, 0};
  if (observer_) observer_(state, hand.weight.data());
  if (settings_.rounds == Rounds::late && state.round < 2) return call;

  if (hand.showdownRound != state.round) {
    hand.showdowns.prepare(state.holeCards[hand.lbr], state.boardCards,
                           sumBoardCards(game_, state.round), settings_.samples, *hand.rng);
    hand.showdownRound = state.round;
  }
  const double mySpent = state.spent[hand.lbr];
  const double oppSpent = state.spent[hand.opp];

  // Ties go to the earlier action: fold, then call, then smaller raises.
  Action best = call;
  const double equity = hand.showdowns.equity(hand.weight.data());
  double bestValue = equity * 2.0 * state.maxSpent - state.maxSpent;
  if (foldIsLegal(game_, state) && -mySpent >= bestValue) {
    best = Action{a_fold, 0};
    bestValue = -mySpent;
  }

  const std::vector<int32_t> sizes = raiseSizes(game_, state, settings_.actions);
  if (sizes.empty()) return best;
  hand.gatherLive();
  std::array<double, NUM_PAIRS> going{};
  for (int32_t size : sizes) {
    const Action raise{a_raise, size};
    State next = state;
    doAction(game_, &raise, &next);
    const double total = next.spent[hand.lbr];
    Opponent::ActionList& list = hand.list;
    opponent_.actionList(next, static_cast<uint8_t>(hand.opp), hand.cards.get(), hand.live.size(),
                         hand.draw, &list);
    double all = 0.0;
    double folding = 0.0;
    for (size_t k = 0; k < hand.live.size(); ++k) {
      const int i = hand.live[k];
      const double w = hand.weight[i];
      const double fold = list.share(k, a_fold);
      all += w;
      folding += w * fold;
      going[i] = w * (1.0 - fold);
    }
    const double pFold = all > 0.0 ? folding / all : 0.0;
    const double value = pFold * oppSpent +
                         (1.0 - pFold) * (hand.showdowns.equity(going.data()) * 2.0 * total - total);
    if (value > bestValue) {
      best = raise;
      bestValue = value;
    }
    for (int i : hand.live) going[i] = 0.0;
  }
  return best;
}

namespace {

// 1.96 standard errors of the mean of n samples whose squared deviations
// from their mean sum to `centredSquares`; infinite below two samples.
double halfWidth(double centredSquares, uint64_t n) {
  if (n < 2) return std::numeric_limits<double>::infinity();
  return 1.96 * std::sqrt(std::max(0.0, centredSquares) / (n - 1) / n);
}

}  // namespace

Summary summarize(const std::vector<double>& samples) {
  Summary s;
  s.deals = samples.size();
  if (samples.empty()) return s;
  double sum = 0.0;
  for (double x : samples) sum += x;
  s.mean = sum / samples.size();
  double squares = 0.0;
  for (double x : samples) squares += (x - s.mean) * (x - s.mean);
  s.half = halfWidth(squares, s.deals);
  return s;
}

Summary run(const LocalBestResponse& lbr, uint64_t deals, unsigned threads,
            const std::function<void(const Summary& soFar)>& progress) {
  std::vector<double> paired(deals);
  std::atomic<uint64_t> next{0};
  std::atomic<uint64_t> done{0};
  std::mutex mutex;
  std::condition_variable finished;
  std::exception_ptr failure;
  double sum = 0.0, squares = 0.0;  // of the deals done, under the mutex
  const double scale = 1000.0 / lbr.bigBlind();

  auto work = [&] {
    try {
      for (uint64_t d; (d = next++) < deals;) {
        const DealResult r = lbr.playDeal(d);
        const double x = (r.seat[0] + r.seat[1]) / 2.0 * scale;
        paired[d] = x;
        std::lock_guard<std::mutex> lock(mutex);
        sum += x;
        squares += x * x;
        if (++done == deals) finished.notify_all();
      }
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex);
      if (!failure) failure = std::current_exception();
      next = deals;  // the others stop after their current deal
      finished.notify_all();
    }
  };
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < std::max(1u, threads); ++t) pool.emplace_back(work);
  if (!progress) {
    work();
  } else {
    // One worker fewer than asked would be a thread idle: the caller reports
    // while every worker plays.
    pool.emplace_back(work);
    std::unique_lock<std::mutex> lock(mutex);
    // Reports about once a second, and once more when every deal is done.
    for (bool last = false; !last && !failure;) {
      finished.wait_for(lock, std::chrono::seconds(1), [&] { return done == deals || failure; });
      last = done == deals;
      Summary soFar;
      soFar.deals = done;
      if (soFar.deals > 0) soFar.mean = sum / soFar.deals;
      soFar.half = halfWidth(squares - soFar.deals * soFar.mean * soFar.mean, soFar.deals);
      lock.unlock();
      progress(soFar);
      lock.lock();
    }
  }
  for (std::thread& t : pool) t.join();
  if (failure) std::rethrow_exception(failure);
  return summarize(paired);
}

}  // namespace lbr
