#include "platform/random.h"

#include <unistd.h>

#include <chrono>

namespace tarnvex {

Random::Random() {
  // The clock alone would give parallel runs started in the same tick the same
  // sequence (and the same port choice); the process id keeps them apart.
  const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
  std::seed_seq seed{static_cast<uint64_t>(ticks), static_cast<uint64_t>(::getpid()),
                     reinterpret_cast<uintptr_t>(this)};
  engine_.seed(seed);
}

int Random::Draw(int n) {
  if (n <= 0) return 0;
  return std::uniform_int_distribution<int>(0, n - 1)(engine_);
}

}  // namespace tarnvex
