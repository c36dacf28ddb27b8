// Times the library's call for one group given by its values, as the Python package makes it:
// the group built from its values and analysed, its true peaks deferred.
// Usage: analysis_call DATAFILE [calls, default 2000] [threads [drop]]
//   Without threads: the mean time of one call in milliseconds, the best of five batches of
//   calls, each result dropped as soon as it is made.
//   With threads: the time in seconds of a run of `calls` analyses shared by `threads` threads
//   that keep every result, as a sweep of the package does (with `drop`: that drop each result
//   as soon as it is made): the median of seven runs after one to warm up, each run's results
//   dropped after it is timed.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "analysis/analysis.hpp"

namespace {

using Clock = std::chrono::steady_clock;

// The mean time of one call in a batch, in milliseconds.
double batch(const kelmarino::GroupValues& values, int32_t calls, double& check) {
  const auto start = Clock::now();
  for (int32_t i = 0; i < calls; ++i) {
    kelmarino::GroupRead read = kelmarino::build_group(values);
    const kelmarino::Analysed analysed =
        kelmarino::analyse(std::move(*read), {.true_peaks = kelmarino::TruePeaks::deferred});
    check += static_cast<double>(analysed->cap[0]);
  }
  const std::chrono::duration<double, std::milli> spent = Clock::now() - start;
  return spent.count() / calls;
}

// The time of `calls` analyses on `threads` threads, each result kept, in seconds.
double shared_run(const kelmarino::GroupValues& values, int32_t calls, int32_t threads, bool keep,
                  double& check) {
  std::vector<std::optional<kelmarino::Analysed>> results(
      static_cast<size_t>(keep ? calls : threads));
  std::atomic<size_t> next{0};
  const auto start = Clock::now();
  {
    std::vector<std::jthread> running;
    for (int32_t t = 0; t < threads; ++t) {
      running.emplace_back([&] {
        for (size_t i = next++; i < static_cast<size_t>(calls); i = next++) {
          kelmarino::GroupRead read = kelmarino::build_group(values);
          kelmarino::Analysed analysed =
              kelmarino::analyse(std::move(*read), {.true_peaks = kelmarino::TruePeaks::deferred});
          if (keep) results[i] = std::move(analysed);
        }
      });
    }
  }
  const std::chrono::duration<double> spent = Clock::now() - start;
  for (const std::optional<kelmarino::Analysed>& a : results) {
    if (a && *a) check += static_cast<double>((*a)->cap[0]);
  }
  return spent.count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: analysis_call DATAFILE [calls] [threads]\n");
    return 2;
  }
  const int32_t calls = argc > 2 ? std::atoi(argv[2]) : 2000;
  const kelmarino::GroupRead read = kelmarino::read_group(argv[1]);
  if (!read) {
    std::fprintf(stderr, "%s\n", read.issue().full.c_str());
    return 1;
  }
  const kelmarino::GroupValues values = kelmarino::values_of(*read);
  double check = 0.0;
  if (argc > 3) {
    const int32_t threads = std::max(1, std::atoi(argv[3]));
    const bool keep = argc <= 4 || std::string(argv[4]) != "drop";
    shared_run(values, calls, threads, keep, check);  // warm up
    std::vector<double> runs;
    for (int32_t r = 0; r < 7; ++r) {
      runs.push_back(shared_run(values, calls, threads, keep, check));
    }
    std::nth_element(runs.begin(), runs.begin() + 3, runs.end());
    std::printf("%.5f s (check %g)\n", runs[3], check);
    return 0;
  }
  double best = batch(values, calls / 10 + 1, check);  // warm up
  for (int32_t b = 0; b < 5; ++b) best = std::min(best, batch(values, calls, check));
  std::printf("%.4f ms per call (check %g)\n", best, check);
  return 0;
}
