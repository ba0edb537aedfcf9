// The card abstraction of the large two-player players: the 169 pre-flop
// classes as they are (no loss), and on the flop, turn and river buckets of
// equal share by equity, as many as the player asks for.
//
// A later-round bucket is the hand's percentile of a strength measure: the
// classes of the round are ranked by it and cut into runs of about equal
// count, so that every bucket is played about as often and the training
// visits each one. On the river the measure is the two-player equity (the
// chance of beating one random hand, from the equity table). On the flop and
// turn it is the mean of the squared equity over the next card (from the
// next round's equity table): a hand that may improve or fall off then ranks
// above one of the same mean equity that stays put, as the squared expected
// hand strength of the literature does (Johanson et al., "Evaluating
// State-Space Abstractions in Extensive-Form Games", 2013), so draws are not
// pooled with made hands of the same equity. Equal equities always share a
// bucket, and a higher equity never has a lower bucket. The ranking goes
// through a histogram of 2^20 equity cells rather than a sort: two passes
// over the table, no extra memory beyond the cells, for the 123 million
// river classes. One table serves both seats: equity does not depend on the
// seat.
//
// Fine and coarse. The tables hold each class's run out of
// LARGE_FINE_BUCKETS (two bytes per class of the round: flop 2.6 MB, turn
// 28 MB, river 246 MB, as "lookup/large_buckets_flop", "_turn" and
// "_river"). A player with B buckets per round, B a divisor of
// LARGE_FINE_BUCKETS, reads fine * B / LARGE_FINE_BUCKETS, which is exactly
// the run out of B the same ranking gives (floor(floor(x F) / (F / B)) =
// floor(x B)). So one set of tables serves both players, each at its count.
//
// Why those counts: the training visits each (betting, bucket) pair about
// iterations / B times. The limit tree is small (6,378 decisions), so its
// player affords 2,000 buckets and still visits each pair 12,500 times in
// its 25 million deals. The no-limit tree has four times as many decisions
// and a sixth of the deals; at 1,000 buckets its player gave a local best
// response a quarter less but lost to the standard player head to head, so
// it keeps 200 (and its strategy files stay valid).
//
// The tables are made from the two-player equity tables on first use (the
// turn's, the longest, in about a minute on two cores), with progress lines
// and the time left, and refused (made again) when their size is not the
// round's class count or an entry is not a fine bucket.
#ifndef MORVANE_LARGE_BUCKETS_H
#define MORVANE_LARGE_BUCKETS_H

#include <cstdint>
#include <memory>
#include <string>

#include "cards/hand_index.h"

class EquityTables;

constexpr int LARGE_PREFLOP_BUCKETS = 169;
// Runs of the ranking stored per class.
constexpr int LARGE_FINE_BUCKETS = 60000;
// Buckets per later round of the no-limit and of the limit large player.
constexpr int LARGE_NOLIMIT_BUCKETS = 200;
constexpr int LARGE_LIMIT_BUCKETS = 2000;
static_assert(LARGE_FINE_BUCKETS % LARGE_NOLIMIT_BUCKETS == 0 &&
              LARGE_FINE_BUCKETS % LARGE_LIMIT_BUCKETS == 0);

// Bucket of each of n classes from its equity: its equal-share run out of
// `buckets` (at most 65,536), by the histogram rule above. Entries must be
// within [0, 1].
void computeLargeBuckets(uint64_t n, const double* equity, int buckets, uint16_t* out);

// out[i] = the mean over every card c not in class i of `indexer`'s second
// round (`seen` cards) of nextEquity[class of i's cards and c]^2, for the n
// classes of that round; `next` indexes the hands one card longer. On every
// core, with progress lines.
void computeNextRoundSquares(const hand_indexer_s* indexer, const hand_indexer_s* next,
                             int seen, uint64_t n, const double* nextEquity, double* out);

// Why a large bucket table of n entries is damaged, or "" when every entry
// is a fine bucket (below LARGE_FINE_BUCKETS).
std::string largeBucketTableProblem(const uint16_t* table, uint64_t n);

class LargeBuckets {
 public:
  // Borrows the indexers (and, while tables are made, the equity tables) of
  // `tables`, which must outlive this object. `buckets`: per later round, a
  // divisor of LARGE_FINE_BUCKETS.
  LargeBuckets(EquityTables& tables, int buckets);
  ~LargeBuckets();

  // File of a round's table (rounds 1 to 3; the pre-flop needs none).
  static std::string fileName(int round);
  // Loads the tables of rounds 1 to 3, making the missing or damaged ones
  // from the two-player equity tables (loaded or made as needed, and
  // released again once the table is made).
  void load();
  // Bucket of a hand (hole cards, then the board so far) in `round`: the
  // pre-flop class index, or the round's fine bucket read at this object's
  // count.
  int bucket(int round, const uint8_t* cards) const;

 private:
  void loadRound(int round);

  EquityTables& tables_;
  int buckets_;
  std::unique_ptr<uint16_t[]> table_[4];
};

#endif
