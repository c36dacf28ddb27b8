// The analysis as a library: every bad data file gives, as a value, the message kelmarino prints
// for it; a group writes the files kelmarino writes; two threads give the sequential results.
#include "analysis/analysis.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "analysis/result_bits.hpp"
#include "support/test_support.hpp"

namespace kelmarino {
namespace {

// A row of the bad-file corpus: the file and the whole standard error of kelmarino on it ("\n"
// stands for a line end, "-" for nothing), or after "console:" its input error line.
struct BadFile {
  std::string file;
  std::string message;
};

std::vector<BadFile> bad_files() {
  std::ifstream in(testing::test_data_path("bad/expected.tsv"));
  std::vector<BadFile> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    const std::string& escaped = fields.back();
    std::string message;
    for (size_t i = 0; i < escaped.size(); ++i) {
      const bool escape = escaped[i] == '\\' && i + 1 < escaped.size();
      const char c = escape ? escaped[++i] : escaped[i];
      message += escape && c == 'n' ? '\n' : c;
    }
    rows.push_back({fields[0], message});
  }
  return rows;
}

TEST(Library, GivesEveryBadFileTheMessageOfTheProgramAsAValue) {
  const std::vector<BadFile> rows = bad_files();
  ASSERT_GE(rows.size(), 30u);
  for (const BadFile& row : rows) {
    SCOPED_TRACE(row.file);
    const std::string text = testing::read_file(
        testing::test_data_path(std::string("bad/").append(row.file).append(".dat")));
    const GroupRead read = parse_group(text, "case.dat");
    std::string got;
    const std::vector<std::string>& warnings = !read ? read.issue().warnings : read->warnings;
    for (const std::string& warning : warnings) got.append(warning).append("\n");
    if (!read && !read.issue().console.empty()) {
      got = "console:" + read.issue().message;  // the line printed among the console's lines
      EXPECT_NE(read.issue().console.find(read.issue().message + "\n"), std::string::npos);
    } else if (!read) {
      got += read.issue().full;
      const std::string_view refusal = "error in case.dat, line ";  // after any warnings
      const size_t at = row.message.find(refusal);
      if (at != std::string::npos) {  // the line is a value of its own too
        EXPECT_EQ(read.issue().line, std::stoll(row.message.substr(at + refusal.size())));
      }
    } else {
      const Analysed analysed = analyse(*read);
      if (!analysed) got += analysed.issue().full;
    }
    if (got.empty()) got.push_back('-');
    if (got.ends_with('\n')) got.pop_back();
    EXPECT_EQ(got, row.message);
  }
}

TEST(Library, ChecksAParsedFileForEveryMistakeWithItsLine) {
  const std::string worked = testing::read_file(testing::example_path("worked.dat"));
  // Four mistakes in the <0> block, which types 0 and -1 (pile 4) both take.
  const std::string text =
      testing::edited_lines(worked, {{15, "2 1 0.0 0.0 1.0"},
                                     {17, "2 5.0 -1.2 5000.0 95.0 5 10.0 1.2 8000.0 35.0 10"},
                                     {18, "10000.0 0 1.0"}});
  const Expected<ParsedFile> parsed = parse(text, "case.dat");
  ASSERT_TRUE(parsed.has_value()) << parsed.issue().full;
  const FileCheck found = check(*parsed);
  std::vector<std::string> got, expected;
  for (const Issue& issue : found.mistakes) {
    got.push_back(std::to_string(issue.line) + " " +
                  issue.message.substr(0, issue.message.find(';')));
  }
  for (const char* pile : {"pile 1 (type 0)", "pile 4 (type -1)"}) {
    for (const char* mistake :
         {"15 PILE has KSH = 2", "17 PILE has DOB = -1.2 in below-ground segment 1",
          "17 PILE has PFI = 95 in below-ground segment 1", "18 PILE has PEH = 0"}) {
      std::string row = mistake;
      expected.push_back(row.replace(row.find("PILE"), 4, pile));
    }
  }
  EXPECT_EQ(got, expected);
  EXPECT_TRUE(found.warnings.empty());  // none is given beside a mistake
  EXPECT_EQ(found.mistakes[1].text, "2 5.0 -1.2 5000.0 95.0 5 10.0 1.2 8000.0 35.0 10");
  EXPECT_EQ(found.mistakes[1].column, 6);
  // The group of the file stops at the first, as kelmarino does.
  EXPECT_EQ(parse_group(text, "case.dat").issue().full, found.mistakes.front().full);
  // Piles so far apart that the checks of the plan overflow: a fault of the input.
  const std::string apart = testing::edited_lines(worked, {{9, "-3E38 -1.5 3E38 -1.5"}});
  const FileCheck faulted = check(*parse(apart, "case.dat"));
  ASSERT_EQ(faulted.mistakes.size(), 1u);
  EXPECT_EQ(faulted.mistakes[0].full,
            "run-time error in the input: overflow (a result beyond the range of single-precision "
            "reals)");
  EXPECT_EQ(parse_group(apart, "case.dat").issue().full, faulted.mistakes[0].full);
}

TEST(Library, WritesTheFilesOfKelmarinoAndAnalysesInTwoThreads) {
  const char* const examples[] = {"worked", "worked-simulated", "pier", "rock"};
  const std::string folder = testing::temporary_folder();
  std::vector<Group> groups;
  for (const char* name : examples) {
    SCOPED_TRACE(name);
    const GroupRead read = read_group(testing::example_path(std::string(name).append(".dat")));
    ASSERT_TRUE(read.has_value()) << read.issue().full;
    groups.push_back(*read);
    const std::string base = std::string(folder).append("/").append(name);
    const Analysed analysed = analyse(*read);
    ASSERT_TRUE(analysed.has_value());
    ASSERT_FALSE(write_results(*read, *analysed, base));
    for (const char* extension : {".out", ".pos"}) {
      EXPECT_EQ(
          testing::read_file(base + extension),
          testing::read_file(testing::test_data_path("expected/" + std::string(name) + extension)))
          << extension;
    }
  }
  // The stiffness prints of a data file that asks for them: the foundation, and pile 1.
  const std::string worked = testing::read_file(testing::example_path("worked.dat"));
  const testing::LineEdits prints[] = {{{2, "2"}, {3, nullptr}, {4, nullptr}, {5, nullptr}},
                                       {{2, "3"}, {4, nullptr}, {5, nullptr}}};
  for (const testing::LineEdits& edits : prints) {
    const std::string text = testing::edited_lines(worked, edits);
    const GroupRead read = parse_group(text, "case.dat");
    ASSERT_TRUE(read.has_value());
    const Analysed analysed = analyse(*read);
    const std::string base = std::string(folder).append("/print");
    ASSERT_FALSE(write_results(*read, *analysed, base));
    EXPECT_EQ(testing::read_file(std::string(base).append(".out")),
              testing::run_on_data(text).file("case.out"));
  }
  // The stations and true peaks of every pile, bit for bit, analysed one after the other and in
  // two threads, there with the true peaks deferred and found after.
  const auto bits = testing::result_bits;
  const auto deferred = [](const Group& group) {
    Analysed analysed = analyse(group, {.true_peaks = TruePeaks::deferred});
    EXPECT_FALSE(find_true_peaks(*analysed));
    EXPECT_FALSE(analysed->piles[0].units.x);  // let go once found
    return testing::result_bits(analysed);
  };
  std::vector<std::string> sequential, parallel(groups.size());
  for (const Group& group : groups) sequential.push_back(bits(analyse(group)));
  std::thread other([&] {
    for (size_t i = 0; i < groups.size(); i += 2) parallel[i] = deferred(groups[i]);
  });
  for (size_t i = 1; i < groups.size(); i += 2) parallel[i] = deferred(groups[i]);
  other.join();
  EXPECT_EQ(parallel, sequential);
}

// The report and the post-processing file are written at once: a write that fails in either ends
// the call with its message, and one stream given for both takes them pile by pile.
TEST(Library, AFailedWriteOfEitherFileEndsTheCall) {
  const GroupRead read = read_group(testing::example_path("pier.dat"));
  ASSERT_TRUE(read.has_value());
  const Analysed analysed = analyse(*read);
  ASSERT_TRUE(analysed.has_value());
  const std::string full = "run-time error writing full: No space left on device";
  for (const bool report_fails : {true, false}) {
    const File device = open_file("/dev/full", "w");
    std::setvbuf(device.get(), nullptr, _IONBF, 0);  // every write reaches the device
    MemoryText other;
    OutChannel failing{device.get(), "full"}, taking{other.file(), "memory"};
    try {
      write_results(*read, *analysed, report_fails ? failing : taking,
                    report_fails ? taking : failing);
      ADD_FAILURE() << "no failure, the report failing: " << report_fails;
    } catch (const RunError& error) {
      EXPECT_EQ(error.what(), full);
    }
  }
  MemoryText both;
  OutChannel report{both.file(), "pier.out"}, pos{both.file(), "pier.pos"};
  write_results(*read, *analysed, report, pos);
  // The record line of pile 1 (pile 1 and its station count) follows the pile count and the 6
  // lines of the 16 piles' coordinates.
  std::istringstream pos_lines(testing::read_file(testing::test_data_path("expected/pier.pos")));
  std::string records_of_pile_1;
  for (int32_t i = 0; i < 8; ++i) std::getline(pos_lines, records_of_pile_1);
  const std::string text = both.text();
  EXPECT_LT(text.find("NO.  1 # PILE"), text.find(records_of_pile_1 + "\n"));
  EXPECT_LT(text.find(records_of_pile_1 + "\n"), text.find("NO.  2 # PILE"));
}

}  // namespace
}  // namespace kelmarino
