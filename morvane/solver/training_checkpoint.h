// Where a long hold'em training stands, kept on disk so that an interrupted
// training goes on instead of starting again: the sums, saved as a strategy
// file, and the loop's position in a small text file beside it.
//
// The position is all that an iteration reads besides the sums: how many
// iterations are done, the random engine's state and the order the deck was
// left in (each deal shuffles it further). A training that goes on from a
// checkpoint therefore ends with the same sums, bit for bit, as one that was
// never stopped.
//
// The text file names the strategy file it belongs to, which is written
// first; a checkpoint is replaced by renaming a new text file over the old,
// so a stop at any moment leaves one whole checkpoint (or none) behind.
#ifndef MORVANE_TRAINING_CHECKPOINT_H
#define MORVANE_TRAINING_CHECKPOINT_H

#include <cstdint>
#include <string>
#include <vector>

struct TrainingCheckpoint {
  uint64_t done = 0;          // iterations finished
  std::string engine;         // the random engine's state, as the engine writes it
  std::vector<uint8_t> deck;  // the training deck's order
  std::string sums;           // the strategy file's name, in the text file's directory
};

// Writes `checkpoint` to `path` under a temporary name, then renames it.
bool writeTrainingCheckpoint(const std::string& path, const TrainingCheckpoint& checkpoint);

// Reads the checkpoint at `path` into `checkpoint`. Returns "" on success,
// otherwise why the file cannot be used.
std::string readTrainingCheckpoint(const std::string& path, TrainingCheckpoint* checkpoint);

// The path of a file named `name` in the directory of `path`.
std::string besideCheckpoint(const std::string& path, const std::string& name);

// Removes the checkpoint at `path`: its text file and every strategy file
// a checkpoint there has written ("NAME.N" beside it).
void removeTrainingCheckpoint(const std::string& path);

#endif
