// tptgen [DIR]: generates the seven-card evaluator state table DIR/tpt and the
// hand-class conversion table DIR/tpt.indexes (DIR defaults to "lookup"),
// printing progress on standard output.
#include <cstdio>
#include <exception>
#include <string>

#include <tclap/CmdLine.h>

#include "cards/tpt_generator.h"

int main(int argc, char** argv) {
  std::string dir;
  try {
    TCLAP::CmdLine cmd(
        "Generates the seven-card evaluator state table DIR/tpt and its hand-class "
        "conversion table DIR/tpt.indexes.",
        ' ', "1.0");
    TCLAP::UnlabeledValueArg<std::string> dirArg(
        "dir", "Directory to write the tables to (created when missing; default lookup)", false,
        "lookup", "DIR");
    cmd.add(dirArg);
    cmd.parse(argc, argv);
    dir = dirArg.getValue();
  } catch (const TCLAP::ArgException& e) {
    std::fprintf(stderr, "ERROR: %s for argument %s\n", e.error().c_str(), e.argId().c_str());
    return 1;
  }
  try {
    return writeTptFiles(dir) ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ERROR: %s\n", e.what());
    return 1;
  }
}
