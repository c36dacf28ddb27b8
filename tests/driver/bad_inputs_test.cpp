// The corpus of bad data files: each one ends the run with its own message, exit status and
// output files written exactly as far as the fault, never with a signal or a sanitizer report.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.hpp"

namespace kelmarino {
namespace {

using testing::ProgramRun;

constexpr size_t BANNER_LINES = 34;

struct Expected {
  std::string file;
  int exit_status;
  std::string report;  // banner or worked
  std::string pos;     // number of lines, or worked
  std::string message;
};

// The standard error of a row: "\n" stands for a line end, "\\" for a backslash.
std::string unescaped(const std::string& text) {
  std::string plain;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      plain += text[++i] == 'n' ? '\n' : text[i];
    } else {
      plain += text[i];
    }
  }
  return plain + "\n";
}

std::vector<Expected> manifest() {
  std::ifstream in(testing::test_data_path("bad/expected.tsv"));
  std::vector<Expected> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    Expected row;
    std::string exit_status;
    std::getline(fields, row.file, '\t');
    std::getline(fields, exit_status, '\t');
    std::getline(fields, row.report, '\t');
    std::getline(fields, row.pos, '\t');
    std::getline(fields, row.message);
    row.exit_status = std::stoi(exit_status);
    rows.push_back(row);
  }
  return rows;
}

std::string first_lines(const std::string& text, size_t count) {
  size_t end = 0;
  for (size_t i = 0; i < count && end != std::string::npos; ++i) {
    end = text.find('\n', end);
    if (end != std::string::npos) ++end;
  }
  return end == std::string::npos ? text : text.substr(0, end);
}

size_t line_count(const std::string& text) {
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(BadInputs, EveryFileEndsWithItsOwnOutcome) {
  const std::vector<Expected> rows = manifest();
  ASSERT_GE(rows.size(), 30u);
  const ProgramRun worked = testing::run_program(
      {{"case.dat", testing::read_file(testing::example_path("worked.dat"))}}, "case");
  ASSERT_EQ(worked.exit_status, 0);
  const std::string worked_report = worked.file("case.out");

  for (const Expected& row : rows) {
    SCOPED_TRACE(row.file);
    const std::string data =
        testing::read_file(testing::test_data_path("bad/" + row.file + ".dat"));
    const ProgramRun run = testing::run_program({{"case.dat", data}}, "case");
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exit_status, row.exit_status);
    for (const char* sanitizer : {"AddressSanitizer", "LeakSanitizer", "runtime error:"}) {
      EXPECT_EQ(run.errors.find(sanitizer), std::string::npos) << run.errors;
    }

    const bool stopped = run.console.ends_with("Stop - Program terminated.\n");
    if (row.message.rfind("console:", 0) == 0) {
      EXPECT_EQ(run.errors, "");
      const std::string error_line = row.message.substr(8);
      EXPECT_NE(run.console.find(error_line), std::string::npos) << run.console;
      EXPECT_TRUE(stopped) << run.console;
    } else {
      EXPECT_EQ(run.errors, row.message == "-" ? "" : unescaped(row.message));
      // A run-time error ends the run at once; warnings let it go on to its stop.
      EXPECT_EQ(stopped, row.exit_status == 0) << run.console;
    }

    const std::string report = run.file("case.out");
    if (row.report == "worked") {
      EXPECT_EQ(report, worked_report);
      EXPECT_EQ(run.file("case.pos"), worked.file("case.pos"));
      continue;
    }
    EXPECT_EQ(row.report, "banner");
    EXPECT_EQ(line_count(report), BANNER_LINES);
    EXPECT_EQ(report, first_lines(worked_report, BANNER_LINES));
    EXPECT_EQ(line_count(run.file("case.pos")), static_cast<size_t>(std::stoi(row.pos)));
  }
}

}  // namespace
}  // namespace kelmarino
