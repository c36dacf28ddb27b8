// Segment transfer relations: the sixteen coefficient series against independent values of the
// m method, the free-length matrix, and the below-ground matrix in its limiting cases.
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

std::array<float, 16> series(float x) {
  std::array<float, 16> f;
  MSER12(x, f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7]);
  MSER34(x, f[8], f[9], f[10], f[11], f[12], f[13], f[14], f[15]);
  return f;
}

TEST(CoefficientSeries, StartFromTheUnitStateAtTheGroundLine) {
  const std::array<float, 16> f = series(0.0f);
  for (int32_t k = 0; k < 16; ++k) {
    EXPECT_EQ(f[static_cast<size_t>(k)], k % 5 == 0 ? 1.0f : 0.0f) << NAMES[k];
  }
}

TEST(CoefficientSeries, AgreeWithTheReferenceSolution) {
  // The series, truncated and with divisors of four or five digits, agree to about 1e-5 of the
  // largest terms; the table itself is rounded to 5e-6. A value that is small through
  // cancellation (B4 = -0.358 at x = 4, from terms of about 20) is held to 1e-4 absolute.
  for (const ReferenceRow& row : REFERENCE) {
    const std::array<float, 16> f = series(row.x);
    for (size_t k = 0; k < 16; ++k) {
      EXPECT_NEAR(static_cast<double>(f[k]), row.f[k], 1e-4 * std::fmax(std::fabs(row.f[k]), 1.0))
          << NAMES[k] << " at x = " << row.x;
    }
  }
  const std::array<float, 16> at4 = series(4.0f);
  EXPECT_NEAR(static_cast<double>(at4[0]), -5.853, 5e-4);   // A1
  EXPECT_NEAR(static_cast<double>(at4[3]), 4.548, 5e-4);    // D1
  EXPECT_NEAR(static_cast<double>(at4[9]), -11.73, 5e-3);   // B3
  EXPECT_NEAR(static_cast<double>(at4[15]), -23.14, 5e-3);  // D4
}

using Reduced = std::array<double, 16>;

// The matrix in reduced form S.T.S^-1, S = diag(1, 1/a, 1/(a^3.EI), 1/(a^2.EI)), which maps
// (u, theta/a, Q/(a^3.EI), M/(a^2.EI)): pure numbers of order one whatever a and EI are.
Reduced reduced(const Matrix4& T, float alpha, float EI) {
  const double a = static_cast<double>(alpha);
  const double S[4] = {1.0, 1.0 / a, 1.0 / (a * a * a * static_cast<double>(EI)),
                       1.0 / (a * a * static_cast<double>(EI))};
  Reduced r;
  for (int32_t i = 1; i <= 4; ++i) {
    for (int32_t j = 1; j <= 4; ++j) {
      r[static_cast<size_t>((j - 1) * 4 + i - 1)] =
          S[i - 1] * static_cast<double>(T(i, j)) / S[j - 1];
    }
  }
  return r;
}

void expect_reduced_identity(const Matrix4& T, float alpha, float EI, double tolerance) {
  const Reduced r = reduced(T, alpha, EI);
  for (int32_t i = 1; i <= 4; ++i) {
    for (int32_t j = 1; j <= 4; ++j) {
      EXPECT_NEAR(r[static_cast<size_t>((j - 1) * 4 + i - 1)], i == j ? 1.0 : 0.0, tolerance)
          << "entry (" << i << ", " << j << ")";
    }
  }
}

TEST(Frseg, FreeLengthIsAnElasticBeam) {
  // EI = 1000, h = 2: h^3/6EI = 1/750, h^2/2EI = 1/500, h/EI = 1/500.
  const double expected[4][4] = {
      {1, 2, 8.0 / 6000, -0.002}, {0, 1, 0.002, -0.002}, {0, 0, 1, 0}, {0, 0, -2, 1}};
  Matrix4 T;
  FRSEG(1000.0f, 2.0f, T);
  for (int32_t i = 1; i <= 4; ++i) {
    for (int32_t j = 1; j <= 4; ++j) {
      const double e = expected[i - 1][j - 1];
      EXPECT_NEAR(static_cast<double>(T(i, j)), e, 2e-7 * std::fabs(e))
          << "entry (" << i << ", " << j << ")";
    }
  }
}

TEST(Blseg, ZeroLengthIsTheIdentity) {
  const struct {
    float alpha, EI, z;
  } cases[] = {{0.5f, 1e5f, 0.0f}, {0.5f, 1e5f, 3.0f}, {0.7f, 2.5e5f, 4.0f}, {0.35f, 8e4f, 15.0f}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "alpha " << c.alpha << ", z " << c.z);
    Matrix4 T;
    BLSEG(c.alpha, c.EI, c.z, c.z, T);
    expect_reduced_identity(T, c.alpha, c.EI, 1e-9);
  }
}

TEST(Blseg, LengthReachingPastReducedDepthSixEndsThere) {
  // alpha = 0.5: 6 / alpha = 12 exactly, so both lower depths give the reduced depth 6.0.
  Matrix4 past, at_six;
  BLSEG(0.5f, 1e5f, 4.0f, 20.0f, past);
  BLSEG(0.5f, 1e5f, 4.0f, 12.0f, at_six);
  for (int32_t e = 0; e < 16; ++e) EXPECT_EQ(past.data()[e], at_six.data()[e]) << "element " << e;
}

TEST(Blseg, VanishingSoilGivesTheFreeBeamWithTheBelowGroundMoment) {
  // N.FRSEG(1000, 2).N, N = diag(1, 1, 1, -1): the moment terms change sign.
  const double expected[4][4] = {
      {1, 2, 8.0 / 6000, 0.002}, {0, 1, 0.002, 0.002}, {0, 0, 1, 0}, {0, 0, 2, 1}};
  Matrix4 T;
  BLSEG(0.001f, 1000.0f, 0.0f, 2.0f, T);
  for (int32_t i = 1; i <= 4; ++i) {
    for (int32_t j = 1; j <= 4; ++j) {
      const double e = expected[i - 1][j - 1];
      EXPECT_NEAR(static_cast<double>(T(i, j)), e, 1e-5 * std::fabs(e) + 1e-9)
          << "entry (" << i << ", " << j << ")";
    }
  }
}

}  // namespace
}  // namespace kelmarino
