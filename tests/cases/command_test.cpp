// The built kelmarino-cases on the shipped examples: its files against runs of the built kelmarino
// on the equivalent data files, the envelope of two opposite load cases, ties, the tables it
// writes and their independence from the thread count, its refusals and its command line.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cases/case_files.hpp"
#include "diagram/panels.hpp"
#include "diagram/title_block.hpp"
#include "input/input.hpp"
#include "plot/pos_file.hpp"
#include "tables/force_units.hpp"
#include "version/version.hpp"

namespace kelmarino::cases {
namespace {

using kelmarino::testing::read_file;
using kelmarino::testing::split_lines;
using testing::equivalent_data;
using testing::example_text;
using testing::scaled_points;

struct CasesRun {
  int exit_status = -1;
  std::string out;
  std::string errors;
  std::string folder;
  std::string file(const std::string& name) const { return read_file(folder + "/" + name); }
};

// Runs kelmarino-cases with the arguments in a new folder holding the files; `shell` comes before
// it in the shell that runs it (links, limits). The time of the run is 1970-01-01 00:00 UTC.
CasesRun run_cases(const std::map<std::string, std::string>& files, const std::string& arguments,
                   const std::string& shell = "") {
  CasesRun run;
  run.folder = kelmarino::testing::temporary_folder();
  for (const auto& [name, text] : files) {
    std::ofstream(run.folder + "/" + name, std::ios::binary) << text;
  }
  const std::string command = "cd " + run.folder + " && (export SOURCE_DATE_EPOCH=0; " + shell +
                              " " + KELMARINO_CASES_EXE + " " + arguments +
                              ") > out.txt 2> errors.txt";
  const int status = std::system(command.c_str());
  if (WIFEXITED(status)) run.exit_status = WEXITSTATUS(status);
  run.out = read_file(run.folder + "/out.txt");
  run.errors = read_file(run.folder + "/errors.txt");
  return run;
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::vector<std::string> cells(const std::string& line) {
  std::vector<std::string> all;
  std::stringstream in(line);
  for (std::string cell; std::getline(in, cell, ',');) all.push_back(cell);
  return all;
}

// The rows of a CSV file without its header, split into cells.
std::vector<std::vector<std::string>> rows(const std::string& text) {
  std::vector<std::vector<std::string>> all;
  const std::vector<std::string> lines = split_lines(text);
  for (size_t i = 1; i < lines.size(); ++i) all.push_back(cells(lines[i]));
  return all;
}

std::string printed_cell(const std::string& cell) {
  return printed(std::strtof(cell.c_str(), nullptr));
}

// The values a report prints after "KEY=" in order, for the keys given.
std::vector<std::string> report_values(const std::string& report, const std::string& key) {
  std::vector<std::string> values;
  for (size_t at = report.find(key + "="); at != std::string::npos;
       at = report.find(key + "=", at + 1)) {
    std::stringstream in(report.substr(at + key.size() + 1, 12));
    std::string value;
    in >> value;
    values.push_back(value);
  }
  return values;
}

const char* const CAP_KEYS[6] = {"UX", "UY", "UZ", "SX", "SY", "SZ"};
const char* const FORCE_KEYS[6] = {"NX", "NY", "NZ", "MX", "MY", "MZ"};

// The .pos values of quantity q of a pile.
const std::vector<float>& pos_values(const PosPile& pile, int32_t q) { return pile.values[q]; }

class BuiltCommand : public ::testing::TestWithParam<const char*> {};
INSTANTIATE_TEST_SUITE_P(Shipped, BuiltCommand,
                         ::testing::Values("pier", "worked-simulated", "worked", "rock"));

// Each combination run alone gives, in every file, the digits kelmarino prints for the data file
// that lists its scaled load points: cap.csv and heads.csv against the report, stations.csv
// (largest and smallest are then the one value) against the post-processing file, and its
// resultants against the analysis's.
TEST_P(BuiltCommand, EachCombinationPrintsWhatKelmarinoPrints) {
  const std::string base = GetParam();
  const std::string example = example_text(base);
  std::vector<LoadCase> cases = {LoadCase{DATA_CASE, {}}};
  for (LoadCase& c : read_load_cases(testing::loads_of(base), "loads", DATA_CASE)) {
    cases.push_back(std::move(c));
  }
  const std::string combinations_text = testing::combinations_of(base);
  const std::vector<std::string> lines = split_lines(combinations_text);
  const CombinationLoads combinations =
      read_combination_loads(combinations_text, {"case.dat", "loads", "combinations"}, cases);
  // The last three combinations of each example, none of which takes the data file's own load
  // case (left empty here: the in-process test covers it).
  for (size_t c = 0; c < 3; ++c) {
    const size_t row = combinations.names.size() - 1 - c;
    const std::span<const Term> terms = combinations.factors[row];
    SCOPED_TRACE(base + " " + std::string(combinations.names[row]));
    for (const Term& term : terms) ASSERT_NE(term.load_case, 0);
    const std::vector<LoadValues> points = scaled_points(terms, cases);
    ASSERT_FALSE(points.empty());
    const kelmarino::testing::ProgramRun reference =
        kelmarino::testing::run_on_data(equivalent_data(example, points));
    ASSERT_EQ(reference.exit_status, 0) << reference.errors;
    const CasesRun run = run_cases({{base + ".dat", example},
                                    {base + ".loads.csv", testing::loads_of(base)},
                                    {base + ".combinations.csv", lines[0] + "\n" + lines[row + 1]}},
                                   base);
    ASSERT_EQ(run.exit_status, 0) << run.errors;
    const std::string folder = base + "-cases/";
    const std::string report = reference.file("case.out");
    const std::vector<std::string> cap = rows(run.file(folder + "cap.csv"))[0];
    for (int32_t i = 0; i < 6; ++i) {
      EXPECT_EQ(printed_cell(cap[static_cast<size_t>(i + 1)]),
                report_values(report, CAP_KEYS[i])[0])
          << CAP_KEYS[i];
    }
    const auto heads = rows(run.file(folder + "heads.csv"));
    for (int32_t i = 0; i < 6; ++i) {
      const std::vector<std::string> du = report_values(report, CAP_KEYS[i]);
      const std::vector<std::string> ft = report_values(report, FORCE_KEYS[i]);
      ASSERT_EQ(du.size(), heads.size() + 1);  // the cap's first
      for (size_t g = 0; g < heads.size(); ++g) {
        EXPECT_EQ(printed_cell(heads[g][static_cast<size_t>(2 + i)]), du[g + 1]);
        EXPECT_EQ(printed_cell(heads[g][static_cast<size_t>(8 + i)]), ft[g]);
      }
    }
    // The equilibrium and the supports' reactions, to the bit those of the library's analysis.
    const GroupRead group = parse_group(equivalent_data(example, points), "case.dat");
    ASSERT_TRUE(group.has_value());
    const Analysed result = analyse(*group);
    ASSERT_TRUE(result.has_value());
    const std::vector<std::string> balance = rows(run.file(folder + "equilibrium.csv")).at(0);
    ASSERT_EQ(balance.size(), 14u);
    EXPECT_EQ(balance[0], combinations.names[row]);
    for (size_t i = 0; i < 6; ++i) {
      EXPECT_EQ(balance[1 + i], shortest(result->equilibrium.applied[i])) << i;
      EXPECT_EQ(balance[7 + i], shortest(result->equilibrium.resisted[i])) << i;
    }
    EXPECT_EQ(balance[13], shortest(result->equilibrium.residual));
    EXPECT_LE(result->equilibrium.residual, EQUILIBRIUM_TOLERANCE);
    if (!result->supports.empty()) {
      const std::vector<std::string> support = rows(run.file(folder + "supports.csv")).at(0);
      for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(support.at(2 + i), shortest(result->supports[0].R[i])) << i;
      }
    }
    const PosFile pos = read_pos(reference.file("case.pos"), "case.pos");
    const auto stations = rows(run.file(folder + "stations.csv"));
    size_t r = 0;
    for (const PosPile& pile : pos.piles) {
      for (int32_t k = 0; k < pile.NSTA; ++k, ++r) {
        ASSERT_LT(r, stations.size());
        const std::vector<std::string>& cells_k = stations[r];
        EXPECT_EQ(cells_k[0], std::to_string(pile.g));
        EXPECT_EQ(cells_k[1], std::to_string(k + 1));
        EXPECT_EQ(printed_cell(cells_k[2]), printed(pile.ZH[static_cast<size_t>(k)]));
        for (int32_t q = 0; q < QUANTITIES; ++q) {
          const std::string expected = printed(pos_values(pile, q)[static_cast<size_t>(k)]);
          EXPECT_EQ(printed_cell(cells_k[static_cast<size_t>(3 + 2 * q)]), expected);
          EXPECT_EQ(cells_k[static_cast<size_t>(3 + 2 * q)],
                    cells_k[static_cast<size_t>(4 + 2 * q)]);
        }
        const StationResultant& v = result->resultants_of(
            result->piles[static_cast<size_t>(pile.g - 1)])[static_cast<size_t>(k)];
        ASSERT_EQ(cells_k.size(), static_cast<size_t>(5 + 2 * QUANTITIES));
        EXPECT_EQ(cells_k[3 + 2 * QUANTITIES], shortest(v.V));
        EXPECT_EQ(cells_k[4 + 2 * QUANTITIES], shortest(v.M));
      }
    }
    EXPECT_EQ(r, stations.size());
  }
}

// Two load cases of opposite sign: every pile's compression comes from one, its tension from the
// other, with the same magnitude, at the pile top; the summary names them, and the first of the
// two for the largest moment and soil stress, which both reach.
TEST(Envelope, OppositeCasesGiveCompressionAndTension) {
  const CasesRun run = run_cases({{"w.dat", example_text("worked")},
                                  {"w.loads.csv",
                                   "case,x,y,FX,FY,FZ,MX,MY,MZ\n"
                                   "DOWN,0.4,-0.2,-300,-100,5000,0,-50,0\n"
                                   "UP,0.4,-0.2,300,100,-5000,0,50,0\n"}},
                                 "w.dat");
  ASSERT_EQ(run.exit_status, 0) << run.errors;
  const auto heads = rows(run.file("w-cases/heads.csv"));
  const auto envelope = rows(run.file("w-cases/envelope.csv"));
  ASSERT_EQ(heads.size(), 3u * 4u);  // the data file's own case, DOWN, UP; four piles
  ASSERT_EQ(envelope.size(), 4u * QUANTITIES);
  for (size_t g = 0; g < 4; ++g) {
    const std::vector<std::string>& down = heads[4 + g];
    const std::vector<std::string>& up = heads[8 + g];
    ASSERT_EQ(down[0], "DOWN");
    ASSERT_EQ(up[0], "UP");
    EXPECT_GT(std::strtof(down[10].c_str(), nullptr), 0.0f);
    EXPECT_EQ(up[10], "-" + down[10]);  // negated loads give exactly negated results
    const std::vector<std::string>& nz = envelope[g * QUANTITIES + NZ];
    ASSERT_EQ(nz[1], "NZ");
    EXPECT_EQ(nz[3], down[10]);
    EXPECT_EQ(nz[4], "DOWN");
    EXPECT_EQ(nz[5], "0");
    EXPECT_EQ(nz[6], up[10]);
    EXPECT_EQ(nz[7], "UP");
    EXPECT_EQ(nz[8], "0");
  }
  const std::vector<std::string> summary = split_lines(run.file("w-cases/summary.txt"));
  size_t piles = 0;
  for (const std::string& line : summary) {
    std::stringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    if (words.size() == 13 && words[0] == std::to_string(piles + 1)) {
      EXPECT_EQ(words[2], "DOWN") << line;
      EXPECT_EQ(words[4], "UP") << line;
      EXPECT_EQ(words[3], "-" + words[1]) << line;
      EXPECT_EQ(words[8], "DOWN") << line;  // equal moments and soil stresses: the first governs
      EXPECT_EQ(words[12], "DOWN") << line;
      ++piles;
    }
  }
  EXPECT_EQ(piles, 4u);
}

// Equal combinations: the first in file order governs every envelope; 37 combinations fill three
// batches of lanes, the last one partly; one thread or two give the same bytes. The tables name
// their columns and units and hold one row per item; the page shows every pile's diagrams.
// The title block of the page: the data file, its digest, the program and the names given, and
// the other input files with theirs.
TEST(CommandLine, TitleBlockNamesTheRunAndItsDataFile) {
  const std::string data = example_text("worked");
  const CasesRun run = run_cases({{"w.dat", data}, {"w.loads.csv", testing::WORKED_LOADS}},
                                 "--checker 'B. Checker' --revision 2 w");
  ASSERT_EQ(run.exit_status, 0) << run.errors;
  const std::string page = run.file("w-cases/index.html");
  for (const std::string& row : std::vector<std::string>{
           "Data file</th><td>w.dat", "SHA-256</th><td>" + sha256_hex(data),
           std::string("Program</th><td>kelmarino-cases ") + VERSION,
           "Run</th><td>1970-01-01 00:00 UTC", "Checker</th><td>B. Checker",
           "Revision</th><td>2</td>",
           "Input file</th><td>w.loads.csv, SHA-256 " + sha256_hex(testing::WORKED_LOADS)}) {
    EXPECT_NE(page.find("<tr><th>" + row), std::string::npos) << row;
  }
  // The few combinations' tables, written in parts, print whole as the short tables do.
  for (const char* table : {"factors", "cap"}) {
    EXPECT_NE(page.find("<table id=\"" + std::string(table) + "\" class=\"whole\">"),
              std::string::npos)
        << table;
  }
}

TEST(Envelope, FirstCombinationKeepsTiesAndThreadsChangeNothing) {
  std::string combinations = "combination,data,A,B\nFIRST,,1,1\n";
  for (int32_t c = 2; c <= 36; ++c) {
    combinations.append("C").append(std::to_string(c)).append(",0.5,");
    combinations.append(std::to_string(c % 5)).append(".25,-0.").append(std::to_string(c % 7));
    combinations.append("\n");
  }
  combinations += "SAME,0,1,1\n";
  const std::map<std::string, std::string> files = {{"w.dat", example_text("worked-simulated")},
                                                    {"w.loads.csv", testing::WORKED_LOADS},
                                                    {"w.combinations.csv", combinations}};
  const CasesRun one = run_cases(files, "--threads 1 w");
  const CasesRun two = run_cases(files, "--threads 2 w");
  ASSERT_EQ(one.exit_status, 0) << one.errors;
  ASSERT_EQ(two.exit_status, 0) << two.errors;
  EXPECT_EQ(one.out, "kelmarino-cases: wrote w-cases/\n");
  std::vector<std::string> names = {"cap.csv",     "heads.csv",  "envelope.csv", "stations.csv",
                                    "summary.txt", "index.html", "pile-01.svg",  "pile-04.svg"};
  for (const std::string& name : names) {
    EXPECT_EQ(one.file("w-cases/" + name), two.file("w-cases/" + name)) << name;
  }
  const auto cap = rows(one.file("w-cases/cap.csv"));
  ASSERT_EQ(cap.size(), 37u);
  EXPECT_EQ(std::vector<std::string>(cap[0].begin() + 1, cap[0].end()),
            std::vector<std::string>(cap[36].begin() + 1, cap[36].end()));
  const auto envelope = rows(one.file("w-cases/envelope.csv"));
  EXPECT_EQ(envelope.size(), 4u * QUANTITIES);
  for (const auto& row : envelope) {
    EXPECT_NE(row[4], "SAME") << row[0] << " " << row[1];
    EXPECT_NE(row[7], "SAME") << row[0] << " " << row[1];
  }
  EXPECT_EQ(rows(one.file("w-cases/heads.csv")).size(), 37u * 4u);
  std::string stations = "pile,station,Z (m)";
  for (int32_t q = 0; q < QUANTITIES; ++q) {
    for (const char* extreme : {"_max (", "_min ("}) {
      stations.append(",")
          .append(QUANTITY_WORDS[q].name)
          .append(extreme)
          .append(QUANTITY_WORDS[q].unit);
      stations.append(")");
    }
  }
  stations += ",V_max (t),M_max (t*m)";
  const std::pair<const char*, std::string> headers[] = {
      {"cap.csv", "combination,UX (m),UY (m),UZ (m),SX (rad),SY (rad),SZ (rad)"},
      {"heads.csv",
       "combination,pile,UX (m),UY (m),UZ (m),SX (rad),SY (rad),SZ (rad),NX (t),NY (t),NZ (t),"
       "MX (t*m),MY (t*m),MZ (t*m)"},
      {"envelope.csv",
       "pile,quantity,unit,max,max_combination,max_Z (m),min,min_combination,min_Z (m)"},
      {"stations.csv", stations}};
  for (const auto& [name, header] : headers) {
    EXPECT_EQ(split_lines(one.file(std::string("w-cases/") + name))[0], header) << name;
  }
  const std::string html = one.file("w-cases/index.html");
  for (int32_t g = 1; g <= 4; ++g) {
    EXPECT_NE(html.find("<img src=\"" + pile_file_name(g)), std::string::npos) << g;
    EXPECT_NE(one.file("w-cases/" + pile_file_name(g)).find("</svg>"), std::string::npos);
  }
}

// Refusals of the command: exit status 1, the message on standard error, no folder written.
TEST(Refusals, NothingIsWritten) {
  struct Case {
    std::map<std::string, std::string> files;
    std::string message;
    std::string arguments = "b";
  };
  const std::string unrestrained =
      read_file(kelmarino::testing::test_data_path("bad/unrestrained-foundation.dat"));
  const std::string worked = example_text("worked");
  const std::string no_loads = "* control\n2\n" + worked.substr(worked.find("*end"));
  std::string stepless = no_loads;  // no steps in the first below-ground segment
  stepless.replace(stepless.find(" 30.0 5 "), 8, " 30.0 0 ");
  // A sound analysis whose simulated pile, coupling UX and UZ, has reactions beyond any real.
  std::string coupled = example_text("pier");
  const auto replace = [&coupled](const std::string& from, const std::string& to) {
    coupled.replace(coupled.find(from), from.size(), to);
  };
  replace("2\n0.0 0.0\n150.0 20.0 5200.0 0.0 -900.0 0.0\n0.0 3.0\n0.0 80.0 1400.0 250.0 0.0 40.0",
          "1\n0.0 0.0\n1E34 0 0 0 0 0");
  replace("-3\n<-3>\n2.0E4 2.0E4 1.5E5 0.0 0.0 0.0",
          "3\n< 3>\n1E11 0 1E11 0 0 0\n0 0 0 0 0 0\n1E11 0 1E11 0 0 0\n0 0 0 0 0 0\n0 0 0 0 0 "
          "0\n0 0 0 0 0 0");
  const Case table[] = {
      {{}, "run-time error opening b.dat: No such file or directory"},
      {{{"b.dat", no_loads}},
       "run-time error opening b.loads.csv: No such file or directory (b.dat has no load case of "
       "its own: its JCTR is 2, not 1)"},
      {{{"b.dat", no_loads},
        {"b.loads.csv", testing::WORKED_LOADS},
        {"b.combinations.csv", "combination,data,A\nC1,1,1\n"}},
       "run-time error in b.combinations.csv, line 1, column 2: \"data\" is not a load case; the "
       "load cases are A, B"},
      // No loads file beside the data file: the combinations name cases there are none of.
      {{{"b.dat", example_text("worked")}, {"b.combinations.csv", "combination,data,A\nC1,1,1\n"}},
       "run-time error in b.combinations.csv, line 1, column 3: \"A\" is not a load case; the "
       "only load case is data, the data file's own: no other was given"},
      {{{"b.dat", stepless}, {"b.loads.csv", testing::WORKED_LOADS}},
       "run-time error in b.dat: pile 1 has NSG = 0 in below-ground segment 1; a step count must "
       "be 1 or more for the pile results of the combinations"},
      {{{"b.dat", example_text("worked")}, {"b.loads.csv", "case,x,y\nDL,0,0\n"}},
       "run-time error in b.loads.csv, line 1: the header must be case,x,y,FX,FY,FZ,MX,MY,MZ, "
       "not \"case,x,y\""},
      {{{"b.dat", unrestrained}, {"b.loads.csv", testing::WORKED_LOADS}},
       "run-time error in the solution of the cap displacements of combination data (are all "
       "six restrained?): invalid operation (such as 0/0, or a mathematics function given an "
       "argument outside its domain)"},
      {{{"b.dat", example_text("worked")}, {"b.combinations.csv", "combination,data\nX,1e38\n"}},
       "run-time error in the reduction of the loads of combination X: overflow (a result "
       "beyond the range of single-precision reals)"},
      // Loads within range whose cap displacements are not: the fault is the combination's own.
      {{{"b.dat", example_text("pier")},
        {"b.loads.csv", "case,x,y,FX,FY,FZ,MX,MY,MZ\nA,0,0,3e38,0,0,0,3e38,0\n"},
        {"b.combinations.csv", "combination,data,A\nY,1,0\nX,0,1\n"}},
       "run-time error in the solution of the cap displacements of combination X: overflow (a "
       "result beyond the range of single-precision reals)"},
      {{{"b.dat", coupled}},
       "run-time error in the support reactions and equilibrium of combination data: overflow (a "
       "result beyond the range of single-precision reals) and invalid operation (such as 0/0, or "
       "a mathematics function given an argument outside its domain)"},
      // Results within range in t, not in kN: no infinity written as a result.
      {{{"b.dat", example_text("worked")}, {"b.combinations.csv", "combination,data\nX,3e34\n"}},
       "run-time error in the values shown in kN: overflow (a value of 5.884e+38 is beyond the "
       "single-precision range; --units t gives them)",
       "--units kN b"},
  };
  for (const Case& c : table) {
    const CasesRun run = run_cases(c.files, c.arguments);
    EXPECT_EQ(run.exit_status, 1) << c.message;
    EXPECT_EQ(run.errors, c.message + "\n");
    EXPECT_FALSE(exists(run.folder + "/b-cases")) << c.message;
  }
}

// A decimal comma in the data file, a load case no combination uses and a combination of zero
// factors: warned about on standard error and at the top of the page, and the run goes on; the
// unused case has no column in the factor table.
TEST(Warnings, ReaderUnusedCaseAndZeroCombinationAreShownAndTheRunGoesOn) {
  std::string data = example_text("worked");
  data.replace(data.find("2000.0 0.0 0.0 0.0"), 18, "2000.0 0.0 0.0 0,0");
  const CasesRun run = run_cases({{"b.dat", data},
                                  {"b.loads.csv", testing::WORKED_LOADS},
                                  {"b.combinations.csv", "combination,data,A,B\nC1,1,1,\nC2,,,\n"}},
                                 "b");
  EXPECT_EQ(run.exit_status, 0) << run.errors;
  const std::string unused =
      "warning in b.loads.csv, line 4: no combination uses the load case B (its factor is 0 or "
      "empty in every row of b.combinations.csv)";
  const std::string zero =
      "warning in b.combinations.csv, line 3: the combination C2 has no factor other than 0: its "
      "results are zero";
  const std::string reader = "warning in b.dat, line 5: the rest of the line from";
  EXPECT_TRUE(run.errors.starts_with(reader)) << run.errors;
  EXPECT_TRUE(run.errors.ends_with(unused + "\n" + zero + "\n")) << run.errors;
  const std::string html = run.file("b-cases/index.html");
  const size_t first_table = html.find("<table", html.find("<table id=\"title-block\"") + 1);
  EXPECT_LT(html.find(reader), first_table);
  // The reader's warning keeps its data line and the caret under the value, in one paragraph of
  // a fixed-width font that wraps a long line.
  const std::string paragraph =
      "<p class=\"warning\" style=\"white-space: pre-wrap; font-family: monospace\"><strong>";
  const size_t warned = html.find(paragraph + reader);
  ASSERT_NE(warned, std::string::npos);
  EXPECT_LT(html.find("\n  100.0 50.0 2000.0 0.0 0.0 0,0\n", warned), html.find("</p>", warned));
  EXPECT_LT(html.find(unused), first_table);
  EXPECT_LT(html.find(zero), first_table);
  // The factor table has no column for B: a loads file of many cases makes no page as wide.
  const size_t factors = html.find("<table id=\"factors\"");
  EXPECT_EQ(html.substr(factors, html.find("</tr>", factors) - factors),
            "<table id=\"factors\" class=\"whole\">\n<thead><tr><th>combination</th>"
            "<th>data</th><th>A</th>");
  EXPECT_NE(html.find("a load case that none of them uses has no column"), std::string::npos);
}

// A data file without load points of its own (NACT = 0) makes no combination of zero loads,
// whose zeros would bound every envelope, and no warning that its case goes unused; a combination
// that takes it alone is warned of, and so is its own combination when it is the only case. A
// load point of the loads file far outside the plan of the
// piles is warned of, as the reader warns of the data file's.
TEST(Warnings, DataFileWithoutLoadPointsMakesNoCombination) {
  std::string data = example_text("worked");
  const std::string loads = "1\n1\n0.0 0.0\n100.0 50.0 2000.0 0.0 0.0 0.0\n";
  data.replace(data.find(loads), loads.size(), "1\n0\n");
  const std::string far = "B,0,-2500,,,1,,,\n";
  const CasesRun only = run_cases({{"b.dat", data}}, "b");
  ASSERT_EQ(only.exit_status, 0) << only.errors;
  EXPECT_EQ(only.errors,
            "warning in b.dat: the combination data takes only load cases without load points "
            "(data when NACT is 0): its results are zero\n");
  std::map<std::string, std::string> files = {{"b.dat", data},
                                              {"b.loads.csv", testing::WORKED_LOADS + far}};
  const std::string far_warning =
      "warning in b.loads.csv, line 7: the load point of the load case B at (0, -2500) lies far "
      "outside the plan of the piles (x -1.5 to 1.5, y -1.5 to 1.5); usual: within it or beside "
      "it (is a value in cm or mm?)\n";
  const CasesRun alone = run_cases(files, "b");
  ASSERT_EQ(alone.exit_status, 0) << alone.errors;
  EXPECT_EQ(alone.errors, far_warning);
  const auto cap = rows(alone.file("b-cases/cap.csv"));
  ASSERT_EQ(cap.size(), 2u);
  EXPECT_EQ(cap[0][0], "A");
  EXPECT_EQ(cap[1][0], "B");
  files["b.combinations.csv"] = "combination,data,A,B\nS,1,,\nU,,1,1\n";
  const CasesRun combined = run_cases(files, "b");
  ASSERT_EQ(combined.exit_status, 0) << combined.errors;
  EXPECT_EQ(combined.errors, far_warning +
                                 "warning in b.combinations.csv, line 2: the combination S takes "
                                 "only load cases without load points (data when NACT is 0): its "
                                 "results are zero\n");
}

// A count of one is worded as one: "1 combination", on the page, in the summary and the diagrams.
TEST(CasesPage, OneCombinationIsCountedInTheSingular) {
  const CasesRun run = run_cases({{"w.dat", example_text("worked")},
                                  {"w.loads.csv", testing::WORKED_LOADS},
                                  {"w.combinations.csv", "combination,A\nC1,1\n"}},
                                 "w");
  ASSERT_EQ(run.exit_status, 0) << run.errors;
  EXPECT_NE(run.file("w-cases/index.html").find("<p>1 combination of 3 load cases, 4 piles."),
            std::string::npos);
  EXPECT_NE(run.file("w-cases/summary.txt").find(": 1 combination of 3 load cases, 4 piles\n"),
            std::string::npos);
  EXPECT_NE(run.file("w-cases/pile-01.svg").find(">Envelopes over 1 combination: "),
            std::string::npos);
}

// The folder BASE-cases is made new and replaces the previous one only when whole; a run that
// fails leaves the previous folder as it was and nothing beside it, whatever stops it: a
// file-size limit, an input that is not a regular file, an address-space limit too small for the
// run (a run-time error, never an abort), standard output that cannot be written, a long refused
// loads file.
TEST(Refusals, PreviousFolderKeptUnlessTheNewOneIsWhole) {
  struct Case {
    const char* shell;
    const char* arguments;
    int status;
    std::string errors;  // the start of standard error
  };
  const Case table[] = {
      {"ln -s ../outside.txt w-cases/cap.csv;", "", 0, ""},
      {"trap '' XFSZ; ulimit -f 8;", "", 1, "run-time error writing w-cases/"},
      {"ln -s /dev/zero w.combinations.csv;", "", 1,
       "run-time error reading w.combinations.csv: a character device, not a regular file\n"},
      {"", ">/dev/full", 1,
       "run-time error writing the standard output: No space left on device\n"},
      // A warning that cannot be written (a load point far outside the plan): nothing written.
      {"echo FAR,9000,0,1,0,0,0,0,0 >> w.loads.csv;", "2>/dev/full", 1, ""},
#ifndef __SANITIZE_ADDRESS__  // the sanitizer reserves more address space than any limit here
      {"ulimit -v 18000;", "", 1, "run-time error: cannot start a thread: "},
      {"ulimit -v 16000;", "", 1, "run-time error"},
      // A loads file of 4 million short rows is refused at its first row, in little memory.
      {"{ echo case,x,y,FX,FY,FZ,MX,MY,MZ; yes a | head -n 4000000; } > w.loads.csv; "
       "ulimit -v 60000;",
       "", 1, "run-time error in w.loads.csv, line 2: the row has 1 cells, the header 9"},
#endif
  };
  for (const Case& c : table) {
    SCOPED_TRACE(c.shell + std::string(c.arguments));
    const std::string make = "mkdir w-cases && echo previous > w-cases/old.txt && ";
    const CasesRun run = run_cases({{"w.dat", example_text("worked")},
                                    {"w.loads.csv", testing::WORKED_LOADS},
                                    {"outside.txt", "kept"}},
                                   "w " + std::string(c.arguments), make + c.shell);
    EXPECT_EQ(run.exit_status, c.status) << run.errors;
    EXPECT_EQ(run.errors.substr(0, c.errors.size()), c.errors);
    EXPECT_EQ(run.errors.find('\n'),
              run.errors.empty() ? std::string::npos : run.errors.size() - 1);
    EXPECT_EQ(read_file(run.folder + "/outside.txt"), "kept");
    const bool replaced = c.status == 0;
    EXPECT_EQ(exists(run.folder + "/w-cases/old.txt"), !replaced);
    EXPECT_EQ(exists(run.folder + "/w-cases/summary.txt"), replaced);
    EXPECT_EQ(run.out.find("wrote") != std::string::npos, replaced) << run.out;
    for (const auto& entry : std::filesystem::directory_iterator(run.folder)) {
      EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << entry.path();
    }
  }
}

// In kN every force, moment and stress of the CSV files is the value in t times 9.80665 under its
// unit renamed; the displacements stay as they are.
TEST(CommandLine, UnitsKnScaleEveryForceAndNameIt) {
  const std::map<std::string, std::string> files = {
      {"pier.dat", example_text("pier")},
      {"pier.loads.csv", testing::loads_of("pier")},
      {"pier.combinations.csv", testing::combinations_of("pier")}};
  const CasesRun in_t = run_cases(files, "pier");
  const CasesRun in_kn = run_cases(files, "--units kN pier");
  ASSERT_EQ(in_t.exit_status, 0) << in_t.errors;
  ASSERT_EQ(in_kn.exit_status, 0) << in_kn.errors;
  for (const char* name : {"heads.csv", "equilibrium.csv", "stations.csv", "envelope.csv",
                           "design-sets.csv", "peaks.csv"}) {
    kelmarino::testing::expect_in_kn(name, in_t.file(std::string("pier-cases/") + name),
                                     in_kn.file(std::string("pier-cases/") + name));
  }
  EXPECT_EQ(in_kn.file("pier-cases/cap.csv"), in_t.file("pier-cases/cap.csv"));
  const std::string summary = in_kn.file("pier-cases/summary.txt");
  for (const char* unit : {"(t)", "(t*m)", "(t/m2)"}) {
    EXPECT_EQ(summary.find(unit), std::string::npos) << unit;
  }
  // Displacements in mm in every table of the summary and the page, the true peaks among them:
  // the word after each UX or UY of the summary, the cell after each of the page.
  std::set<std::string> units;
  std::istringstream words(in_t.file("pier-cases/summary.txt"));
  for (std::string word, last; words >> word; last = word) {
    if (last == "UX" || last == "UY") units.insert(word);
  }
  EXPECT_EQ(units, std::set<std::string>{"mm"});
  const std::string page = in_t.file("pier-cases/index.html");
  EXPECT_EQ(page.find("<td>UX</td><td>m</td>"), std::string::npos);
  EXPECT_NE(page.find("<td>UX</td><td>mm</td>"), std::string::npos);
}

TEST(CommandLine, HelpVersionUsageAndPaths) {
  const CasesRun version = run_cases({}, "--version");
  EXPECT_EQ(version.exit_status, 0);
  EXPECT_EQ(version.out, "kelmarino-cases " + std::string(VERSION) + "\n");
  const CasesRun help = run_cases({}, "--help");
  EXPECT_EQ(help.exit_status, 0);
  EXPECT_NE(help.out.find("usage: kelmarino-cases [options] [PATH/]BASE[.dat]"), std::string::npos);
  EXPECT_NE(help.out.find("Usage: kelmarino-cases [OPTIONS] BASE\n"), std::string::npos);
  for (const char* told : {"2 unless given", "Exit status: 0", "docs/cases.md"}) {
    EXPECT_NE(help.out.find(told), std::string::npos) << told;
  }
  const struct {
    const char* arguments;
    const char* message;
  } usage_errors[] = {
      {"", "BASE is required"},
      {"sub/", "the base name is empty"},
      {"'w\x1b[31m'", "the base name holds a control character"},
      {"--frobnicate w", "unknown option --frobnicate (kelmarino-cases --help lists the options)"},
      // The value of an unknown option is not taken for the base name.
      {"--pile-pages all pier",
       "unknown option --pile-pages (kelmarino-cases --help lists the options)"},
      {"w x", "The following argument was not expected: x"},
      // The count left out, the base name is not taken for it.
      {"--threads pier", "--threads: a count of threads from 1 to 64, not \"pier\""},
      {"--threads 0 w", "--threads: a count of threads from 1 to 64, not \"0\""},
  };
  for (const auto& c : usage_errors) {
    const CasesRun bad = run_cases({}, c.arguments);
    EXPECT_EQ(bad.exit_status, 2) << c.arguments;
    EXPECT_EQ(bad.errors, "kelmarino-cases: " + std::string(c.message) +
                              "\nusage: kelmarino-cases [options] [PATH/]BASE[.dat]\n");
  }
  // PATH/BASE.dat: the results go beside the data file.
  const std::string sub = kelmarino::testing::temporary_folder();
  std::ofstream(sub + "/w.dat") << example_text("worked");
  const CasesRun path = run_cases({}, sub + "/w.dat");
  EXPECT_EQ(path.exit_status, 0) << path.errors;
  EXPECT_EQ(path.out, "kelmarino-cases: wrote " + sub + "/w-cases/\n");
  EXPECT_EQ(split_lines(read_file(sub + "/w-cases/cap.csv")).size(), 2u);  // the data case
}

}  // namespace
// The progress line fits a terminal's width less one column, so that it never wraps: the text is
// cut first, on a whole UTF-8 character, and the count kept.
TEST(CommandLine, TheProgressLineFitsTheTerminal) {
  const struct {
    const char* text;
    int32_t done, total;
    size_t columns;
    const char* line;
  } table[] = {
      {"reading the input", 0, 0, 80, "kelmarino-cases: reading the input"},
      {"pile results and the files of every combination, combinations done:", 5, 100000, 80,
       "kelmarino-cases: pile results and the files of every combination, c 5 of 100000"},
      {"writing /tmp/caf\xC3\xA9-cases/", 0, 0, 35, "kelmarino-cases: writing /tmp/caf"},
      {"writing /tmp/caf\xC3\xA9-cases/", 0, 0, 36, "kelmarino-cases: writing /tmp/caf\xC3\xA9"},
      {"solving", 1, 2, 10, "kelmarino"},
  };
  for (const auto& row : table) {
    EXPECT_EQ(progress_line(row.text, row.done, row.total, row.columns), row.line);
  }
}

}  // namespace kelmarino::cases
