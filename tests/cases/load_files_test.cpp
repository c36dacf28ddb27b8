// The loads file and the combinations file: the CSV forms spreadsheets write, and the refusal of
// every class of mistake with its whole message.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "cases/cases.hpp"

namespace kelmarino::cases {
namespace {

const char* const HEADER = "case,x,y,FX,FY,FZ,MX,MY,MZ\n";

std::string refusal_of_loads(const std::string& text, const std::string& taken = "") {
  try {
    read_load_cases(text, "b.loads.csv", taken);
  } catch (const RunError& error) {
    return error.what();
  }
  return "accepted";
}

std::vector<LoadCase> two_cases() {
  return read_load_cases(std::string(HEADER) + "DL,0,0,0,0,1,0,0,0\nLL,0,0,0,0,2,0,0,0\n", "b", "");
}

const InputNames FILES{"b.dat", "b.loads.csv", "b.combinations.csv"};

std::string refusal_of_combinations(const std::string& text) {
  try {
    read_combination_loads(text, FILES, two_cases());
  } catch (const RunError& error) {
    return error.what();
  }
  return "accepted";
}

TEST(LoadsFile, ReadsSpreadsheetForms) {
  // A byte-order mark, CRLF line ends, quoted cells, blanks around cells, units in the header,
  // an empty cell (0), empty rows, and the rows of one case apart from each other.
  const std::string text =
      "\xEF\xBB\xBF\"case\",x (m),y (m),FX (t),FY,FZ,MX (t*m),MY,MZ\r\n"
      "DL, 1.5 ,-2,10,,3e2,\"4.0\",5,6\r\n"
      ",,,,,,,,\r\n"
      "\r\n"
      "\"W.1-a\",0,0,0,0,0,0,0,-7.25E-1\r\n"
      "DL,0,0,+1,0,0,0,0,0";
  const std::vector<LoadCase> cases = read_load_cases(text, "b.loads.csv", "data");
  ASSERT_EQ(cases.size(), 2u);
  EXPECT_EQ(cases[0].name, "DL");
  ASSERT_EQ(cases[0].points.size(), 2u);
  const LoadValues& p = cases[0].points[0];
  EXPECT_EQ(p.x, 1.5f);
  EXPECT_EQ(p.y, -2.0f);
  const float act[6] = {10.0f, 0.0f, 300.0f, 4.0f, 5.0f, 6.0f};
  for (int32_t i = 0; i < 6; ++i) EXPECT_EQ(p.act[i], act[i]) << i;
  EXPECT_EQ(cases[0].points[1].act[0], 1.0f);
  EXPECT_EQ(cases[1].name, "W.1-a");
  EXPECT_EQ(cases[1].points[0].act[5], -0.725f);
}

TEST(LoadsFile, RefusesEveryMistakeWithFileLineColumnAndText) {
  struct Case {
    std::string text;
    std::string message;
  };
  const std::string at = "run-time error in b.loads.csv, line ";
  const Case table[] = {
      {"", at + "1: the file is empty; its header must be case,x,y,FX,FY,FZ,MX,MY,MZ"},
      {"\xEF\xBB\xBF\r\n",
       at + "1: the file is empty; its header must be case,x,y,FX,FY,FZ,MX,MY,MZ"},
      {HEADER, at + "2: the file has a header and no rows after it"},
      {"case,x,y,FX,FY,FZ,MX,MY\nDL,0,0,0,0,0,0,0\n",
       at + "1: the header must be case,x,y,FX,FY,FZ,MX,MY,MZ, not \"case,x,y,FX,FY,FZ,MX,MY\""},
      // The first mistake in the file's order, as the rows are read one by one.
      {"case,x,y,FX,FY,FZ,MX,MY\nDL,0,0,0,0,\"1\n",
       at + "1: the header must be case,x,y,FX,FY,FZ,MX,MY,MZ, not \"case,x,y,FX,FY,FZ,MX,MY\""},
      {"case\tx\ty\tFX\tFY\tFZ\tMX\tMY\tMZ\nDL\t0\t0\t0\t0\t0\t0\t0\t0\n",
       at + "1: the cells of the header are separated by tabs, not commas: save the file as "
            "comma-separated values"},
      {"case,x,y,Fx,FY,FZ,MX,MY,MZ\nDL,0,0,0,0,0,0,0,0\n",
       at + "1, column 4: expected FX, found \"Fx\" (the header is case,x,y,FX,FY,FZ,MX,MY,MZ)"},
      {"case,x (mm),y,FX,FY,FZ,MX,MY,MZ\nDL,0,0,0,0,0,0,0,0\n",
       at + "1, column 2: expected x (m), found \"x (mm)\": the loads are in the units of the data "
            "file, m and t (the header is case,x,y,FX,FY,FZ,MX,MY,MZ)"},
      {"case,x,y,FX ( t),FY,FZ,MX,MY,MZ\nDL,0,0,0,0,0,0,0,0\n",
       at + "1, column 4: expected FX, found \"FX ( t)\" (the header is "
            "case,x,y,FX,FY,FZ,MX,MY,MZ)"},
      {std::string(HEADER) + "DL,0,0,0,0,0,0,0\n",
       at + "2: the row has 8 cells, the header 9: \"DL,0,0,0,0,0,0,0\""},
      {std::string(HEADER) + "DL,0,0,0,0,0,0,0,0,1\n",
       at + "2: the row has 10 cells, the header 9: \"DL,0,0,0,0,0,0,0,0,1\""},
      {std::string(HEADER) + "DL,0,0,0,0,12OO,0,0,0\n",
       at + "2, column FZ: cannot read \"12OO\" as a number"},
      {std::string(HEADER) + "DL,0,0,0,0,1.5.2,0,0,0\n",
       at + "2, column FZ: cannot read \"1.5.2\" as a number"},
      {std::string(HEADER) + "DL,0,0,0,0,2.4D3,0,0,0\n",  // the data file's D exponent
       at + "2, column FZ: cannot read \"2.4D3\" as a number"},
      {std::string(HEADER) + "DL,0,0,0,0,1e40,0,0,0\n",
       at + "2, column FZ: cannot read \"1e40\" as a number: it lies beyond the range of "
            "single-precision reals (about 3.4E38)"},
      {std::string(HEADER) + "DL,0,0,inf,0,0,0,0,0\n",
       at + "2, column FX: cannot read \"inf\" as a number"},
      {std::string(HEADER) + "DL,0,0,0,0,0,0,0,\"1,5\"\n",
       at + "2, column MZ: cannot read \"1,5\" as a number"},
      {std::string(HEADER) + "dead load,0,0,0,0,0,0,0,0\n",
       at + "2, column case: \"dead load\" is not a name: a name has 1 to 40 letters, digits, "
            "underscores, hyphens and points"},
      {std::string(HEADER) + std::string(41, 'A') + ",0,0,0,0,0,0,0,0\n",
       at + "2, column case: \"" + std::string(41, 'A') +
           "\" is not a name: a name has 1 to 40 letters, digits, underscores, hyphens and points"},
      {std::string(HEADER) + ",0,0,0,0,1,0,0,0\n",
       at + "2, column case: \"\" is not a name: a name has 1 to 40 letters, digits, "
            "underscores, hyphens and points"},
      {std::string(HEADER) + "data,0,0,0,0,1,0,0,0\n",
       at + "2, column case: \"data\" is the load case of the data file's own load points; give "
            "this case another name"},
      {std::string(HEADER) + "DL,\"0,0,0,0,0,0,0,0,0\n",
       at + "2: a quoted cell is not closed on its line: \"DL,\"0,0,0,0,0,0,0,0,0\""},
      {std::string(HEADER) + "DL,\"0\"x,0,0,0,0,0,0,0\n",
       at + "2: text after the closing quote of a cell: \"DL,\"0\"x,0,0,0,0,0,0,0\""},
      // The row's text is shown with its control characters escaped and cut at 200 characters.
      {std::string(HEADER) + "DL\x1b[2J" + std::string(1, '\0') + ",0,0,0,0,0,0,0,0\n",
       at + "2, column case: \"DL\\x1b[2J\\0\" is not a name: a name has 1 to 40 letters, digits, "
            "underscores, hyphens and points"},
      {std::string(HEADER) + "DL" + std::string(300, ',') + "\n",
       at + "2: the row has 301 cells, the header 9: \"DL" + std::string(198, ',') + "...\""},
      {"case,x,y,FX,FY,FZ,MX,MY,MZ\rDL,0,0,0,0,1,0,0,0\r",
       at + "1: a carriage return (CR) inside the line: the lines of the file end with CR alone; "
            "save it with LF or CR LF line ends"},
      {"case,x,y,FX,FY,FZ,MX,MY,MZ\rDL,0,0,0,0,1,0,0,0\r\n",
       at + "1: a carriage return (CR) inside the line: the lines of the file end with CR alone; "
            "save it with LF or CR LF line ends"},
      {std::string(HEADER) + "DL,0,0,0,0,1,0,0,0\r\r\n",
       at + "2: a carriage return (CR) inside the line, whose end is a line feed (LF): remove the "
            "CR"},
  };
  for (const Case& c : table) EXPECT_EQ(refusal_of_loads(c.text, "data"), c.message) << c.text;
  // Without a data case of its own the name "data" is free.
  EXPECT_EQ(refusal_of_loads(std::string(HEADER) + "data,0,0,0,0,1,0,0,0\n"), "accepted");
}

TEST(CombinationsFile, TakesFactorsInColumnOrderAndEmptyCellsAsZero) {
  const CombinationLoads combinations = read_combination_loads(
      "combination,LL,DL\r\nC1,1.5,1.35\r\nC2,,1\r\n\"C-3\",0,-0.0\r\n", FILES, two_cases());
  ASSERT_EQ(combinations.names.size(), 3u);
  EXPECT_EQ(combinations.names[0], "C1");
  ASSERT_EQ(combinations.factors[0].size(), 2u);
  EXPECT_EQ(combinations.factors[0][0].load_case, 1);  // LL, the first column
  EXPECT_EQ(combinations.factors[0][0].factor, 1.5f);
  EXPECT_EQ(combinations.factors[0][1].load_case, 0);
  EXPECT_EQ(combinations.factors[0][1].factor, 1.35f);
  ASSERT_EQ(combinations.factors[1].size(), 1u);
  EXPECT_EQ(combinations.factors[1][0].load_case, 0);
  EXPECT_TRUE(combinations.factors[2].empty());
  EXPECT_EQ(combinations.names[2], "C-3");
}

TEST(CombinationsFile, RefusesEveryMistakeWithFileLineColumnAndText) {
  struct Case {
    std::string text;
    std::string message;
  };
  const std::string at = "run-time error in b.combinations.csv, line ";
  const Case table[] = {
      {"\n\n", at + "1: the file is empty; its header must be combination followed by the names "
                    "of load cases"},
      {"combination,DL\n", at + "2: the file has a header and no rows after it"},
      {"name,DL\nC1,1\n", at + "1, column 1: expected combination, found \"name\" (the header is "
                               "combination followed by the names of load cases)"},
      {"combination\nC1\n", at + "1: the header names no load case after combination"},
      {"combination;DL;LL\nC1;1;1\n", at + "1: the cells of the header are separated by "
                                           "semicolons, not commas: save the file as "
                                           "comma-separated values"},
      {"combination,DL,WIND\nC1,1,1\n",
       at + "1, column 3: \"WIND\" is not a load case; the load cases are DL, LL"},
      {"combination,DL,LL,DL\nC1,1,1,1\n",
       at + "1, column 4: the load case \"DL\" is named twice (also in column 2)"},
      {"combination,DL,\nC1,1,1\n",
       at + "1, column 3: \"\" is not a name: a name has 1 to 40 letters, digits, underscores, "
            "hyphens and points"},
      {"combination,DL,LL\nC1,1,1\nC2,1\n", at + "3: the row has 2 cells, the header 3: \"C2,1\""},
      {"combination,DL,LL\nC1,1,1\n\nC1,1,0\n",
       at + "4, column combination: the combination \"C1\" is named twice (also on line 2)"},
      {"combination,DL,LL\nC 1,1,1\n",
       at + "2, column combination: \"C 1\" is not a name: a name has 1 to 40 letters, digits, "
            "underscores, hyphens and points"},
      {"combination,DL,LL\nC1,1,x\n", at + "2, column LL: cannot read \"x\" as a number"},
      {"combination,DL,LL\nC1,1,1.35.\n", at + "2, column LL: cannot read \"1.35.\" as a number"},
  };
  for (const Case& c : table) EXPECT_EQ(refusal_of_combinations(c.text), c.message) << c.text;
}

// Among many load cases a misspelt name is answered with the closest names, not with every case.
TEST(CombinationsFile, MisspeltCaseAmongManyNamesTheClosest) {
  std::vector<LoadCase> cases;
  std::string header = "combination";
  for (int32_t k = 0; k < 20000; ++k) {
    std::string name = "W";
    name += std::to_string(10000 + k);
    cases.push_back(LoadCase{name, {LoadValues{}}, k + 2});
    header.append(",").append(name);
  }
  try {
    header.append(",W1O007\nC1").append(20001, ',').append("\n");
    read_combination_loads(header, {"", "", "b"}, cases);
    ADD_FAILURE() << "accepted";
  } catch (const RunError& error) {
    EXPECT_EQ(std::string(error.what()),
              "run-time error in b, line 1, column 20002: \"W1O007\" is not a load case; the "
              "closest of the 20000 load cases are W10007, W11007, W12007");
  }
}

// A load case that no combination uses and a combination of zero factors are warned about with
// their files and lines; the data file's own case is named by the data file.
TEST(CombinationsFile, WarnsOfUnusedCasesAndZeroCombinations) {
  std::vector<LoadCase> cases = two_cases();
  cases.insert(cases.begin(), LoadCase{DATA_CASE, {LoadValues{}}, 0});
  const std::vector<std::string> expected = {
      "warning in b.dat: no combination uses the load case data (its factor is 0 or empty in "
      "every row of b.combinations.csv)",
      "warning in b.loads.csv, line 2: no combination uses the load case DL (its factor is 0 or "
      "empty in every row of b.combinations.csv)",
      "warning in b.combinations.csv, line 3: the combination C2 has no factor other than 0: its "
      "results are zero"};
  EXPECT_EQ(
      read_combination_loads("combination,data,LL,DL\nC1,,1.5,0\nC2,0,,\n", FILES, cases).warnings,
      expected);
}

// The combinations of a file, of values and every case alone are kept alike: the same names,
// factors and loads (each load is checked against runs of equivalent data files by the exactness
// tests); a reduction that faults is kept whole, the rows after it still reduced.
TEST(CombinationLoads, FileValuesAndSingleCasesKeepTheSame) {
  std::vector<LoadCase> cases = two_cases();
  cases.insert(cases.begin(), LoadCase{DATA_CASE, {{0.5f, -1.0f, {1, 2, 3, 4, 5, 6}}}, 0});
  const float big = 3e38f;
  const struct {
    std::string text;
    std::vector<Combination> given;
    size_t faulting;
    std::vector<std::string> warnings;  // of the values, their cases given as values
  } table[] = {
      {"combination,data,LL,DL\nC1,,1.5,0\nC2,0,,\nLONGER_NAME-3.a,1,-1,2\n",
       combinations_of({{"C1", {{"data", 0.0f}, {"LL", 1.5f}, {"DL", 0.0f}}},
                        {"C2", {{"data", 0.0f}}},
                        {"LONGER_NAME-3.a", {{"data", 1}, {"LL", -1}, {"DL", 2}}}},
                       cases),
       SIZE_MAX,
       {"warning in combinations[\"C2\"]: the combination C2 has no factor other than 0: its "
        "results are zero"}},
      {"combination,data,DL,LL\ndata,1,,\nDL,,1,\nLL,,,1\n",
       single_case_combinations(cases),
       SIZE_MAX,
       {}},
      {"combination,LL,DL\nA,1,\nB,3e38,3e38\nC,,2\n",
       combinations_of({{"A", {{"LL", 1}}}, {"B", {{"LL", big}, {"DL", big}}}, {"C", {{"DL", 2}}}},
                       cases),
       1,
       {"warning in b.dat: no combination uses the load case data (its factor is 0 or empty in "
        "every combination given)"}},
      {"combination,LL\nA,1\n",
       combinations_of({{"A", {{"LL", 1}}}}, cases),
       SIZE_MAX,
       {"warning in b.dat: no combination uses the load case data (its factor is 0 or empty in "
        "every combination given)",
        "warning in loads[\"DL\"]: no combination uses the load case DL (its factor is 0 or empty "
        "in every combination given)"}},
  };
  std::vector<LoadCase> given_cases = cases;  // as add_load_cases keeps cases given as values
  for (size_t k = 1; k < given_cases.size(); ++k) given_cases[k].line = -1;
  for (const auto& row : table) {
    SCOPED_TRACE(row.text);
    const CombinationLoads file = read_combination_loads(row.text, FILES, cases);
    const CombinationLoads given =
        combination_loads(row.given, given_cases, {FILES.data, FILES.loads, ""});
    EXPECT_EQ(given.warnings, row.warnings);
    ASSERT_EQ(given.names.size(), file.names.size());
    EXPECT_EQ(file.faulting, row.faulting);
    EXPECT_EQ(given.faulting, row.faulting);
    for (size_t c = 0; c < file.names.size(); ++c) {
      EXPECT_EQ(given.names[c], file.names[c]);
      const std::span<const Term> terms = file.factors[c];
      ASSERT_EQ(given.factors[c].size(), terms.size());
      for (size_t t = 0; t < terms.size(); ++t) {
        EXPECT_EQ(given.factors[c][t].load_case, terms[t].load_case);
        EXPECT_EQ(given.factors[c][t].factor, terms[t].factor);
      }
      if (c == row.faulting) {
        EXPECT_EQ(file.faulting_combination.name, file.names[c]);
        EXPECT_EQ(given.faulting_combination.name, file.names[c]);
        continue;
      }
      for (int32_t i = 0; i < 6; ++i) EXPECT_EQ(given.loads[c].U[i], file.loads[c].U[i]);
    }
  }
  // A group without loads of its own leaves the name "data" free for a case given as a value.
  const std::vector<LoadCase> own_named =
      add_load_cases({}, {LoadCase{DATA_CASE, {LoadValues{}}}, LoadCase{"A", {LoadValues{}}}});
  EXPECT_EQ(
      combination_loads(combinations_of({{"C", {{"A", 1}}}}, own_named), own_named,
                        {FILES.data, "", ""})
          .warnings,
      std::vector<std::string>{"warning in loads[\"data\"]: no combination uses the load case "
                               "data (its factor is 0 or empty in every combination given)"});
}

// The refusal of load cases and combinations given as values: the whole message, or "accepted".
std::string refusal_of_values(const std::vector<LoadCase>& given,
                              const std::vector<CombinationValues>& combinations) {
  try {
    const std::vector<LoadCase> own = {LoadCase{DATA_CASE, {LoadValues{}}, 0}};
    combinations_of(combinations, add_load_cases(own, given));
  } catch (const InputError& error) {
    EXPECT_EQ(error.line, 0);
    return error.what();
  }
  return "accepted";
}

TEST(CaseValues, RefusesEveryMistakeNamingTheValue) {
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<LoadCase> two = {LoadCase{"DL", {LoadValues{}}}, LoadCase{"LL", {}}};
  const std::vector<CombinationValues> one = {{"C1", {{"DL", 1.0f}}}};
  const std::string name_rule =
      " is not a name: a name has 1 to 40 letters, digits, underscores, hyphens and points";
  const struct {
    std::vector<LoadCase> cases;
    std::vector<CombinationValues> combinations;
    std::string refusal;
  } table[] = {
      {two, one, "accepted"},
      {{LoadCase{"D L", {}}}, one, "run-time error in loads[\"D L\"]: \"D L\"" + name_rule},
      {{LoadCase{"data", {}}},
       one,
       "run-time error in loads[\"data\"]: \"data\" is the load case of the data file's own load "
       "points; give this case another name"},
      {{LoadCase{"DL", {}}, LoadCase{"DL", {}}},
       one,
       "run-time error in loads[\"DL\"]: the load case \"DL\" is named twice"},
      {{LoadCase{"DL", {LoadValues{}, LoadValues{0.0f, 0.0f, {0, 0, 0, 0, -inf, 0}}}}},
       one,
       "run-time error in loads[\"DL\"][1].MY: -inf is not a finite number"},
      {two, {}, "run-time error in combinations: there is no combination"},
      {two, {{"C 1", {}}}, "run-time error in combinations[\"C 1\"]: \"C 1\"" + name_rule},
      {two,
       {{"C1", {}}, {"C1", {}}},
       "run-time error in combinations[\"C1\"]: the combination \"C1\" is named twice"},
      {two,
       {{"C1", {{"DL", 1.0f}, {"DL", 2.0f}}}},
       "run-time error in combinations[\"C1\"][\"DL\"]: the load case \"DL\" is named twice"},
      {two,
       {{"C1", {{"WL", 1.0f}}}},
       "run-time error in combinations[\"C1\"][\"WL\"]: \"WL\" is not a load case; the load cases "
       "are data, DL, LL"},
      {two,
       {{"C1", {{"LL", std::nanf("")}}}},
       "run-time error in combinations[\"C1\"][\"LL\"]: nan is not a finite number"},
  };
  for (const auto& row : table) {
    EXPECT_EQ(refusal_of_values(row.cases, row.combinations), row.refusal);
  }
}

TEST(CaseValues, OrderTermsAsTheColumnsOfAFileWrittenFromThem) {
  const std::vector<LoadCase> cases = {LoadCase{"A", {}}, LoadCase{"B", {}}, LoadCase{"C", {}}};
  const std::vector<Combination> combinations = combinations_of(
      {{"C1", {{"B", 2.0f}}}, {"C2", {{"A", 1.0f}, {"C", 0.0f}, {"B", 3.0f}}}}, cases);
  ASSERT_EQ(combinations.size(), 2u);
  ASSERT_EQ(combinations[1].terms.size(), 2u);
  EXPECT_EQ(combinations[1].terms[0].load_case, 1);  // B, named first
  EXPECT_EQ(combinations[1].terms[0].factor, 3.0f);
  EXPECT_EQ(combinations[1].terms[1].load_case, 0);
  EXPECT_EQ(combinations[1].line, 0);
}

}  // namespace
}  // namespace kelmarino::cases
