// Transfer matrices of a length of pile: a free elastic beam above the ground line, a beam in
// soil whose horizontal reaction grows with depth (the m method) below it.
#include <algorithm>
#include <bit>
#include <cmath>

#include "pile/pile.hpp"

namespace kelmarino {
namespace {

constexpr float MAX_REDUCED_DEPTH = 6.0f;  // soil below the reduced depth 6 adds nothing

// One term of a coefficient series: sign * zb^exponent / divisor.
struct Term {
  float sign;
  float exponent;
  float divisor;
};

// A coefficient function: at most six terms in rising powers, summed in this order.
struct Series {
  int32_t count;
  Term terms[6];
};

// The sixteen coefficient functions A1 .. D4. The divisors are the tabulated single-precision
// values (four or five significant digits), not the exact factorial products.
// One row per function, as tabulated.
// clang-format off
const Series SERIES[16] = {
    // A1, B1, C1, D1
    {6, {{1, 0, 1}, {-1, 5, 120}, {1, 10, 604800}, {-1, 15, 1.9813E10f}, {1, 20, 2.3038E15f},
         {-1, 25, 6.9945E20f}}},
    {6, {{1, 1, 1}, {-1, 6, 360}, {1, 11, 2851200}, {-1, 16, 1.245E11f}, {1, 21, 1.7889E16f},
         {-1, 26, 6.4185E21f}}},
    {6, {{1, 2, 2}, {-1, 7, 1680}, {1, 12, 1.9958E7f}, {-1, 17, 1.14E12f}, {1, 22, 2E17f},
         {-1, 27, 8.43E22f}}},
    {6, {{1, 3, 6}, {-1, 8, 10080}, {1, 13, 1.7297E8f}, {-1, 18, 1.2703E13f}, {1, 23, 2.6997E18f},
         {-1, 28, 1.33E24f}}},
    // A2, B2, C2, D2
    {5, {{-1, 4, 24}, {1, 9, 60480}, {-1, 14, 1.3209E9f}, {1, 19, 1.1519E14f},
         {-1, 24, 2.7978E19f}}},
    {6, {{1, 0, 1}, {-1, 5, 60}, {1, 10, 259200}, {-1, 15, 7.7837E9f}, {1, 20, 8.5185E14f},
         {-1, 25, 2.4686E20f}}},
    {6, {{1, 1, 1}, {-1, 6, 240}, {1, 11, 1663200}, {-1, 16, 6.7059E10f}, {1, 21, 9.0973E15f},
         {-1, 26, 3.1222E21f}}},
    {6, {{1, 2, 2}, {-1, 7, 1260}, {1, 12, 1.3305E7f}, {-1, 17, 7.0572E11f}, {1, 22, 1.1738E17f},
         {-1, 27, 4.738E22f}}},
    // A3, B3, C3, D3
    {5, {{-1, 3, 6}, {1, 8, 6720}, {-1, 13, 9.435E7f}, {1, 18, 6.0626E12f},
         {-1, 23, 1.1657E18f}}},
    {5, {{-1, 4, 12}, {1, 9, 25920}, {-1, 14, 5.1892E8f}, {1, 19, 4.2593E13f},
         {-1, 24, 9.8746E18f}}},
    {6, {{1, 0, 1}, {-1, 5, 40}, {1, 10, 151200}, {-1, 15, 4.1912E9f}, {1, 20, 4.332E14f},
         {-1, 25, 1.2009E20f}}},
    {6, {{1, 1, 1}, {-1, 6, 180}, {1, 11, 1108800}, {-1, 16, 4.1513E10f}, {1, 21, 5.3354E15f},
         {-1, 26, 1.7543E21f}}},
    // A4, B4, C4, D4
    {5, {{-1, 2, 2}, {1, 7, 840}, {-1, 12, 7257000}, {1, 17, 3.3681E11f},
         {-1, 22, 5.0683E16f}}},
    {5, {{-1, 3, 3}, {1, 8, 2880}, {-1, 13, 3.7066E7f}, {1, 18, 2.2477E12f},
         {-1, 23, 4.1144E17f}}},
    {5, {{-1, 4, 8}, {1, 9, 15120}, {-1, 14, 2.7941E8f}, {1, 19, 2.166E13f},
         {-1, 24, 4.8034E18f}}},
    {6, {{1, 0, 1}, {-1, 5, 30}, {1, 10, 100800}, {-1, 15, 2.5946E9f}, {1, 20, 2.5406E14f},
         {-1, 25, 6.7491E19f}}},
};
// clang-format on

// Sums a coefficient series, its terms left to right; power(e) gives zb^e. A first term of 1 is
// the constant itself; every other term is zb^exponent / divisor.
template <typename Real, typename Power>
Real series_sum(const Series& series, Power power) {
  const auto term = [&power](const Term& t) {
    return t.exponent == 0.0f ? Real(1) : power(t.exponent) / static_cast<Real>(t.divisor);
  };
  Real sum = static_cast<Real>(series.terms[0].sign) * term(series.terms[0]);
  for (int32_t i = 1; i < series.count; ++i) {
    const Term& t = series.terms[i];
    if (t.sign > 0.0f) {
      sum = sum + term(t);
    } else {
      sum = sum - term(t);
    }
  }
  return sum;
}

float series_value(float zb, const Series& series) {
  return series_sum<float>(series, [zb](float exponent) { return real_power(zb, exponent); });
}

// The powers of zb that the series use, exponents 0 .. 28, in double precision: exponent 1 is
// zb itself, exponent 2 is zb.zb, any other the library power. Each is formed once per depth.
constexpr int32_t MAX_EXPONENT = 28;
using Powers = double[MAX_EXPONENT + 1];

void powers_in_double(double zb, Powers& p) {
  p[0] = 1.0;
  p[1] = zb;
  p[2] = zb * zb;
  for (int32_t e = 3; e <= MAX_EXPONENT; ++e) p[e] = std::pow(zb, static_cast<double>(e));
}

// The reduced depth alpha.z, capped at 6 (exactly 6 passes unchanged).
template <typename Real>
Real reduced_depth(Real alpha, Real z) {
  const Real zb = alpha * z;
  return zb > static_cast<Real>(MAX_REDUCED_DEPTH) ? static_cast<Real>(MAX_REDUCED_DEPTH) : zb;
}

// MCOEF's arrangement of the sixteen functions f (A1 .. D4 in that order) into the matrix of the
// factor alpha, with a2 = alpha^2 and a3 = alpha^3, each entry in the same order of operations
// in either precision.
template <typename Real>
void arrange_coefficients(Real alpha, Real a2, Real a3, const Real (&f)[16], Table<Real, 4, 4>& T) {
  const Real two = Real(2);
  const Real six = Real(6);
  T(1, 1) = f[0];
  T(1, 2) = f[1] / alpha;
  T(1, 3) = two * f[2] / a2;
  T(1, 4) = six * f[3] / a3;
  T(2, 1) = alpha * f[4];
  T(2, 2) = f[5];
  T(2, 3) = two * f[6] / alpha;
  T(2, 4) = six * f[7] / a2;
  T(3, 1) = a2 * f[8];
  T(3, 2) = alpha * f[9];
  T(3, 3) = two * f[10];
  T(3, 4) = six * f[11] / alpha;
  T(4, 1) = a3 * f[12];
  T(4, 2) = a2 * f[13];
  T(4, 3) = two * alpha * f[14];
  T(4, 4) = six * f[15];
}

using Matrix4d = Table<double, 4, 4>;

// MCOEF in double precision: the series summed and the matrix arranged in double, with
// alpha^2 = alpha.alpha and alpha^3 the library power.
void coefficient_matrix_in_double(double alpha, double z, Matrix4d& T) {
  Powers p;
  powers_in_double(reduced_depth(alpha, z), p);
  double f[16];
  for (int32_t k = 0; k < 16; ++k) {
    f[k] = series_sum<double>(SERIES[k], [&p](float e) { return p[static_cast<int32_t>(e)]; });
  }
  arrange_coefficients(alpha, alpha * alpha, std::pow(alpha, 3.0), f, T);
}

uint32_t bits(float value) { return std::bit_cast<uint32_t>(value); }

}  // namespace

// The coefficient matrix T1 is ill-conditioned where the upper reduced depth lies near 2.618 or
// in 5.5 .. 5.75 (condition number about 1e5): inverted in single precision it passes the pivot
// test and still gives a matrix wrong by tens of percent. So the matrix is formed in double
// precision from the widened arguments and rounded to single precision once, when stored.
void BLSEG(float alpha, float EI, float z1, float z2, Matrix4& T) {
  const double a = static_cast<double>(alpha);
  const double stiffness = static_cast<double>(EI);
  Matrix4d T1, T2, W, product;
  coefficient_matrix_in_double(a, static_cast<double>(z1), T1);
  coefficient_matrix_in_double(a, static_cast<double>(z2), T2);
  invert_block(T1.data(), 4, W.data(), "singular matrix of the soil coefficient functions");
  MATMUL(4, 4, 4, T2.data(), W.data(), product.data());
  // The matrix maps (u, theta, M/EI, Q/EI); bring it to (u, theta, M, Q).
  for (int32_t i = 1; i <= 2; ++i) {
    for (int32_t j = 1; j <= 2; ++j) {
      product(i, j + 2) = product(i, j + 2) / stiffness;
      product(i + 2, j) = product(i + 2, j) * stiffness;
    }
  }
  for (int32_t e = 0; e < 16; ++e) T.data()[e] = static_cast<float>(product.data()[e]);
  // Exchange rows 3 and 4, then columns 3 and 4: the matrix then maps (u, theta, Q, M).
  for (int32_t j = 1; j <= 4; ++j) {
    const float t = T(3, j);
    T(3, j) = T(4, j);
    T(4, j) = t;
  }
  for (int32_t i = 1; i <= 4; ++i) {
    const float t = T(i, 3);
    T(i, 3) = T(i, 4);
    T(i, 4) = t;
  }
}

void FRSEG(float EI, float h, Matrix4& T) {
  T = Matrix4{};
  for (int32_t i = 1; i <= 4; ++i) T(i, i) = 1.0f;
  T(1, 2) = h;
  T(1, 3) = h * h * h / (6.0f * EI);
  T(1, 4) = -(h * h) / (2.0f * EI);
  T(2, 3) = h * h / (2.0f * EI);
  T(2, 4) = -h / EI;
  T(4, 3) = -h;
}

void MSER12(float zb, float& A1, float& B1, float& C1, float& D1, float& A2, float& B2, float& C2,
            float& D2) {
  A1 = series_value(zb, SERIES[0]);
  B1 = series_value(zb, SERIES[1]);
  C1 = series_value(zb, SERIES[2]);
  D1 = series_value(zb, SERIES[3]);
  A2 = series_value(zb, SERIES[4]);
  B2 = series_value(zb, SERIES[5]);
  C2 = series_value(zb, SERIES[6]);
  D2 = series_value(zb, SERIES[7]);
}

void MSER34(float zb, float& A3, float& B3, float& C3, float& D3, float& A4, float& B4, float& C4,
            float& D4) {
  A3 = series_value(zb, SERIES[8]);
  B3 = series_value(zb, SERIES[9]);
  C3 = series_value(zb, SERIES[10]);
  D3 = series_value(zb, SERIES[11]);
  A4 = series_value(zb, SERIES[12]);
  B4 = series_value(zb, SERIES[13]);
  C4 = series_value(zb, SERIES[14]);
  D4 = series_value(zb, SERIES[15]);
}

void MCOEF(float alpha, float z, Matrix4& T) {
  const float zb = reduced_depth(alpha, z);
  float f[16];
  MSER12(zb, f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7]);
  MSER34(zb, f[8], f[9], f[10], f[11], f[12], f[13], f[14], f[15]);
  arrange_coefficients(alpha, real_power(alpha, 2.0f), real_power(alpha, 3.0f), f, T);
}

BelowGroundCache::BelowGroundCache() : entries_(std::make_unique<Entry[]>(SIZE)) {}

void BelowGroundCache::matrix(float alpha, float EI, float z1, float z2, Matrix4& T) {
  const uint32_t key[4] = {bits(alpha), bits(EI), bits(z1), bits(z2)};
  uint32_t hash = 2166136261u;
  for (const uint32_t k : key) hash = (hash ^ k) * 16777619u;
  Entry& entry = entries_[(hash ^ (hash >> 15)) % SIZE];
  if (entry.used && std::equal(key, key + 4, entry.key)) {
    T = entry.T;
    return;
  }
  BLSEG(alpha, EI, z1, z2, T);
  entry.used = true;
  std::copy(key, key + 4, entry.key);
  entry.T = T;
}

}  // namespace kelmarino
