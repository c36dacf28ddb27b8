// The whole run through the built program: console transcript, report banner, file names,
// run-time errors and the shortened stiffness runs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "driver/driver.hpp"
#include "support/test_support.hpp"

namespace kelmarino {
namespace {

using testing::ProgramRun;
using testing::read_file;
using testing::run_on_data;
using testing::run_program;
using testing::split_lines;

std::string blanks(size_t n) { return std::string(n, ' '); }
std::string lines(const std::vector<std::string>& list) {
  std::string text;
  for (const std::string& line : list) text += line + "\n";
  return text;
}

// The contact lines of the welcome text and the report banner: where problems are reported.
// clang-format off
const std::vector<std::string> CONTACT = {"the KELMARINO project,",
                                          "as an issue in its repository,",
                                          "with the data file (.dat),",
                                          "the command that was run",
                                          "and the full console output",
                                          "(README.md, Reporting problems)."};
// clang-format on

// The console of a run that gets through the input and the analysis stages, built line by line
// from the layouts of the welcome text, the prompt and the stage messages.
std::string expected_console() {
  std::vector<std::string> out(7, "");  // (//////)
  out.insert(out.end(), {"", blanks(5) + "Welcome to use the KELMARINO program !!", ""});
  out.push_back(blanks(5) + "  This program is aimed to execute spatial statical analysis of pile");
  out.push_back(blanks(5) + "foundations of bridge substructures. If you have any questions about");
  out.insert(out.end(), {blanks(5) + "this program, please do not hesitate to write to :", ""});
  for (const std::string& contact : CONTACT) out.push_back(blanks(50) + contact);
  out.push_back("");  // the "/" after the last contact line
  out.insert(out.end(), {"", blanks(7) + "Please enter data filename:", ""});
  out.insert(out.end(), {blanks(7) + "*** To read input information ***", ""});
  for (const char* stage : {"deformation factors", "axis stiffness", "lateral stiffness"}) {
    out.insert(out.end(),
               {"", "", blanks(7) + "*** To calculate " + std::string(stage) + " of piles ***"});
  }
  out.insert(
      out.end(),
      {"", "", blanks(7) + "*** To execute entire pile foundation analysis ***    ", "", ""});
  out.push_back("Stop - Program terminated.");
  return lines(out);
}

const std::string WORKED = read_file(testing::example_path("worked.dat"));

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// Checks the banner at the head of a report: seven empty lines, the frame, the welcome lines.
void expect_banner(const std::string& report) {
  const std::vector<std::string> got = split_lines(report);
  ASSERT_GE(got.size(), 34u);
  for (size_t i = 0; i < 7; ++i) EXPECT_EQ(got[i], "") << "line " << i + 1;
  const std::string edge = blanks(7) + std::string(92, '+');
  const std::string empty_row = blanks(7) + "+" + blanks(90) + "+";
  for (size_t i = 7; i < 20; ++i) {
    const std::string& line = got[i];
    ASSERT_EQ(line.size(), 99u) << "frame line " << i - 6;
    EXPECT_EQ(line.substr(0, 8), blanks(7) + "+");
    EXPECT_EQ(line.back(), '+');
  }
  EXPECT_EQ(got[7], edge);
  EXPECT_EQ(got[19], edge);
  for (size_t i : {8u, 16u, 18u}) EXPECT_EQ(got[i], empty_row) << "frame line " << i - 6;
  bool art_starts_at_margin = false;
  for (size_t i = 9; i < 16; ++i) {
    const std::string art = got[i].substr(8, 90);
    EXPECT_EQ(art.substr(0, 4), blanks(4)) << "art row " << i - 8;
    EXPECT_EQ(art.find_first_not_of(" KELMARINO"), std::string::npos) << "art row " << i - 8;
    art_starts_at_margin = art_starts_at_margin || art[4] != ' ';
  }
  EXPECT_TRUE(art_starts_at_margin);
  EXPECT_EQ(got[17].substr(8, 30), blanks(30));
  EXPECT_NE(got[17].find("1.10"), std::string::npos);
  std::vector<std::string> welcome = {"", blanks(15) + "Welcome to use the KELMARINO program !!",
                                      ""};
  welcome.push_back(blanks(15) +
                    "This program is aimed to execute spatial statical ana lysis of pile");
  welcome.push_back(blanks(15) +
                    "foundations of bridge substructures. If you have any questions about");
  welcome.push_back(blanks(15) + "this program, please do not hesitate to write to :");
  welcome.push_back("");
  for (const std::string& contact : CONTACT) welcome.push_back(blanks(60) + contact);
  welcome.push_back("");
  for (size_t i = 0; i < welcome.size(); ++i) EXPECT_EQ(got[20 + i], welcome[i]);
}

TEST(Run, WorkedExampleConsoleTranscriptAndBanner) {
  const ProgramRun run = run_on_data(WORKED, "worked");
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.console, expected_console());
  expect_banner(run.file("worked.out"));
  EXPECT_FALSE(run.file("worked.pos").empty());
}

// The file name is the typed base name without its leading and trailing blanks: counting the
// non-blank characters instead would silently open the wrong file ("my pil.dat").
// A typed name: 20 characters after the blanks before it (5 blanks and a name of 20 were cut to
// 15 and named another file), without the blanks after it; where a longer one is cut.
TEST(Run, TypedNameDropsLeadingAndTrailingBlanksOnly) {
  const size_t whole = std::string::npos;
  const struct {
    std::string line, name;
    size_t cut;
  } rows[] = {
      {"worked", "worked", whole},
      {"my pile", "my pile", whole},
      {"  pier 3  ", "pier 3", whole},
      {"     abcdefghijklmnopqrst", "abcdefghijklmnopqrst", whole},
      {"   abcdefghijklmnopqrst   ", "abcdefghijklmnopqrst", whole},
      {" abcdefghijklmnopqrstu", "abcdefghijklmnopqrst", 21},
      {"abcdefghijklmnopq   x", "abcdefghijklmnopq", 20},
      {"", "", whole},
      {"    ", "", whole},
  };
  for (const auto& row : rows) {
    const TypedName typed = typed_base_name(row.line);
    EXPECT_EQ(typed.name, row.name) << "\"" << row.line << "\"";
    EXPECT_EQ(typed.cut, row.cut) << "\"" << row.line << "\"";
  }
}

TEST(Run, TypedNameIsCutAtTwentyCharactersAndStrippedOfBlanks) {
  struct Case {
    const char* typed;
    std::string base;
  } cases[] = {{"abcdefghijklmnopqrstuvw", "abcdefghijklmnopqrst"},
               {" pile", "pile"},
               {"     abcdefghijklmnopqrst", "abcdefghijklmnopqrst"},
               {"my pile ", "my pile"}};
  for (const Case& c : cases) {
    const ProgramRun run = run_program({{c.base + ".dat", WORKED}}, c.typed);
    EXPECT_EQ(run.exit_status, 0) << c.typed << ": " << run.errors;
    EXPECT_TRUE(run.has_file(c.base + ".out")) << c.typed;
    EXPECT_TRUE(run.has_file(c.base + ".pos")) << c.typed;
  }
}

TEST(Run, EarlierReportAndPosFileAreReplaced) {
  const ProgramRun fresh = run_on_data(WORKED, "worked");
  const std::string old_text(100000, 'x');
  const ProgramRun again = run_program(
      {{"worked.dat", WORKED}, {"worked.out", old_text}, {"worked.pos", old_text}}, "worked");
  EXPECT_EQ(again.exit_status, 0);
  EXPECT_EQ(again.file("worked.out"), fresh.file("worked.out"));
  EXPECT_EQ(again.file("worked.pos"), fresh.file("worked.pos"));
}

TEST(Run, MissingDataFileIsARunTimeErrorThatLeavesEarlierResults) {
  const ProgramRun run =
      run_program({{"worked.out", "old report\n"}, {"worked.pos", "old pos\n"}}, "worked");
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.errors.rfind("run-time error ", 0), 0u) << run.errors;
  EXPECT_NE(run.errors.find("worked.dat"), std::string::npos) << run.errors;
  EXPECT_EQ(run.console.find("Stop - Program terminated."), std::string::npos);
  EXPECT_EQ(run.file("worked.out"), "old report\n");
  EXPECT_EQ(run.file("worked.pos"), "old pos\n");
}

TEST(Run, EmptyConsoleInputIsARunTimeError) {
  const ProgramRun run = run_program({{"worked.dat", WORKED}}, nullptr);
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.errors.rfind("run-time error ", 0), 0u) << run.errors;
  EXPECT_NE(run.errors.find("end of file"), std::string::npos) << run.errors;
}

TEST(Run, InvalidOperationEndsTheRunAfterTheBannerUnlessThePrintStopsBefore) {
  // Piles without soil whose bottoms are not held: nothing holds the cap sideways, and the
  // solution of the cap displacements meets a zero pivot.
  const std::string unrestrained = replaced(replaced(WORKED, "0 1 0.0 0.0 1.0", "0 3 0.0 0.0 1.0"),
                                            "2 5.0 1.2 5000.0 30.0 5 10.0 1.2 8000.0 35.0 10", "0");
  const ProgramRun run = run_on_data(unrestrained, "zero");
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.errors.rfind("run-time error ", 0), 0u) << run.errors;
  EXPECT_NE(run.errors.find("invalid operation"), std::string::npos) << run.errors;
  EXPECT_EQ(run.console.find("Stop - Program terminated."), std::string::npos);
  expect_banner(run.file("zero.out"));
  // A print of a pile's stiffness does not go on to the foundation: it ends with the stop.
  const std::string print = replaced(unrestrained,
                                     "* control\n1\n1\n0.0 0.0\n"
                                     "100.0 50.0 2000.0 0.0 0.0 0.0\n",
                                     "* control\n3\n1\n");
  const ProgramRun printed = run_on_data(print, "zero");
  EXPECT_EQ(printed.exit_status, 0) << printed.errors;
  EXPECT_NE(printed.file("zero.out").find("*** Stiffness of the No. 1 pile ***"),
            std::string::npos);
}

// A report line of six E12.4 fields, read back as numbers.
std::vector<double> stiffness_row(const std::string& line) {
  std::vector<double> row;
  EXPECT_EQ(line.size(), 72u) << line;
  for (size_t at = 0; at + 12 <= line.size(); at += 12) {
    const std::string text = line.substr(at, 12);
    EXPECT_TRUE(testing::is_e_field(text)) << line;
    row.push_back(std::strtod(text.c_str(), nullptr));
  }
  return row;
}

// A JCTR = 2 or 3 run: the console ends with the foundation message and the stop, the .pos file
// stays empty, and the report ends with the header and the six rows of the stiffness matrix.
std::vector<std::vector<double>> stiffness_print(const std::string& control,
                                                 const std::string& header) {
  const ProgramRun run = run_on_data(replaced(WORKED,
                                              "* control\n1\n1\n0.0 0.0\n"
                                              "100.0 50.0 2000.0 0.0 0.0 0.0\n",
                                              "* control\n" + control),
                                     "short");
  EXPECT_EQ(run.exit_status, 0) << run.errors;
  EXPECT_EQ(run.console, expected_console());
  EXPECT_TRUE(run.has_file("short.pos"));
  EXPECT_EQ(run.file("short.pos"), "");
  const std::string report = run.file("short.out");
  expect_banner(report);
  const std::vector<std::string> got = split_lines(report);
  std::vector<std::vector<double>> matrix;
  if (got.size() != 34 + 10) {
    ADD_FAILURE() << "report of " << got.size() << " lines";
    return matrix;
  }
  EXPECT_EQ(got[34], "");
  EXPECT_EQ(got[35], "");
  EXPECT_EQ(got[36], blanks(7) + header);
  EXPECT_EQ(got[37], "");
  for (size_t i = 38; i < 44; ++i) matrix.push_back(stiffness_row(got[i]));
  return matrix;
}

TEST(Run, StiffnessPrintsEndTheRunAfterTheFoundationMessage) {
  const auto pile1 = stiffness_print("3\n1\n", "*** Stiffness of the No. 1 pile ***");
  const auto pile2 = stiffness_print("3\n2\n", "*** Stiffness of the No. 2 pile ***");
  const auto pile4 = stiffness_print("3\n4\n", "*** Stiffness of the No. 4 pile ***");
  const auto cap = stiffness_print("2\n", "*** Stiffness of the entire pile foundation ***");
  ASSERT_EQ(pile1.size(), 6u);
  ASSERT_EQ(pile4.size(), 6u);
  ASSERT_EQ(cap.size(), 6u);
  // Piles 1 and 2 share every property, so their head stiffness in pile axes is the same;
  // pile 4 stands 1 m further above ground, which softens it.
  EXPECT_EQ(pile1, pile2);
  EXPECT_LT(pile4[0][0], pile1[0][0]);
  // Vertical piles: the offset to the cap centre leaves the UX-NX and UZ-NZ terms alone, so the
  // foundation's are the sums over the four piles (to the four digits printed).
  for (size_t k : {0u, 2u}) {
    const double sum = 3.0 * pile1[k][k] + pile4[k][k];
    EXPECT_NEAR(cap[k][k], sum, 1e-3 * sum) << "diagonal term " << k + 1;
  }
}

}  // namespace
}  // namespace kelmarino
