// Hand isomorphism indexer: see hand_index.h for the idea.
#include "cards/hand_index.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint64_t kSuits = HAND_INDEX_SUITS;
constexpr uint64_t kRanks = HAND_INDEX_RANKS;
constexpr uint64_t kRankSets = 1u << kRanks;
constexpr uint64_t kSuitPermutations = 24;
// Rows of the multiset binomial table: a group of up to four equal suits with
// m histories each needs C(m + 3, 4), so m + 3 must stay below this.
constexpr uint64_t kMaxGroupIndex = 0x100000;

// Bit count of a rank mask. Written out because the portable x86-64 target
// turns __builtin_popcount into a library call, which costs more here than
// the rest of a card's work.
inline uint32_t popcount(uint32_t x) {
  x = x - ((x >> 1) & 0x55555555u);
  x = (x & 0x33333333u) + ((x >> 2) & 0x33333333u);
  x = (x + (x >> 4)) & 0x0f0f0f0fu;
  return (x * 0x01010101u) >> 24;
}

// Shared lookup tables, filled once by build_tables() and read-only after.
uint8_t nth_unset[kRankSets][kRanks];  // position of the (j+1)-th zero bit, 255 if none
bool equal[8][kSuits];                 // equal[mask][k]: slot k joins slot k - 1
uint64_t nCr_ranks[kRanks + 1][kRanks + 1];
uint64_t rank_set_to_index[kRankSets];  // combinatorial number system rank of a set
uint64_t index_to_rank_set[kRanks + 1][kRankSets];
uint64_t suit_permutations[kSuitPermutations][kSuits];
uint64_t nCr_groups[kMaxGroupIndex][kSuits + 1];  // C(n, k) for k <= 4, modulo 2^64

void build_tables() {
  for (uint64_t m = 0; m < kRankSets; ++m) {
    uint64_t j = 0;
    for (uint64_t bit = 0; bit < kRanks; ++bit)
      if (!(m & (1u << bit))) nth_unset[m][j++] = static_cast<uint8_t>(bit);
    for (; j < kRanks; ++j) nth_unset[m][j] = 255;
  }

  for (uint64_t e = 0; e < 8; ++e)
    for (uint64_t k = 1; k < kSuits; ++k) equal[e][k] = (e >> (k - 1)) & 1;

  for (uint64_t n = 0; n <= kRanks; ++n) {
    nCr_ranks[n][0] = 1;
    for (uint64_t k = 1; k <= n; ++k)
      nCr_ranks[n][k] = nCr_ranks[n - 1][k - 1] + (k < n ? nCr_ranks[n - 1][k] : 0);
  }

  for (uint64_t m = 0; m < kRankSets; ++m) {
    uint64_t index = 0, i = 1;
    for (uint64_t r = 0; r < kRanks; ++r)
      if (m & (1u << r)) index += nCr_ranks[r][i++];
    rank_set_to_index[m] = index;
    index_to_rank_set[popcount(static_cast<uint32_t>(m))][index] = m;
  }

  for (uint64_t i = 0; i < kSuitPermutations; ++i) {
    const uint64_t digit[3] = {i % 4, (i / 4) % 3, i / 12};
    uint32_t used = 0;
    for (uint64_t slot = 0; slot < kSuits; ++slot) {
      const uint64_t suit = nth_unset[used][slot < 3 ? digit[slot] : 0];
      suit_permutations[i][slot] = suit;
      used |= 1u << suit;
    }
  }

  nCr_groups[0][0] = 1;
  for (uint64_t n = 1; n < kMaxGroupIndex; ++n) {
    nCr_groups[n][0] = 1;
    if (n <= kSuits) nCr_groups[n][n] = 1;
    for (uint64_t k = 1; k < std::min<uint64_t>(n, kSuits + 1); ++k)
      nCr_groups[n][k] = nCr_groups[n - 1][k - 1] + nCr_groups[n - 1][k];
  }
}

// Packed counts: 4 bits per round, round 0 in the highest used nibble.
inline uint64_t round_shift(const hand_indexer_s* indexer, uint64_t round) {
  return 4 * (indexer->rounds - round - 1);
}
inline uint64_t nibble(const hand_indexer_s* indexer, uint64_t packed, uint64_t round) {
  return (packed >> round_shift(indexer, round)) & 0xf;
}

// Visits every canonical configuration of every round prefix: the four slots'
// packed counts, where within each round the slots whose earlier rounds were
// identical get non-increasing counts. Each is the unique representative of
// its suit permutations.
template <class Visit>
void enumerate_configurations(const hand_indexer_s* indexer, uint64_t round, uint64_t remaining,
                              uint64_t slot, uint64_t equal_mask, uint64_t used[kSuits],
                              uint64_t packed[kSuits], Visit& visit) {
  if (slot == kSuits) {
    visit(round, static_cast<const uint64_t*>(packed));
    if (round + 1 < indexer->rounds)
      enumerate_configurations(indexer, round + 1, indexer->round_card_counts[round + 1], 0,
                               equal_mask, used, packed, visit);
    return;
  }
  const uint64_t shift = round_shift(indexer, round);
  const uint64_t min = slot == kSuits - 1 ? remaining : 0;
  uint64_t max = std::min(kRanks - used[slot], remaining);
  const bool was_equal = equal_mask & (1u << slot);
  uint64_t previous = 0;
  if (was_equal) {
    previous = (packed[slot - 1] >> shift) & 0xf;
    max = std::min(max, previous);
  }
  for (uint64_t i = min; i <= max; ++i) {
    const uint64_t mask = was_equal && i == previous ? equal_mask : equal_mask & ~(1u << slot);
    used[slot] += i;
    packed[slot] += i << shift;
    enumerate_configurations(indexer, round, remaining - i, slot + 1, mask, used, packed, visit);
    used[slot] -= i;
    packed[slot] -= i << shift;
  }
}

template <class Visit>
void enumerate_configurations(const hand_indexer_s* indexer, Visit visit) {
  uint64_t used[kSuits] = {}, packed[kSuits] = {};
  enumerate_configurations(indexer, 0, indexer->round_card_counts[0], 0, 0xe, used, packed, visit);
}

// Visits every raw per-suit count vector of every round prefix (each round's
// cards spread over the four suits in all ways, at most 13 per suit).
template <class Visit>
void enumerate_count_vectors(const hand_indexer_s* indexer, uint64_t round, uint64_t remaining,
                             uint64_t suit, uint64_t used[kSuits], uint64_t packed[kSuits],
                             Visit& visit) {
  if (suit == kSuits) {
    visit(round, static_cast<const uint64_t*>(packed));
    if (round + 1 < indexer->rounds)
      enumerate_count_vectors(indexer, round + 1, indexer->round_card_counts[round + 1], 0, used,
                              packed, visit);
    return;
  }
  const uint64_t shift = round_shift(indexer, round);
  const uint64_t min = suit == kSuits - 1 ? remaining : 0;
  const uint64_t max = std::min(kRanks - used[suit], remaining);
  for (uint64_t i = min; i <= max; ++i) {
    used[suit] += i;
    packed[suit] += i << shift;
    enumerate_count_vectors(indexer, round, remaining - i, suit + 1, used, packed, visit);
    used[suit] -= i;
    packed[suit] -= i << shift;
  }
}

template <class Visit>
void enumerate_count_vectors(const hand_indexer_s* indexer, Visit visit) {
  uint64_t used[kSuits] = {}, packed[kSuits] = {};
  enumerate_count_vectors(indexer, 0, indexer->round_card_counts[0], 0, used, packed, visit);
}

// The mixed-radix number of a count vector over rounds 0..round (rounds
// outer, suits 0..2 inner, radix = that round's unassigned cards + 1), the
// same number hand_index_next_round accumulates.
uint64_t count_vector_index(const hand_indexer_s* indexer, uint64_t round,
                            const uint64_t packed[kSuits]) {
  uint64_t index = 0, radix = 1;
  for (uint64_t r = 0; r <= round; ++r) {
    uint64_t remaining = indexer->round_card_counts[r];
    for (uint64_t suit = 0; suit < kSuits - 1; ++suit) {
      const uint64_t count = nibble(indexer, packed[suit], r);
      index += radix * count;
      radix *= remaining + 1;
      remaining -= count;
    }
  }
  return index;
}

bool lexicographic_less(const uint64_t a[kSuits], const uint64_t b[kSuits]) {
  return std::lexicographical_compare(a, a + kSuits, b, b + kSuits);
}

// Number of rank-set histories of one suit with the given packed counts over
// rounds 0..round: the product of C(13 - ranks used before, n_r).
uint64_t suit_history_count(const hand_indexer_s* indexer, uint64_t round, uint64_t packed) {
  uint64_t size = 1, used = 0;
  for (uint64_t r = 0; r <= round; ++r) {
    const uint64_t n = nibble(indexer, packed, r);
    size *= nCr_ranks[kRanks - used][n];
    used += n;
  }
  return size;
}

// Exact C(m + g - 1, g), multisets of g out of m, for m < 2^20 and g <= 4;
// false when it does not fit 64 bits.
bool multiset_count(uint64_t m, uint64_t g, uint64_t* out) {
  unsigned __int128 value = 1;
  for (uint64_t i = 0; i < g; ++i) value = value * (m + i) / (i + 1);
  if (value > UINT64_MAX) return false;
  *out = static_cast<uint64_t>(value);
  return true;
}

template <class T>
T* allocate(uint64_t count) {
  return static_cast<T*>(std::calloc(count ? count : 1, sizeof(T)));
}

void free_arrays(hand_indexer_s* indexer) {
  for (uint64_t r = 0; r < HAND_INDEX_MAX_ROUNDS; ++r) {
    std::free(indexer->perm_to_config[r]);
    std::free(indexer->perm_to_suit_order[r]);
    std::free(indexer->config_equal_mask[r]);
    std::free(indexer->config_suit_counts[r]);
    std::free(indexer->config_suit_size[r]);
    std::free(indexer->config_first_index[r]);
    indexer->perm_to_config[r] = nullptr;
    indexer->perm_to_suit_order[r] = nullptr;
    indexer->config_equal_mask[r] = nullptr;
    indexer->config_suit_counts[r] = nullptr;
    indexer->config_suit_size[r] = nullptr;
    indexer->config_first_index[r] = nullptr;
  }
}

bool fail(hand_indexer_s* indexer) {
  free_arrays(indexer);
  std::memset(indexer, 0, sizeof *indexer);
  return false;
}

// Builds the configuration tables of every round; false when a structure's
// numbers leave the ranges the index arithmetic is exact in.
bool tabulate_configurations(hand_indexer_s* indexer) {
  bool ok = true;
  enumerate_configurations(indexer, [&](uint64_t round, const uint64_t packed[kSuits]) {
    if (!ok) return;
    uint64_t (*counts)[kSuits] = indexer->config_suit_counts[round];
    uint64_t (*sizes)[kSuits] = indexer->config_suit_size[round];
    uint64_t* masks = indexer->config_equal_mask[round];
    uint64_t* first = indexer->config_first_index[round];

    // Insertion from the end keeps the list sorted ascending.
    uint64_t pos = indexer->config_count[round]++;
    for (; pos > 0 && lexicographic_less(packed, counts[pos - 1]); --pos) {
      std::copy_n(counts[pos - 1], kSuits, counts[pos]);
      std::copy_n(sizes[pos - 1], kSuits, sizes[pos]);
      masks[pos] = masks[pos - 1];
      first[pos] = first[pos - 1];
    }
    std::copy_n(packed, kSuits, counts[pos]);

    uint64_t config_size = 1, mask = 0;
    for (uint64_t i = 0, j; i < kSuits; i = j) {
      for (j = i + 1; j < kSuits && packed[j] == packed[i]; ++j) mask |= 1u << j;
      const uint64_t size = suit_history_count(indexer, round, packed[i]);
      uint64_t group_size;
      if (!(size + 4 - 1 < kMaxGroupIndex) || !multiset_count(size, j - i, &group_size) ||
          __builtin_mul_overflow(config_size, group_size, &config_size)) {
        ok = false;
        return;
      }
      for (uint64_t k = i; k < j; ++k) sizes[pos][k] = size;
    }
    masks[pos] = mask >> 1;
    first[pos] = config_size;
  });
  if (!ok) return false;

  for (uint64_t r = 0; r < indexer->rounds; ++r) {
    uint64_t total = 0;
    for (uint64_t c = 0; c < indexer->config_count[r]; ++c) {
      const uint64_t size = indexer->config_first_index[r][c];
      indexer->config_first_index[r][c] = total;
      if (__builtin_add_overflow(total, size, &total)) return false;
    }
    indexer->round_index_count[r] = total;
  }
  return true;
}

void tabulate_count_vectors(hand_indexer_s* indexer) {
  enumerate_count_vectors(indexer, [&](uint64_t round, const uint64_t packed[kSuits]) {
    const uint64_t index = count_vector_index(indexer, round, packed);

    // Stable insertion sort of the suits by packed counts, descending.
    uint64_t pi[kSuits] = {0, 1, 2, 3};
    for (uint64_t i = 1; i < kSuits; ++i)
      for (uint64_t j = i; j > 0 && packed[pi[j - 1]] < packed[pi[j]]; --j) std::swap(pi[j - 1], pi[j]);
    indexer->perm_to_suit_order[round][index] =
        pi[0] + 4 * (pi[1] - (pi[0] < pi[1])) + 12 * (pi[2] - (pi[0] < pi[2]) - (pi[1] < pi[2]));

    uint64_t sorted[kSuits];
    for (uint64_t k = 0; k < kSuits; ++k) sorted[k] = packed[pi[k]];
    const uint64_t (*counts)[kSuits] = indexer->config_suit_counts[round];
    const uint64_t (*end)[kSuits] = counts + indexer->config_count[round];
    const uint64_t (*found)[kSuits] = std::lower_bound(
        counts, end, sorted,
        [](const uint64_t* a, const uint64_t* b) { return lexicographic_less(a, b); });
    assert(found != end && std::equal(sorted, sorted + kSuits, *found));
    indexer->perm_to_config[round][index] = static_cast<uint64_t>(found - counts);
  });
}

// Sorting networks for the indices of a group of equal suits.
inline void sort2(uint64_t& a, uint64_t& b) {
  if (a > b) std::swap(a, b);
}

// Largest x < limit with C(x + g - 1, g) <= value; C(g - 1, g) = 0 so x = 0
// always qualifies.
uint64_t largest_multiset_digit(uint64_t value, uint64_t g, uint64_t limit) {
  uint64_t low = 0, high = limit;  // invariant: low qualifies, high does not
  while (high - low > 1) {
    const uint64_t mid = low + (high - low) / 2;
    if (nCr_groups[mid + g - 1][g] <= value)
      low = mid;
    else
      high = mid;
  }
  return low;
}

}  // namespace

void hand_index_tables_init() {
  static const bool built = (build_tables(), true);
  (void)built;
}

bool hand_indexer_init(uint64_t rounds, const uint8_t cards_per_round[], hand_indexer_s* indexer) {
  std::memset(indexer, 0, sizeof *indexer);
  if (rounds == 0 || rounds > HAND_INDEX_MAX_ROUNDS) return false;
  for (uint64_t r = 0, total = 0; r < rounds; ++r) {
    total += cards_per_round[r];
    if (total > kSuits * kRanks) return false;
  }
  hand_index_tables_init();

  indexer->rounds = rounds;
  for (uint64_t r = 0; r < rounds; ++r) {
    indexer->round_card_counts[r] = cards_per_round[r];
    indexer->round_first_card[r] =
        r == 0 ? 0 : indexer->round_first_card[r - 1] + cards_per_round[r - 1];
  }

  enumerate_configurations(indexer, [&](uint64_t round, const uint64_t*) {
    ++indexer->config_count[round];
  });
  for (uint64_t r = 0; r < rounds; ++r) {
    const uint64_t n = indexer->config_count[r];
    indexer->config_equal_mask[r] = allocate<uint64_t>(n);
    indexer->config_first_index[r] = allocate<uint64_t>(n);
    indexer->config_suit_counts[r] = allocate<uint64_t[kSuits]>(n);
    indexer->config_suit_size[r] = allocate<uint64_t[kSuits]>(n);
    if (!indexer->config_equal_mask[r] || !indexer->config_first_index[r] ||
        !indexer->config_suit_counts[r] || !indexer->config_suit_size[r])
      return fail(indexer);
    indexer->config_count[r] = 0;  // recounted while tabulating
  }
  if (!tabulate_configurations(indexer)) return fail(indexer);

  enumerate_count_vectors(indexer, [&](uint64_t round, const uint64_t* packed) {
    indexer->perm_count[round] =
        std::max(indexer->perm_count[round], count_vector_index(indexer, round, packed) + 1);
  });
  for (uint64_t r = 0; r < rounds; ++r) {
    indexer->perm_to_config[r] = allocate<uint64_t>(indexer->perm_count[r]);
    indexer->perm_to_suit_order[r] = allocate<uint64_t>(indexer->perm_count[r]);
    if (!indexer->perm_to_config[r] || !indexer->perm_to_suit_order[r]) return fail(indexer);
  }
  tabulate_count_vectors(indexer);
  return true;
}

void hand_indexer_free(hand_indexer_s* indexer) {
  free_arrays(indexer);
}

hand_index_t hand_indexer_size(const hand_indexer_s* indexer, uint64_t round) {
  assert(round < indexer->rounds);
  return indexer->round_index_count[round];
}

void hand_indexer_state_init(const hand_indexer_s*, hand_index_cursor* state) {
  std::memset(state, 0, sizeof *state);
  for (uint64_t i = 0; i < kSuits; ++i) state->suit_rank_radix[i] = 1;
  state->count_vector_radix = 1;
}

hand_index_t hand_index_next_round(const hand_indexer_s* indexer, const uint8_t cards[],
                                   hand_index_cursor* state) {
  const uint64_t round = state->next_round++;
  assert(round < indexer->rounds);

  uint32_t ranks[kSuits] = {}, shifted[kSuits] = {};
  for (uint64_t i = 0, n = indexer->round_card_counts[round]; i < n; ++i) {
    assert(cards[i] < 52);
    const uint32_t rank = cards[i] >> 2, suit = cards[i] & 3, rank_bit = 1u << rank;
    assert(!(ranks[suit]&rank_bit));
    ranks[suit] |= rank_bit;
    // Number the rank among the ranks of its suit still free this round.
    shifted[suit] |= rank_bit >> popcount((rank_bit - 1) & state->used_ranks[suit]);
  }

  for (uint64_t i = 0; i < kSuits; ++i) {
    assert(!(state->used_ranks[i]&ranks[i]));
    const uint32_t used_size = popcount(state->used_ranks[i]);
    const uint32_t this_size = popcount(ranks[i]);
    state->suit_rank_index[i] += state->suit_rank_radix[i] * rank_set_to_index[shifted[i]];
    state->suit_rank_radix[i] *= nCr_ranks[kRanks - used_size][this_size];
    state->used_ranks[i] |= ranks[i];
  }

  for (uint64_t i = 0, remaining = indexer->round_card_counts[round]; i < kSuits - 1; ++i) {
    const uint32_t this_size = popcount(ranks[i]);
    state->count_vector_index += state->count_vector_radix * this_size;
    state->count_vector_radix *= remaining + 1;
    remaining -= this_size;
  }

  const uint64_t perm = state->count_vector_index;
  const uint64_t config = indexer->perm_to_config[round][perm];
  const uint64_t* pi = suit_permutations[indexer->perm_to_suit_order[round][perm]];
  const uint64_t equal_mask = indexer->config_equal_mask[round][config];
  hand_index_t index = indexer->config_first_index[round][config], multiplier = 1;

  uint64_t suit_index[kSuits], suit_multiplier[kSuits];
  for (uint64_t k = 0; k < kSuits; ++k) {
    suit_index[k] = state->suit_rank_index[pi[k]];
    suit_multiplier[k] = state->suit_rank_radix[pi[k]];
  }

  // Slots with equal counts form a multiset: sort their indices and rank the
  // sorted tuple among combinations with repetition.
  for (uint64_t i = 0, j; i < kSuits; i = j) {
    j = i + 1;
    while (j < kSuits && equal[equal_mask][j]) ++j;
    const uint64_t m = suit_multiplier[i];
    uint64_t* x = suit_index + i;
    uint64_t part, size;
    switch (j - i) {
      case 1:
        part = x[0];
        size = m;
        break;
      case 2:
        sort2(x[0], x[1]);
        part = x[0] + nCr_groups[x[1] + 1][2];
        size = nCr_groups[m + 1][2];
        break;
      case 3:
        sort2(x[0], x[1]);
        sort2(x[1], x[2]);
        sort2(x[0], x[1]);
        part = x[0] + nCr_groups[x[1] + 1][2] + nCr_groups[x[2] + 2][3];
        size = nCr_groups[m + 2][3];
        break;
      default:
        sort2(x[0], x[1]);
        sort2(x[2], x[3]);
        sort2(x[0], x[2]);
        sort2(x[1], x[3]);
        sort2(x[1], x[2]);
        part = x[0] + nCr_groups[x[1] + 1][2] + nCr_groups[x[2] + 2][3] + nCr_groups[x[3] + 3][4];
        size = nCr_groups[m + 3][4];
        break;
    }
    index += multiplier * part;
    multiplier *= size;
  }
  return index;
}

hand_index_t hand_index_all(const hand_indexer_s* indexer, const uint8_t cards[],
                            hand_index_t indices[]) {
  if (indexer->rounds == 0) return 0;
  hand_index_cursor state;
  hand_indexer_state_init(indexer, &state);
  for (uint64_t r = 0; r < indexer->rounds; ++r)
    indices[r] = hand_index_next_round(indexer, cards + indexer->round_first_card[r], &state);
  return indices[indexer->rounds - 1];
}

hand_index_t hand_index_last(const hand_indexer_s* indexer, const uint8_t cards[]) {
  hand_index_t indices[HAND_INDEX_MAX_ROUNDS];
  return hand_index_all(indexer, cards, indices);
}

bool hand_unindex(const hand_indexer_s* indexer, uint64_t round, hand_index_t index,
                  uint8_t cards[]) {
  if (round >= indexer->rounds || index >= indexer->round_index_count[round]) return false;

  // The configuration whose block holds the index: the last one starting at
  // or below it.
  const uint64_t* first = indexer->config_first_index[round];
  const uint64_t config = static_cast<uint64_t>(
      std::upper_bound(first, first + indexer->config_count[round], index) - first - 1);
  index -= first[config];
  const uint64_t* packed = indexer->config_suit_counts[round][config];
  const uint64_t* sizes = indexer->config_suit_size[round][config];

  // Split the rest into the slots' rank-set history indices, group by group.
  uint64_t suit_index[kSuits];
  for (uint64_t i = 0, j; i < kSuits; i = j) {
    j = i + 1;
    while (j < kSuits && packed[j] == packed[i]) ++j;
    const uint64_t s = sizes[i], width = j - i;
    const uint64_t group_size = nCr_groups[s + width - 1][width];
    uint64_t part = index % group_size;
    index /= group_size;
    for (uint64_t g = width; g > 1; --g) {
      const uint64_t x = largest_multiset_digit(part, g, s);
      part -= nCr_groups[x + g - 1][g];
      suit_index[i + g - 1] = x;
    }
    suit_index[i] = part;
  }

  // Slot k becomes suit k; each round's rank set is one digit of its index.
  uint8_t location[HAND_INDEX_MAX_ROUNDS];
  std::copy_n(indexer->round_first_card, HAND_INDEX_MAX_ROUNDS, location);
  for (uint64_t k = 0; k < kSuits; ++k) {
    uint32_t used = 0;
    uint64_t rest = suit_index[k];
    for (uint64_t r = 0; r <= round; ++r) {
      const uint64_t n = nibble(indexer, packed[k], r);
      const uint64_t round_size = nCr_ranks[kRanks - popcount(used)][n];
      const uint64_t shifted = index_to_rank_set[n][rest % round_size];
      rest /= round_size;
      uint32_t ranks = 0;
      for (uint64_t bits = shifted; bits; bits &= bits - 1) {
        const uint32_t rank = nth_unset[used][__builtin_ctzll(bits)];
        ranks |= 1u << rank;
        cards[location[r]++] = static_cast<uint8_t>(rank * kSuits + k);
      }
      used |= ranks;
    }
  }
  return true;
}
