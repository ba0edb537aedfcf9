// The card abstraction of the large two-player limit player: the 169
// pre-flop classes as they are (no loss), and on the flop, turn and river
// LARGE_BUCKETS buckets of equal share by equity.
//
// A later-round bucket is the hand's percentile of a strength measure: the
// classes of the round are ranked by it and cut into LARGE_BUCKETS runs of
// about equal count, so that every bucket is played about as often and the
// training visits each one. On the river the measure is the two-player
// equity (the chance of beating one random hand, from the equity table). On
// the flop and turn it is the mean of the squared equity over the next card
// (from the next round's equity table): a hand that may improve or fall off
// then ranks above one of the same mean equity that stays put, as the
// squared expected hand strength of the literature does (Johanson et al.,
// "Evaluating State-Space Abstractions in Extensive-Form Games", 2013), so
// draws are not pooled with made hands of the same equity. Equal equities always share a bucket, and a
// higher equity never has a lower bucket. The ranking goes through a
// histogram of 2^20 equity cells rather than a sort: two passes over the
// table, no extra memory beyond the cells, for the 123 million river
// classes. One table serves both seats: equity does not depend on the seat.
//
// Why 200: the training visits each (betting, bucket) pair about
// iterations / 200 times, which at the iterations half an hour allows is
// still over a hundred thousand, while 200 equity steps of half a percent
// each are well below the differences between hands that matter in play.
// The tables hold one byte per class of the round (flop 1.3 MB, turn 14 MB,
// river 123 MB), as "lookup/large_buckets_flop", "_turn" and "_river"; they
// are made from the two-player equity tables on first use (the turn's, the
// longest, in about a minute on two cores), with progress lines and the time
// left, and refused (made again) when their size is not
// the round's class count or an entry is not a bucket.
#ifndef MORVANE_LARGE_BUCKETS_H
#define MORVANE_LARGE_BUCKETS_H

#include <cstdint>
#include <memory>
#include <string>

#include "cards/hand_index.h"

class EquityTables;

constexpr int LARGE_PREFLOP_BUCKETS = 169;
constexpr int LARGE_BUCKETS = 200;
// The most buckets of any round: the solver's bucket count.
constexpr int LARGE_MAX_BUCKETS = LARGE_BUCKETS;

// Bucket of each of n classes from its equity: its equal-share run out of
// `buckets` (at most 256), by the histogram rule above. Entries must be
// within [0, 1].
void computeLargeBuckets(uint64_t n, const double* equity, int buckets, uint8_t* out);

// out[i] = the mean over every card c not in class i of `indexer`'s second
// round (`seen` cards) of nextEquity[class of i's cards and c]^2, for the n
// classes of that round; `next` indexes the hands one card longer. On every
// core, with progress lines.
void computeNextRoundSquares(const hand_indexer_s* indexer, const hand_indexer_s* next,
                             int seen, uint64_t n, const double* nextEquity, double* out);

// Why a large bucket table of n entries is damaged, or "" when every entry
// is a bucket (below LARGE_BUCKETS).
std::string largeBucketTableProblem(const uint8_t* table, uint64_t n);

class LargeBuckets {
 public:
  // Borrows the indexers (and, while tables are made, the equity tables) of
  // `tables`, which must outlive this object.
  explicit LargeBuckets(EquityTables& tables);
  ~LargeBuckets();

  // File of a round's table (rounds 1 to 3; the pre-flop needs none).
  static std::string fileName(int round);
  // Loads the tables of rounds 1 to 3, making the missing or damaged ones
  // from the two-player equity tables (loaded or made as needed, and
  // released again once the table is made).
  void load();
  // Bucket of a hand (hole cards, then the board so far) in `round`: the
  // pre-flop class index, or the round's table entry.
  int bucket(int round, const uint8_t* cards) const;

 private:
  void loadRound(int round);

  EquityTables& tables_;
  std::unique_ptr<uint8_t[]> table_[4];
};

#endif
