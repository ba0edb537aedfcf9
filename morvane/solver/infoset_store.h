// One flat store of information sets for a game: an information set is a
// (betting decision, card bucket) pair, and its six sums are one CFRNode
// record in a single contiguous array.
//
// Layout. Map by map (index round + seat * numRounds, as in strategy files),
// then bucket by bucket in the byte order of the bucket's text, then the
// decisions of the map in key order (BettingTree). Record order is therefore
// the order of the keys in a strategy file, and a file is read or written by
// one sequential sweep of the array. Within one deal a CFR pass touches one
// bucket per (round, seat), so it walks a few increasing streams.
//
// Key strings exist only to save, load and look up during play; the solver's
// passes address records by decision and bucket.
#ifndef MORVANE_INFOSET_STORE_H
#define MORVANE_INFOSET_STORE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "solver/CFRNode.h"
#include "solver/betting_tree.h"

class InfoSetStore {
 public:
  // Every decision of `tree` in every bucket of `buckets` (values below 65,536),
  // with the sums zeroed and the actions the tree excludes marked invalid.
  InfoSetStore(std::unique_ptr<BettingTree> tree, std::vector<int> buckets);

  const BettingTree& tree() const { return *tree_; }
  size_t size() const { return size_; }
  CFRNode* nodes() { return nodes_.get(); }
  const CFRNode* nodes() const { return nodes_.get(); }

  int numMaps() const { return tree_->numMaps(); }
  size_t mapSize(int map) const { return mapDecisions(map) * buckets_.size(); }
  size_t mapDecisions(int map) const { return tree_->decisionsOf(map).size(); }
  // Buckets in key order, and the position of a bucket value (-1 if absent).
  const std::vector<int>& buckets() const { return buckets_; }
  int bucketPosition(uint64_t bucket) const {
    return bucket < bucketPos_.size() ? bucketPos_[bucket] : -1;
  }
  // Record of the decisions of (map, bucket position): add Decision::index.
  size_t base(int map, int bucketPos) const {
    return mapBase_[map] + static_cast<size_t>(bucketPos) * mapDecisions(map);
  }

  // Writes the key of the record at `map`, bucket position and decision rank
  // `index` to `out` (no terminator); returns its length, which may exceed
  // `capacity` (then the text is cut).
  int key(int map, int bucketPos, size_t index, char* out, int capacity) const;
  // The record of a key, or null when the store has none.
  CFRNode* find(const std::string& key) {
    return const_cast<CFRNode*>(static_cast<const InfoSetStore*>(this)->find(key));
  }
  const CFRNode* find(const std::string& key) const;
  // The record of the same decision as `record` (one of this store's) in
  // `bucket`, or null when the store has no such bucket: a query over many
  // hands finds the decision by its key once and each bucket by arithmetic.
  const CFRNode* inBucket(const CFRNode* record, uint64_t bucket) const;

  // Every record with its key, in file order.
  template <typename Visit>
  void forEach(Visit&& visit) const {
    char text[256];
    size_t at = 0;
    for (int m = 0; m < numMaps(); ++m)
      for (int k = 0; k < static_cast<int>(buckets_.size()); ++k)
        for (size_t j = 0; j < mapDecisions(m); ++j, ++at) {
          const int length = key(m, k, j, text, sizeof(text));
          visit(m, std::string(text, static_cast<size_t>(length)), nodes_[at]);
        }
  }

 private:
  std::unique_ptr<BettingTree> tree_;
  std::vector<int> buckets_;
  std::vector<int> bucketPos_;
  std::vector<std::string> prefix_;  // "seat:round:bucket:" per map and bucket position
  std::vector<size_t> mapBase_;
  size_t size_ = 0;
  std::unique_ptr<CFRNode[]> nodes_;
};

#endif
