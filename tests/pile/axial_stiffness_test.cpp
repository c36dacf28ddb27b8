// The axial stiffness of a pile for every support code, against the formula computed here in
// double precision from the values written into the data file: the pile body above ground at its
// full length and below ground with the friction factor of its support code, the bottom spread at
// a quarter of the friction angles (KSU 1 and 2) or the pile's own last section (KSU 3 and more),
// limited by the distance to the nearest other bottom, and the ground under the bottom,
// 1/(PMB.A0.h) for KSU 1 and 2 and 1/(PMB.A0) for KSU 3 and more.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iomanip>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/analysis.hpp"
#include "pile/pile.hpp"

namespace kelmarino {
namespace {

struct FreeSegment {
  double HFR, DOF;
};
struct SoilSegment {
  double HBL, DOB, PFI;
};

// One pile type; the group is one pile of it at (0, 0), or two, the second `neighbour` metres
// away along y.
struct Case {
  const char* name;
  int KSH, KSU;
  double AGLX, AGLZ;  // the axis, in the x-z plane
  double PMB, PEH, PKE;
  double neighbour;  // 0: a single pile
  std::vector<FreeSegment> free;
  std::vector<SoilSegment> soil;
};

// clang-format off
const Case CASES[] = {
  // name
  //  KSH KSU AGL x   AGL z   PMB      PEH    PKE  neighbour
  //  above ground (HFR, DOF)     below ground (HBL, DOB, PFI)
  {"KSU 1, circular, one layer, single pile",
   0,  1,  0.0,    1.0,    8000.0,  2.6e6, 1.0, 0.0,
   {},                         {{12.0, 1.0, 25.0}}},
  {"KSU 1, an axis of length 1.0009 (within the allowed 0.001), vertical",
   0,  1,  0.0,    1.0009, 8000.0,  2.6e6, 1.0, 0.0,
   {},                         {{12.0, 1.0, 25.0}}},
  {"KSU 1, square, free length, three layers",
   1,  1,  0.0,    1.0,    12000.0, 3.0e6, 0.8, 0.0,
   {{3.0, 0.8}},               {{4.0, 0.8, 15.0}, {6.0, 0.8, 22.0}, {5.0, 0.7, 30.0}}},
  {"KSU 2, circular, two free segments, spread limited by a neighbour",
   0,  2,  0.0,    1.0,    20000.0, 2.8e6, 1.0, 2.5,
   {{1.5, 1.4}, {2.5, 1.2}},   {{8.0, 1.2, 20.0}, {10.0, 1.0, 34.0}}},
  {"KSU 2, square, raked 1 in 6, two layers",
   1,  2,  0.1644, 0.9864, 15000.0, 2.9e6, 1.0, 0.0,
   {{2.0, 0.6}},               {{9.0, 0.6, 28.0}, {7.0, 0.5, 36.0}}},
  {"KSU 3, circular, free length, socket of a smaller diameter",
   0,  3,  0.0,    1.0,    6.0e5,   2.8e6, 1.0, 4.0,
   {{5.0, 1.6}},               {{3.0, 1.6, 18.0}, {4.0, 1.5, 35.0}, {2.5, 1.3, 40.0}}},
  {"KSU 3, square, no free length, two layers",
   1,  3,  0.0,    1.0,    4.0e5,   3.2e6, 0.6, 0.0,
   {},                         {{6.0, 1.0, 10.0}, {2.0, 0.9, 40.0}}},
  {"KSU 3, circular, free length only, standing on rock",
   0,  3,  0.0,    1.0,    8.0e5,   2.6e6, 1.0, 0.0,
   {{4.0, 1.2}, {3.0, 1.0}},   {}},
  {"KSU 4, circular, free length, socket of a smaller diameter",
   0,  4,  0.0,    1.0,    1.0e6,   3.0e6, 1.0, 5.0,
   {{6.0, 1.8}},               {{5.0, 1.8, 20.0}, {2.0, 1.5, 40.0}}},
  {"KSU 4, square, raked 1 in 6, no free length",
   1,  4,  0.1644, 0.9864, 3.0e5,   3.1e6, 0.7, 0.0,
   {},                         {{7.0, 0.5, 30.0}, {3.0, 0.45, 40.0}}},
};
// clang-format on

// The data file of a case: a stiffness-only run (JCTR = 2) of its group, all piles of type 0.
std::string data_text(const Case& c) {
  const bool pair = c.neighbour > 0.0;
  std::ostringstream text;
  text << std::setprecision(9);
  text << "* axial stiffness: " << c.name << "\n2\n*end\n* piles\n";
  if (pair) {
    text << "2 0\n0.0 0.0 0.0 " << c.neighbour << "\n*end\n* types\n0 0\n";
  } else {
    text << "1 0\n0.0 0.0\n*end\n* types\n0\n";
  }
  text << "<0>\n" << c.KSH << " " << c.KSU << " " << c.AGLX << " 0.0 " << c.AGLZ << "\n";
  text << c.free.size();
  for (const FreeSegment& s : c.free) text << " " << s.HFR << " " << s.DOF << " 1";
  text << "\n" << c.soil.size();
  for (const SoilSegment& s : c.soil) {
    text << " " << s.HBL << " " << s.DOB << " 5000 " << s.PFI << " 1";
  }
  text << "\n" << c.PMB << " " << c.PEH << " " << c.PKE << "\n*end\n* springs\n*end\n";
  return text.str();
}

// Reads the data text and runs the two axial stages on it, bottom_areas then axial_stiffness.
std::unique_ptr<Model> axial_stages(const std::string& text) {
  const GroupRead read = parse_group(text, "case.dat");
  EXPECT_TRUE(read.has_value()) << read.issue().full;
  auto model = std::make_unique<Model>(*read->model);
  RunValues& run = model->run;
  bottom_areas(run.PNUM, run.ZFR, run.ZBL, run.ABOT, model->piles);
  axial_stiffness(run.PNUM, run.ZBL, run.ABOT, run.AXK, model->piles);
  return model;
}

// Area of a circular (KSH 0) or square section of diameter or side d, pi taken as 3.142.
double area(int KSH, double d) { return KSH == 0 ? 3.142 / 4.0 * d * d : d * d; }

// The axial stiffness of the case's pile, from its values alone.
double expected_stiffness(const Case& c) {
  double h = 0.0;
  for (const SoilSegment& s : c.soil) h += s.HBL;
  // Bottom diameter: for KSU 1 and 2 the first below-ground diameter spread on both sides at a
  // quarter of each layer's friction angle, by h.tan(phi/4) on a vertical pile and by
  // h.(sin t - cos t.tan(t - phi/4)) on one inclined by t, cos t the axis's z as given (above 1 by
  // at most 0.001 on a vertical pile); for KSU 3 and more the last section.
  // Then at most the distance to the other bottom.
  double d0 = 0.0;
  if (c.KSU <= 2) {
    const double theta = std::acos(std::min(c.AGLZ, 1.0));
    d0 = c.soil.front().DOB;
    for (const SoilSegment& s : c.soil) {
      const double quarter = s.PFI / 4.0 * 3.142 / 180.0;
      d0 += 2.0 * s.HBL * (std::sin(theta) - c.AGLZ * std::tan(theta - quarter));
    }
  } else {
    d0 = c.soil.empty() ? c.free.back().DOF : c.soil.back().DOB;
  }
  if (c.neighbour > 0.0) d0 = std::min(d0, c.neighbour);
  const double A0 = area(c.KSH, d0);

  const double xi = c.KSU == 1 ? 0.5 : c.KSU == 2 ? 0.667 : 1.0;
  double above = 0.0;
  for (const FreeSegment& s : c.free) above += s.HFR / area(c.KSH, s.DOF);
  double below = 0.0;
  for (const SoilSegment& s : c.soil) below += s.HBL / area(c.KSH, s.DOB);
  const double bottom = c.KSU <= 2 ? 1.0 / (c.PMB * A0 * h) : 1.0 / (c.PMB * A0);
  return 1.0 / ((above + xi * below) / c.PEH + bottom);
}

TEST(AxialStiffness, EverySupportCodeGivesTheFormulaOfItsValues) {
  for (const Case& c : CASES) {
    SCOPED_TRACE(c.name);
    const auto model = axial_stages(data_text(c));
    const double expected = expected_stiffness(c);
    ASSERT_EQ(model->run.PNUM, c.neighbour > 0.0 ? 2 : 1);
    for (int32_t p = 1; p <= model->run.PNUM; ++p) {
      const double got = static_cast<double>(model->run.AXK(p));
      // Single-precision sums of a few terms: observed within 2e-7 relative.
      EXPECT_NEAR(got, expected, 1e-6 * expected) << "pile " << p;
    }
  }
}

}  // namespace
}  // namespace kelmarino
