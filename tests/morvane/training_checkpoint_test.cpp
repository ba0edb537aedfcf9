// The hold'em training's checkpoint: a training stopped and gone on with
// ends with the very sums of one never stopped, and a checkpoint that cannot
// be used is refused and the training starts over.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "holdem_support.h"
#include "solver/training_checkpoint.h"

namespace {

// Trains with a checkpoint at `checkpoint` written every `seconds`, from the
// engine seeded with `seed`; returns what the training printed.
std::string trainWithCheckpoint(CFR& cfr, const std::string& checkpoint, double seconds,
                                uint64_t iterations, unsigned seed) {
  global_urng().seed(seed);
  cfr.setTrainingCheckpoint(checkpoint, seconds);
  testing::internal::CaptureStdout();
  cfr.trainHoldem(iterations);
  return testing::internal::GetCapturedStdout();
}

// Saves to dir/straight the sums of `iterations` uninterrupted from `seed`,
// and leaves at dir/checkpoint what a training of `stopped` iterations with
// a checkpoint after every one (but the last) leaves behind.
void straightAndStopped(const Game* game, const TempDir& dir, uint64_t iterations, uint64_t stopped,
                        unsigned seed) {
  SyntheticBuckets straight(game);
  trainHoldemQuietly(straight, iterations, seed);
  ASSERT_TRUE(straight.save(dir.file("straight")));
  SyntheticBuckets first(game);
  trainWithCheckpoint(first, dir.file("checkpoint"), 0.0, stopped, seed);
}

std::vector<std::string> filesIn(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(TrainingCheckpoint, StoppedTrainingGoesOnToTheSameSums) {
  for (const char* name : {"holdem.nolimit.2p.reverse_blinds.game", "holdem.limit.2p.reverse_blinds.game"}) {
    GamePtr game = holdemGame(name);
    ASSERT_TRUE(game);
    TempDir dir;
    // Each checkpoint replaces the one before, so one text file and one
    // strategy file remain.
    straightAndStopped(game.get(), dir, 60, 25, 5);
    const std::string checkpoint = dir.file("checkpoint");
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"checkpoint", "checkpoint.24", "straight"})) << name;

    // Another process: another engine state, which the checkpoint replaces.
    SyntheticBuckets resumed(game.get());
    const std::string out = trainWithCheckpoint(resumed, checkpoint, 1e9, 60, 12345);
    EXPECT_NE(out.find("Resuming the training from " + checkpoint + " after 24 of 60 iterations\n"),
              std::string::npos)
        << out;
    ASSERT_TRUE(resumed.save(dir.file("resumed")));
    EXPECT_TRUE(fileBytes(dir.file("resumed")) == fileBytes(dir.file("straight"))) << name;

    removeTrainingCheckpoint(checkpoint);
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"resumed", "straight"})) << name;
  }
}

TEST(TrainingCheckpoint, UnusableCheckpointIsRefusedAndTrainingStartsOver) {
  GamePtr game = holdemGame("holdem.nolimit.2p.reverse_blinds.game");
  GamePtr other = holdemGame("holdem.limit.2p.reverse_blinds.game");
  ASSERT_TRUE(game && other);
  TempDir dir;
  // A good checkpoint of 20 iterations, then damaged copies of it.
  straightAndStopped(game.get(), dir, 40, 21, 8);
  const std::string checkpoint = dir.file("checkpoint");
  TrainingCheckpoint good;
  ASSERT_EQ(readTrainingCheckpoint(checkpoint, &good), "");
  EXPECT_EQ(good.done, 20u);
  const std::string goodText = slurp(checkpoint);

  SyntheticBuckets otherGame(other.get());
  trainHoldemQuietly(otherGame, 3, 1);
  ASSERT_TRUE(otherGame.save(dir.file("checkpoint.other")));
  TrainingCheckpoint otherSums = good;
  otherSums.sums = "checkpoint.other";
  TrainingCheckpoint pastTheEnd = good;
  pastTheEnd.done = 41;
  TrainingCheckpoint shortDeck = good;
  shortDeck.deck.pop_back();
  TrainingCheckpoint noSums = good;
  noSums.sums = "checkpoint.missing";

  const struct {
    std::string text;
    const TrainingCheckpoint* record;
    std::string reason;
  } cases[] = {
      {"not a checkpoint\n", nullptr, "it does not start with"},
      {goodText.substr(0, goodText.find("deck")), nullptr, "it lacks a line"},
      {goodText + "extra line\n", nullptr, "it has a malformed line"},
      {"", &otherSums, "its strategy file " + dir.file("checkpoint.other") + " is refused: "},
      {"", &pastTheEnd, "it has 41 iterations done, more than the 40 asked for"},
      {"", &shortDeck, "its deck is not this game's"},
      {"", &noSums, "checkpoint.missing"},
  };
  for (const auto& c : cases) {
    if (c.record)
      ASSERT_TRUE(writeTrainingCheckpoint(checkpoint, *c.record));
    else
      writeText(checkpoint, c.text);
    SyntheticBuckets cfr(game.get());
    const std::string out = trainWithCheckpoint(cfr, checkpoint, 1e9, 40, 8);
    EXPECT_EQ(out.rfind("Warning: training checkpoint " + checkpoint + " is refused: ", 0), 0u) << out;
    EXPECT_NE(out.find(c.reason), std::string::npos) << out;
    EXPECT_NE(out.find("; the training starts from the beginning\n"), std::string::npos) << out;
    ASSERT_TRUE(cfr.save(dir.file("again")));
    EXPECT_TRUE(fileBytes(dir.file("again")) == fileBytes(dir.file("straight"))) << c.reason;
  }
}
