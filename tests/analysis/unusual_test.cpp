// Values that are allowed but unusual: each rule warns on a likely typing mistake in the pier and
// stays quiet on a value just inside its usual range; the shipped examples and a group at the
// capacities warn of nothing.
#include <gtest/gtest.h>

#include <string>

#include "analysis/analysis.hpp"
#include "support/test_support.hpp"

namespace kelmarino {
namespace {

// The pier's text with the first `from` replaced by `to`.
std::string pier_with(const std::string& from, const std::string& to) {
  std::string text = testing::read_file(testing::example_path("pier.dat"));
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(UnusualValues, WarnOfLikelyMistakesOnly) {
  const struct {
    const char* from;
    const char* to;
    const char* warning;  // the start of the first warning, "" for none
  } rows[] = {
      {"0.0 3.0\n", "450 3.0\n",
       "warning in pier.dat, line 6: load point 2 at (450, 3) lies far outside the plan"},
      {"0.0 3.0\n", "14.4 3.0\n", ""},
      {"-4.5  1.5   -1.5  1.5", "-4.5  1.5   -4.5  1.5",
       "warning in pier.dat, line 13: piles 9 and 10 stand at (-4.5, 1.5); usual: one pile head"},
      {"-4.5  1.5   -1.5  1.5", "-4.5  1.5   -4.4  1.5", ""},
      {"0 2 0.0 0.0 1.0", "0 5 0.0 0.0 1.0",
       "warning in pier.dat, line 23: pile 1 (type -1) has KSU = 5, which acts as 3"},
      {"0 2 0.0 0.0 1.0", "0 4 0.0 0.0 1.0", ""},
      {"30000.0 2.8E6 1.0", "30000.0 2.8E6 10",
       "warning in pier.dat, line 26: pile 1 (type -1) has PKE = 10; usual: at most 1"},
      {"30000.0 2.8E6 1.0", "30000.0 2.8E6 0.8", ""},
      {"30000.0 2.8E6 1.0", "30000.0 2.8E9 1.0",
       "warning in pier.dat, line 26: pile 1 (type -1) has PEH = 2.8e+09; usual: 1e6 to 2.5e8"},
      {"30000.0 2.8E6 1.0", "30000.0 2.8E5 1.0", "warning in pier.dat, line 26: pile 1"},
      {"30000.0 2.8E6 1.0", "30000.0 2.1E8 1.0", ""},
      {" 3000.0 20.0", " 3000000.0 20.0",
       "warning in pier.dat, line 25: pile 1 (type -1) has PMT = 3e+06 in below-ground segment 1"},
      {" 3000.0 20.0", " 3.0 20.0", "warning in pier.dat, line 25: pile 1 (type -1) has PMT = 3 "},
      {" 3000.0 20.0", " 60.0 20.0", ""},
      {" 3000.0 20.0", " 3000.0 0.35",
       "warning in pier.dat, line 25: pile 1 (type -1) has PFI = 0.35 in below-ground segment 1; "
       "usual: 5 to 45 degrees (is it in radians?)"},
      {" 3000.0 20.0", " 3000.0 2.0",
       "warning in pier.dat, line 25: pile 1 (type -1) has PFI = 2 "},
      {" 3000.0 20.0", " 3000.0 5.0", ""},
      {"2 1.5 1.5 3", "2 1.5 12 3",
       "warning in pier.dat, line 24: pile 1 (type -1) has DOF = 12 in above-ground segment 1; "
       "usual: below 5 m"},
      {"2 1.5 1.5 3", "2 1.5 4.5 3", ""},
      {"2 1.5 1.5 3", "2 1500 1.5 3",
       "warning in pier.dat, line 24: pile 1 (type -1) has HFR = 1500 in above-ground segment 1; "
       "usual: below 200 m (is it in millimetres?)"},
      {"2 1.5 1.5 3", "2 150 1.5 3", ""},
      {"-4.5  4.5   -1.5  4.5", "-4500  4500   -1.5  4.5",
       "warning in pier.dat, line 14: pile 13 stands at (-4500, 4500); usual: within 200 m"},
      {"-4.5  4.5   -1.5  4.5", "-140  140   -1.5  4.5", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.to);
    const GroupRead read = parse_group(pier_with(row.from, row.to), "pier.dat");
    const std::vector<std::string>& warnings = read ? read->warnings : read.issue().warnings;
    if (std::string(row.warning).empty()) {
      EXPECT_TRUE(read.has_value());
      EXPECT_TRUE(warnings.empty()) << warnings.front();
    } else {
      ASSERT_FALSE(warnings.empty());
      EXPECT_EQ(warnings.front().substr(0, std::string(row.warning).size()), row.warning);
    }
  }
  for (const char* file : {"pier.dat", "rock.dat", "worked.dat", "worked-simulated.dat"}) {
    const GroupRead read = read_group(testing::example_path(file));
    ASSERT_TRUE(read.has_value()) << file;
    EXPECT_TRUE(read->warnings.empty()) << read->warnings.front();
  }
  const GroupRead capacity = read_group(testing::test_data_path("capacity.dat"));
  ASSERT_TRUE(capacity.has_value());
  EXPECT_TRUE(capacity->warnings.empty()) << capacity->warnings.front();
}

}  // namespace
}  // namespace kelmarino
