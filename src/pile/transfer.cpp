// Transfer matrices of a length of pile: a free elastic beam above the ground line, a beam in
// soil whose horizontal reaction grows with depth (the m method) below it.
#include <algorithm>
#include <bit>

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

// A first term of 1 is the constant itself; every other term is zb^exponent / divisor.
float term_value(float zb, const Term& t) {
  if (t.exponent == 0.0f) return 1.0f;
  return real_power(zb, t.exponent) / t.divisor;
}

float series_value(float zb, const Series& series) {
  float sum = series.terms[0].sign * term_value(zb, series.terms[0]);
  for (int32_t i = 1; i < series.count; ++i) {
    const Term& t = series.terms[i];
    if (t.sign > 0.0f) {
      sum = sum + term_value(zb, t);
    } else {
      sum = sum - term_value(zb, t);
    }
  }
  return sum;
}

uint32_t bits(float value) { return std::bit_cast<uint32_t>(value); }

}  // namespace

void BLSEG(float alpha, float EI, float z1, float z2, Matrix4& T) {
  Matrix4 T1, T2, W;
  MCOEF(alpha, z1, T1);
  MCOEF(alpha, z2, T2);
  invert_block(T1.data(), 4, W.data(), "singular matrix of the soil coefficient functions");
  MATMUL(4, 4, 4, T2.data(), W.data(), T.data());
  // The matrix maps (u, theta, M/EI, Q/EI); bring it to (u, theta, M, Q).
  for (int32_t i = 1; i <= 2; ++i) {
    for (int32_t j = 1; j <= 2; ++j) {
      T(i, j + 2) = T(i, j + 2) / EI;
      T(i + 2, j) = T(i + 2, j) * EI;
    }
  }
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
  float zb = alpha * z;
  if (zb > MAX_REDUCED_DEPTH) zb = MAX_REDUCED_DEPTH;
  float A1, B1, C1, D1, A2, B2, C2, D2, A3, B3, C3, D3, A4, B4, C4, D4;
  MSER12(zb, A1, B1, C1, D1, A2, B2, C2, D2);
  MSER34(zb, A3, B3, C3, D3, A4, B4, C4, D4);
  const float a2 = real_power(alpha, 2.0f);
  const float a3 = real_power(alpha, 3.0f);
  T(1, 1) = A1;
  T(1, 2) = B1 / alpha;
  T(1, 3) = 2.0f * C1 / a2;
  T(1, 4) = 6.0f * D1 / a3;
  T(2, 1) = alpha * A2;
  T(2, 2) = B2;
  T(2, 3) = 2.0f * C2 / alpha;
  T(2, 4) = 6.0f * D2 / a2;
  T(3, 1) = a2 * A3;
  T(3, 2) = alpha * B3;
  T(3, 3) = 2.0f * C3;
  T(3, 4) = 6.0f * D3 / alpha;
  T(4, 1) = a3 * A4;
  T(4, 2) = a2 * B4;
  T(4, 3) = 2.0f * alpha * C4;
  T(4, 4) = 6.0f * D4;
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
