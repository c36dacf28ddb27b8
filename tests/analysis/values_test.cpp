// A group given by its values: reals written as NumPy writes them and read back bit for bit, the
// values of every example analysed exactly as its data file, an edit checked by the reader, and a
// used-up group analysed in place without touching a group that shares its model.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

#include "analysis/analysis.hpp"
#include "analysis/result_bits.hpp"
#include "support/test_support.hpp"

namespace kelmarino {
namespace {

TEST(GroupValues, WritesRealsAsNumPyAndReadsThemBack) {
  // Expected texts: str(numpy.float32(value)) of NumPy 1.24.
  const struct {
    float value;
    const char* text;
  } rows[] = {{1.5f, "1.5"},
              {3000.0f, "3000.0"},
              {2.8e6f, "2800000.0"},
              {1e-5f, "1e-05"},
              {0.0001f, "1e-04"},
              {0.00012345f, "0.00012345"},
              {123456789.0f, "123456790.0"},
              {1e15f, "1000000000000000.0"},
              {9.999e15f, "9999000000000000.0"},
              {1e16f, "1e+16"},
              {-0.1644f, "-0.1644"},
              {1.0f / 3.0f, "0.33333334"},
              {-2.5e-7f, "-2.5e-07"},
              {3.4028235e38f, "3.4028235e+38"},
              {1e-45f, "1e-45"},
              {0.0f, "0.0"},
              {-0.0f, "-0.0"},
              {std::numeric_limits<float>::infinity(), "inf"},
              {std::nanf(""), "nan"}};
  for (const auto& row : rows) EXPECT_EQ(real_text(row.value), row.text) << row.text;
  std::mt19937 random(7);
  for (int i = 0; i < 20000; ++i) {
    const auto bits = static_cast<uint32_t>(random());
    float value;
    std::memcpy(&value, &bits, sizeof value);
    if (!std::isfinite(value)) continue;
    const float back = std::strtof(real_text(value).c_str(), nullptr);
    ASSERT_EQ(std::memcmp(&back, &value, sizeof value), 0) << real_text(value);
  }
}

TEST(GroupValues, AnalysesEveryExampleAsItsDataFile) {
  for (const char* name : {"worked", "worked-simulated", "pier", "rock"}) {
    SCOPED_TRACE(name);
    const GroupRead read = read_group(testing::example_path(std::string(name) + ".dat"));
    ASSERT_TRUE(read.group);
    const GroupRead built = build_group(values_of(*read.group));
    ASSERT_TRUE(built.group) << built.issue->full;
    const std::string expected = testing::result_bits(analyse(*read.group));
    EXPECT_EQ(testing::result_bits(analyse(*built.group)), expected);
    // Used up while another group shares the model: analysed on a copy, the other untouched.
    Group shared = *built.group;
    EXPECT_EQ(testing::result_bits(analyse(std::move(*built.group))), expected);
    EXPECT_EQ(testing::result_bits(analyse(shared)), expected);
    EXPECT_EQ(testing::result_bits(analyse(std::move(shared))), expected);
  }
}

TEST(GroupValues, ChecksAnEditLikeTheReader) {
  const GroupRead read = read_group(testing::example_path("pier.dat"));
  ASSERT_TRUE(read.group);
  const struct {
    void (*edit)(GroupValues&);
    const char* message;  // a part of the message
  } rows[] = {
      {[](GroupValues& g) { g.types[0].below[0].length = -1.0f; }, "HBL = -1"},
      {[](GroupValues& g) { g.types[1].tip = 0; }, "KSU = 0"},
      {[](GroupValues& g) { g.types[0].above[0].steps = 2147483647; }, "steps"},
      {[](GroupValues& g) { g.piles[2].x = std::numeric_limits<float>::infinity(); },
       "cannot read \"inf\""},
      {[](GroupValues& g) { g.piles[4].type = 9; }, "pile 5 takes type 9"},
  };
  for (const auto& row : rows) {
    GroupValues values = values_of(*read.group);
    row.edit(values);
    const GroupRead built = build_group(values);
    ASSERT_TRUE(built.issue) << row.message;
    EXPECT_NE(built.issue->full.find(row.message), std::string::npos) << built.issue->full;
  }
}

}  // namespace
}  // namespace kelmarino
