// The card abstraction of the large two-player players: the 169 pre-flop
// classes as they are (no loss), and on the flop, turn and river buckets of
// equal share by equity, as many as the player asks for.
//
// A later-round bucket is the hand's percentile of a strength measure: the
// classes of the round are ranked by it and cut into runs of about equal
// count, so that every bucket is played about as often and the training
// visits each one. On the river the measure is the two-player equity (the
// chance of beating one random hand, from the equity table). On the flop and
// turn the no-limit player's measure is the mean of the squared equity over
// the next card (from the next round's equity table): a hand that may
// improve or fall off then ranks above one of the same mean equity that
// stays put, as the squared expected hand strength of the literature does
// (Johanson et al., "Evaluating State-Space Abstractions in Extensive-Form
// Games", 2013), so draws are not pooled with made hands of the same
// equity. Equal equities always share a bucket, and a higher equity never
// has a lower bucket. The ranking goes through a histogram of 2^20 equity
// cells rather than a sort: two passes over the table, no extra memory
// beyond the cells, for the 123 million river classes. One table serves
// both seats: equity does not depend on the seat.
//
// Nested (the limit player's flop and turn). One number still pools a draw
// with a made hand whose squared strength happens to match. The limit
// player keeps two: the mean of the equity after the next card and its
// spread (twice its standard deviation over that card). The classes are
// cut into LARGE_LIMIT_BUCKETS / LARGE_LIMIT_SPREAD_RUNS equal-share runs by
// the mean, and each run into LARGE_LIMIT_SPREAD_RUNS by the spread, a
// crude form of the distribution-aware buckets of the same paper. With 240
// runs of 10 a local best response won 142 mbb/g instead of 172 from the
// same training (the river equity over both cards to come, from the flop,
// gave 147). These tables hold the bucket itself and are named by their
// shape ("lookup/large_buckets_flop_240x10", "_turn_240x10").
//
// Clustered (the limit player's flop and turn). Mean and spread still cut
// the distribution of next-round equities along two fixed axes. A clustered
// round starts from the nested buckets and refines them by k-means (Lloyd's
// passes) over each class's coarse quantile function: its next-round
// equities sorted and averaged in LARGE_CLUSTER_QUANTILES slices. The
// squared distance between such vectors approximates the earth mover's
// distance between the distributions, the distance of the paper's
// distribution-aware abstractions. Buckets are then no longer equal shares
// nor ordered by equity. The start and the passes are deterministic, so one
// build makes the same table on any number of cores (another compiler may
// round a few distances otherwise). The passes cut the mean squared
// distance to the bucket's centre from 0.0040 to 0.0007 on the flop and
// from 0.0099 to 0.0011 on the turn; a local best response of the same
// training fell from 142.5 to 139.2 mbb/g with the flop clustered and to
// 133.9 and 117.8 (two trainings) with both. The tables are
// "lookup/large_buckets_flop_k2400" and "_turn_k2400"; the turn's 14
// million classes take most of the time, minutes on two cores.
//
// Fine and coarse. The other tables hold each class's run out of
// LARGE_FINE_BUCKETS (two bytes per class of the round: flop 2.6 MB, turn
// 28 MB, river 246 MB, as "lookup/large_buckets_flop", "_turn" and
// "_river"). A player with B buckets per round, B a divisor of
// LARGE_FINE_BUCKETS, reads fine * B / LARGE_FINE_BUCKETS, which is exactly
// the run out of B the same ranking gives (floor(floor(x F) / (F / B)) =
// floor(x B)). So one river table serves both players, each at its count.
//
// Why those counts: the training visits each (betting, bucket) pair about
// iterations / B times. The limit tree is small (6,378 decisions), so its
// player affords 2,400 buckets and still visits each pair over 10,000 times
// in its 25 million deals (12,000 flop buckets, each visited a sixth as
// often as 2,000, did worse). The no-limit tree has four times as many
// decisions and a sixth of the deals; at 1,000 buckets its player gave a
// local best response a quarter less but lost to the standard player head
// to head, so it keeps 200 (and its strategy files stay valid).
//
// The tables are made from the two-player equity tables on first use (the
// turn's, the longest, in about a minute on two cores), with progress
// lines and the time left, and refused (made again) when their size is not
// the round's class count or an entry is not a bucket of their kind.
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
constexpr int LARGE_LIMIT_BUCKETS = 2400;
// Spread runs within each mean run of the limit player's flop and turn.
constexpr int LARGE_LIMIT_SPREAD_RUNS = 10;
// Rounds of the limit player whose nested buckets are refined by k-means:
// the flop and the turn.
constexpr int LARGE_LIMIT_CLUSTERED_ROUNDS = 2;
// Features per class of a clustered round, and the k-means passes.
constexpr int LARGE_CLUSTER_QUANTILES = 8;
constexpr int LARGE_CLUSTER_PASSES = 15;
static_assert(LARGE_FINE_BUCKETS % LARGE_NOLIMIT_BUCKETS == 0 &&
              LARGE_FINE_BUCKETS % LARGE_LIMIT_BUCKETS == 0 &&
              LARGE_LIMIT_BUCKETS % LARGE_LIMIT_SPREAD_RUNS == 0);

// Bucket of each of n classes from its equity: its equal-share run out of
// `buckets` (at most 65,536), by the histogram rule above. Entries must be
// within [0, 1].
void computeLargeBuckets(uint64_t n, const double* equity, int buckets, uint16_t* out);

// Nested buckets of n classes: the class's equal-share run out of `meanRuns`
// by `mean` (computeLargeBuckets), times `spreadRuns`, plus its equal-share
// run by `spread` among the classes of that mean run. Both within [0, 1].
void computeNestedBuckets(uint64_t n, const double* mean, const double* spread, int meanRuns,
                          int spreadRuns, uint16_t* out);

// square[i] (and mean[i], unless null) = the mean over every card c not in
// class i of `indexer`'s second round (`seen` cards) of
// nextEquity[class of i's cards and c]^2 (and of nextEquity itself), for
// the n classes of that round; `next` indexes the hands one card longer. On
// every core, with progress lines.
void computeNextRoundMoments(const hand_indexer_s* indexer, const hand_indexer_s* next,
                             int seen, uint64_t n, const double* nextEquity, double* mean,
                             double* square);

// out[i * LARGE_CLUSTER_QUANTILES + q] = the mean of the q-th of
// LARGE_CLUSTER_QUANTILES equal slices of class i's next-round equities
// (over every card c not in the class, as computeNextRoundMoments reads
// them), sorted: the class's equity distribution as a coarse quantile
// function. On every core, with progress lines.
void computeNextRoundQuantiles(const hand_indexer_s* indexer, const hand_indexer_s* next,
                               int seen, uint64_t n, const double* nextEquity, float* out);

// k-means (Lloyd's passes) of n points of `dims` features into `buckets`
// clusters, starting from the partition in `labels` (each below `buckets`)
// and leaving the final one there: each pass moves the centres to their
// points' means, then every point to its nearest centre (the lowest bucket
// of equal distances). An empty bucket stays empty. Stops after
// `iterations` passes or a pass that moves no point; the same input gives
// the same labels on any number of cores. One progress line per pass.
// (k_means of common/util serves the cluster tables: at most 256 clusters
// from fixed seeds on one core, too few and too slow for 2,400 buckets of
// 14 million turn classes.)
void clusterBuckets(uint64_t n, const float* features, int dims, int buckets, int iterations,
                    uint16_t* labels);

// Why a large bucket table of n entries is damaged, or "" when every entry
// is below `limit` (a fine bucket by default).
std::string largeBucketTableProblem(const uint16_t* table, uint64_t n,
                                    int limit = LARGE_FINE_BUCKETS);

class LargeBuckets {
 public:
  // Borrows the indexers (and, while tables are made, the equity tables) of
  // `tables`, which must outlive this object. `buckets`: per later round, a
  // divisor of LARGE_FINE_BUCKETS. `spreadRuns` above 1: the flop and turn
  // buckets are nested, buckets / spreadRuns mean runs of spreadRuns each.
  // `clusteredRounds` 1: the nested flop buckets are refined by clustering
  // (clusterBuckets); 2: the turn's too.
  LargeBuckets(EquityTables& tables, int buckets, int spreadRuns = 1, int clusteredRounds = 0);
  ~LargeBuckets();

  // File of a round's table (rounds 1 to 3; the pre-flop needs none).
  static std::string fileName(int round);
  // The file a player of `buckets` and `spreadRuns` reads for a round, and
  // the one this object reads.
  static std::string tableName(int round, int buckets, int spreadRuns, int clusteredRounds = 0);
  // The file the large limit player reads for a round.
  static std::string limitTableName(int round) {
    return tableName(round, LARGE_LIMIT_BUCKETS, LARGE_LIMIT_SPREAD_RUNS, LARGE_LIMIT_CLUSTERED_ROUNDS);
  }
  std::string tableName(int round) const {
    return tableName(round, buckets_, spreadRuns_, clusteredRounds_);
  }
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
  static bool nested(int round, int spreadRuns) { return spreadRuns > 1 && round < 3; }
  bool nested(int round) const { return nested(round, spreadRuns_); }

  EquityTables& tables_;
  int buckets_;
  int spreadRuns_;
  int clusteredRounds_;
  std::unique_ptr<uint16_t[]> table_[4];
};

#endif
