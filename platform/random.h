#pragma once
// A uniform pseudo-random generator seeded from the clock; one per use site.
#include <cstdint>
#include <random>

namespace tarnvex {

class Random {
 public:
  Random();
  // A draw r with 0 <= r < n; 0 when n <= 0.
  int Draw(int n);

 private:
  std::mt19937_64 engine_;
};

}  // namespace tarnvex
