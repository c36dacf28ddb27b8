// Transfer matrices of a length of pile: the soil series against independent values of the m
// method, its limiting cases and its consistency over depth, and the free-length matrix.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "pile/pile.hpp"

namespace kelmarino {
namespace {

// The coefficient functions A1 ... D4 (in that order: A1 B1 C1 D1 A2 ... D4) at the reduced depth
// x, from an independent 40-digit solution of y'''' + x.y = 0 rounded to five decimals.
struct ReferenceRow {
  float x;
  double f[16];
};

const ReferenceRow REFERENCE[] = {
    {0.5f,
     {0.99974, 0.49996, 0.12500, 0.02083, -0.00260, 0.99948, 0.49993, 0.12499, -0.02083, -0.00521,
      0.99922, 0.49991, -0.12499, -0.04167, -0.00781, 0.99896}},
    {1.0f,
     {0.99167, 0.99722, 0.49940, 0.16657, -0.04165, 0.98334, 0.99583, 0.49921, -0.16652, -0.08329,
      0.97501, 0.99445, -0.49881, -0.33299, -0.12493, 0.96668}},
    {1.5f,
     {0.93681, 1.46839, 1.11484, 0.55996, -0.21030, 0.87366, 1.45259, 1.11145, -0.55869, -0.42039,
      0.81054, 1.43680, -1.10468, -1.11611, -0.63027, 0.74745}},
    {2.0f,
     {0.73502, 1.82294, 1.92401, 1.30798, -0.65821, 0.47061, 1.73456, 1.89872, -1.29532, -1.31361,
      0.20676, 1.64629, -1.84818, -2.57800, -1.96620, -0.05652}},
    {2.5f,
     {0.20192, 1.83017, 2.76468, 2.45365, -1.56481, -0.59093, 1.49705, 2.64507, -2.37868, -3.10875,
      -1.37855, 1.16511, -2.40659, -4.68253, -4.63185, -2.16096}},
    {3.0f,
     {-0.92809, 1.03679, 3.22473, 3.85829, -3.05316, -2.82403, 0.06837, 2.80404, -3.54050, -5.99981,
      -4.68788, -0.89127, -1.96927, -6.76472, -8.84028, -6.51971}},
    {3.5f,
     {-2.92799, -1.27172, 2.46304, 4.97972, -4.98059, -6.70792, -3.58647, 1.27017, -3.91916,
      -9.54374, -10.34043, -5.85400, 1.07408, -6.78898, -13.69229, -13.82618}},
    {4.0f,
     {-5.85329, -5.94095, -0.92675, 4.54767, -6.53312, -12.15789, -10.60840, -3.76645, -1.61430,
      -11.73063, -17.91863, -15.07545, 9.24375, -0.35784, -15.61050, -23.14032}},
};

const char* const NAMES[16] = {"A1", "B1", "C1", "D1", "A2", "B2", "C2", "D2",
                               "A3", "B3", "C3", "D3", "A4", "B4", "C4", "D4"};

// The functions map (u, theta, M/EI, Q/EI) at the ground line to depth x, M of the sign that
// makes EI.u'' = M: function r.4 + c of the table is row r, column c. The matrix of soil_transfer
// maps (u, theta, Q, M) with the opposite moment: its row and column i take function row and
// column ORDER[i], the moment's with a change of sign.
const int32_t ORDER[4] = {0, 1, 3, 2};
const double SIGN[4] = {1, 1, 1, -1};

TEST(SoilTransfer, FromTheGroundLineGivesTheCoefficientFunctions) {
  // alpha = 1, EI = 1: the matrix over the reduced depth x is the table's, rounded to 5e-6.
  for (const ReferenceRow& row : REFERENCE) {
    Matrix4d T;
    soil_transfer(1.0, 1.0, 0.0, static_cast<double>(row.x), T);
    for (int32_t i = 0; i < 4; ++i) {
      for (int32_t j = 0; j < 4; ++j) {
        const int32_t k = 4 * ORDER[i] + ORDER[j];
        EXPECT_NEAR(T(i + 1, j + 1), SIGN[i] * SIGN[j] * row.f[k], 6e-6)
            << NAMES[k] << " at x = " << row.x;
      }
    }
  }
}

// The matrix in reduced form S.T.S^-1, S = diag(1, 1/a, 1/(a^3.EI), 1/(a^2.EI)), which maps
// (u, theta/a, Q/(a^3.EI), M/(a^2.EI)): pure numbers of order one whatever a and EI are.
double reduced(const Matrix4d& T, double a, double EI, int32_t i, int32_t j) {
  const double S[4] = {1.0, 1.0 / a, 1.0 / (a * a * a * EI), 1.0 / (a * a * EI)};
  return S[i - 1] * T(i, j) / S[j - 1];
}

TEST(SoilTransfer, LengthsJoinAtAnyDepth) {
  // Over [d, d + h1 + h2] the matrix is the product of those over [d, d + h1] and
  // [d + h1, d + h1 + h2]: the depth enters every length where it lies. A zero length is the
  // identity.
  const struct {
    double alpha, EI, d, h1, h2;
  } cases[] = {{0.5, 1e5, 0.0, 0.7, 0.9},
               {0.5, 1e5, 12.0, 0.3, 0.2},
               {0.8, 2e6, 30.0, 0.1, 0.15},
               {0.35, 8e4, 3.0, 0.0, 1.1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "alpha " << c.alpha << ", d " << c.d);
    Matrix4d whole, upper, lower, product;
    soil_transfer(c.alpha, c.EI, c.d, c.h1 + c.h2, whole);
    soil_transfer(c.alpha, c.EI, c.d, c.h1, upper);
    soil_transfer(c.alpha, c.EI, c.d + c.h1, c.h2, lower);
    for (int32_t i = 1; i <= 4; ++i) {
      for (int32_t j = 1; j <= 4; ++j) {
        product(i, j) = 0.0;
        for (int32_t k = 1; k <= 4; ++k) product(i, j) += lower(i, k) * upper(k, j);
      }
    }
    for (int32_t i = 1; i <= 4; ++i) {
      for (int32_t j = 1; j <= 4; ++j) {
        EXPECT_NEAR(reduced(product, c.alpha, c.EI, i, j), reduced(whole, c.alpha, c.EI, i, j),
                    1e-13)
            << "entry (" << i << ", " << j << ")";
      }
    }
  }
}

// EI = 1000, h = 2: h^3/6EI = 1/750, h^2/2EI = 1/500, h/EI = 1/500.
const double FREE_BEAM[4][4] = {
    {1, 2, 8.0 / 6000, -0.002}, {0, 1, 0.002, -0.002}, {0, 0, 1, 0}, {0, 0, -2, 1}};

TEST(Frseg, FreeLengthIsAnElasticBeamAndSoilOfNoStiffnessGivesIt) {
  Matrix4d T, soft;
  free_length_transfer(1000.0, 2.0, T);
  soil_transfer(1e-3, 1000.0, 0.0, 2.0, soft);  // soil terms of the order alpha^5.EI.h^2 = 2e-12
  for (int32_t i = 1; i <= 4; ++i) {
    for (int32_t j = 1; j <= 4; ++j) {
      const double e = FREE_BEAM[i - 1][j - 1];
      EXPECT_NEAR(T(i, j), e, 1e-15) << "entry (" << i << ", " << j << ")";
      EXPECT_NEAR(soft(i, j), e, 1e-11) << "entry (" << i << ", " << j << ")";
    }
  }
}

}  // namespace
}  // namespace kelmarino
