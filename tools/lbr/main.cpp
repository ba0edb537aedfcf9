// lbr: the local best response against a two-player hold'em strategy, in
// milli-big-blinds per hand won by the LBR (a lower bound of how much the
// strategy loses to its worst opponent). See lbr.h for the method.
#include <tclap/CmdLine.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "common/abstraction_option.h"
#include "game.h"
#include "lbr.h"
#include "morvane_opponent.h"
#include "numbers.h"

namespace {

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "ERROR: %s\n", message.c_str());
  std::exit(1);
}

bool isTwoPlayerHoldem(const Game* game) {
  return game->numPlayers == 2 && game->numRounds == 4 && game->numSuits == 4 &&
         game->numRanks == 13 && game->numHoleCards == 2 && game->numBoardCards[0] == 0 &&
         game->numBoardCards[1] == 3 && game->numBoardCards[2] == 1 && game->numBoardCards[3] == 1;
}

std::string clock(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char text[32];
  if (s >= 3600)
    std::snprintf(text, sizeof(text), "%ld h %02ld min", s / 3600, s / 60 % 60);
  else
    std::snprintf(text, sizeof(text), "%ld min %02ld s", s / 60, s % 60);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t deals = 0, seed = 0, threads = 0;
  std::string gamePath, actionsName, roundsName, opponentName, abstraction, raiserShareText;
  try {
    TCLAP::CmdLine cmd(
        "Local best response (Lisy and Bowling, 2017) against a two-player hold'em strategy. "
        "Plays every deal twice, once in each seat, with no card abstraction; tracks the "
        "opponent's range by Bayes' rule and takes the action of highest value assuming both "
        "players check or call to the end. Reads strategies/ and lookup/ in the working "
        "directory as morvane does, and makes nothing. Opponents: morvane (the player's "
        "strategy, exactly as it plays); fold (folds whenever it may, else checks); call "
        "(always checks or calls); raise (raises whenever it may, in no-limit by the smallest "
        "raise, else calls); random (uniform over the legal actions, a no-limit raise of a "
        "uniform size from the smallest to all-in). Equity is exact on the turn and river and "
        "sampled (64 board completions) on the pre-flop and flop. The last line is "
        "'lbr: MEAN +- HALF mbb/g (95%), N deals', MEAN the LBR's winnings per hand (positive: "
        "the opponent loses).",
        ' ', "1.0");
    TCLAP::ValueArg<std::string> dealsArg("", "deals", "Deals to play (default 10000).", false,
                                          "10000", "N", cmd);
    TCLAP::ValueArg<std::string> seedArg("", "seed", "Seed of the deals (default 1).", false, "1",
                                         "S", cmd);
    TCLAP::ValueArg<std::string> threadsArg(
        "", "threads", "Threads (default: one per core); results do not depend on it.", false,
        "0", "T", cmd);
    TCLAP::ValueArg<std::string> actionsArg(
        "", "actions",
        "LBR actions: fcr in limit games (the default there); in no-limit fc (fold, call), fcpa "
        "(adds pot and all-in; the default) or wide (fold, call, half pot, pot, twice pot, "
        "all-in).",
        false, "", "SET", cmd);
    TCLAP::ValueArg<std::string> roundsArg(
        "", "rounds", "all (default) or late (check or call on the pre-flop and flop).", false,
        "all", "all|late", cmd);
    TCLAP::ValueArg<std::string> opponentArg(
        "", "opponent", "morvane (default), fold, call, raise or random.", false, "morvane",
        "NAME", cmd);
    TCLAP::ValueArg<std::string> abstractionArg(
        "", "abstraction", "Abstraction of morvane's strategy: standard (default) or large.", false,
        "standard", "NAME", cmd);
    TCLAP::ValueArg<std::string> raiserShareArg(
        "", "raiser-share",
        "The large limit player as it plays once it has read its opponent raising with the top "
        "share Q (0 < Q <= 1) of its holdings: from Q = 0.85 up, folds to a raise that pay the "
        "price against those holdings become calls. Default: as it starts, before any read.",
        false, "", "Q", cmd);
    TCLAP::UnlabeledValueArg<std::string> gameArg("game-file", "A two-player hold'em game.", true,
                                                  "", "GAME_FILE", cmd);
    cmd.setExceptionHandling(false);
    cmd.parse(argc, argv);
    if (!dealer::parseUnsigned(dealsArg.getValue(), UINT32_MAX, &deals) || deals == 0)
      fail("invalid number of deals '" + dealsArg.getValue() + "'");
    if (!dealer::parseUnsigned(seedArg.getValue(), UINT64_MAX, &seed))
      fail("invalid seed '" + seedArg.getValue() + "'");
    if (!dealer::parseUnsigned(threadsArg.getValue(), 1024, &threads))
      fail("invalid number of threads '" + threadsArg.getValue() + "'");
    gamePath = gameArg.getValue();
    actionsName = actionsArg.getValue();
    roundsName = roundsArg.getValue();
    opponentName = opponentArg.getValue();
    abstraction = abstractionArg.getValue();
    raiserShareText = raiserShareArg.getValue();
  } catch (const TCLAP::ExitException& e) {
    return e.getExitStatus();
  } catch (const TCLAP::ArgException& e) {
    fail(e.error() + (e.argId().empty() ? "" : " for " + e.argId()));
  }

  FILE* file = std::fopen(gamePath.c_str(), "r");
  if (!file) fail("could not open game " + gamePath);
  std::unique_ptr<Game, void (*)(void*)> game(readGame(file), std::free);
  std::fclose(file);
  if (!game) fail("could not read game " + gamePath);
  if (!isTwoPlayerHoldem(game.get()))
    fail(gamePath + " is not a two-player hold'em game (LBR is defined for two-player zero-sum games)");

  lbr::Settings settings;
  settings.seed = seed;
  const bool limit = game->bettingType == limitBetting;
  if (actionsName.empty()) actionsName = limit ? "fcr" : "fcpa";
  if (!lbr::parseActionSet(actionsName, &settings.actions))
    fail("unknown action set '" + actionsName + "' (fcr, fc, fcpa, wide)");
  if (limit != (settings.actions == lbr::ActionSet::fcr))
    fail("action set " + actionsName + " is not for " +
         (limit ? "a limit game (use fcr)" : "a no-limit game (use fc, fcpa or wide)"));
  if (roundsName == "all") settings.rounds = lbr::Rounds::all;
  else if (roundsName == "late") settings.rounds = lbr::Rounds::late;
  else fail("unknown rounds '" + roundsName + "' (all, late)");
  Abstraction chosen = Abstraction::standard;
  if (!parseAbstractionName(abstraction, &chosen))
    fail("unknown abstraction '" + abstraction + "' (" + abstractionNameList() + ")");
  const std::string refusal = abstractionRefusal(chosen, std::filesystem::path(gamePath).filename().string());
  if (!refusal.empty()) fail(refusal);

  double raiserShare = 0.0;
  if (!raiserShareText.empty()) {
    char* end = nullptr;
    raiserShare = std::strtod(raiserShareText.c_str(), &end);
    if (end == raiserShareText.c_str() || *end != '\0' || !(raiserShare > 0.0 && raiserShare <= 1.0))
      fail("invalid raiser share '" + raiserShareText + "' (a number above 0, at most 1)");
    if (opponentName != "morvane" || chosen != Abstraction::large || !limit)
      fail("--raiser-share is for the large limit player (--abstraction large, a limit game)");
  }

  std::unique_ptr<lbr::Opponent> opponent;
  if (opponentName == "morvane") {
    // Checked before anything is constructed: the player would train or
    // generate what is missing.
    const std::string problem = lbr::MorvaneOpponent::missing(game.get(), abstraction);
    if (!problem.empty()) fail(problem);
    opponent = lbr::MorvaneOpponent::load(game.get(), gamePath, chosen, raiserShare);
  } else {
    opponent = lbr::makeBaseline(opponentName, game.get());
    if (!opponent)
      fail("unknown opponent '" + opponentName + "' (morvane, fold, call, raise, random)");
  }

  const unsigned workers =
      threads ? static_cast<unsigned>(threads) : std::max(1u, std::thread::hardware_concurrency());
  std::printf("lbr: %s against %s, actions %s, rounds %s, %" PRIu64 " deals, seed %" PRIu64
              ", %u threads\n",
              gamePath.c_str(), opponentName.c_str(), actionsName.c_str(), roundsName.c_str(),
              deals, seed, workers);
  std::fflush(stdout);

  const lbr::LocalBestResponse lbr(game.get(), *opponent, settings);
  const auto start = std::chrono::steady_clock::now();
  double lastReport = 0.0;
  auto progress = [&](const lbr::Summary& soFar) {
    const uint64_t done = soFar.deals;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (elapsed - lastReport < 10.0 || done == 0 || done == deals) return;
    lastReport = elapsed;
    const double rate = done / elapsed;
    std::fprintf(stderr,
                 "lbr: %" PRIu64 "/%" PRIu64 " deals, %.0f deals/s, about %s left; so far %.1f \u00b1 %.1f mbb/g\n",
                 done, deals, rate, clock((deals - done) / rate).c_str(), soFar.mean, soFar.half);
  };
  lbr::Summary summary;
  try {
    summary = lbr::run(lbr, deals, workers, progress);
  } catch (const std::exception& e) {
    fail(std::string("the run stopped: ") + e.what());
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(stderr, "lbr: %" PRIu64 " deals in %.1f s, %.0f deals/s\n", summary.deals, seconds,
               summary.deals / seconds);
  std::printf("lbr: %.1f \u00b1 %.1f mbb/g (95%%), %" PRIu64 " deals\n", summary.mean, summary.half,
              summary.deals);
  return 0;
}
