// Cap and pile frames, the solve of the cap displacements and the assembly of the foundation
// stiffness. Expected values are hand-worked: D'.B.D for a diagonal B at (x, y) and R.B.R' for a
// pile raked in the x-z plane written out entry by entry.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "foundation/foundation.hpp"

namespace kelmarino {
namespace {

void expect_matrix6(const Matrix6& actual, const double (&expected)[6][6], double tolerance) {
  for (int32_t i = 1; i <= 6; ++i) {
    for (int32_t j = 1; j <= 6; ++j) {
      EXPECT_NEAR(static_cast<double>(actual(i, j)), expected[i - 1][j - 1], tolerance)
          << "entry (" << i << ", " << j << ")";
    }
  }
}

const double IDENTITY6[6][6] = {
    {1, 0, 0, 0, 0, 0}, {0, 1, 0, 0, 0, 0}, {0, 0, 1, 0, 0, 0},
    {0, 0, 0, 1, 0, 0}, {0, 0, 0, 0, 1, 0}, {0, 0, 0, 0, 0, 1},
};

TEST(AxisRotation, VerticalPileKeepsCapAxes) {
  Matrix6 T;
  axis_rotation(0.0f, 0.0f, 1.0f, T);
  expect_matrix6(T, IDENTITY6, 0.0);
}

TEST(AxisRotation, RakedPileInXzPlaneTurnsAboutY) {
  // (a, 0, c): R = [[|c|, 0, a], [0, c/|c|, 0], [-a.c/|c|, 0, c]], in both diagonal blocks.
  struct Case {
    float a, c;
    double R[3][3];
  } cases[] = {
      {0.6f, 0.8f, {{0.8, 0, 0.6}, {0, 1, 0}, {-0.6, 0, 0.8}}},
      {-0.28f, 0.96f, {{0.96, 0, -0.28}, {0, 1, 0}, {0.28, 0, 0.96}}},
      {0.6f, -0.8f, {{0.8, 0, 0.6}, {0, -1, 0}, {0.6, 0, -0.8}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "a " << c.a << ", c " << c.c);
    double expected[6][6] = {};
    for (int32_t i = 0; i < 3; ++i) {
      for (int32_t j = 0; j < 3; ++j) expected[i][j] = expected[i + 3][j + 3] = c.R[i][j];
    }
    Matrix6 T;
    axis_rotation(c.a, 0.0f, c.c, T);
    expect_matrix6(T, expected, 1e-6);
  }
}

TEST(AxisRotation, ColumnsAreOrthonormalWithThePileAxisLast) {
  const float a = 0.48f, b = 0.6f, c = 0.64f;  // a unit vector
  Matrix6 T;
  axis_rotation(a, b, c, T);
  EXPECT_FLOAT_EQ(T(1, 3), a);
  EXPECT_FLOAT_EQ(T(2, 3), b);
  EXPECT_FLOAT_EQ(T(3, 3), c);
  for (int32_t j = 1; j <= 3; ++j) {
    for (int32_t k = 1; k <= 3; ++k) {
      double dot = 0.0;
      for (int32_t i = 1; i <= 3; ++i) dot += static_cast<double>(T(i, j) * T(i, k));
      EXPECT_NEAR(dot, j == k ? 1.0 : 0.0, 1e-6) << "columns " << j << ", " << k;
    }
  }
}

TEST(OffsetMatrix, CapCentreGivesIdentity) {
  Matrix6 D;
  offset_matrix(0.0f, 0.0f, D);
  expect_matrix6(D, IDENTITY6, 0.0);
}

TEST(OffsetMatrix, TransposeMovesAForceToTheCapCentre) {
  // At (2, 1): Mx + y.Fz, My - x.Fz, Mz - y.Fx + x.Fy.
  struct Case {
    float force[6];
    float moved[6];
  } cases[] = {
      {{0, 0, 10, 0, 0, 0}, {0, 0, 10, 10, -20, 0}},
      {{1, 2, 3, 4, 5, 6}, {1, 2, 3, 7, -1, 9}},
  };
  Matrix6 D, Dt;
  offset_matrix(2.0f, 1.0f, D);
  transpose(6, 6, D.data(), Dt.data());
  for (const Case& c : cases) {
    float moved[6];
    matrix_product(6, 6, 1, Dt.data(), c.force, moved);
    for (int32_t k = 0; k < 6; ++k) EXPECT_EQ(moved[k], c.moved[k]) << "component " << k + 1;
  }
}

TEST(OffsetMatrix, CapRotationsMoveThePoint) {
  // At (2, 1): X = UX - y.SZ, Y = UY + x.SZ, Z = UZ + y.SX - x.SY, rotations unchanged.
  const float U[6] = {1.0f, 2.0f, 3.0f, 0.5f, 0.25f, 0.125f};
  const float expected[6] = {0.875f, 2.25f, 3.0f, 0.5f, 0.25f, 0.125f};
  Matrix6 D;
  offset_matrix(2.0f, 1.0f, D);
  float moved[6];
  matrix_product(6, 6, 1, D.data(), U, moved);
  for (int32_t k = 0; k < 6; ++k) EXPECT_EQ(moved[k], expected[k]) << "component " << k + 1;
}

TEST(GaussSolve, SolvesInPlaceLeavingTheEntryBelowTheDiagonal) {
  float A[4] = {2, 1, 1, 3};  // [[2, 1], [1, 3]], symmetric
  float b[2] = {3, 4};
  gauss_solve(2, A, b);
  EXPECT_EQ(b[0], 1.0f);
  EXPECT_EQ(b[1], 1.0f);
  // Row 1 divided by 2; row 2 reduced and divided by 2.5; A(2,1) is never cleared.
  EXPECT_EQ(A[0], 1.0f);
  EXPECT_EQ(A[1], 1.0f);
  EXPECT_EQ(A[2], 0.5f);
  EXPECT_EQ(A[3], 1.0f);
}

void set_block(PileData& piles, int32_t g, const double (&B)[6][6]) {
  for (int32_t i = 1; i <= 6; ++i) {
    for (int32_t j = 1; j <= 6; ++j) {
      piles.ESP(6 * (g - 1) + i, j) = static_cast<float>(B[i - 1][j - 1]);
    }
  }
}

void set_diagonal_block(PileData& piles, int32_t g, const double (&b)[6]) {
  double B[6][6] = {};
  for (int32_t k = 0; k < 6; ++k) B[k][k] = b[k];
  set_block(piles, g, B);
}

// D'.B.D for a diagonal B at (x, y), written out: the moments of the forces about the centre.
void add_moved_diagonal(double (&K)[6][6], const double (&b)[6], double x, double y) {
  for (int32_t k = 0; k < 6; ++k) K[k][k] += b[k];
  K[3][3] += b[2] * y * y;
  K[4][4] += b[2] * x * x;
  K[5][5] += b[0] * y * y + b[1] * x * x;
  const double off[][3] = {{3, 4, -b[2] * x * y},
                           {2, 3, b[2] * y},
                           {2, 4, -b[2] * x},
                           {0, 5, -b[0] * y},
                           {1, 5, b[1] * x}};
  for (const auto& e : off) {
    const auto i = static_cast<int32_t>(e[0]);
    const auto j = static_cast<int32_t>(e[1]);
    K[i][j] += e[2];
    K[j][i] += e[2];
  }
}

TEST(AssembleKcap, VerticalPileAtTheCentreGivesItsBlock) {
  auto piles = std::make_unique<PileData>();
  const double B[6][6] = {
      {10, 0, 0, 0, 25, 0},   {0, 12, 0, -30, 0, 0}, {0, 0, 900, 0, 0, 0},
      {0, -30, 0, 400, 0, 0}, {25, 0, 0, 0, 420, 0}, {0, 0, 0, 0, 0, 82},
  };
  set_block(*piles, 1, B);
  piles->AGL(1, 3) = 1.0f;
  Matrix6 KCAP;
  assemble_kcap(1, 0, *piles, KCAP);
  expect_matrix6(KCAP, B, 0.0);
}

TEST(AssembleKcap, VerticalPileOffTheCentreAddsTheMomentsOfItsForces) {
  const double b[6] = {10, 20, 1000, 300, 400, 50};
  const float points[][2] = {{2.0f, -3.0f}, {-1.5f, 2.5f}, {4.0f, 0.0f}};
  for (const auto& point : points) {
    SCOPED_TRACE(::testing::Message() << "pile at " << point[0] << ", " << point[1]);
    auto piles = std::make_unique<PileData>();
    set_diagonal_block(*piles, 1, b);
    piles->AGL(1, 3) = 1.0f;
    piles->PXY(1, 1) = point[0];
    piles->PXY(1, 2) = point[1];
    double expected[6][6] = {};
    add_moved_diagonal(expected, b, static_cast<double>(point[0]), static_cast<double>(point[1]));
    Matrix6 KCAP;
    assemble_kcap(1, 0, *piles, KCAP);
    expect_matrix6(KCAP, expected, 1e-3);
    // KCAP(4,4) = B44 + B33.y^2, KCAP(5,5) = B55 + B33.x^2, KCAP(4,5) = -B33.x.y.
    EXPECT_EQ(KCAP(4, 5), -1000.0f * point[0] * point[1]);
  }
}

TEST(AssembleKcap, RakedPileStiffnessTurnsIntoCapAxes) {
  // Pile leaning towards +x with direction (0.6, 0, 0.8): its axial stiffness acts along that
  // direction, so KCAP(1,3) = 0.48.(B33 - B11) and the x-z entries mix B11 and B33.
  const double b[6] = {10, 20, 1000, 300, 400, 50};
  auto piles = std::make_unique<PileData>();
  set_diagonal_block(*piles, 1, b);
  piles->AGL(1, 1) = 0.6f;
  piles->AGL(1, 3) = 0.8f;
  double expected[6][6] = {};
  for (int32_t o = 0; o <= 3; o += 3) {
    expected[o][o] = 0.64 * b[o] + 0.36 * b[o + 2];
    expected[o + 2][o + 2] = 0.36 * b[o] + 0.64 * b[o + 2];
    expected[o][o + 2] = expected[o + 2][o] = 0.48 * (b[o + 2] - b[o]);
    expected[o + 1][o + 1] = b[o + 1];
  }
  Matrix6 KCAP;
  assemble_kcap(1, 0, *piles, KCAP);
  expect_matrix6(KCAP, expected, 1e-3);
}

TEST(AssembleKcap, SimulatedPileIsMovedButNotTurned) {
  // Pile 1 vertical at the centre; simulated pile 1 (block 2, direction left zero) at (2, -3).
  const double b1[6] = {10, 20, 1000, 300, 400, 50};
  const double b2[6] = {5, 7, 600, 100, 200, 30};
  auto piles = std::make_unique<PileData>();
  set_diagonal_block(*piles, 1, b1);
  set_diagonal_block(*piles, 2, b2);
  piles->AGL(1, 3) = 1.0f;
  piles->SXY(1, 1) = 2.0f;
  piles->SXY(1, 2) = -3.0f;
  double expected[6][6] = {};
  add_moved_diagonal(expected, b1, 0.0, 0.0);
  add_moved_diagonal(expected, b2, 2.0, -3.0);
  Matrix6 KCAP;
  assemble_kcap(1, 1, *piles, KCAP);
  expect_matrix6(KCAP, expected, 1e-3);
}

}  // namespace
}  // namespace kelmarino
