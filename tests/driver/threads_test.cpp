// Two runs in one process: each run owns its state (group, analysis, fault context), so two runs
// in two threads give the same bytes as the same runs one after the other.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "driver/driver.hpp"
#include "support/test_support.hpp"

namespace kelmarino {
namespace {

struct Outputs {
  int32_t status = -1;
  std::string report;
  std::string pos;
};

// kelmarino on an example, named on the command line, in a folder of its own.
Outputs run_in_folder(const std::string& folder, const std::string& base) {
  std::filesystem::copy_file(testing::example_path(base + ".dat"), folder + "/" + base + ".dat");
  std::FILE* const nowhere = std::fopen("/dev/null", "w");
  Outputs out;
  out.status = run_kelmarino_on(folder + "/" + base, nowhere, nowhere, false);
  std::fclose(nowhere);
  out.report = testing::read_file(folder + "/" + base + ".out");
  out.pos = testing::read_file(folder + "/" + base + ".pos");
  return out;
}

TEST(Threads, TwoRunsInTwoThreadsMatchOneAfterTheOther) {
  const Outputs pier = run_in_folder(testing::temporary_folder(), "pier");
  const Outputs simulated = run_in_folder(testing::temporary_folder(), "worked-simulated");
  ASSERT_EQ(pier.status, 0);
  ASSERT_EQ(simulated.status, 0);
  for (int round = 0; round < 3; ++round) {
    const std::string one = testing::temporary_folder(), other = testing::temporary_folder();
    Outputs first, second;
    std::thread a([&] { first = run_in_folder(one, "pier"); });
    std::thread b([&] { second = run_in_folder(other, "worked-simulated"); });
    a.join();
    b.join();
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(first.report, pier.report);
    EXPECT_EQ(first.pos, pier.pos);
    EXPECT_EQ(second.report, simulated.report);
    EXPECT_EQ(second.pos, simulated.pos);
  }
}

}  // namespace
}  // namespace kelmarino
