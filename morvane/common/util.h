// Small services shared by the solver, the agents and the table builders of
// morvane: the process-wide random engine and its draws, the partial card
// shuffle, raw table files, string splitting and card printing.
#ifndef MORVANE_UTIL_H
#define MORVANE_UTIL_H

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "game.h"

// Random numbers. One minimal-standard engine (multiplier 16807, modulus
// 2^31 - 1) for the whole process, created with seed 1 on first use and
// reseeded once from the system's random device by randomize().
void randomize();
std::minstd_rand0& global_urng();
int pick_a_number(int low, int high);           // uniform on low..high, both included
double pick_a_number(double low, double high);  // uniform on [low, high)

// Randomises deck[0 .. count-1] of a deck of `size` cards: position i is
// swapped with a partner drawn from the whole deck, for i = 0 .. count-1.
void shuffle(uint8_t* deck, int count, int size);

bool file_exist(const std::string& path);
// Creates every missing directory on the way to the file `path`.
void makeParentDirectories(const std::string& path);

// Raw table files: headerless arrays in native byte order. A loader returns a
// new[] array of n elements, zero-filled where the file is shorter; callers
// check the size first with table_file_ok. A path that cannot be opened stops
// the program with an "ERROR: " line rather than yielding a table of zeros.
int* loadIntTable(const char* path, size_t n);
uint8_t* loadByteTable(const char* path, size_t n);
uint16_t* loadShortTable(const char* path, size_t n);
double* loadDoubleTable(const char* path, size_t n);

// Free disk space. Large files (tables, strategies) are checked against the
// space left on their filesystem before anything is written, so that a full
// disk is reported up front, naming the file, rather than midway. True when
// `bytes` fit beside `path`; otherwise one "ERROR: " line on standard error
// gives the file, the space it needs and the space free, and the result is
// false. When the free space cannot be found (no such directory yet) the
// write goes ahead and reports its own failure.
bool enoughFreeSpace(const std::string& path, uint64_t bytes);
// Tests stand in a figure for the free space of every filesystem; a negative
// one restores the real figure.
void setFreeSpaceForTesting(int64_t bytes);

// Writers create the file under a temporary name and rename it into place, so
// an interrupted write never leaves a file that loads. A disk without room
// for the table stops the program before anything is written.
void saveIntTable(const char* path, int* arr, size_t n);
void saveByteTable(const char* path, uint8_t* arr, size_t n);
void saveShortTable(const char* path, uint16_t* arr, size_t n);
void saveDoubleTable(const char* path, double* arr, size_t n);

// True when `path` exists and holds exactly `bytes` bytes. An existing file of
// any other size is reported on standard output with a "Warning: " line naming
// it and the size found, and the caller treats it as missing.
bool table_file_ok(const std::string& path, size_t bytes);

// An exclusive lock on a directory (flock on the directory itself, so no
// file is added to it), held for the life of the object: players started in
// one working directory make and train what they share one at a time, and a
// later one loads what the first made. While another process holds it the
// constructor prints `waiting` once and waits. Without the directory there is
// nothing to share yet, and no lock is taken.
class DirectoryLock {
 public:
  DirectoryLock(const std::string& directory, const std::string& waiting);
  ~DirectoryLock();
  DirectoryLock(const DirectoryLock&) = delete;
  DirectoryLock& operator=(const DirectoryLock&) = delete;

 private:
  int fd_ = -1;
};

// Pieces between delimiters; a trailing delimiter gives no empty last piece.
std::vector<std::string> split(const std::string& text, char delimiter);
std::vector<std::string>& split(const std::string& text, char delimiter,
                                std::vector<std::string>& out);

// Prints 1 to 14 cards in the protocol's card text, followed by a line feed.
void printHand(uint8_t* cards, int n);

// k-means of n points in m dimensions into k <= 256 clusters; returns a
// calloc'ed array of n labels that the caller frees with free().
uint8_t* k_means(double** data, int n, int m, int k, double t, double** centroids);

#endif
