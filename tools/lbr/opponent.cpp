#include "opponent.h"

namespace lbr {

bool foldIsLegal(const Game* game, const State& state) {
  Action fold{a_fold, 0};
  return isValidAction(game, &state, 0, &fold) != 0;
}

bool raiseRange(const Game* game, const State& state, int32_t* minTo, int32_t* maxTo) {
  *minTo = *maxTo = 0;
  return raiseIsValid(game, &state, minTo, maxTo) != 0;
}

Action Opponent::raise(const State& state, Rng&) const {
  int32_t minTo, maxTo;
  raiseRange(game_, state, &minTo, &maxTo);
  return Action{a_raise, game_->bettingType == noLimitBetting ? minTo : 0};
}

void SingleRaiseOpponent::actionList(const State& state, uint8_t seat, const uint8_t (*hands)[2],
                                     size_t count, const RaiseDraw&, ActionList* list) const {
  list->actions = {Action{a_fold, 0}, Action{a_call, 0}, Action{a_raise, 0}};
  list->probabilities.resize(count * 3);
  actionProbabilities(state, seat, hands, count,
                      reinterpret_cast<double (*)[3]>(list->probabilities.data()));
}

namespace {

enum class Policy { fold, call, raise, random };

class Baseline : public SingleRaiseOpponent {
 public:
  Baseline(const Game* game, Policy policy) : SingleRaiseOpponent(game), policy_(policy) {}

  void actionProbabilities(const State& state, uint8_t, const uint8_t (*)[2], size_t count,
                           double (*probabilities)[3]) const override {
    // The cards play no part: one row serves every hand.
    const bool canFold = foldIsLegal(game_, state);
    int32_t minTo, maxTo;
    const bool canRaise = raiseRange(game_, state, &minTo, &maxTo);
    double row[3] = {0.0, 0.0, 0.0};
    switch (policy_) {
      case Policy::fold: row[canFold ? 0 : 1] = 1.0; break;
      case Policy::call: row[1] = 1.0; break;
      case Policy::raise: row[canRaise ? 2 : 1] = 1.0; break;
      case Policy::random: {
        const double p = 1.0 / (1 + canFold + canRaise);
        row[0] = canFold ? p : 0.0;
        row[1] = p;
        row[2] = canRaise ? p : 0.0;
        break;
      }
    }
    for (size_t k = 0; k < count; ++k)
      for (int a = 0; a < 3; ++a) probabilities[k][a] = row[a];
  }

  Action raise(const State& state, Rng& rng) const override {
    if (policy_ != Policy::random || game_->bettingType != noLimitBetting)
      return Opponent::raise(state, rng);
    int32_t minTo, maxTo;
    raiseRange(game_, state, &minTo, &maxTo);
    const uint64_t span = static_cast<uint64_t>(maxTo - minTo) + 1;
    return Action{a_raise, minTo + static_cast<int32_t>(rng() % span)};
  }

 private:
  Policy policy_;
};

}  // namespace

std::unique_ptr<Opponent> makeBaseline(const std::string& name, const Game* game) {
  if (name == "fold") return std::make_unique<Baseline>(game, Policy::fold);
  if (name == "call") return std::make_unique<Baseline>(game, Policy::call);
  if (name == "raise") return std::make_unique<Baseline>(game, Policy::raise);
  if (name == "random") return std::make_unique<Baseline>(game, Policy::random);
  return nullptr;
}

}  // namespace lbr
