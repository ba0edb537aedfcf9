// Hand isomorphism indexer.
//
// Gives every poker hand a dense index (0 .. size - 1 per round prefix) that
// is the same for exactly those hands that differ only by a renaming of the
// suits, and turns an index back into a canonical hand. A hand is a structure
// of up to four rounds with a fixed number of cards dealt in each, e.g. 2 hole
// cards and then 5 board cards; the order of cards within a round does not
// matter, the round a card came in does.
//
// Idea: the four suits of a hand form a multiset of per-suit histories (which
// ranks of the suit came in which round). Suits are first sorted by their
// per-round card counts into a canonical "configuration"; each suit's rank-set
// history is numbered with the combinatorial number system, and suits whose
// counts are equal are combined as a multiset (combinations with repetition),
// so that swapping them does not change the index. The configurations' index
// blocks are laid end to end. (After K. Waugh, "A fast and optimal hand
// isomorphism algorithm", AAAI workshop on computer poker, 2013.)
//
// Cards are one byte, rank * 4 + suit, rank 0..12 (deuce..ace), suit 0..3;
// valid cards are below 52.
//
// Plain functions over plain records. An indexer is built once and is then
// read-only; the module's shared lookup tables are built on first use by
// hand_indexer_init and never change afterwards.
#ifndef MORVANE_HAND_INDEX_H
#define MORVANE_HAND_INDEX_H

#include <cstdint>

typedef uint64_t hand_index_t;

enum {
  HAND_INDEX_SUITS = 4,
  HAND_INDEX_RANKS = 13,
  HAND_INDEX_MAX_ROUNDS = 4,
};

// One indexer for one card structure. Per-round arrays have one entry per
// round; entry r describes the prefix that ends with round r. The indexer owns
// the 24 arrays (6 per round), released by hand_indexer_free.
struct hand_indexer_s {
  uint8_t round_card_counts[HAND_INDEX_MAX_ROUNDS];
  // Position of each round's first card in a full card array.
  uint8_t round_first_card[HAND_INDEX_MAX_ROUNDS];
  uint64_t rounds;
  // Number of canonical suit configurations of each prefix.
  uint64_t config_count[HAND_INDEX_MAX_ROUNDS];
  // Size of the raw per-suit count vector space of each prefix.
  uint64_t perm_count[HAND_INDEX_MAX_ROUNDS];
  // Number of distinct indices of each prefix.
  uint64_t round_index_count[HAND_INDEX_MAX_ROUNDS];

  // Indexed by raw count vector: its configuration, and the number (0..23)
  // of the suit permutation that sorts it into that configuration.
  uint64_t* perm_to_config[HAND_INDEX_MAX_ROUNDS];
  uint64_t* perm_to_suit_order[HAND_INDEX_MAX_ROUNDS];
  // Indexed by configuration: 3-bit mask, bit k - 1 set when suit slot k has
  // the same counts as slot k - 1.
  uint64_t* config_equal_mask[HAND_INDEX_MAX_ROUNDS];
  // Indexed by configuration, sorted ascending: the packed per-round counts
  // of slots 0..3 (4 bits per round, round 0 in the highest used nibble).
  uint64_t (*config_suit_counts[HAND_INDEX_MAX_ROUNDS])[HAND_INDEX_SUITS];
  // Indexed by configuration: per slot, the number of rank-set histories a
  // suit with those counts can have.
  uint64_t (*config_suit_size[HAND_INDEX_MAX_ROUNDS])[HAND_INDEX_SUITS];
  // Indexed by configuration: the first index of its block.
  uint64_t* config_first_index[HAND_INDEX_MAX_ROUNDS];
};
typedef struct hand_indexer_s hand_indexer_t;

// Incremental state of one hand being indexed round by round.
struct hand_index_cursor {
  uint64_t suit_rank_index[HAND_INDEX_SUITS];  // per suit: rank-set history index
  uint64_t suit_rank_radix[HAND_INDEX_SUITS];  // per suit: number of histories so far
  uint64_t next_round;
  uint64_t count_vector_index;  // mixed-radix index of the count vector so far
  uint64_t count_vector_radix;
  uint32_t used_ranks[HAND_INDEX_SUITS];  // per suit: ranks seen in earlier rounds
};

// Builds an indexer for `rounds` rounds (1..4) of cards_per_round[r] cards.
// Returns false, leaving nothing allocated, for a structure it refuses (0 or
// more than 4 rounds, more than 52 cards, a structure whose index space does
// not fit its arithmetic) or when a table cannot be allocated.
bool hand_indexer_init(uint64_t rounds, const uint8_t cards_per_round[],
                       hand_indexer_s* indexer);

// Builds the module's shared lookup tables (about 42 MiB) unless they are
// built already. hand_indexer_init calls it, so callers never need to; it
// lets a program pay the cost at a time of its choosing.
void hand_index_tables_init();

// Releases the per-round arrays of rounds 0 .. rounds - 1.
void hand_indexer_free(hand_indexer_s* indexer);

// Number of indices of the prefix ending with `round` (round < rounds).
hand_index_t hand_indexer_size(const hand_indexer_s* indexer, uint64_t round);

// Starts indexing a new hand.
void hand_indexer_state_init(const hand_indexer_s* indexer, hand_index_cursor* state);

// Adds the next round's cards (exactly round_card_counts of them) and returns
// the index of the prefix ending with that round.
hand_index_t hand_index_next_round(const hand_indexer_s* indexer, const uint8_t cards[],
                                   hand_index_cursor* state);

// Indexes a whole hand (all rounds' cards in order): writes the index of every
// prefix into indices[0 .. rounds - 1] and returns the last one.
hand_index_t hand_index_all(const hand_indexer_s* indexer, const uint8_t cards[],
                            hand_index_t indices[]);

// Index of the whole hand (all rounds' cards in order).
hand_index_t hand_index_last(const hand_indexer_s* indexer, const uint8_t cards[]);

// Writes a canonical hand of the prefix ending with `round` whose index is
// `index`: each round's cards at its round_first_card position, listed suit
// by suit (the first canonical suit slot as suit 0, ...), low ranks first.
// Returns false, cards untouched, if round or index is out of range.
bool hand_unindex(const hand_indexer_s* indexer, uint64_t round, hand_index_t index,
                  uint8_t cards[]);

#endif
