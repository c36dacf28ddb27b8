// Single-pile stiffness: the interaction coefficients of the group and the deformation factors
// they give, the bottom area and axial stiffness, and the 6x6 head stiffness from the solution of
// the bending planes. Expected values are hand-worked or come from independent m-method values.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "pile/pile.hpp"

namespace kelmarino {
namespace {

// Soil and material of the piles below: m = 5000 t/m4, E = 2.6e6 t/m2, PKE = 1.
constexpr float SOIL_M = 5000.0f;
constexpr float MODULUS = 2.6e6f;

// Adds a vertical circular pile of diameter 1.0 m, its top at (x, y) on the ground line, with
// one below-ground segment of length h.
void add_vertical_pile(Model& m, float x, float y, float h = 10.0f, int32_t type = 1) {
  PileData& p = m.piles;
  const int32_t g = ++m.run.PNUM;
  p.PXY(g, 1) = x;
  p.PXY(g, 2) = y;
  p.PTYPE(g) = type;
  p.AGL(g, 3) = 1.0f;
  p.KSU(g) = 2;
  p.NBL(g) = 1;
  p.HBL(g, 1) = h;
  p.DOB(g, 1) = 1.0f;
  p.PMT(g, 1) = SOIL_M;
  p.PEH(g) = MODULUS;
  p.PKE(g) = 1.0f;
  m.run.ZBL(g) = h;
}

// (m.b / EI)^0.2 of such a pile, b = (1.0 + 1.0).k, I = 3.142 / 64.
double expected_factor(double k) {
  return std::pow(5000.0 * 2.0 * k / (2.6e6 * 3.142 / 64.0), 0.2);
}

TEST(Btxy, InteractionOfTheGroupReducesTheFactors) {
  // k = b' + (1 - b').L1 / (0.6.hh) for a row of two piles 1.0 m wide: b' = 0.6, hh = 6.0 m.
  struct Case {
    const char* name;
    std::vector<std::pair<float, float>> tops;
    double kx, ky;
  } cases[] = {
      {"single pile", {{0.0f, 0.0f}}, 1.0, 1.0},
      // Clear spacing 2.0 m: two rows of two in each direction, L1 = 2.
      {"square at +-1.5",
       {{-1.5f, -1.5f}, {1.5f, -1.5f}, {-1.5f, 1.5f}, {1.5f, 1.5f}},
       0.6 + 0.4 * 2.0 / 3.6,
       0.6 + 0.4 * 2.0 / 3.6},
      // Clear spacing 2.5 m counts as 2.
      {"square at +-1.75",
       {{-1.75f, -1.75f}, {1.75f, -1.75f}, {-1.75f, 1.75f}, {1.75f, 1.75f}},
       0.6 + 0.4 * 2.0 / 3.6,
       0.6 + 0.4 * 2.0 / 3.6},
      // Clear spacing 0.8 m: the group goes by positions; L1 = 0 along x, one position along y.
      {"pair 1.8 m apart", {{0.0f, 0.0f}, {1.8f, 0.0f}}, 0.6, 1.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto m = std::make_unique<Model>();
    for (const auto& [x, y] : c.tops) add_vertical_pile(*m, x, y);
    deformation_factors(m->run.PNUM, m->run.ZFR, m->run.ZBL, m->run.BTX, m->run.BTY, m->piles);
    for (int32_t p = 1; p <= m->run.PNUM; ++p) {
      const double ax = expected_factor(c.kx);
      const double ay = expected_factor(c.ky);
      EXPECT_NEAR(static_cast<double>(m->run.BTX(p, 1)), ax, 1e-5 * ax) << "pile " << p;
      EXPECT_NEAR(static_cast<double>(m->run.BTY(p, 1)), ay, 1e-5 * ay) << "pile " << p;
    }
  }
}

TEST(Btxy, LaterPileOfAnEarlierTypeCopiesItsFactors) {
  auto m = std::make_unique<Model>();
  add_vertical_pile(*m, 0.0f, 0.0f, 10.0f, 7);
  add_vertical_pile(*m, 5.0f, 0.0f, 10.0f, 7);
  m->piles.PMT(2, 1) = 4.0f * SOIL_M;  // ignored: the type's factors were computed already
  deformation_factors(m->run.PNUM, m->run.ZFR, m->run.ZBL, m->run.BTX, m->run.BTY, m->piles);
  EXPECT_EQ(m->run.BTX(2, 1), m->run.BTX(1, 1));
  EXPECT_EQ(m->run.BTY(2, 1), m->run.BTY(1, 1));
}

TEST(Kinf, PositionsAndRowsOfAStaggeredGroup) {
  // Rows y = 0 (x = 0, 3) and y = 3 (x = 1.5, 4.5), piles 1.0 m wide and 10 m deep. Along x
  // each row has L1 = 2, but the positions 0, 3, 1.5, 4.5 include a clear spacing of 0.5.
  const float tops[4][2] = {{0.0f, 0.0f}, {3.0f, 0.0f}, {1.5f, 3.0f}, {4.5f, 3.0f}};
  GroundPoints G;
  float d[4], h[4];
  for (int32_t p = 1; p <= 4; ++p) {
    G(p, 1) = tops[p - 1][0];
    G(p, 2) = tops[p - 1][1];
    d[p - 1] = 1.0f;
    h[p - 1] = 10.0f;
  }
  float k = 0.0f;
  smallest_row_interaction(1, 4, d, h, G, k);
  EXPECT_FLOAT_EQ(k, 0.6f + 0.4f * 2.0f / 3.6f);
  smallest_row_interaction(2, 4, d, h, G, k);  // four rows of one pile
  EXPECT_FLOAT_EQ(k, 1.0f);
  group_interaction(1, 4, d, h, G, k);  // four positions, L1 = 0: the base coefficient of four
  EXPECT_FLOAT_EQ(k, 0.45f);
  group_interaction(2, 4, d, h, G, k);  // two positions, L1 = 2
  EXPECT_FLOAT_EQ(k, 0.6f + 0.4f * 2.0f / 3.6f);
}

TEST(Kinf3, CoefficientOfOneRow) {
  struct Case {
    const char* name;
    std::vector<float> c, h;
    float k;
    float d = 1.0f;  // the width of every pile
  } cases[] = {
      {"one pile", {0}, {10}, 1.0f},
      {"two piles, clear spacing 2", {0, 3}, {10, 10}, 0.6f + 0.4f * 2 / 3.6f},
      {"overlapping piles truncate to 0", {0, 0.5f}, {10, 10}, 0.6f},
      // -1.2 m clear: side by side, 0.3 m apart along the direction; no lower than b'.
      {"a spacing below -1 counts as 0", {0, 0.3f}, {1, 1}, 0.6f, 1.5f},
      // L1 of 1.5 is held as 1, so the pair 1.2 apart (short piles, hh = 2) does not replace it.
      {"truncated spacing keeps its depth", {0, 2.5f, 4.7f}, {10, 2, 2}, 0.5f + 0.5f * 1 / 3.6f},
      {"short piles limit the depth", {0, 3}, {4, 4}, 0.6f + 0.4f * 2 / 2.4f},
      {"deeper pile of the pair sets the depth", {0, 3}, {4, 10}, 0.6f + 0.4f * 2 / 3.6f},
      {"spacing of at least 0.6 hh", {0, 5}, {10, 10}, 1.0f},
      {"four in a row", {0, 2, 4, 6}, {10, 10, 10, 10}, 0.45f + 0.55f * 1 / 3.6f},
      {"no spacing below 100", {0, 200}, {10, 10}, 1.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<float> d(c.c.size(), c.d);
    float k = -1.0f;
    row_interaction(static_cast<int32_t>(c.c.size()), c.c.data(), d.data(), c.h.data(), k);
    EXPECT_FLOAT_EQ(k, c.k);
  }
}

TEST(Kbase, BaseCoefficientByRowSize) {
  const std::pair<int32_t, float> cases[] = {
      {1, 1.0f}, {2, 0.6f}, {3, 0.5f}, {4, 0.45f}, {9, 0.45f}};
  for (const auto& [n, expected] : cases) {
    float b = -1.0f;
    row_base_coefficient(n, b);
    EXPECT_EQ(b, expected) << n << " piles";
  }
}

TEST(Axial, WorkedExampleOfAFrictionPile) {
  // KSU = 1, 5 m free and 20 m embedded (friction angle 20 degrees), all 1.0 m in diameter.
  auto m = std::make_unique<Model>();
  add_vertical_pile(*m, 0.0f, 0.0f, 20.0f);
  PileData& p = m->piles;
  p.KSU(1) = 1;
  p.PFI(1, 1) = 20.0f;
  p.NFR(1) = 1;
  p.HFR(1, 1) = 5.0f;
  p.DOF(1, 1) = 1.0f;
  p.PMB(1) = 5000.0f;
  m->run.ZFR(1) = 5.0f;
  bottom_areas(1, m->run.ZFR, m->run.ZBL, m->run.ABOT, p);
  axial_stiffness(1, m->run.ZBL, m->run.ABOT, m->run.AXK, p);

  // Spread 20.tan(20.3.142/720) = 1.75 m per side: d0 = 4.5 m, ABOT = 3.142.4.5^2/4.
  const double d0 = 1.0 + 2.0 * 20.0 * std::tan(20.0 * 3.142 / 720.0);
  const double bottom = 3.142 * d0 * d0 / 4.0;
  EXPECT_NEAR(static_cast<double>(m->run.ABOT(1)), 15.906, 1e-3);
  EXPECT_NEAR(static_cast<double>(m->run.ABOT(1)), bottom, 1e-5 * bottom);
  // Free length, half the embedded length, and the soil under the bottom (growing with depth).
  const double area = 0.7855;
  const double stiffness =
      1.0 / (5.0 / (2.6e6 * area) + 0.5 * 20.0 / (2.6e6 * area) + 1.0 / (5000.0 * bottom * 20.0));
  EXPECT_NEAR(static_cast<double>(m->run.AXK(1)), 1.254e5, 0.001e5);
  EXPECT_NEAR(static_cast<double>(m->run.AXK(1)), stiffness, 1e-5 * stiffness);
}

// Pile 1 of a fresh model standing free for 5 m with no embedded length: a square section of
// side 1 with PKE = 1 (I = 1/12) and E = 12000 gives EI = 1000.
std::unique_ptr<Model> cantilever(int32_t KSU) {
  auto m = std::make_unique<Model>();
  PileData& p = m->piles;
  m->run.PNUM = 1;
  p.AGL(1, 3) = 1.0f;
  p.KSH(1) = 1;
  p.KSU(1) = KSU;
  p.PKE(1) = 1.0f;
  p.PEH(1) = 12000.0f;
  p.NFR(1) = 1;
  p.HFR(1, 1) = 5.0f;
  p.DOF(1, 1) = 1.0f;
  m->run.AXK(1) = 123.0f;
  return m;
}

void run_lateral(Model& m) {
  ResponseCache cache;
  lateral_stiffness(m.run.PNUM, m.run.AXK, m.run.BTX, m.run.BTY, m.piles, cache);
}

double head(const Model& m, int32_t pile, int32_t i, int32_t j) {
  return static_cast<double>(m.piles.ESP(6 * (pile - 1) + i, j));
}

TEST(Lateral, CantileverHeldAtItsFootHasTheBeamStiffness) {
  // 12EI/L^3 = 96, 6EI/L^2 = 240, 4EI/L = 800, torsion 0.1.(800 + 800); the y-z plane enters
  // with -SX and -MX, so its coupling terms change sign. A free foot carries nothing but AXK.
  const double held[6][6] = {
      {96, 0, 0, 0, 240, 0},   {0, 96, 0, -240, 0, 0}, {0, 0, 123, 0, 0, 0},
      {0, -240, 0, 800, 0, 0}, {240, 0, 0, 0, 800, 0}, {0, 0, 0, 0, 0, 160},
  };
  const double free_foot[6][6] = {{0}, {0}, {0, 0, 123}, {0}, {0}, {0}};
  for (int32_t KSU : {4, 1, 2, 3}) {
    SCOPED_TRACE(::testing::Message() << "KSU " << KSU);
    auto m = cantilever(KSU);
    run_lateral(*m);
    const double(&expected)[6][6] = KSU == 4 ? held : free_foot;
    for (int32_t i = 1; i <= 6; ++i) {
      for (int32_t j = 1; j <= 6; ++j) {
        const double e = expected[i - 1][j - 1];
        EXPECT_NEAR(head(*m, 1, i, j), e, 1e-5 * std::fabs(e)) << "K(" << i << ", " << j << ")";
      }
    }
  }
}

TEST(Lateral, FreeTipFlexibilityMatchesTheMMethodCoefficients) {
  // Head at the ground line, one embedded segment of factor 0.5 reaching the reduced depth
  // alpha.h, foot free. The flexibility R^-1 times alpha^3.EI, alpha^2.EI, alpha.EI gives the
  // published coefficients A0, B0, C0 (independent 40-digit values, design-code table); B0
  // enters with a minus sign, the moment of the pile head turning against the shear.
  // The table is rounded to 5e-6 and the stiffness to single precision: agreement within 1e-5.
  struct Case {
    float reduced_length;
    double A0, B0, C0;
  } cases[] = {
      {2.4f, 3.52575, 2.32685, 2.22692}, {2.6f, 3.16284, 2.04829, 2.01293},
      {2.8f, 2.90543, 1.86946, 1.88860}, {3.0f, 2.72661, 1.75752, 1.81845},
      {3.5f, 2.50179, 1.64075, 1.75726}, {4.0f, 2.44060, 1.62100, 1.75058},
      {5.0f, 2.43148, 1.62142, 1.74882}, {10.0f, 2.42918, 1.61940, 1.74677},
  };
  const float alpha = 0.5f;
  const double a = static_cast<double>(alpha);
  const double EI = 2.6e6 * 3.142 / 64.0;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "alpha.h = " << c.reduced_length);
    auto m = std::make_unique<Model>();
    add_vertical_pile(*m, 0.0f, 0.0f, c.reduced_length / alpha);
    m->run.BTX(1, 1) = alpha;
    m->run.BTY(1, 1) = alpha;
    run_lateral(*m);
    // x-z plane: R = [[K11, K15], [K51, K55]]; y-z plane: R = [[K22, -K24], [-K42, K44]].
    const double planes[2][4] = {
        {head(*m, 1, 1, 1), head(*m, 1, 1, 5), head(*m, 1, 5, 1), head(*m, 1, 5, 5)},
        {head(*m, 1, 2, 2), -head(*m, 1, 2, 4), -head(*m, 1, 4, 2), head(*m, 1, 4, 4)}};
    for (const auto& R : planes) {
      const double det = R[0] * R[3] - R[1] * R[2];
      const double flexibility[4] = {R[3] / det, -R[1] / det, -R[2] / det, R[0] / det};
      const double expected[4] = {c.A0, -c.B0, -c.B0, c.C0};
      const double scale[4] = {a * a * a * EI, a * a * EI, a * a * EI, a * EI};
      for (int32_t e = 0; e < 4; ++e) {
        EXPECT_NEAR(flexibility[e] * scale[e], expected[e], 1e-5 * std::fabs(expected[e]))
            << "entry " << e + 1;
      }
    }
  }
}

TEST(Lateral, EqualFactorsGiveEqualPlanesAndDifferentFactorsDoNot) {
  // Piles with 3 m free and 4 + 6 m embedded. Pile 1 differs between its planes only in the
  // second segment; piles 2 and 3 carry its y and its x factors in both planes.
  const float x_factors[2] = {0.45f, 0.6f};
  const float y_factors[2] = {0.45f, 0.7f};
  auto m = std::make_unique<Model>();
  for (int32_t g = 1; g <= 3; ++g) {
    add_vertical_pile(*m, 10.0f * static_cast<float>(g), 0.0f);
    PileData& p = m->piles;
    p.NBL(g) = 2;
    p.HBL(g, 1) = 4.0f;
    p.HBL(g, 2) = 6.0f;
    p.DOB(g, 1) = 1.2f;
    p.DOB(g, 2) = 1.0f;
    p.NFR(g) = 1;
    p.HFR(g, 1) = 3.0f;
    p.DOF(g, 1) = 1.2f;
    for (int32_t s = 1; s <= 2; ++s) {
      m->run.BTX(g, s) = g == 2 ? y_factors[s - 1] : x_factors[s - 1];
      m->run.BTY(g, s) = g == 3 ? x_factors[s - 1] : y_factors[s - 1];
    }
  }
  run_lateral(*m);
  // Equal planes: exactly equal entries.
  for (int32_t g : {2, 3}) {
    SCOPED_TRACE(::testing::Message() << "pile " << g);
    EXPECT_EQ(head(*m, g, 2, 2), head(*m, g, 1, 1));
    EXPECT_EQ(head(*m, g, 4, 4), head(*m, g, 5, 5));
    EXPECT_EQ(head(*m, g, 2, 4), -head(*m, g, 1, 5));
    EXPECT_EQ(head(*m, g, 4, 2), -head(*m, g, 5, 1));
  }
  // Pile 1 has the x plane of pile 3 and the y plane of pile 2.
  for (const auto& [i, j] : {std::pair{1, 1}, {1, 5}, {5, 1}, {5, 5}}) {
    EXPECT_EQ(head(*m, 1, i, j), head(*m, 3, i, j)) << "K(" << i << ", " << j << ")";
  }
  for (const auto& [i, j] : {std::pair{2, 2}, {2, 4}, {4, 2}, {4, 4}}) {
    EXPECT_EQ(head(*m, 1, i, j), head(*m, 2, i, j)) << "K(" << i << ", " << j << ")";
  }
  EXPECT_NE(head(*m, 1, 2, 2), head(*m, 1, 1, 1));
}

TEST(Lateral, PileWithoutLengthHeldAtItsFootIsARunTimeError) {
  auto m = cantilever(4);
  m->run.PNUM = 2;
  m->piles.KSU(2) = 4;  // no segment at all
  m->piles.AGL(2, 3) = 1.0f;
  try {
    run_lateral(*m);
    FAIL() << "no run-time error";
  } catch (const RunError& e) {
    const std::string message = e.what();
    EXPECT_EQ(message.rfind("run-time error ", 0), 0u) << message;
    EXPECT_NE(message.find("pile 2"), std::string::npos) << message;
  }
  fault_context().pile = 0;
}

}  // namespace
}  // namespace kelmarino
