// Times the library's call for one group given by its values, as the Python package makes it:
// the group built from its values (its data file written and read) and analysed.
// Usage: analysis_call DATAFILE [calls per batch, default 2000]; prints the best of five batches.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "analysis/analysis.hpp"

namespace {

// The mean time of one call in a batch, in milliseconds.
double batch(const kelmarino::GroupValues& values, int32_t calls, double& check) {
  const auto start = std::chrono::steady_clock::now();
  for (int32_t i = 0; i < calls; ++i) {
    kelmarino::GroupRead read = kelmarino::build_group(values);
    const kelmarino::Analysed analysed = kelmarino::analyse(std::move(*read.group));
    check += static_cast<double>(analysed.result->cap[0]);
  }
  const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
  return spent.count() / calls;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: analysis_call DATAFILE [calls]\n");
    return 2;
  }
  const int32_t calls = argc > 2 ? std::atoi(argv[2]) : 2000;
  const kelmarino::GroupRead read = kelmarino::read_group(argv[1]);
  if (!read.group) {
    std::fprintf(stderr, "%s\n", read.issue->full.c_str());
    return 1;
  }
  const kelmarino::GroupValues values = kelmarino::values_of(*read.group);
  double check = 0.0;
  double best = batch(values, calls / 10 + 1, check);  // warm up
  for (int32_t b = 0; b < 5; ++b) best = std::min(best, batch(values, calls, check));
  std::printf("%.4f ms per call (check %g)\n", best, check);
  return 0;
}
