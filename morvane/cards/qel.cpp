#include "cards/qel.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <type_traits>
#include <vector>

#include "cards/table_checks.h"
#include "cards/tpt.h"
#include "cards/tpt_generator.h"
#include "common/util.h"
#include "cards/win_estimate.h"

int* twoPlusTwoTable = nullptr;
int* twoPlusTwoConversion = nullptr;
int* qelIndexes = nullptr;
double* qelPreFlop = nullptr;
double* qelFlop = nullptr;
double* qelTurn = nullptr;
double* qelRiver = nullptr;

const std::string handNames[9] = {"High card", "One pair",   "Two pair",
                                  "Three of a kind", "Straight",  "Flush",
                                  "Full house",      "Four of a kind", "Straight flush"};

namespace {

constexpr int QEL_SAMPLES = 10000;
constexpr size_t QEL_INDEXES_SIZE = 2704;
constexpr size_t QEL_ROUND_SIZE = 1261078;

rng_state_t* qel_rng = nullptr;

// Loads an integer table the system owns, generating and saving it first when
// the file is missing, has the wrong size or fails its content check.
int* loadOrGenerate(const char* path, size_t n, std::unique_ptr<int[]> (*generate)(),
                    std::string (*problem)(const int*)) {
  if (table_file_ok(path, n * sizeof(int))) {
    int* table = loadIntTable(path, n);
    if (tableAccepted(path, problem(table))) return table;
    delete[] table;
  }
  std::printf("%s is missing: generating it\n", path);
  std::fflush(stdout);
  std::error_code ignored;  // a failure shows up when the file is written
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
  std::unique_ptr<int[]> table = generate();
  saveIntTable(path, table.get(), n);
  return table.release();
}

// A qel table is loaded only when its file is present with the right size.
template <typename T>
T* loadIfPresent(const char* path, size_t n, std::vector<std::string>* missing) {
  std::error_code error;
  const auto bytes = std::filesystem::file_size(path, error);
  if (error || bytes != n * sizeof(T)) {
    missing->push_back(path);
    return nullptr;
  }
  if constexpr (std::is_same_v<T, double>)
    return loadDoubleTable(path, n);
  else
    return loadIntTable(path, n);
}

// Partial shuffle of the first `count` cards with partners drawn from the
// whole deck, taking its draws from the caller's Mersenne Twister.
void qelShuffle(uint8_t* deck, int count, int size) {
  for (int i = 0; i < count; ++i) {
    const uint32_t j = genrand_int32(qel_rng) % static_cast<uint32_t>(size);
    const uint8_t t = deck[i];
    deck[i] = deck[j];
    deck[j] = t;
  }
}

double estimate(uint8_t* cards, int known, unsigned int players) {
  return estimateWinProbability(twoPlusTwoTable, cards, known, players, QEL_SAMPLES, qelShuffle);
}

template <typename Rank>
void testRankHand(int n, Rank rank) {
  int minValue = 10000000, maxValue = -10000000, count = 0;
  int perCategory[9] = {};
  uint8_t cards[7];
  // Every n-subset of the deck as a strictly increasing sequence of codes.
  for (int i = 0; i < n; ++i) cards[i] = static_cast<uint8_t>(i);
  for (;;) {
    const int value = rank(cards);
    if (value < minValue) minValue = value;
    if (value > maxValue) maxValue = value;
    ++count;
    const int category = tptCategory(value);
    if (category >= 1 && category <= 9) ++perCategory[category - 1];
    int i = n - 1;
    while (i >= 0 && cards[i] == 52 - n + i) --i;
    if (i < 0) break;
    ++cards[i];
    for (int k = i + 1; k < n; ++k) cards[k] = static_cast<uint8_t>(cards[k - 1] + 1);
  }
  std::printf("Rank %d hand cards:\n", n);
  std::printf("Min value: %d\n", minValue);
  std::printf("Max value: %d\n", maxValue);
  std::printf("Count: %d\n", count);
  for (int c = 0; c < 9; ++c) std::printf("Rank %s: %d\n", handNames[c].c_str(), perCategory[c]);
  std::printf("--------------------------------------\n");
  std::fflush(stdout);
}

}  // namespace

void loadLookupTables() {
  twoPlusTwoTable = loadOrGenerate("lookup/tpt", TPT_SIZE, [] { return generateTptTable(true); },
                                   stateTableProblem);
  twoPlusTwoConversion = loadOrGenerate("lookup/tpt.indexes", TPT_INDEXES_SIZE,
                                        generateTptIndexes, stateTableIndexesProblem);
  std::vector<std::string> missing;
  qelIndexes = loadIfPresent<int>("lookup/qel.indexes", QEL_INDEXES_SIZE, &missing);
  qelPreFlop = loadIfPresent<double>("lookup/qel.preflop", QEL_INDEXES_SIZE, &missing);
  qelFlop = loadIfPresent<double>("lookup/qel.flop", QEL_ROUND_SIZE, &missing);
  qelTurn = loadIfPresent<double>("lookup/qel.turn", QEL_ROUND_SIZE, &missing);
  qelRiver = loadIfPresent<double>("lookup/qel.river", QEL_ROUND_SIZE, &missing);
  if (!missing.empty()) {
    std::string names;
    for (const std::string& name : missing) names += (names.empty() ? "" : ", ") + name;
    std::printf("Warning: not loaded (missing or wrong size, left empty): %s\n", names.c_str());
    std::fflush(stdout);
  }
}

void freeLookupTables() {
  delete[] twoPlusTwoTable;
  delete[] twoPlusTwoConversion;
  delete[] qelIndexes;
  delete[] qelPreFlop;
  delete[] qelFlop;
  delete[] qelTurn;
  delete[] qelRiver;
  twoPlusTwoTable = twoPlusTwoConversion = qelIndexes = nullptr;
  qelPreFlop = qelFlop = qelTurn = qelRiver = nullptr;
}

void setQELRNG(rng_state_t* rng) { qel_rng = rng; }

int rankHand5(uint8_t* cards) { return tptRank5(twoPlusTwoTable, cards); }
int rankHand6(uint8_t* cards) { return tptRank6(twoPlusTwoTable, cards); }
int rankHand7(uint8_t* cards) { return tptRank7(twoPlusTwoTable, cards); }
int rankHand5C(uint8_t* cards) { return twoPlusTwoConversion[rankHand5(cards)]; }
int rankHand6C(uint8_t* cards) { return twoPlusTwoConversion[rankHand6(cards)]; }
int rankHand7C(uint8_t* cards) { return twoPlusTwoConversion[rankHand7(cards)]; }

double evaluateHand2(uint8_t* cards, unsigned int players) { return estimate(cards, 2, players); }
double evaluateHand5(uint8_t* cards, unsigned int players) { return estimate(cards, 5, players); }
double evaluateHand6(uint8_t* cards, unsigned int players) { return estimate(cards, 6, players); }
double evaluateHand7(uint8_t* cards, unsigned int players) { return estimate(cards, 7, players); }
double evaluateHand2(uint8_t* cards) { return evaluateHand2(cards, 2); }
double evaluateHand5(uint8_t* cards) { return evaluateHand5(cards, 2); }
double evaluateHand6(uint8_t* cards) { return evaluateHand6(cards, 2); }
double evaluateHand7(uint8_t* cards) { return evaluateHand7(cards, 2); }

void testRankHand5() { testRankHand(5, rankHand5); }
void testRankHand6() { testRankHand(6, rankHand6); }
void testRankHand7() { testRankHand(7, rankHand7); }

void winProb(MatchState* state, double* out) {
  const State& s = state->state;
  int known;
  switch (s.round) {
    case 0: known = 2; break;
    case 1: known = 5; break;
    case 2: known = 6; break;
    case 3: known = 7; break;
    default:
      out[1] = out[2] = out[3] = 0.0;
      return;
  }
  // Hole cards of the viewing seat, then the board cards visible in the round.
  uint8_t cards[7];
  cards[0] = s.holeCards[state->viewingPlayer][0];
  cards[1] = s.holeCards[state->viewingPlayer][1];
  for (int i = 2; i < known; ++i) cards[i] = s.boardCards[i - 2];
  double (*const estimator[])(uint8_t*, unsigned int) = {evaluateHand2, evaluateHand5,
                                                         evaluateHand6, evaluateHand7};
  for (unsigned players = 1; players <= 3; ++players) out[players] = estimator[s.round](cards, players);
}
