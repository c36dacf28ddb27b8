// Every shipped example against its expected report, post-processing file and console transcript,
// byte for byte: a changed order of operations, a changed layout or a changed message shows here.
// scripts/regenerate-expected rewrites the expected files when a change is intended.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.hpp"

namespace kelmarino {
namespace {

using testing::read_file;

class ShippedExample : public ::testing::TestWithParam<const char*> {};

TEST_P(ShippedExample, MatchesExpectedOutputByteForByte) {
  const std::string base = GetParam();
  const testing::ProgramRun run =
      testing::run_on_data(read_file(testing::example_path(base + ".dat")), base);
  const std::string expected = testing::test_data_path("expected/" + base);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.console + run.errors, read_file(expected + ".console"));
  // Compared as whole texts, but reported by first differing line to keep failures readable.
  for (const char* extension : {".out", ".pos"}) {
    const auto got = testing::split_lines(run.file(base + extension));
    const auto want = testing::split_lines(read_file(expected + extension));
    ASSERT_EQ(got.size(), want.size()) << base << extension;
    for (size_t i = 0; i < got.size(); ++i) {
      ASSERT_EQ(got[i], want[i]) << base << extension << " line " << i + 1;
    }
    EXPECT_EQ(run.file(base + extension), read_file(expected + extension));
  }
}

INSTANTIATE_TEST_SUITE_P(Examples, ShippedExample,
                         ::testing::Values("worked", "worked-simulated", "pier", "rock"),
                         [](const ::testing::TestParamInfo<const char*>& example) {
                           std::string name = example.param;
                           for (char& c : name) c = c == '-' ? '_' : c;
                           return name;
                         });

}  // namespace
}  // namespace kelmarino
