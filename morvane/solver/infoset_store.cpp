#include "solver/infoset_store.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "solver/infoset_key.h"

InfoSetStore::InfoSetStore(std::unique_ptr<BettingTree> tree, std::vector<int> buckets)
    : tree_(std::move(tree)), buckets_(std::move(buckets)) {
  // Keys compare the bucket's digits and the ':' after them bytewise.
  std::sort(buckets_.begin(), buckets_.end(),
            [](int a, int b) { return std::to_string(a) + ":" < std::to_string(b) + ":"; });
  buckets_.erase(std::unique(buckets_.begin(), buckets_.end()), buckets_.end());
  for (size_t k = 0; k < buckets_.size(); ++k) {
    const int b = buckets_[k];
    if (b < 0 || b > 65535)
      throw std::invalid_argument("information-set store: bucket outside 0 to 65535");
    if (bucketPos_.size() <= static_cast<size_t>(b)) bucketPos_.resize(b + 1, -1);
    bucketPos_[b] = static_cast<int>(k);
  }
  const int rounds = tree_->game()->numRounds;
  for (int m = 0; m < numMaps(); ++m)
    for (int b : buckets_)
      prefix_.push_back(infoSetKeyPrefix(m / rounds, m % rounds, b));
  for (int m = 0; m < numMaps(); ++m) {
    mapBase_.push_back(size_);
    size_ += mapSize(m);
  }
  nodes_.reset(new CFRNode[size_]);
  for (int m = 0; m < numMaps(); ++m) {
    const std::vector<uint32_t>& list = tree_->decisionsOf(m);
    for (size_t j = 0; j < list.size(); ++j) {
      const BettingTree::Decision& d = tree_->decision(list[j]);
      bool valid[NUM_ABSTRACT_ACTIONS];
      for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a) valid[a] = d.child[a] != BettingTree::NONE;
      for (size_t k = 0; k < buckets_.size(); ++k) nodes_[base(m, static_cast<int>(k)) + j].initialize(valid);
    }
  }
}

const CFRNode* InfoSetStore::inBucket(const CFRNode* record, uint64_t bucket) const {
  const int k = bucketPosition(bucket);
  if (k < 0 || record < nodes_.get() || record >= nodes_.get() + size_) return nullptr;
  const size_t at = static_cast<size_t>(record - nodes_.get());
  const int map = static_cast<int>(std::upper_bound(mapBase_.begin(), mapBase_.end(), at) -
                                   mapBase_.begin()) - 1;
  const size_t index = (at - mapBase_[map]) % mapDecisions(map);
  return &nodes_[base(map, k) + index];
}

int InfoSetStore::key(int map, int bucketPos, size_t index, char* out, int capacity) const {
  const std::string& prefix = prefix_[static_cast<size_t>(map) * buckets_.size() + bucketPos];
  const int length = static_cast<int>(prefix.size());
  std::memcpy(out, prefix.data(), std::min<size_t>(prefix.size(), static_cast<size_t>(capacity)));
  if (length >= capacity) return length;
  return length + tree_->history(tree_->decisionsOf(map)[index], out + length, capacity - length);
}


const CFRNode* InfoSetStore::find(const std::string& key) const {
  const Game* game = tree_->game();
  InfoSetKeyFields fields;
  if (!parseInfoSetKey(key, &fields)) return nullptr;
  if (fields.seat >= game->numPlayers || fields.round >= game->numRounds) return nullptr;
  const int k = bucketPosition(fields.bucket);
  if (k < 0) return nullptr;
  const uint32_t d = tree_->follow(key.data() + fields.history, key.size() - fields.history);
  if (d == BettingTree::NONE) return nullptr;
  const BettingTree::Decision& node = tree_->decision(d);
  if (node.seat != fields.seat || node.round != fields.round) return nullptr;
  return &nodes_[base(BettingTree::mapOf(game, node.round, node.seat), k) + node.index];
}
