// Checks that a strategy read from a file can be played and measured: a file
// that passed CFR::load may still be damaged or belong to another game, and
// nothing in its headerless format says so.
//
// A loaded strategy is accepted when its node maps hold exactly the
// information sets of the tree the game's training builds, map by map; every
// regret is finite or the NaN that marks an excluded action; every strategy
// sum is finite and within [0, 2^53]; and every node keeps at least one
// valid action, each of them legal at that node. The bound 2^53: a CFR step
// adds at most 1 (a probability times a reach probability) to a strategy
// sum, and from 2^53 on adding 1 no longer changes a double, so no training
// reaches beyond it.
//
// The reference tree is built for small decks only (the deals the solver
// enumerates). A hold'em solver holds its game's whole tree in its flat
// store: loading fills that store only from a file of exactly its keys and
// marks invalid every action the betting tree lacks, so for it the check is
// left with the sums, one sequential sweep of the store's records.
#ifndef MORVANE_STRATEGY_CHECK_H
#define MORVANE_STRATEGY_CHECK_H

#include <string>

class CFR;
class CFRNode;

// Largest strategy sum that training can produce: 2^53.
constexpr double MAX_STRATEGY_SUM = 9007199254740992.0;

// Adds to `tree` the information sets of every deal of its small-deck game
// with all their legal actions (the tree of training, before pruning).
void buildFullTree(CFR& tree);

// Why node `key` cannot be played, or "" when it can. `legal`: the node of
// the same key in the reference tree, whose valid actions are the legal
// ones; null to skip that part.
std::string nodeProblem(const std::string& key, const CFRNode& node, const CFRNode* legal);

// Why a file at `path` cannot be read as a strategy, judged before it is
// opened ("" when it can): a missing file, or anything but a regular file,
// so that a FIFO or a device never blocks the caller.
std::string strategyFileProblem(const std::string& path);

// Why the sums of the information sets `cfr` holds cannot be played, or ""
// (nodeProblem without the legality part). On the flat store: one
// sequential sweep of the records, a key made only for the one reported.
std::string sumsProblem(const CFR& cfr);

// Why `loaded` does not fit `tree` (a solver holding the full tree of the
// same game), or "" when it does.
std::string strategyProblem(const CFR& loaded, const CFR& tree);

// Loads the strategy file `path` into `cfr` (a solver of a small-deck game)
// and checks it against `tree` (buildFullTree of the same game). Returns ""
// on success. Otherwise the reason, and `cfr` is left empty, as before a
// first training. Anything but a regular file is refused before it is
// opened, so a FIFO or a device never blocks the caller.
std::string loadCheckedStrategy(CFR& cfr, const std::string& path, const CFR& tree);

// Loads the hold'em strategy file `path` into `cfr` and checks its sums.
// With `wholeGame` the file must hold exactly the keys of the solver's flat
// store (the game's whole tree); otherwise any set of keys loads into the
// maps. Returns "" on success; otherwise the reason, and `cfr` holds
// whatever was read: the caller discards it.
std::string loadCheckedHoldemStrategy(CFR& cfr, const std::string& path, bool wholeGame);

#endif
