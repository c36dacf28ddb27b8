// Two analyses in one process: each run owns its state (model, matrix cache, fault context,
// traps), so two runs in two threads give the same bytes as the same runs one after the other.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "driver/driver.hpp"
#include "support/test_support.hpp"

namespace kelmarino {
namespace {

// A text written through a FILE.
class Captured {
 public:
  Captured() : file_(open_memstream(&text_, &size_)) {}
  ~Captured() {
    if (file_ != nullptr) std::fclose(file_);
    std::free(text_);
  }
  Captured(const Captured&) = delete;
  Captured& operator=(const Captured&) = delete;
  std::FILE* file() const { return file_; }
  std::string text() {
    std::fflush(file_);
    return std::string(text_, size_);
  }

 private:
  char* text_ = nullptr;
  size_t size_ = 0;
  std::FILE* file_;
};

struct Outputs {
  std::string report;
  std::string pos;
  std::string error;
};

Outputs analyse(const std::string& base) {
  std::string text = testing::read_file(testing::example_path(base + ".dat"));
  std::FILE* in = fmemopen(text.data(), text.size(), "r");
  Captured console, report, pos;
  InChannel data{in, base + ".dat"};
  OutChannel console_channel{console.file(), "the console"};
  OutChannel report_channel{report.file(), base + ".out"};
  OutChannel pos_channel{pos.file(), base + ".pos"};
  const auto model = std::make_unique<Model>();
  Outputs out;
  try {
    const ArithmeticTraps traps;
    run_stages(data, console_channel, report_channel, pos_channel, *model);
  } catch (const RunError& error) {
    out.error = error.what();
  }
  std::fclose(in);
  out.report = report.text();
  out.pos = pos.text();
  return out;
}

TEST(Threads, TwoAnalysesInTwoThreadsMatchOneAfterTheOther) {
  const Outputs pier = analyse("pier");
  const Outputs simulated = analyse("worked-simulated");
  ASSERT_EQ(pier.error, "");
  ASSERT_EQ(simulated.error, "");
  for (int round = 0; round < 3; ++round) {
    Outputs first, second;
    std::thread a([&] { first = analyse("pier"); });
    std::thread b([&] { second = analyse("worked-simulated"); });
    a.join();
    b.join();
    EXPECT_EQ(first.report, pier.report);
    EXPECT_EQ(first.pos, pier.pos);
    EXPECT_EQ(second.report, simulated.report);
    EXPECT_EQ(second.pos, simulated.pos);
  }
}

}  // namespace
}  // namespace kelmarino
