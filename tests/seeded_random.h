// Seeds random() once per test process. getListenSocket picks a free port
// with random(); unseeded, every test process would walk the same sequence of
// ports, and tests that run at the same time would keep meeting on them.
#pragma once

#include <cstdlib>
#include <random>

namespace {
[[maybe_unused]] const bool kRandomSeeded = (srandom(std::random_device{}()), true);
}  // namespace
