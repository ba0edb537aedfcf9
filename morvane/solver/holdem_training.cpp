// Hold'em training of CFR: the tree over the bucket combinations (the flat
// store's betting tree, or the keyed maps filled for every combination of
// buckets 0 to 9 per round), one shuffled deal per iteration with every
// seat's bucket read from the equity tables' hold'em tables, and the training
// checkpoints that let a stopped training go on where it was.
//
// Deterministic for a given process random engine state: the deal of each
// iteration is drawn from that engine, and a checkpoint keeps the engine's
// state, so a resumed training ends with the bytes of one that never stopped.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "abstraction/EquityTables.h"
#include "common/util.h"
#include "solver/cfr.h"
#include "solver/flat_cfr.h"
#include "solver/strategy_check.h"
#include "solver/training_checkpoint.h"

int CFR::holdemTableBucket(int players, int round, int seat, const uint8_t* cards) const {
  if (!equityTables) throw std::logic_error("Deve carregar equity tables para correr cfr no hold'em poker");
  return equityTables->holdemTableIndex(players, round, seat, cards);
}

void CFR::buildHoldemTree() {
  if (flatStoreSupported()) {
    std::cout << "Building the betting tree..." << std::endl;
    const long start = static_cast<long>(std::time(nullptr));
    buildStore(defaultBuckets());
    std::cout << "Betting tree: " << store->tree().numDecisions() << " decisions, "
              << store->tree().numPayoffClasses() << " terminal classes, "
              << static_cast<long>(std::time(nullptr)) - start << " s" << std::endl;
    treeBuilt = true;
    return;
  }
  State state;
  initState(game, 0, &state);
  const int combinations = HOLDEM_BUCKETS * HOLDEM_BUCKETS * HOLDEM_BUCKETS * HOLDEM_BUCKETS;
  int built = 0;
  for (int b0 = 0; b0 < HOLDEM_BUCKETS; ++b0)
    for (int b1 = 0; b1 < HOLDEM_BUCKETS; ++b1)
      for (int b2 = 0; b2 < HOLDEM_BUCKETS; ++b2)
        for (int b3 = 0; b3 < HOLDEM_BUCKETS; ++b3) {
          const int bucket[MAX_ROUNDS] = {b0, b1, b2, b3};
          for (int r = 0; r < MAX_ROUNDS; ++r)
            for (int p = 0; p < game->numPlayers; ++p) {
              holdemBucket[r][2][p] = static_cast<uint64_t>(bucket[r]);
              if (game->numPlayers == 3) holdemBucket[r][3][p] = static_cast<uint64_t>(bucket[r]);
            }
          createAbstractedGameTree(&state);
          if (++built % 100 == 0)
            std::cout << built / static_cast<double>(combinations) * 100.0 << "%" << std::endl;
        }
  treeBuilt = true;
}

void CFR::fillHoldemBuckets(const State* state) {
  const int board = sumBoardCards(game, game->numRounds - 1);
  uint8_t cards[MAX_HOLE_CARDS + MAX_BOARD_CARDS];
  for (int p = 0; p < game->numPlayers; ++p) {
    for (int c = 0; c < game->numHoleCards; ++c) cards[c] = state->holeCards[p][c];
    for (int c = 0; c < board; ++c) cards[game->numHoleCards + c] = state->boardCards[c];
    for (int r = 0; r < game->numRounds; ++r) {
      holdemBucket[r][2][p] = holdemTableBucket(2, r, p, cards);
      if (game->numPlayers == 3)
        holdemBucket[r][3][p] = holdemTableBucket(3, r, p, cards);
    }
  }
}

void CFR::setTrainingCheckpoint(const std::string& path, double seconds) {
  checkpointPath = path;
  checkpointSeconds = seconds;
  checkpointSums.clear();
}

uint64_t CFR::resumeTraining(uint64_t iterations, std::vector<uint8_t>& deck) {
  if (checkpointPath.empty() || !file_exist(checkpointPath)) return 0;
  TrainingCheckpoint checkpoint;
  std::string problem = readTrainingCheckpoint(checkpointPath, &checkpoint);
  std::minstd_rand0 engine;
  if (problem.empty() && checkpoint.done > iterations)
    problem = "it has " + std::to_string(checkpoint.done) + " iterations done, more than the " +
              std::to_string(iterations) + " asked for";
  if (problem.empty() && !std::is_permutation(checkpoint.deck.begin(), checkpoint.deck.end(), deck.begin(), deck.end()))
    problem = "its deck is not this game's";
  if (problem.empty()) {
    std::istringstream text(checkpoint.engine);
    text >> engine;
    if (text.fail()) problem = "its random engine state is unreadable";
  }
  if (problem.empty()) {
    const std::string sums = besideCheckpoint(checkpointPath, checkpoint.sums);
    problem = loadCheckedHoldemStrategy(*this, sums, flatStoreSupported());
    if (!problem.empty()) {
      problem = "its strategy file " + sums + " is refused: " + problem;
      // Nothing read from it stays to be trained on.
      forgetInformationSets();
    }
  }
  if (!problem.empty()) {
    std::cout << "Warning: training checkpoint " << checkpointPath << " is refused: " << problem
              << "; the training starts from the beginning" << std::endl;
    return 0;
  }
  global_urng() = engine;
  deck = checkpoint.deck;
  checkpointSums = checkpoint.sums;
  std::cout << "Resuming the training from " << checkpointPath << " after " << checkpoint.done
            << " of " << iterations << " iterations" << std::endl;
  return checkpoint.done;
}

void CFR::saveTrainingCheckpoint(uint64_t done, const std::vector<uint8_t>& deck) {
  TrainingCheckpoint checkpoint;
  checkpoint.done = done;
  std::ostringstream engine;
  engine << global_urng();
  checkpoint.engine = engine.str();
  checkpoint.deck = deck;
  checkpoint.sums = std::filesystem::path(checkpointPath).filename().string() + "." + std::to_string(done);
  const std::string sums = besideCheckpoint(checkpointPath, checkpoint.sums);
  // The sums first: the text file that names them is the checkpoint, and
  // the one it replaces stays whole until then.
  const bool saved = save(sums) && writeTrainingCheckpoint(checkpointPath, checkpoint);
  if (!saved) {
    std::remove(sums.c_str());
    if (!checkpointWarned)
      std::cout << "Warning: the training checkpoint could not be saved to " << checkpointPath << std::endl;
    checkpointWarned = true;
    return;
  }
  if (!checkpointSums.empty() && checkpointSums != checkpoint.sums)
    std::remove(besideCheckpoint(checkpointPath, checkpointSums).c_str());
  checkpointSums = checkpoint.sums;
}

void CFR::discountSums(double positive, double negative, double strategy) {
  const auto discount = [=](CFRNode& node) {
    // An excluded action's NaN mark stays NaN.
    for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a) {
      node.regretSum[a] *= node.regretSum[a] > 0.0 ? positive : negative;
      node.strategySum[a] *= strategy;
    }
  };
  if (store) {
    CFRNode* nodes = store->nodes();
    for (size_t k = 0; k < store->size(); ++k) discount(nodes[k]);
    return;
  }
  for (NodeMap& m : nodeMaps)
    for (auto& entry : m) discount(*entry.second);
}

void CFR::trainHoldem(uint64_t iterations) {
  // Buckets from the hold'em tables while training; both switches off after.
  BucketMode mode(*this, {true, true, useClusters}, {false, false, useClusters});

  std::vector<uint8_t> deck = trainingDeck();
  const int deckSize = static_cast<int>(deck.size());
  const int k = cardsPerDeal();
  const int n = game->numPlayers;
  long last = static_cast<long>(std::time(nullptr));
  double elapsed = 0.0;
  double reach[MAX_PLAYERS];
  double utility[MAX_PLAYERS];
  for (int p = 0; p < n; ++p) reach[p] = 1.0;

  const uint64_t first = resumeTraining(iterations, deck);
  if (!treeBuilt) buildHoldemTree();
  std::cout << "Number of information sets: " << numInformationSets() << std::endl;

  State state;
  FlatCFR* pass = store ? &flatPass() : nullptr;
  const FlatCFR::BucketOf bucketOf = [&](int round, int acting, int seat) {
    return cardBucket(&state, seat, round, acting);
  };
  using Clock = std::chrono::steady_clock;
  const auto interval = std::chrono::duration<double>(checkpointSeconds);
  auto lastCheckpoint = Clock::now();
  for (uint64_t i = first; i < iterations; ++i) {
    if (logProgress) printProgress(i, iterations, last, elapsed);
    initState(game, 0, &state);
    for (int j = 0; j < k; ++j) {
      const int other = pick_a_number(0, deckSize - 1);
      std::swap(deck[j], deck[other]);
    }
    setDealtCards(deck.data(), &state);
    fillHoldemBuckets(&state);
    if (pass) {
      pass->deal(&state, bucketOf);
      pass->calc(reach, utility);
    } else {
      calc(&state, reach, 0, utility);
    }
    if (weightingBlock_ && (i + 1) % weightingBlock_ == 0) {
      const Discounting::Factors f = discounting_.after((i + 1) / weightingBlock_);
      discountSums(f.positive, f.negative, f.strategy);
    }
    // The last iteration needs none: the caller saves the strategy.
    if (!checkpointPath.empty() && i + 1 < iterations && Clock::now() - lastCheckpoint >= interval) {
      saveTrainingCheckpoint(i + 1, deck);
      lastCheckpoint = Clock::now();
    }
  }

  if (!gameUtility) {
    gameUtility = std::make_unique<double[]>(n);
    for (int p = 0; p < n; ++p) gameUtility[p] = 0.0;
  }
}
