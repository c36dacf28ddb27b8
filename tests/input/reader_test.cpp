// The data file parsed in process from texts: the worked four-pile example and its variants read
// into the values stated for them, simulated piles keep their own stiffness rows, key values are
// truncated toward zero, the check refuses the first mistake of each type, and the small helpers
// hold their tables.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/analysis.hpp"
#include "faults/faults.hpp"
#include "support/test_support.hpp"

namespace kelmarino {
namespace {

// Edits of the worked example: line number -> replacement (several lines split by '\n'), or
// nullptr to drop the line.
using Edits = testing::LineEdits;

// Its simulated-pile variant: one pile of type -2 at (0, 2.5) with a diagonal stiffness.
const Edits kSimulated = {{8, "4 1"},
                          {10, "-1.5 1.5 1.5 1.5\n0.0 2.5"},
                          {24, "* springs\n-2\n<-2>\n1.0E5 1.0E5 5.0E5 0.0 0.0 0.0"}};

std::string data_text(const Edits& edits = {}, const std::string& eol = "\n") {
  return testing::edited_lines(testing::worked_example(), edits, eol);
}

struct Reading {
  std::unique_ptr<Model> model = std::make_unique<Model>();
  std::string error;          // the run-time error message; empty when there was none
  std::string console_error;  // the console lines of an input error of the console
  std::vector<std::string> warnings;
};

// Parses the text as the data file "case.dat".
Reading read_data(const std::string& text) {
  Reading reading;
  const GroupRead read = parse_group(text, "case.dat");
  if (read) {
    *reading.model = *read->model;
    reading.warnings = read->warnings;
  } else if (read.issue().console.empty()) {
    reading.error = read.issue().full;
  } else {
    reading.console_error = read.issue().console;
  }
  return reading;
}

void expect_force(const RunValues& run, const std::array<float, 6>& force) {
  for (int32_t i = 1; i <= 6; ++i) EXPECT_EQ(run.FORCE(i), force[i - 1]) << "FORCE(" << i << ")";
}

// The pile values stated for the worked example: every pile gets the standard block, pile 4 then
// its keyword changes (HFR(4,1) = 3.0, NSF(4,1) = 6); ZFR = (2, 2, 2, 3), ZBL = 15.
void expect_worked_piles(const Model& model, int32_t SNUM = 0) {
  const RunValues& run = model.run;
  const PileData& d = model.piles;
  EXPECT_EQ(run.PNUM, 4);
  EXPECT_EQ(run.SNUM, SNUM);
  const float x[4] = {-1.5f, 1.5f, -1.5f, 1.5f};
  const float y[4] = {-1.5f, -1.5f, 1.5f, 1.5f};
  const int32_t type[4] = {0, 0, 0, -1};
  for (int32_t p = 1; p <= 4; ++p) {
    SCOPED_TRACE("pile " + std::to_string(p));
    const bool lengthened = p == 4;
    EXPECT_EQ(d.PXY(p, 1), x[p - 1]);
    EXPECT_EQ(d.PXY(p, 2), y[p - 1]);
    EXPECT_EQ(d.PTYPE(p), type[p - 1]);
    EXPECT_EQ(d.KSH(p), 0);
    EXPECT_EQ(d.KSU(p), 1);
    EXPECT_EQ(d.AGL(p, 1), 0.0f);
    EXPECT_EQ(d.AGL(p, 2), 0.0f);
    EXPECT_EQ(d.AGL(p, 3), 1.0f);
    EXPECT_EQ(d.NFR(p), 1);
    EXPECT_EQ(d.HFR(p, 1), lengthened ? 3.0f : 2.0f);
    EXPECT_EQ(d.DOF(p, 1), 1.2f);
    EXPECT_EQ(d.NSF(p, 1), lengthened ? 6 : 4);
    EXPECT_EQ(d.HFR(p, 2), 0.0f);
    EXPECT_EQ(d.NBL(p), 2);
    const float hbl[2] = {5.0f, 10.0f}, pmt[2] = {5000.0f, 8000.0f}, pfi[2] = {30.0f, 35.0f};
    const int32_t nsg[2] = {5, 10};
    for (int32_t s = 1; s <= 2; ++s) {
      EXPECT_EQ(d.HBL(p, s), hbl[s - 1]);
      EXPECT_EQ(d.DOB(p, s), 1.2f);
      EXPECT_EQ(d.PMT(p, s), pmt[s - 1]);
      EXPECT_EQ(d.PFI(p, s), pfi[s - 1]);
      EXPECT_EQ(d.NSG(p, s), nsg[s - 1]);
    }
    EXPECT_EQ(d.HBL(p, 3), 0.0f);
    EXPECT_EQ(d.PMB(p), 10000.0f);
    EXPECT_EQ(d.PEH(p), 2.6e6f);
    EXPECT_EQ(d.PKE(p), 1.0f);
    EXPECT_EQ(run.ZFR(p), lengthened ? 3.0f : 2.0f);
    EXPECT_EQ(run.ZBL(p), 15.0f);
  }
}

// A 6x6 stiffness, row by row.
using Stiffness = std::array<float, 36>;

Stiffness diagonal(const std::array<float, 6>& values) {
  Stiffness S{};
  for (size_t i = 0; i < 6; ++i) S[7 * i] = values[i];
  return S;
}

// ESP holds zeros in the piles' rows and everywhere past the simulated piles, and the given
// stiffness in the rows 6(PNUM+j-1)+1 .. 6(PNUM+j) of simulated pile j.
void expect_simulated_rows(const Model& model, const std::vector<Stiffness>& simulated) {
  const int32_t first = 6 * model.run.PNUM;
  for (int32_t r = 1; r <= 6 * MAX_BLOCKS; ++r) {
    const int32_t j = r > first ? (r - first - 1) / 6 + 1 : 0;
    for (int32_t c = 1; c <= 6; ++c) {
      float expected = 0.0f;
      if (j >= 1 && j <= static_cast<int32_t>(simulated.size())) {
        expected = simulated[static_cast<size_t>(j - 1)]
                            [static_cast<size_t>(6 * ((r - first - 1) % 6) + c - 1)];
      }
      if (model.piles.ESP(r, c) != expected) {
        ADD_FAILURE() << "ESP(" << r << "," << c << ") = " << model.piles.ESP(r, c) << ", expected "
                      << expected;
      }
    }
  }
}

TEST(ReadInput, WorkedExampleReadsStatedValues) {
  const Reading reading = read_data(data_text());
  ASSERT_EQ(reading.error, "");
  ASSERT_EQ(reading.console_error, "");
  EXPECT_EQ(reading.model->run.JCTR, 1);
  expect_force(reading.model->run, {100.0f, 50.0f, 2000.0f, 0.0f, 0.0f, 0.0f});
  expect_worked_piles(*reading.model);
  expect_simulated_rows(*reading.model, {});
}

TEST(ReadInput, SimulatedVariantFillsItsOwnRows) {
  // The shipped example file holds the same text as the edited worked example.
  const std::string text = data_text(kSimulated);
  EXPECT_EQ(testing::read_file(testing::example_path("worked-simulated.dat")), text);
  const Reading reading = read_data(text);
  ASSERT_EQ(reading.error, "");
  expect_worked_piles(*reading.model, 1);
  EXPECT_EQ(reading.model->piles.SXY(1, 1), 0.0f);
  EXPECT_EQ(reading.model->piles.SXY(1, 2), 2.5f);
  EXPECT_EQ(reading.model->piles.STYPE(1), -2);
  // Rows 25..30 (PNUM = 4) hold the diagonal 1e5, 1e5, 5e5, 0, 0, 0.
  expect_simulated_rows(*reading.model, {diagonal({1.0e5f, 1.0e5f, 5.0e5f, 0.0f, 0.0f, 0.0f})});
}

TEST(ReadInput, SimulatedPilesKeepTheirOwnRows) {
  const Stiffness d1 = diagonal({1, 2, 3, 4, 5, 6});
  const Stiffness d2 = diagonal({10, 20, 30, 40, 50, 60});
  Stiffness full;  // S(i, c) = 10 i + c, not symmetric, so rows and columns cannot be swapped
  for (size_t k = 0; k < 36; ++k) full[k] = static_cast<float>(10 * (k / 6 + 1) + k % 6 + 1);
  const Stiffness zero{};
  struct Case {
    const char* name;
    const char* counts;
    const char* points;  // x y of the simulated piles
    const char* section;
    std::vector<Stiffness> rows;
  } cases[] = {
      {"TypesOutOfBlockOrder",
       "4 3",
       "0.0 2.5 0.0 -2.5 2.5 0.0",
       "-1 -2 -1\n<-1>\n1 2 3 4 5 6\n<-2>\n10 20 30 40 50 60",
       {d1, d2, d1}},
      {"BlocksInReverseOrder",
       "4 2",
       "0.0 2.5 0.0 -2.5",
       "-1 -2\n<-2>\n10 20 30 40 50 60\n<-1>\n1 2 3 4 5 6",
       {d1, d2}},
      {"FullMatrixRowByRow",
       "4 1",
       "0.0 2.5",
       "3\n< 3>\n11 12 13 14 15 16\n21 22 23 24 25 26\n31 32 33 34 35 36\n41 42 43 44 45 46\n"
       "51 52 53 54 55 56\n61 62 63 64 65 66",
       {full}},
      {"ZeroTypeReadsNothing",
       "4 2",
       "0.0 2.5 0.0 -2.5",
       "0 -1\n< 0>\n<-1>\n1 2 3 4 5 6",
       {zero, d1}},
      {"BlockOfNoSimulatedPileWritesNothing",
       "4 2",
       "0.0 2.5 0.0 -2.5",
       "0 -1\n<-3>\n10 20 30 40 50 60\n<-1>\n1 2 3 4 5 6",
       {zero, d1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string points = std::string("-1.5 1.5 1.5 1.5\n") + c.points;
    const std::string section = std::string("* springs\n") + c.section;
    const Reading reading =
        read_data(data_text({{8, c.counts}, {10, points.c_str()}, {24, section.c_str()}}));
    if (!reading.error.empty()) {
      ADD_FAILURE() << reading.error;
      continue;
    }
    expect_worked_piles(*reading.model, static_cast<int32_t>(c.rows.size()));
    expect_simulated_rows(*reading.model, c.rows);
  }
}

TEST(ReadInput, FreeFormVariantsReadLikeThePlainForm) {
  const struct Variant {
    const char* name;
    Edits edits;
  } variants[] = {
      {"Commas",
       {{4, "0.0,0.0"},
        {5, "100.0, 50.0 ,2000.0,0.0,0.0,0.0"},
        {8, "4,0"},
        {9, "-1.5,-1.5,1.5,-1.5,"},
        {17, "2,5.0,1.2,5000.0,30.0,5, 10.0,1.2,8000.0,35.0,10"},
        {21, "HFR=,1,3.0"}}},
      {"Tabs",
       {{5, "100.0\t50.0\t2000.0\t0.0 \t0.0\t0.0"},
        {13, "\t0\t0\t0\t-1"},
        {16, "1\t2.0\t1.2\t4"},
        {22, "NSF=\t1\t6"}}},
      {"OneValueALine",
       {{5, "100.0\n50.0\n2000.0\n0.0\n0.0\n0.0"},
        {9, "-1.5\n-1.5\n1.5\n-1.5"},
        {13, "0\n0\n0\n-1"},
        {17, "2\n5.0\n1.2\n5000.0\n30.0\n5\n10.0\n1.2\n8000.0\n35.0\n10"},
        {21, "HFR=\n1\n3.0"}}},
      {"Repeats",
       {{5, "100.0 50.0 2000.0 3*0.0"},
        {9, "2*-1.5 1.5 -1.5"},
        {10, "-1.5 3*1.5"},
        {13, "3*0 -1"},
        {15, "0 1 2*0.0 1.0"}}},
      {"ExponentForms",
       {{5, "1.0E2 5.0D1 2.0D+03 0 0.0E0 0d0"},
        {17, "2 5 1.2 5.0E3 3.0e1 5 1.0D1 12.0D-1 8.0d3 35 10"},
        {18, "1.0D4 2.6D6 1"},
        {21, "HFR= 1 3"}}},
      {"AnyHeadingAndEndText",
       {{1, ""},
        {6, ""},
        {7, "PILE ARRANGEMENT 1.2x"},
        {11, ""},
        {14, "<0> standard piles"},
        {19, "<-1> lengthened pile"},
        {23, "<0>"},
        {24, ""},
        {25, ""}}},
      // One number or a date is an end line as a user may write one; a tag needs no brackets.
      {"NumberedEndLinesAndBareTag",
       {{6, "0"}, {11, "1999-03-12"}, {19, " -1"}, {23, "-1"}, {25, "---- 1 ----"}}},
      {"GluedKeyLosesItsNumber", {{22, "NSF=2 1 6"}}},
      {"RestOfLastLineDiscarded",
       {{2, "1 2 3"}, {8, "4 0 99"}, {13, "0 0 0 -1 7"}, {18, "10000.0 2.6E6 1.0 x y"}}},
      {"SlashLeavesTheLastLoadsZero", {{5, "100.0 50.0 2000.0 /"}}},
      {"EmptyValuesLeaveLoadsZero", {{5, "100.0,50.0,2000.0,,,0.0"}}},
  };
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.name);
    const Reading reading = read_data(data_text(v.edits));
    if (!reading.error.empty() || !reading.console_error.empty()) {
      ADD_FAILURE() << reading.error << reading.console_error;
      continue;
    }
    EXPECT_EQ(reading.model->run.JCTR, 1);
    expect_force(reading.model->run, {100.0f, 50.0f, 2000.0f, 0.0f, 0.0f, 0.0f});
    expect_worked_piles(*reading.model);
  }
}

TEST(ReadInput, CrlfFilesReadLikeLfFiles) {
  for (const Edits& edits : {Edits{}, kSimulated}) {
    const Reading lf = read_data(data_text(edits));
    const Reading crlf = read_data(data_text(edits, "\r\n"));
    ASSERT_EQ(lf.error, "");
    ASSERT_EQ(crlf.error, "");
    ASSERT_EQ(crlf.console_error, "");
    expect_worked_piles(*crlf.model, edits.empty() ? 0 : 1);
    EXPECT_EQ(std::memcmp(lf.model.get(), crlf.model.get(), sizeof(Model)), 0);
  }
}

TEST(ReadInput, ControlCodeDecidesWhatTheControlSectionHolds) {
  const std::array<float, 6> none{};
  const struct Case {
    const char* name;
    Edits edits;
    int32_t JCTR, INO;
    std::array<float, 6> force;
  } cases[] = {
      {"FoundationStiffnessReadsNoLoads",
       {{2, "2"}, {3, nullptr}, {4, nullptr}, {5, nullptr}},
       2,
       0,
       none},
      {"PileStiffnessReadsIno", {{2, "3"}, {3, "4"}, {4, nullptr}, {5, nullptr}}, 3, 4, none},
      {"OtherCodeReadsNothing", {{2, "0"}, {3, nullptr}, {4, nullptr}, {5, nullptr}}, 0, 0, none},
      {"NoLoadPoints", {{3, "0"}, {4, nullptr}, {5, nullptr}}, 1, 0, none},
      // (1, 2): Mx = 1 + 2*30 = 61, My = 2 - 1*30 = -28, Mz = 3 - 2*10 + 1*20 = 3;
      // (-0.5, 0.25): Mx = 0.5 + 0.25*16 = 4.5, My = -1 + 0.5*16 = 7, Mz = 2 - 1 + 4 = 5.
      {"LoadsReducedToCapCentre",
       {{3, "2"},
        {4, "1.0 2.0"},
        {5, "10.0 20.0 30.0 1.0 2.0 3.0\n-0.5 0.25\n4.0 -8.0 16.0 0.5 -1.0 2.0"}},
       1,
       0,
       {14.0f, 12.0f, 46.0f, 65.5f, -21.0f, 8.0f}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Reading reading = read_data(data_text(c.edits));
    if (!reading.error.empty()) {
      ADD_FAILURE() << reading.error;
      continue;
    }
    EXPECT_EQ(reading.model->run.JCTR, c.JCTR);
    EXPECT_EQ(reading.model->run.INO, c.INO);
    expect_force(reading.model->run, c.force);
    expect_worked_piles(*reading.model);
  }
}

TEST(ReadInput, KeyLinesChangeOnlyTheirType) {
  using Value = float (*)(const Model&);
  const struct Case {
    const char* name;
    const char* block;  // NKEY and the key lines of the block of type -1 (pile 4)
    Value value;
    float expected;
    bool stiffness_print = false;  // JCTR = 2
  } cases[] = {
      {"IntegerValueTruncated", "1\nKSU= 0 2.9",
       [](const Model& m) { return static_cast<float>(m.piles.KSU(4)); }, 2.0f},
      // A stiffness print takes no steps, so a step count below 1 stands.
      {"NegativeValueTruncatedTowardZero", "1\nNSG= 2 -1.5",
       [](const Model& m) { return static_cast<float>(m.piles.NSG(4, 2)); }, -1.0f, true},
      {"SmallNegativeValueTruncatedToZero", "2\nKSH= 0 1\nKSH= 0 -0.5",
       [](const Model& m) { return static_cast<float>(m.piles.KSH(4)); }, 0.0f},
      {"TruncatedCountSizesTheLength", "1\nNBL= 0 1.9", [](const Model& m) { return m.run.ZBL(4); },
       5.0f},
      {"RealValueKeepsItsFraction", "1\nPKE= 0 0.85", [](const Model& m) { return m.piles.PKE(4); },
       0.85f},
      {"AxisComponentByIndex", "2\nAGL= 2 0.6\nAGL= 3 0.8",
       [](const Model& m) { return m.piles.AGL(4, 2); }, 0.6f},
      {"LaterLineOverrides", "2\nHFR= 1 3.0\nHFR= 1 4.5",
       [](const Model& m) { return m.run.ZFR(4); }, 4.5f},
      {"AddedSegmentCounted", "5\nNBL= 0 3\nHBL= 3 7.5\nDOB= 3 1.2\nPMT= 3 9000\nNSG= 3 8",
       [](const Model& m) { return m.run.ZBL(4); }, 22.5f},
      {"NoKeyLinesChangeNothing", "0", [](const Model& m) { return m.run.ZFR(4); }, 2.0f},
      // 1 + 184 + 5 + 10 = 200 stations, the capacity.
      {"StationsAtCapacity", "1\nNSF= 1 184",
       [](const Model& m) { return static_cast<float>(m.piles.NSF(4, 1)); }, 184.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Edits edits = {{20, c.block}, {21, nullptr}, {22, nullptr}};
    if (c.stiffness_print) edits.insert({{2, "2"}, {3, nullptr}, {4, nullptr}, {5, nullptr}});
    const Reading reading = read_data(data_text(edits));
    if (!reading.error.empty() || !reading.console_error.empty()) {
      ADD_FAILURE() << reading.error << reading.console_error;
      continue;
    }
    EXPECT_EQ(c.value(*reading.model), c.expected);
    // Pile 3 is of type 0 and keeps the standard block.
    const Model& m = *reading.model;
    EXPECT_EQ(m.piles.KSH(3), 0);
    EXPECT_EQ(m.piles.KSU(3), 1);
    EXPECT_EQ(m.piles.AGL(3, 2), 0.0f);
    EXPECT_EQ(m.piles.PKE(3), 1.0f);
    EXPECT_EQ(m.piles.NSF(3, 1), 4);
    EXPECT_EQ(m.piles.NSG(3, 2), 10);
    EXPECT_EQ(m.run.ZFR(3), 2.0f);
    EXPECT_EQ(m.run.ZBL(3), 15.0f);
  }
}

TEST(ReadInput, PositiveTypeWithoutBlockIsRefused) {
  // Pile 4 carries type 7; the one block after "<0>" is tagged 9 and matches no pile.
  const Reading reading = read_data(data_text(
      {{13, "0 0 0 7"},
       {19, "< 9>\n0 1 0.0 0.0 1.0\n1 2.0 1.2 4\n1 5.0 1.2 5000.0 30.0 5\n10000.0 2.6E6 1.0"},
       {20, nullptr},
       {21, nullptr},
       {22, nullptr}}));
  EXPECT_EQ(reading.error,
            "run-time error in case.dat: pile 4 (type 7) received no properties: the type "
            "section has no block tagged < 7>");
}

TEST(ReadInput, BlockMatchingNoPileIsNotCheckedButWarned) {
  // The block slot of the file is taken by type 9 with values a pile would be refused for (KSH 5,
  // KSU 0, an axis along x); pile 4 (type -1, no keyword block) keeps the standard block, and the
  // warning says so much.
  const Reading reading =
      read_data(data_text({{19, "< 9>\n5 0 1.0 0.0 0.0\n1 2.0 1.2 4\n0\n0.0 0.0 0.0"},
                           {20, nullptr},
                           {21, nullptr},
                           {22, nullptr}}));
  ASSERT_EQ(reading.error, "");
  EXPECT_EQ(reading.warnings,
            (std::vector<std::string>{"warning in case.dat, line 19: the block tagged < 9> is for "
                                      "the type 9, which no pile has: it is read and not used\n"
                                      "  < 9>\n  ^"}));
  EXPECT_EQ(reading.model->piles.KSH(4), 0);
  EXPECT_EQ(reading.model->piles.KSU(4), 1);
  EXPECT_EQ(reading.model->piles.AGL(4, 3), 1.0f);
  EXPECT_EQ(reading.model->run.ZFR(4), 2.0f);
  EXPECT_EQ(reading.model->run.ZBL(4), 15.0f);
}

TEST(ReadInput, ASecondBlockOfATypeIsWarnedOfAndTheTypeItDisplacedKeepsTheStandardBlock) {
  // Pile 3 carries type -2, whose block the second block of type -1 (or of type 0) displaces.
  const struct Case {
    const char *block, *line, *named, *then;
    float ZFR4;  // pile 4's length above ground
  } cases[] = {
      {"<-1>\n1\nHFR= 1 4.0", "<-1>", "<-1> is a second block for the type -1",
       ": it is read for that type again", 4.0f},
      {"< 0>", "< 0>", "<0> is a second block for the type 0", ": it reads nothing", 3.0f}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.block);
    const Reading reading =
        read_data(data_text({{13, "0 0 -2 -1"}, {23, (c.block + std::string("\n*end")).c_str()}}));
    ASSERT_EQ(reading.error, "");
    EXPECT_EQ(reading.warnings,
              (std::vector<std::string>{"warning in case.dat, line 23: the block tagged " +
                                        std::string(c.named) + c.then +
                                        " and takes the place of a block the piles call for, "
                                        "which is then not read\n  " +
                                        c.line + "\n  ^"}));
    EXPECT_EQ(reading.model->run.ZFR(3), 2.0f);
    EXPECT_EQ(reading.model->run.ZFR(4), c.ZFR4);
  }
}

TEST(ReadInput, AKeyLineAsTheEndLineIsRefusedOnlyAfterAKeywordBlock) {
  const struct Case {
    testing::LineEdits edits;
    const char* error;  // its start; empty: the file is read
  } cases[] = {{{{23, "\t'NSF=' 1 6\n*end"}},
                "run-time error in case.dat, line 23: the key line NSF= stands where the end line"},
               {{{13, "0 0 0 0"},
                 {19, nullptr},
                 {20, nullptr},
                 {21, nullptr},
                 {22, nullptr},
                 {23, "PMB= is no key line here"}},
                ""}};
  for (const Case& c : cases) {
    const std::string error = read_data(data_text(c.edits)).error;
    const size_t compared = *c.error == '\0' ? std::string::npos : std::string(c.error).size();
    EXPECT_EQ(error.substr(0, compared), c.error);
  }
}

TEST(ReadInput, SegmentsBeyondTheCapacityRepeatingOneValueArePassedOver) {
  // A block no pile takes, its segment lists billions of copies of one value, up to the largest
  // count: passed over at once, not value by value, and the file lines up after them.
  for (const char* lists : {"715827882 2147483646*1\n429496729 2147483645*1",
                            "2147483647 2147483647*1 2147483647*1 2147483647*1\n0"}) {
    SCOPED_TRACE(lists);
    const Reading reading = read_data(
        data_text({{19, ("< 9>\n0 1 0.0 0.0 1.0\n" + std::string(lists) + "\n0.0 0.0 0.0").c_str()},
                   {20, nullptr},
                   {21, nullptr},
                   {22, nullptr}}));
    ASSERT_EQ(reading.error, "");
    EXPECT_EQ(reading.model->run.ZBL(4), 15.0f);
  }
}

TEST(CountTypes, CountsDistinctValues) {
  const struct Case {
    std::vector<int32_t> types;
    int32_t count;
  } cases[] = {
      {{}, 1},
      {{5}, 1},
      {{0, 0, 0, -1}, 2},
      {{3, 3, 3}, 1},
      {{-1, -2, -1}, 2},
      {{1, 2, 1, 3, 2}, 3},
      {{0, -1, 1, -2, 2}, 5},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(count_types(static_cast<int32_t>(c.types.size()), c.types.data()), c.count)
        << ::testing::PrintToString(c.types);
  }
}

TEST(TypeMatch, StandardBlockTakesZeroAndNegativeTypes) {
  const struct Case {
    int32_t K, t;
    bool match;
  } cases[] = {
      {0, 0, true},  {0, -3, true},  {0, 2, false},   {2, 2, true},
      {2, 3, false}, {2, -2, false}, {-1, -1, false}, {-1, 0, false},
  };
  for (const Case& c : cases) EXPECT_EQ(type_block_applies(c.K, c.t), c.match) << c.K << " " << c.t;
}

double wide(float value) { return static_cast<double>(value); }

// FORCE adds Fx, Fy, Fz unchanged, Mx + y Fz, My - x Fz and Mz - y Fx + x Fy of every load
// point (x, y); the expected sums are formed here in double precision.
TEST(ReduceLoads, MatchesTheClosedForm) {
  struct Point {
    float x, y;
    std::array<float, 6> act;
  };
  const std::vector<std::vector<Point>> cases = {
      {},
      {{0.0f, 0.0f, {1, 2, 3, 4, 5, 6}}},
      {{2.0f, -3.0f, {10, 20, 30, 1, 2, 3}}},
      {{1.0f, 2.0f, {10, 20, 30, 1, 2, 3}}, {-0.5f, 0.25f, {4, -8, 16, 0.5f, -1, 2}}},
      {{0.3f, -1.7f, {-12.5f, 7.25f, 310.0f, 0.1f, -4.0f, 9.5f}},
       {2.2f, 0.9f, {3.0f, -1.0f, 205.5f, 2.0f, 1.5f, -0.75f}},
       {-1.1f, -2.4f, {0.0f, 5.5f, 120.0f, 0.0f, 0.0f, 1.0f}}},
  };
  for (const auto& points : cases) {
    SCOPED_TRACE(points.size());
    std::vector<LoadValues> loads;
    double expected[6] = {};
    for (const Point& p : points) {
      LoadValues& load = loads.emplace_back(LoadValues{p.x, p.y, {}});
      for (size_t i = 0; i < 6; ++i) load.act[i] = p.act[i];
      const double x = wide(p.x), y = wide(p.y);
      const double Fx = wide(p.act[0]), Fy = wide(p.act[1]), Fz = wide(p.act[2]);
      expected[0] += Fx;
      expected[1] += Fy;
      expected[2] += Fz;
      expected[3] += wide(p.act[3]) + y * Fz;
      expected[4] += wide(p.act[4]) - x * Fz;
      expected[5] += wide(p.act[5]) - y * Fx + x * Fy;
    }
    Vec<float, 6> FORCE;
    for (int32_t i = 1; i <= 6; ++i) FORCE(i) = 99.0f;  // earlier contents are not kept
    reduce_loads(loads, FORCE);
    for (int32_t i = 1; i <= 6; ++i) {
      EXPECT_NEAR(wide(FORCE(i)), expected[i - 1], 1e-5 * (1.0 + std::abs(expected[i - 1])))
          << "FORCE(" << i << ")";
    }
  }
}

// What check_data finds wrong with the worked example edited so, mistake by mistake.
std::vector<std::string> refusals_of(const testing::LineEdits& edits) {
  const std::string text = testing::edited_lines(testing::worked_example(), edits);
  InChannel data = text_channel(text, "case.dat");
  OutChannel console;
  GroupValues values;
  GroupPlaces places;
  parse_data(data, console, values, places);
  std::vector<std::string> messages;
  for (const InputError& refusal : check_data(data, values, places)) {
    messages.push_back(refusal.what_is_wrong);
  }
  return messages;
}

TEST(CheckData, RefusesTheFirstMistakeOfEachTypeThenTwoPilesAtOnePoint) {
  // DOF = -1.2 in the <0> block reaches type 0 and type -1; pile 4 stands on pile 3.
  EXPECT_EQ(refusals_of({{10, "-1.5 1.5 -1.5 1.5"}, {16, "1 2.0 -1.2 4"}}),
            (std::vector<std::string>{
                "pile 1 (type 0) has DOF = -1.2 in above-ground segment 1; a diameter must be "
                "greater than 0",
                "pile 4 (type -1) has DOF = -1.2 in above-ground segment 1; a diameter must be "
                "greater than 0",
                std::string("piles 3 and 4 stand at (-1.5, 1.5) with the same axis; ") +
                    SAME_SPOT_RULE}));
}

TEST(CheckData, TwoPilesWithOneAxisAtAPointAreRefusedWhateverStandsThereBefore) {
  // Piles 1 to 3 at one point, pile 1 upright, piles 2 and 3 raked alike.
  EXPECT_EQ(refusals_of({{8, "6 0"},
                         {9, "-1.5 -1.5 -1.5 -1.5 -1.5 -1.5"},
                         {10, "1.5 -1.5 -1.5 1.5 1.5 1.5"},
                         {13, "0 -1 -1 0 0 0"},
                         {20, "3\nAGL= 1 0.6\nAGL= 3 0.8"},
                         {22, nullptr}}),
            std::vector<std::string>{
                std::string("piles 2 and 3 stand at (-1.5, -1.5) with the same axis; ") +
                SAME_SPOT_RULE});
}

}  // namespace
}  // namespace kelmarino
