// Plays three-player limit Kuhn poker with CFR strategies.
//
// Three strategy files, one solver per seat (slots may share a solver); when
// they are missing, one solver is trained for 100 passes of 1,000,000
// iterations and saved to all three. Three ways of choosing an action:
//   0: sample the average strategy of the seat's own solver;
//   1: sample the solver of a random slot;
//   2: a fixed card rule (bet K and A, check or fold J and Q).
// Each mode keeps its last ten hand results; every hand is played by the
// mode with the highest ten-hand mean (ties keep the lowest mode).
#ifndef MORVANE_KUHNAGENT_H
#define MORVANE_KUHNAGENT_H

#include <memory>
#include <vector>

#include "agents/PokerAgent.h"
#include "solver/cfr.h"

class KuhnAgent : public PokerAgent {
 public:
  static constexpr int NUM_MODES = 3;
  static constexpr int WINDOW = 10;
  static constexpr int NUM_SLOTS = 3;
  static const char* const KuhnStrategyFiles[10];
  // Training of a first start: passes of iterations each.
  static constexpr int TRAINING_PASSES = 100;
  static constexpr uint64_t ITERATIONS_PER_PASS = 1000000;

  explicit KuhnAgent(const char* gameFile);
  // Same, with another training size (tests use small ones).
  KuhnAgent(const char* gameFile, int passes, uint64_t iterationsPerPass);
  ~KuhnAgent() override;

  double getEv(int mode) const;
  void updateEv(int mode, double value);
  int getActiveMode() const { return activeMode; }
  CFR* strategy(int slot) const { return strategies[slot]; }

  void holeCards(uint8_t* cards, uint8_t player) override;
  void getAction(Action& action) override;
  void actionEvent(uint8_t player, Action action) override;
  void stageEvent(int stage) override;
  void showdownEvent(uint8_t player, uint8_t* cards) override;
  void gameOverEvent(double value) override;
  void winEvent(uint8_t player, int amount) override;

 private:
  struct EvWindow {
    double results[WINDOW];
    int32_t next;
  };

  void prepare(int passes, uint64_t iterationsPerPass);
  void train(int passes, uint64_t iterationsPerPass);

  CFR* strategies[NUM_SLOTS] = {nullptr, nullptr, nullptr};
  int32_t activeMode = 0;
  EvWindow evWindows[NUM_MODES];
  std::vector<std::unique_ptr<CFR>> solvers;  // owns what the slots refer to
};

#endif
