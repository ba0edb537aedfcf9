// trikuhn: a three-player limit Kuhn poker player that plays a family-1
// equilibrium and re-chooses its free parameters against frequency models of
// its opponents after every hand.
#include <memory>

#include "acpc_cli.h"
#include "kuhn_bot.h"

int main(int argc, char** argv) {
  using KuhnPoker::ThreePlayer::BetaAndFreeOptimized::BetaAndFreeOptimizedBot;
  Acpc::Cli::main(
      "BetaAndFreeOptimized", "3-player limit Kuhn",
      "Family 1 equilibrium agent where beta (b11 and b21), b32, c33, and c34are optimized from "
      "opponent models.Opponents are assumed initially to be playing a family 1 equilibriumas "
      "well, but a frequentist model replaces this assumption for allobserved actions.Action "
      "observations are averaged over possible cards.",
      argc, argv, [](Acpc::Cli& cli) -> std::unique_ptr<Acpc::Bot> {
        return std::make_unique<BetaAndFreeOptimizedBot>(cli.configuration->gameDefinition,
                                                         cli.randomEngine);
      });
  return 0;
}
