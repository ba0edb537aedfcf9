#include "solver/nolimit_dealer.h"

#include <algorithm>
#include <stdexcept>

#include "showdown.h"

HoldemDealer::HoldemDealer(const Game* game, BucketOf bucketOf, uint64_t seed)
    : game_(game), bucketOf_(std::move(bucketOf)), rng_(seed) {
  if (game->numPlayers != 2 || game->numHoleCards != 2 || game->numSuits * game->numRanks != 52)
    throw std::invalid_argument("the hold'em dealer needs two-player hold'em with a full deck");
  dealt_ = 4 + sumBoardCards(game, static_cast<uint8_t>(game->numRounds - 1));
  for (int c = 0; c < 52; ++c) deck_[c] = static_cast<uint8_t>(c);
}

void HoldemDealer::operator()(NolimitCFR::Deal* deal) {
  // The deck is not reset: each deal reshuffles the front of the last one.
  for (int i = 0; i < dealt_; ++i)
    std::swap(deck_[i], deck_[std::uniform_int_distribution<int>(i, 51)(rng_)]);
  const uint8_t* board = deck_ + 4;
  for (int r = 0; r < game_->numRounds; ++r) {
    const int boardCards = sumBoardCards(game_, static_cast<uint8_t>(r));
    int value[2];
    for (int p = 0; p < 2; ++p) {
      uint8_t cards[2 + MAX_BOARD_CARDS];
      cards[0] = deck_[2 * p];
      cards[1] = deck_[2 * p + 1];
      std::copy(board, board + boardCards, cards + 2);
      deal->bucket[p][r] = bucketOf_(r, cards);
      uint64_t set = 0;
      for (int c = 0; c < 2 + boardCards; ++c) set |= gamecore::cardBit(cards[c]);
      value[p] = gamecore::rankShowdownHand(set);
    }
    deal->order[r] = NolimitTree::orderOf(value[0], value[1]);
  }
}
