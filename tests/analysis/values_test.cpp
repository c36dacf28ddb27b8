// A group given by its values: the values of every example analysed exactly as its data file, an
// edit checked by the reader, and a used-up group analysed in place without touching a group that
// shares its model.
#include <gtest/gtest.h>

#include <limits>

#include "analysis/analysis.hpp"
#include "analysis/result_bits.hpp"
#include "support/test_support.hpp"

namespace kelmarino {
namespace {

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
