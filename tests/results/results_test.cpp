// Foundation analysis and pile results computed in process: statics of the whole foundation,
// symmetry, the axial force and the soil stresses down the piles, the end conditions at the pile
// tips, the station geometry, and the zero pivot of the solve.
#include "results/results.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "analysis/analysis.hpp"
#include "faults/faults.hpp"
#include "foundation/foundation.hpp"
#include "input/input.hpp"
#include "pile/pile.hpp"
#include "support/test_support.hpp"

namespace kelmarino {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Reads the data text and runs the single-pile stages, as the run driver does.
std::unique_ptr<Model> pile_stiffness(const std::string& text) {
  const GroupRead read = parse_group(text, "case.dat");
  EXPECT_TRUE(read.has_value()) << read.issue().full;
  auto model = std::make_unique<Model>(*read->model);
  RunValues& run = model->run;
  PileData& piles = model->piles;
  deformation_factors(run.PNUM, run.ZFR, run.ZBL, run.BTX, run.BTY, piles);
  bottom_areas(run.PNUM, run.ZFR, run.ZBL, run.ABOT, piles);
  axial_stiffness(run.PNUM, run.ZBL, run.ABOT, run.AXK, piles);
  ResponseCache cache;
  lateral_stiffness(run.PNUM, run.AXK, run.BTX, run.BTY, piles, cache);
  return model;
}

// The whole run in process: FORCE ends holding the cap displacements, TOPD the pile tops.
std::unique_ptr<Model> full_run(const std::string& text) {
  auto model = pile_stiffness(text);
  RunValues& run = model->run;
  assemble_kcap(run.PNUM, run.SNUM, model->piles, run.KCAP);
  solve_cap_displacements(run.KCAP, run.FORCE);
  top_displacements(run.PNUM, model->piles, run.FORCE, run.TOPD);
  return model;
}

// The top and the stations of pile g of a run, as the analysis keeps them.
struct PileStations {
  float DU[6] = {}, FT[6] = {};
  int32_t KG = 1;
  std::vector<StationRow> rows;
  int32_t station_count() const { return static_cast<int32_t>(rows.size()); }
  float at(int32_t k, StationQuantity q) const {
    return rows[static_cast<size_t>(k - 1)][column_of(q)];
  }
};

PileStations stations(const Model& model, int32_t g) {
  PileStations st;
  ResponseCache cache;
  const auto list = std::make_unique<StationList>();
  pile_top(model, g, st.DU, st.FT);
  const RunValues& run = model.run;
  compute_stations(model, g, *cache.plane(model.piles, run.BTX, g),
                   *cache.plane(model.piles, y_factors(run.BTX, run.BTY, model.piles, g), g), st.DU,
                   st.FT, *list, st.rows);
  st.KG = list->KG;
  return st;
}

// Five piles spread unevenly over the cap: vertical ones, one raked in the x-z plane, one raked
// in both planes, one square pile held fixed at its tip; two load points off the centre with all
// six components; one simulated support.
const char* const RAKED_GROUP = R"(* control
1
2
0.7 -0.4
120.0 -80.0 3000.0 150.0 -200.0 60.0
-1.1 0.9
-30.0 45.0 500.0 -20.0 35.0 -15.0
*end
* piles
5 1
-2.0 -1.5  2.0 -1.5  -2.0 1.5  2.5 1.5  0.0 0.3
0.5 2.5
*end
* types
0 1 2 0 3
<0>
0 1 0.0 0.0 1.0
1 2.0 1.2 4
2 5.0 1.2 5000.0 30.0 5 10.0 1.2 8000.0 35.0 10
10000.0 2.6E6 1.0
< 1>
0 1 0.1999600 0.0 0.9798040
1 2.0 1.2 4
2 5.0 1.2 5000.0 30.0 5 10.0 1.2 8000.0 35.0 10
10000.0 2.6E6 1.0
< 2>
0 2 -0.1 0.2 0.9746794
1 2.0 1.2 4
2 5.0 1.2 5000.0 30.0 5 10.0 1.2 8000.0 35.0 10
10000.0 2.6E6 1.0
< 3>
1 4 0.0 0.0 1.0
1 2.0 1.0 4
2 5.0 1.0 5000.0 30.0 5 10.0 1.0 8000.0 35.0 10
10000.0 2.6E6 1.0
*end
* springs
-2
<-2>
1.0E5 2.0E5 5.0E5 0.0 0.0 0.0
*end
)";

// The loads of RAKED_GROUP reduced to the cap centre by hand: forces unchanged, moments plus
// r x F with r = (x, y, 0).
void raked_group_load(double F[6]) {
  const double points[2][8] = {{0.7, -0.4, 120.0, -80.0, 3000.0, 150.0, -200.0, 60.0},
                               {-1.1, 0.9, -30.0, 45.0, 500.0, -20.0, 35.0, -15.0}};
  for (int i = 0; i < 6; ++i) F[i] = 0.0;
  for (const auto& p : points) {
    const double x = p[0], y = p[1], fx = p[2], fy = p[3], fz = p[4];
    F[0] += fx;
    F[1] += fy;
    F[2] += fz;
    F[3] += p[5] + y * fz;
    F[4] += p[6] - x * fz;
    F[5] += p[7] - y * fx + x * fy;
  }
}

// Adds a force acting at the cap point (x, y, 0) to the resultant at the cap centre.
void add_at_centre(double x, double y, const double f[6], double sum[6], double size[6]) {
  const double moved[6] = {
      f[0], f[1], f[2], f[3] + y * f[2], f[4] - x * f[2], f[5] - y * f[0] + x * f[1]};
  for (int i = 0; i < 6; ++i) {
    sum[i] += moved[i];
    size[i] += std::fabs(moved[i]);
  }
}

TEST(Statics, PileForcesOfARakedGroupBalanceTheLoadAtTheCapCentre) {
  const auto model = full_run(RAKED_GROUP);
  const PileData& piles = model->piles;
  const Vec<float, 6>& U = model->run.FORCE;
  double sum[6] = {}, size[6] = {};
  for (int32_t g = 1; g <= model->run.PNUM; ++g) {
    const PileStations st = stations(*model, g);
    // Pile axes in cap axes: local z along (a, b, c), local x and y at right angles to it.
    const double a = piles.AGL(g, 1), b = piles.AGL(g, 2), c = piles.AGL(g, 3);
    const double t = std::sqrt(b * b + c * c);
    const double ex[3] = {t, -a * b / t, -a * c / t}, ey[3] = {0.0, c / t, -b / t};
    const double ez[3] = {a, b, c};
    double FT[6], f[6];
    for (int i = 0; i < 6; ++i) FT[i] = st.FT[i];
    for (int i = 0; i < 3; ++i) {
      f[i] = ex[i] * FT[0] + ey[i] * FT[1] + ez[i] * FT[2];
      f[i + 3] = ex[i] * FT[3] + ey[i] * FT[4] + ez[i] * FT[5];
    }
    add_at_centre(piles.PXY(g, 1), piles.PXY(g, 2), f, sum, size);
  }
  for (int32_t j = 1; j <= model->run.SNUM; ++j) {
    // The support point moves with the rigid cap: U + S x r; its stiffness is in cap axes.
    const double x = piles.SXY(j, 1), y = piles.SXY(j, 2);
    double c[6];
    for (int i = 0; i < 6; ++i) c[i] = U(i + 1);
    const double u[6] = {
        c[0] - y * c[5], c[1] + x * c[5], c[2] + y * c[3] - x * c[4], c[3], c[4], c[5]};
    const int32_t row = 6 * (model->run.PNUM + j - 1);
    double f[6] = {};
    for (int i = 1; i <= 6; ++i) {
      for (int k = 1; k <= 6; ++k) f[i - 1] += double{piles.ESP(row + i, k)} * u[k - 1];
    }
    add_at_centre(x, y, f, sum, size);
  }
  double load[6];
  raked_group_load(load);
  for (int i = 0; i < 6; ++i) {
    // Single-precision tolerance on the sum of the magnitudes that meet in the component.
    EXPECT_NEAR(sum[i], load[i], 1e-5 * (size[i] + std::fabs(load[i]))) << "component " << i + 1;
  }
}

// Four equal vertical piles in a square, or two raked piles leaning out of a pair of opposite
// sides, under a vertical load at the centre: the cap only settles.
TEST(Statics, SymmetricGroupUnderCentredVerticalLoadOnlySettles) {
  const std::string head = "* control\n1\n1\n0.0 0.0\n0.0 0.0 2000.0 0.0 0.0 0.0\n*end\n* piles\n";
  const std::string tail =
      "1 2.0 1.2 4\n"
      "2 5.0 1.2 5000.0 30.0 5 10.0 1.2 8000.0 35.0 10\n"
      "10000.0 2.6E6 1.0\n";
  const std::string square = head + "4 0\n-1.5 -1.5 1.5 -1.5 -1.5 1.5 1.5 1.5\n*end\n* types\n" +
                             "0 0 0 0\n<0>\n0 1 0.0 0.0 1.0\n" + tail + "*end\n* springs\n*end\n";
  const std::string raked =
      head + "2 0\n-1.5 0.0 1.5 0.0\n*end\n* types\n0 1\n<0>\n" + "0 1 -0.1999600 0.0 0.9798040\n" +
      tail + "< 1>\n0 1 0.1999600 0.0 0.9798040\n" + tail + "*end\n* springs\n*end\n";
  for (const std::string& text : {square, raked}) {
    const auto model = full_run(text);
    const Vec<float, 6>& U = model->run.FORCE;
    const float settlement = U(3);
    EXPECT_GT(settlement, 0.0f);
    // Rounding only: a millionth of the settlement (rotations per metre of lever arm).
    for (int32_t i : {1, 2, 4, 5}) EXPECT_LE(std::fabs(U(i)), 1e-6f * settlement) << i;
  }
}

// A single vertical pile at the cap centre, pushed once along X and once along Y: the two
// results are the same bending state turned by a right angle (UX -> UY, SY -> -SX, NX -> NY,
// MY -> -MX) at every station.
TEST(PileResults, BendingPlanesOfARoundPileAgreeUnderAQuarterTurn) {
  const std::string before = "* control\n1\n1\n0.0 0.0\n";
  const std::string after =
      "*end\n* piles\n1 0\n0.0 0.0\n*end\n* types\n0\n<0>\n0 1 0.0 0.0 1.0\n1 2.0 1.2 4\n"
      "2 5.0 1.2 5000.0 30.0 5 10.0 1.2 8000.0 35.0 10\n10000.0 2.6E6 1.0\n*end\n* springs\n"
      "*end\n";
  const auto along_x = full_run(before + "60.0 0.0 900.0 0.0 0.0 0.0\n" + after);
  const auto along_y = full_run(before + "0.0 60.0 900.0 0.0 0.0 0.0\n" + after);
  const PileStations x = stations(*along_x, 1), y = stations(*along_y, 1);
  ASSERT_EQ(x.station_count(), y.station_count());
  const struct {
    StationQuantity x, y;  // of the x-z plane, and its turned counterpart
    float sign;
  } turns[] = {{UX, UY, 1.0f}, {SY, SX, -1.0f}, {NX, NY, 1.0f}, {MY, MX, -1.0f}};
  for (const auto& t : turns) {
    float largest = 0.0f;
    for (int32_t k = 1; k <= x.station_count(); ++k)
      largest = std::max(largest, std::fabs(x.at(k, t.x)));
    ASSERT_GT(largest, 0.0f);
    for (int32_t k = 1; k <= x.station_count(); ++k) {
      EXPECT_NEAR(t.sign * y.at(k, t.y), x.at(k, t.x), 1e-5f * largest) << t.x << ", " << k;
      EXPECT_NEAR(y.at(k, t.x), 0.0f, 1e-5f * largest) << t.x << ", " << k;
    }
  }
  EXPECT_GT(x.at(1, UX), 0.0f);  // pushed along +X, the pile top moves along +X
}

// Down every pile of the raked group: the axial force falls as the parabola 1 - (z/ZBL)^2 to zero
// at the tip of a pile bearing on the soil (KSU < 3) and stays FT(3) on a pile with KSU >= 3; the
// soil stresses are zero down to the ground line and PMT.z.displacement below it, with PMT of
// the segment holding the step (5000 down to z = 5, 8000 below).
TEST(PileResults, AxialForceAndSoilStressesDownThePiles) {
  const auto model = full_run(RAKED_GROUP);
  for (int32_t g = 1; g <= model->run.PNUM; ++g) {
    SCOPED_TRACE("pile " + std::to_string(g));
    const PileStations st = stations(*model, g);
    const int32_t KSU = model->piles.KSU(g);
    ASSERT_EQ(st.KG, 5);
    ASSERT_EQ(st.station_count(), 20);
    const double top = st.FT[2];
    ASSERT_GT(std::fabs(top), 1.0);
    for (int32_t k = 1; k <= st.KG; ++k) {
      EXPECT_EQ(st.at(k, NZ), st.FT[2]) << k;
      EXPECT_EQ(st.at(k, PSX), 0.0f) << k;
      EXPECT_EQ(st.at(k, PSY), 0.0f) << k;
    }
    EXPECT_NE(st.at(st.KG, UX), 0.0f);  // the ground line moves, yet carries no soil stress
    for (int32_t k = st.KG + 1; k <= st.station_count(); ++k) {
      const double z = k - st.KG;  // steps of 1 m below the ground line
      const double axial = KSU < 3 ? top * (1.0 - z * z / 225.0) : top;
      EXPECT_NEAR(st.at(k, NZ), axial, 1e-5 * std::fabs(top)) << k;
      const double pmt = z <= 5.0 ? 5000.0 : 8000.0;
      const double psx = pmt * z * double{st.at(k, UX)}, psy = pmt * z * double{st.at(k, UY)};
      EXPECT_NEAR(st.at(k, PSX), psx, 1e-5 * std::fabs(psx) + 1e-9) << k;
      EXPECT_NEAR(st.at(k, PSY), psy, 1e-5 * std::fabs(psy) + 1e-9) << k;
    }
    if (KSU < 3) {
      EXPECT_NEAR(st.at(st.station_count(), NZ), 0.0, 1e-5 * std::fabs(top));
    } else {
      EXPECT_EQ(st.at(st.station_count(), NZ), st.FT[2]);
    }
  }
}

// The march down the pile ends in the tip condition the head stiffness was built with: no
// shear and no moment at a free tip (KSU < 4), no displacement and no rotation at a fixed one.
// The step matrices near the reduced depth 6 lose about three digits in single precision, so the
// tip values vanish to a percent of the largest value of the pile; a wrong plane, factor or sign
// leaves them of the order of that largest value.
TEST(PileResults, MarchEndsInTheTipConditionOfThePile) {
  const auto model = full_run(RAKED_GROUP);
  // Q, M of both planes at a free tip; u, theta at a fixed one.
  const StationQuantity vanishing[2][4] = {{NX, MY, NY, MX}, {UX, SY, UY, SX}};
  for (int32_t g = 1; g <= model->run.PNUM; ++g) {
    const PileStations st = stations(*model, g);
    const bool fixed = model->piles.KSU(g) == 4;
    for (const StationQuantity q : vanishing[fixed ? 1 : 0]) {
      float largest = 0.0f;
      for (int32_t k = 1; k <= st.station_count(); ++k)
        largest = std::max(largest, std::fabs(st.at(k, q)));
      EXPECT_GT(largest, 0.0f);
      EXPECT_NEAR(st.at(st.station_count(), q), 0.0f, 2e-2f * largest)
          << "pile " << g << ", quantity " << q;
    }
  }
}

// A single vertical pile at the origin adds its head stiffness unchanged (identity rotation and
// offset); at (2, 1) it adds D'.B.D, with D the rigid-cap motion of the point: U + S x r.
TEST(CapAnalysis, SingleVerticalPileGivesItsHeadStiffnessMovedToTheCentre) {
  for (const char* point : {"0.0 0.0", "2.0 1.0"}) {
    SCOPED_TRACE(point);
    const auto model = pile_stiffness(
        std::string("* control\n2\n*end\n* piles\n1 0\n") + point +
        "\n*end\n* types\n0\n<0>\n0 1 0.0 0.0 1.0\n1 2.0 1.2 4\n"
        "2 5.0 1.2 5000.0 30.0 5 10.0 1.2 8000.0 35.0 10\n10000.0 2.6E6 1.0\n*end\n* springs\n"
        "*end\n");
    Table<float, 6, 6> KCAP;
    assemble_kcap(model->run.PNUM, model->run.SNUM, model->piles, KCAP);
    const auto B = [&](int32_t i, int32_t j) -> double { return model->piles.ESP(i, j); };
    const double x = model->piles.PXY(1, 1), y = model->piles.PXY(1, 2);
    double D[6][6] = {};
    for (int32_t i = 0; i < 6; ++i) D[i][i] = 1.0;
    D[0][5] = -y;
    D[1][5] = x;
    D[2][3] = y;
    D[2][4] = -x;
    for (int32_t i = 1; i <= 6; ++i) {
      for (int32_t j = 1; j <= 6; ++j) {
        double e = 0.0;
        for (int32_t k = 1; k <= 6; ++k) {
          for (int32_t l = 1; l <= 6; ++l) e += D[k - 1][i - 1] * B(k, l) * D[l - 1][j - 1];
        }
        if (x == 0.0 && y == 0.0) {
          EXPECT_EQ(KCAP(i, j), B(i, j)) << i << "," << j;
        } else {
          EXPECT_NEAR(KCAP(i, j), e, 1e-5 * (std::fabs(e) + B(3, 3))) << i << "," << j;
        }
      }
    }
  }
}

TEST(CapAnalysis, NoLoadGivesZeroDisplacementsEverywhere) {
  std::string text = RAKED_GROUP;
  const std::string control =
      "1\n2\n0.7 -0.4\n120.0 -80.0 3000.0 150.0 -200.0 60.0\n"
      "-1.1 0.9\n-30.0 45.0 500.0 -20.0 35.0 -15.0\n";
  text.replace(text.find(control), control.size(), "0\n");
  const auto model = full_run(text);
  for (int32_t i = 1; i <= 6; ++i) EXPECT_EQ(model->run.FORCE(i), 0.0f);
  for (int32_t g = 1; g <= model->run.PNUM; ++g) {
    const PileStations st = stations(*model, g);
    for (int32_t i = 0; i < 6; ++i) EXPECT_EQ(st.FT[i], 0.0f) << g;
    for (int32_t k = 1; k <= st.station_count(); ++k) {
      for (int32_t q = 0; q < QUANTITIES; ++q) {
        EXPECT_EQ(st.at(k, StationQuantity(q)), 0.0f) << g << "," << k << "," << q;
      }
    }
  }
}

// Station geometry of a pile filled by hand: one above-ground segment of 4 m in 2 steps and one
// below-ground segment of 10 m in 5 steps, or either of them left out.
TEST(PileResults, StationsFollowTheStepCounts) {
  struct Case {
    int32_t NFR, NBL, KG, NSTA;
    float ZH[8];
  } cases[] = {
      {1, 1, 3, 8, {0, 2, 4, 6, 8, 10, 12, 14}},
      {0, 1, 1, 6, {0, 2, 4, 6, 8, 10}},
      {1, 0, 3, 3, {0, 2, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("NFR " + std::to_string(c.NFR) + ", NBL " + std::to_string(c.NBL));
    auto model = std::make_unique<Model>();
    PileData& p = model->piles;
    p.PXY(1, 1) = 1.0f;
    p.KSU(1) = 1;
    p.AGL(1, 3) = 1.0f;
    p.PEH(1) = 2.6e6f;
    p.PKE(1) = 1.0f;
    p.NFR(1) = c.NFR;
    p.HFR(1, 1) = 4.0f;
    p.DOF(1, 1) = 1.0f;
    p.NSF(1, 1) = 2;
    p.NBL(1) = c.NBL;
    p.HBL(1, 1) = 10.0f;
    p.DOB(1, 1) = 1.0f;
    p.PMT(1, 1) = 5000.0f;
    p.NSG(1, 1) = 5;
    model->run.ZBL(1) = c.NBL == 0 ? 0.0f : 10.0f;
    model->run.BTX(1, 1) = model->run.BTY(1, 1) = 0.5f;
    const float diagonal[6] = {1e5f, 1e5f, 1e6f, 1e7f, 1e7f, 1e6f};
    const float top[6] = {1e-3f, 5e-4f, 2e-3f, -1e-4f, 2e-4f, 1e-5f};
    for (int32_t i = 1; i <= 6; ++i) {
      p.ESP(i, i) = diagonal[i - 1];
      model->run.TOPD(1, i) = top[i - 1];
    }
    const PileStations st = stations(*model, 1);
    EXPECT_EQ(st.KG, c.KG);
    ASSERT_EQ(st.station_count(), c.NSTA);
    for (int32_t k = 1; k <= c.NSTA; ++k)
      EXPECT_EQ(st.rows[static_cast<size_t>(k - 1)][Z_COLUMN], c.ZH[k - 1]) << k;
    for (int32_t i = 0; i < 6; ++i) EXPECT_FLOAT_EQ(st.FT[i], diagonal[i] * top[i]);
    EXPECT_EQ(st.at(1, UX), top[0]);
    EXPECT_EQ(st.at(1, SX), top[3]);
    EXPECT_EQ(st.at(1, MY), diagonal[4] * top[4]);
    EXPECT_EQ(st.at(1, MX), diagonal[3] * top[3]);
    // With the ground line at the pile top, the top moves and still carries no soil stress.
    EXPECT_EQ(st.at(st.KG, PSX), 0.0f);
    EXPECT_EQ(st.at(st.KG, PSY), 0.0f);
    EXPECT_NE(st.at(st.KG, UX), 0.0f);
  }
}

// A fault found from the flags names its stage, the cause of a zero pivot unless the fault is an
// overflow alone, and every kind of fault raised since the last check.
TEST(FaultFlags, MessageNamesTheStageTheCauseAndEveryKindRaised) {
  const std::string invalid =
      "invalid operation (such as 0/0, or a mathematics function given an argument outside its "
      "domain)";
  const std::string overflow = "overflow (a result beyond the range of single-precision reals)";
  volatile float zero = 0.0f;
  volatile float large = 3e38f;
  volatile float result = 0.0f;
  const struct {
    std::function<void()> fault;
    std::string message;
  } cases[] = {
      {[&] { result = 1.0f / zero; }, " (are all six restrained?): division by zero"},
      {[&] { result = zero / zero; }, " (are all six restrained?): " + invalid},
      {[&] { result = large * large; }, ": " + overflow},
      {[&] { result = large * large - large * large; },
       " (are all six restrained?): " + overflow + " and " + invalid},
      {[&] { result = 1.0f / zero - 1.0f / zero; },
       " (are all six restrained?): division by zero and " + invalid},
  };
  for (const auto& c : cases) {
    const FaultFlags flags;
    at_stage("solution of the cap displacements");
    fault_context().pivot_cause = "are all six restrained?";
    c.fault();
    try {
      check_faults();
      ADD_FAILURE() << "no run-time error: " << c.message;
    } catch (const RunError& error) {
      EXPECT_EQ(std::string(error.what()),
                "run-time error in the solution of the cap displacements" + c.message);
    }
    at_stage(nullptr);
  }
}

TEST(GaussSolve, ZeroFirstPivotIsAnInvalidOperationWithoutRowExchange) {
  float A[4] = {0.0f, 1.0f, 1.0f, 0.0f};  // [[0, 1], [1, 0]], regular, column by column
  float b[2] = {1.0f, 2.0f};
  const FaultFlags flags;
  fault_context() = FaultContext{};
  try {
    gauss_solve(2, A, b);
    ADD_FAILURE() << "no run-time error";
  } catch (const RunError& error) {
    EXPECT_EQ(std::string(error.what()),
              "run-time error in the analysis: invalid operation (such as 0/0, or a mathematics "
              "function given an argument outside its domain)");
  }
}

// A simulated support at the cap centre with the opposite lateral stiffness of the only pile
// leaves KCAP(1,1) = 0: the solve divides by the zero first pivot and the run ends there, with
// the report holding only its banner and the post-processing file empty.
TEST(CapAnalysis, ZeroFirstPivotEndsTheRunAsARunTimeError) {
  const auto text = [](const std::string& lateral) {
    return "* control\n1\n1\n0.0 0.0\n10.0 0.0 500.0 0.0 0.0 0.0\n*end\n* piles\n1 1\n0.0 0.0\n"
           "0.0 0.0\n*end\n* types\n0\n<0>\n0 1 0.0 0.0 1.0\n1 2.0 1.2 4\n"
           "2 5.0 1.2 5000.0 30.0 5 10.0 1.2 8000.0 35.0 10\n10000.0 2.6E6 1.0\n*end\n"
           "* springs\n-1\n<-1>\n" +
           lateral + " 0.0 0.0 0.0 0.0 0.0\n*end\n";
  };
  const float lateral = pile_stiffness(text("0.0"))->piles.ESP(1, 1);
  char negated[32];
  std::snprintf(negated, sizeof negated, "%.9g", static_cast<double>(-lateral));
  const std::string data = text(negated);
  {
    const auto model = pile_stiffness(data);
    ASSERT_EQ(model->piles.ESP(7, 1), -lateral);
    ASSERT_EQ(model->piles.ESP(1, 1), lateral);
    Table<float, 6, 6> KCAP;
    assemble_kcap(model->run.PNUM, model->run.SNUM, model->piles, KCAP);
    ASSERT_EQ(KCAP(1, 1), 0.0f);
  }
  const testing::ProgramRun run = testing::run_on_data(data);
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.errors.rfind("run-time error ", 0), 0u) << run.errors;
  EXPECT_NE(run.console.find("*** To execute entire pile foundation analysis ***"),
            std::string::npos);
  EXPECT_EQ(run.console.find("Stop - Program terminated."), std::string::npos);
  std::string banner;
  {
    const File file(std::tmpfile());
    OutChannel report{file.get(), "banner"};
    write_banner(report);
    std::fflush(file.get());
    std::rewind(file.get());
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) banner.append(chunk, n);
  }
  EXPECT_EQ(run.file("case.out"), banner);
  EXPECT_TRUE(run.has_file("case.pos"));
  EXPECT_EQ(run.file("case.pos"), "");
}

}  // namespace
}  // namespace kelmarino
