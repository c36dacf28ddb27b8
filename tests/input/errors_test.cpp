// Data files the reader stops on, run through the built program: the two input errors with their
// console lines, the stop message and exit status 1; the files refused by a run-time error that
// names the file, the line, the value and its limit; and a value that cannot be read.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "results/results.hpp"
#include "support/test_support.hpp"

namespace kelmarino {
namespace {

using testing::ProgramRun;
using testing::run_on_data;

// Edits of the worked example: line number -> replacement (lines split by '\n'), or nullptr to
// drop the line.
using Edits = testing::LineEdits;

std::string data_text(const Edits& edits) {
  return testing::edited_lines(testing::worked_example(), edits);
}

// The report banner, as the driver writes it before the reader starts.
std::string banner_text() {
  char* buffer = nullptr;
  size_t size = 0;
  std::FILE* file = open_memstream(&buffer, &size);
  OutChannel report{file, "case.out"};
  write_banner(report);
  std::fclose(file);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

const char kReadMessage[] = "       *** To read input information ***\n\n";
const char kStop[] = "Stop - Program terminated.\n";

TEST(InputErrors, WriteTheirLinesThenStopWithStatusOne) {
  const char* const zero = "\n\n\nError:<0>\n\n";
  const struct Case {
    const char* name;
    Edits edits;
    const char* lines;  // what the console shows between the read message and the stop message
  } cases[] = {
      {"CheckLineWithLeadingBlank", {{14, " <0>"}}, zero},
      {"CheckLineMisspelt", {{14, "<O>"}}, zero},
      {"KeywordBlockNoPileCarries", {{19, "<-2>"}}, "Error: <-2>\n"},
      {"EmptyKeywordBlockNoPileCarries",
       {{19, "<-3>"}, {20, "0"}, {21, nullptr}, {22, nullptr}},
       "Error: <-3>\n"},
      {"UnknownKey", {{21, "HFX= 1 3.0"}}, "Error: <-1>\n"},
      {"LowerCaseKey", {{22, "nsf= 1 6"}}, "Error: <-1>\n"},
  };
  const std::string banner = banner_text();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ProgramRun run = run_on_data(data_text(c.edits));
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_TRUE(ends_with(run.console, std::string(kReadMessage) + c.lines + kStop)) << run.console;
    EXPECT_EQ(run.errors, "");
    EXPECT_EQ(run.file("case.out"), banner);
  }
}

TEST(RefusedFiles, RunTimeErrorNamesLineValueAndLimit) {
  const struct Case {
    const char* name;
    Edits edits;
    int line;
    const char* fragment;
  } cases[] = {
      {"NoPiles", {{8, "0 0"}}, 8, "PNUM = 0 is outside the range 1 to 200"},
      {"PilesAboveCapacity", {{8, "201 0"}}, 8, "PNUM = 201 is outside the range 1 to 200"},
      {"SimulatedAboveCapacity", {{8, "4 21"}}, 8, "SNUM = 21 is outside the range 0 to 20"},
      {"SimulatedNegative", {{8, "4 -1"}}, 8, "SNUM = -1 is outside the range 0 to 20"},
      {"BlocksAboveCapacity",
       {{8, "190 11"}},
       8,
       "PNUM + SNUM = 201 is outside the range 1 to 200"},
      {"LoadPointsAboveCapacity", {{3, "11"}}, 3, "NACT = 11 is outside the range 0 to 10"},
      {"AboveGroundSegmentsAboveCapacity",
       {{16, "16 48*1"}},
       16,
       "pile 1 (type 0) has NFR = 16, outside the range 0 to 15"},
      {"BelowGroundSegmentsAboveCapacity",
       {{17, "16 80*1"}},
       17,
       "pile 1 (type 0) has NBL = 16, outside the range 0 to 15"},
      {"SegmentCountByKey",
       {{21, "NFR= 0 16"}},
       21,
       "pile 4 (type -1) has NFR = 16, outside the range 0 to 15"},
      {"NegativeSegmentCountByKey",
       {{21, "NBL= 0 -1"}},
       21,
       "pile 4 (type -1) has NBL = -1, outside the range 0 to 15"},
      {"KeyLinesAboveCapacity", {{20, "101"}}, 20, "NKEY = 101 is outside the range 0 to 100"},
      {"AxisIndexFour",
       {{21, "AGL= 4 1.0"}},
       21,
       "the index 4 of AGL= is outside the range 1 to 3"},
      {"SegmentIndexSixteen",
       {{21, "HFR= 16 3.0"}},
       21,
       "the index 16 of HFR= is outside the range 1 to 15"},
      {"SegmentIndexZero",
       {{22, "NSG= 0 6"}},
       22,
       "the index 0 of NSG= is outside the range 1 to 15"},
      // 1 + 185 + 5 + 10 = 201 stations on pile 4.
      {"StationsAboveCapacity",
       {{22, "NSF= 1 185"}},
       22,
       "pile 4 (type -1) has 201 stations (1 + the steps NSF and NSG); at most 200 are allowed"},
      {"InoAboveThePiles",
       {{2, "3"}, {3, "5"}, {4, nullptr}, {5, nullptr}},
       3,
       "INO = 5 names no pile: the piles are numbered 1 to 4"},
      {"InoZero",
       {{2, "3"}, {3, "0"}, {4, nullptr}, {5, nullptr}},
       3,
       "INO = 0 names no pile: the piles are numbered 1 to 4"},
      {"SupportCodeZero", {{15, "0 0 0.0 0.0 1.0"}}, 15, "pile 1 (type 0) has KSU = 0;"},
      // The refused value stands on line 21; the later key on line 22 sets another value.
      {"SupportCodeZeroByKey",
       {{21, "KSU= 0 0"}, {22, "AGL= 3 1.0"}},
       21,
       "pile 4 (type -1) has KSU = 0;"},
      {"SectionCodeTwo", {{15, "2 1 0.0 0.0 1.0"}}, 15, "pile 1 (type 0) has KSH = 2;"},
      {"SectionCodeTwoByKey", {{21, "KSH= 0 2.5"}}, 21, "pile 4 (type -1) has KSH = 2;"},
      {"AxisAlongX", {{15, "0 1 1.0 0.0 0.0"}}, 15, "pile 1 (type 0) has AGL(2) = AGL(3) = 0"},
      // The axis is last set by the line of the second key.
      {"AxisAlongXByKeys",
       {{21, "AGL= 3 0.0"}, {22, "AGL= 1 1.0"}},
       22,
       "pile 4 (type -1) has AGL(2) = AGL(3) = 0"},
      {"FileEndsEarly",
       {{19, nullptr},
        {20, nullptr},
        {21, nullptr},
        {22, nullptr},
        {23, nullptr},
        {24, nullptr},
        {25, nullptr}},
       19,
       "end of file where the tag line of block 1 of 1 after the <0> block of the type section "
       "was expected"},
      // The caret stands under the number, on its own line of a read of several.
      {"TypeNumberOnAnEarlierLine",
       {{13, "0 100\n0 -1"}},
       13,
       "pile 2 has the type number 100, which no block tag can name"},
      // Values beyond what the counts read would be lost without a word.
      {"LoadPointBeyondNACT",
       {{5, "100.0 50.0 2000.0 0.0 0.0 0.0\n0.0 0.0"}},
       6,
       "values stand where the end line of the control section belongs: the lines before it hold "
       "more values than their counts read (NACT = 1)"},
      {"TagLineLeftOut",
       {{19, nullptr}},
       19,
       "the tag line of block 1 of 1 after the <0> block of the type section holds no type number "
       "in its columns 2 and 3"},
      {"TypeNumberOfTheOnePileLeftOut",
       {{8, "1 0"}, {9, "-1.5 -1.5"}, {10, nullptr}, {13, nullptr}},
       12,
       "expected 1 type number, one per pile, found 0 before the line \"<0>\""},
      {"ShortTagWhereTheEndLineBelongs",
       {{23, "<-3\n*end"}},
       23,
       "the block tagged <-3> is one more than the section reads"},
  };
  const std::string banner = banner_text();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string data = data_text(c.edits);
    const ProgramRun run = run_on_data(data);
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exit_status, 1);
    const std::string start = "run-time error in case.dat, line " + std::to_string(c.line) + ": ";
    EXPECT_EQ(run.errors.rfind(start, 0), 0u) << run.errors;
    EXPECT_NE(run.errors.find(c.fragment), std::string::npos) << run.errors;
    // The line that set the value is echoed under the message, with a caret under the value;
    // past the end of the file there is no line to echo.
    const std::vector<std::string> data_lines = testing::split_lines(data);
    const std::vector<std::string> message = testing::split_lines(run.errors);
    if (static_cast<size_t>(c.line) <= data_lines.size()) {
      ASSERT_EQ(message.size(), 3u) << run.errors;
      EXPECT_EQ(message[1], "  " + data_lines[static_cast<size_t>(c.line - 1)]);
      EXPECT_EQ(message[2].find_first_not_of(' '), message[2].size() - 1) << run.errors;
    } else {
      EXPECT_EQ(message.size(), 1u) << run.errors;
    }
    // A run-time error ends the run at once: no stop message, the report holds its banner.
    EXPECT_TRUE(ends_with(run.console, kReadMessage)) << run.console;
    EXPECT_EQ(run.file("case.out"), banner);
  }
}

TEST(RefusedFiles, UnreadableValueEchoesItsLineWithACaret) {
  const ProgramRun run =
      run_on_data(data_text({{17, "2 5.0 1.2x 5000.0 30.0 5 10.0 1.2 8000.0 35.0 10"}}));
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.errors,
            "run-time error in case.dat, line 17: cannot read \"1.2x\" as a real number\n"
            "  2 5.0 1.2x 5000.0 30.0 5 10.0 1.2 8000.0 35.0 10\n"
            "        ^\n");
  EXPECT_TRUE(ends_with(run.console, kReadMessage)) << run.console;
}

}  // namespace
}  // namespace kelmarino
