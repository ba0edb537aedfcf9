// Fuzzes loading a three-player Kuhn strategy file with the checks after it.
// Any bytes are refused or loaded without a crash, and a loaded strategy
// must be playable: every node samples a valid action, and the value and
// NashConv of its average strategies are finite (NashConv not negative).
//
// Input: a first byte choosing the form, then
//   even: the bytes of the file;
//   odd:  patches of three bytes (offset high, offset low, xor value) over a
//         briefly trained sound file, which reaches the checks behind the
//         loader far more often than raw bytes do.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "solver/cfr.h"
#include "analysis/exploitability.h"
#include "solver/strategy_check.h"
#include "common/util.h"
#include "fuzz_game.h"

namespace {

Game* game = nullptr;
CFR* tree = nullptr;
std::string sound;  // a trained strategy file

std::string fileBytes(int fd) {
  std::string bytes;
  char buffer[4096];
  lseek(fd, 0, SEEK_SET);
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
  return bytes;
}

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Training and the measurements print progress; the fuzzer reports on
  // standard error.
  if (!std::freopen("/dev/null", "w", stdout)) std::abort();
  game = loadGame(KUHN_GAME_FILE);
  tree = new CFR(game);
  buildFullTree(*tree);
  CFR trained(game);
  trained.train(3000);
  // Saving renames a temporary file into place: a real directory is needed.
  char dir[] = "/tmp/fuzz-strategy-XXXXXX";
  check(mkdtemp(dir) != nullptr);
  const std::string path = std::string(dir) + "/strategy";
  check(trained.save(path));
  const int fd = open(path.c_str(), O_RDONLY);
  check(fd >= 0);
  sound = fileBytes(fd);
  close(fd);
  unlink(path.c_str());
  rmdir(dir);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string bytes;
  if (data[0] % 2 == 0) {
    bytes.assign(reinterpret_cast<const char*>(data + 1), size - 1);
  } else {
    bytes = sound;
    for (size_t i = 1; i + 2 < size; i += 3) {
      const size_t at = (size_t(data[i]) << 8 | data[i + 1]) % bytes.size();
      bytes[at] = static_cast<char>(bytes[at] ^ data[i + 2]);
    }
  }
  const int fd = memfd_create("strategy", 0);
  if (fd < 0) return 0;
  if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    close(fd);
    return 0;
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  CFR cfr(game);
  const std::string problem = loadCheckedStrategy(cfr, path, *tree);
  close(fd);
  if (!problem.empty()) {
    check(cfr.numInformationSets() == 0);
    return 0;
  }
  for (const CFR::NodeMap& m : cfr.maps())
    for (const auto& [key, node] : m) check(node->isActionValid(node->getRandomActionIndex()));
  const Exploitability e = computeExploitability(cfr);
  for (double v : e.profileValue) check(std::isfinite(v));
  check(std::isfinite(e.nashConv) && e.nashConv >= -1e-9);
  return 0;
}
