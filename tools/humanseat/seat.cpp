#include "seat.h"

#include <utility>

namespace humanseat {

using nlohmann::json;

HumanSeat::HumanSeat(const Game* game, Table table, Sender send)
    : game_(game),
      table_(std::move(table)),
      send_(std::move(send)),
      lastView_(std::chrono::steady_clock::now()) {}

bool HumanSeat::dealerLine(const std::string& line) {
  MatchState ms = {};  // cards the line does not give stay zero, never stale
  const int length = readMatchState(line.c_str(), game_, &ms);
  // Anything after the state would be echoed back as if it were ours.
  if (length < 0 || static_cast<size_t>(length) != line.size()) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  if (hands_.empty() || hands_.back().state.state.handId != ms.state.handId) {
    if (!hands_.empty() && !hands_.back().state.state.finished) hands_.back().abandoned = true;
    hands_.push_back({});
  }
  Hand& hand = hands_.back();
  hand.state = ms;
  hand.line = line;
  hand.answered = false;
  return true;
}

void HumanSeat::dealerClosed() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  if (!hands_.empty() && !hands_.back().state.state.finished) hands_.back().abandoned = true;
}

bool HumanSeat::over(size_t index) const {
  return hands_[index].state.state.finished || hands_[index].abandoned;
}

bool HumanSeat::matchOver() const { return closed_ && shown_ + 1 >= hands_.size(); }

json HumanSeat::view() {
  std::lock_guard<std::mutex> lock(mutex_);
  lastView_ = std::chrono::steady_clock::now();
  // The running total and its history cover the hands up to the shown one.
  json history = json::array();
  double total = 0;
  const size_t last = std::min(shown_ + 1, hands_.size());
  for (size_t i = 0; i < last; ++i) {
    const State& state = hands_[i].state.state;
    if (!state.finished) continue;
    total += valueOfState(game_, &state, hands_[i].state.viewingPlayer);
    history.push_back(total);
  }
  json view = {{"total", total},
               {"history", history},
               {"handsDealt", hands_.size()},
               {"shown", shown_ + 1},
               {"dealerClosed", closed_},
               {"matchOver", matchOver()}};
  if (shown_ < hands_.size()) {
    const Hand& hand = hands_[shown_];
    view["hand"] = handView(game_, table_, hand.state, hand.abandoned);
    view["canNext"] = over(shown_) && !matchOver();
    if (hand.answered) view["hand"].erase("legal");
  } else {
    view["hand"] = nullptr;
    view["canNext"] = false;
  }
  if (matchOver()) endSeen_ = true;
  return view;
}

HumanSeat::Reply HumanSeat::act(const json& request) {
  if (!request.is_object()) return refuse("The request is not understood.");
  const auto tokenField = request.find("token");
  const auto actionField = request.find("action");
  if (tokenField == request.end() || !tokenField->is_string() || actionField == request.end() ||
      !actionField->is_string()) {
    return refuse("The request is not understood.");
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_) return refuse("The match is over; nothing was sent.");
  if (shown_ + 1 != hands_.size()) return refuse("It is not your turn in this hand.");
  Hand& hand = hands_[shown_];
  State& state = hand.state.state;
  if (state.finished) return refuse("This hand is over.");
  if (numActingPlayers(game_, &state) == 0 ||
      currentPlayer(game_, &state) != hand.state.viewingPlayer) {
    return refuse("It is not your turn.");
  }
  if (hand.answered) return refuse("Your action was already sent; waiting for the dealer.");
  const json current = handView(game_, table_, hand.state, false);
  if (*tokenField != current["token"]) return refuse("The table has moved on; look again.");

  const std::string& name = actionField->get_ref<const std::string&>();
  Action action = {a_invalid, 0};
  if (name == "fold") {
    action.type = a_fold;
  } else if (name == "call") {
    action.type = a_call;
  } else if (name == "raise") {
    action.type = a_raise;
    if (game_->bettingType == noLimitBetting) {
      const auto size = request.find("size");
      if (size == request.end() || !size->is_number_integer() ||
          *size < static_cast<int64_t>(INT32_MIN) || *size > static_cast<int64_t>(INT32_MAX)) {
        return refuse("A raise needs a whole number of chips.");
      }
      action.size = size->get<int32_t>();
    }
  } else {
    return refuse("Unknown action '" + name + "'.");
  }

  const Legal legal = legalActions(game_, &state);
  if (action.type == a_fold && !legal.fold) return refuse("You cannot fold: nothing is owed.");
  if (action.type == a_raise) {
    if (!legal.raise) return refuse("You cannot raise now.");
    if (game_->bettingType == noLimitBetting &&
        (action.size < legal.minRaiseTo || action.size > legal.maxRaiseTo)) {
      return refuse("A raise must be to between " + std::to_string(legal.minRaiseTo) + " and " +
                    std::to_string(legal.maxRaiseTo) + " chips.");
    }
  }
  // The engine has the last word, without repairing anything.
  if (!isValidAction(game_, &state, 0, &action)) return refuse("That action is not legal now.");

  char text[32];
  if (printAction(game_, &action, sizeof(text), text) < 0) return refuse("That action is not legal now.");
  if (!send_(hand.line + ":" + text + "\r\n")) {
    return refuse("The dealer cannot be reached; nothing was sent.");
  }
  hand.answered = true;
  return {true, ""};
}

HumanSeat::Reply HumanSeat::next() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (shown_ >= hands_.size()) return refuse("The next hand has not been dealt yet.");
  if (matchOver()) return refuse("The match is over.");
  if (!over(shown_)) return refuse("Finish this hand first.");
  ++shown_;
  return {true, ""};
}

bool HumanSeat::endSeen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return endSeen_;
}

bool HumanSeat::dealerHasClosed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

std::chrono::steady_clock::duration HumanSeat::sinceLastView() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::chrono::steady_clock::now() - lastView_;
}

}  // namespace humanseat
