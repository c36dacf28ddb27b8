// Matrix kernels and section properties: products, transposes and the section of a segment.
// Expected values are worked by hand (small integer or power-of-two entries, exact in floats).
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "model/run_error.hpp"
#include "numeric/numeric.hpp"

namespace kelmarino {
namespace {

// An r x c matrix written row by row, stored column by column as the kernels take it.
std::vector<float> by_rows(int32_t r, int32_t c, std::initializer_list<float> values) {
  std::vector<float> m(static_cast<size_t>(r * c));
  auto it = values.begin();
  for (int32_t i = 0; i < r; ++i) {
    for (int32_t j = 0; j < c; ++j) m[static_cast<size_t>(j * r + i)] = *it++;
  }
  return m;
}

TEST(Matmul, FormsProductsOfEveryShapeInUse) {
  struct Case {
    const char* name;
    int32_t l, m, n;
    std::vector<float> A, B, C;
  } cases[] = {
      {"outer product of a column and a row", 3, 1, 2, by_rows(3, 1, {1, 2, 3}),
       by_rows(1, 2, {4, 5}), by_rows(3, 2, {4, 5, 8, 10, 12, 15})},
      {"matrix times vector", 2, 3, 1, by_rows(2, 3, {1, 2, 3, 4, 5, 6}), by_rows(3, 1, {1, 2, 3}),
       by_rows(2, 1, {14, 32})},
      {"2x2 by 2x2", 2, 2, 2, by_rows(2, 2, {1, 2, 3, 4}), by_rows(2, 2, {5, 6, 7, 8}),
       by_rows(2, 2, {19, 22, 43, 50})},
      {"2x3 by 3x2", 2, 3, 2, by_rows(2, 3, {1, 2, 3, 4, 5, 6}),
       by_rows(3, 2, {7, 8, 9, 10, 11, 12}), by_rows(2, 2, {58, 64, 139, 154})},
      // The running sum is stored after each product: 1 + 1e-8 rounds to 1, so the 1e-8 is lost.
      {"running sum rounded after every product", 1, 3, 1, by_rows(1, 3, {1, 1e-8f, -1}),
       by_rows(3, 1, {1, 1, 1}), by_rows(1, 1, {0})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<float> C(c.C.size(), -99.0f);
    matrix_product(c.l, c.m, c.n, c.A.data(), c.B.data(), C.data());
    EXPECT_EQ(C, c.C);
  }
}

TEST(Transpose, SwapsRowsAndColumnsOfARectangle) {
  const std::vector<float> A = by_rows(2, 3, {1, 2, 3, 4, 5, 6});
  std::vector<float> B(6, -99.0f);
  transpose(2, 3, A.data(), B.data());
  EXPECT_EQ(B, by_rows(3, 2, {1, 4, 2, 5, 3, 6}));
}

TEST(Secprop, GivesAreaAndReducedSecondMoment) {
  struct Case {
    int32_t KSH;
    float PKE, d, A, I;
  } cases[] = {
      {0, 1.0f, 1.0f, 0.7855f, 0.04909375f},  // 3.142 / 4 and 3.142 / 64
      {0, 0.8f, 2.0f, 3.142f, 0.6284f},       // 16 . 0.8 . 3.142 / 64
      {0, 0.0f, 1.0f, 0.7855f, 0.0f},         // the reduction factor never touches the area
      {1, 1.0f, 1.0f, 1.0f, 1.0f / 12},
      {1, 0.5f, 2.0f, 4.0f, 8.0f / 12},
      {1, 0.0f, 1.0f, 1.0f, 0.0f},
      {2, 1.0f, 1.0f, 1.0f, 1.0f / 12},  // every non-zero code is square
      {-3, 1.0f, 1.0f, 1.0f, 1.0f / 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "KSH " << c.KSH << ", PKE " << c.PKE << ", d " << c.d);
    float A = -1.0f;
    float I = -1.0f;
    section_properties(c.KSH, c.PKE, c.d, A, I);
    EXPECT_FLOAT_EQ(A, c.A);
    EXPECT_FLOAT_EQ(I, c.I);
  }
}

TEST(RealPower, ExponentTwoIsTheProductExactly) {
  const float values[] = {0.0f, 1.0f, -1.0f, 0.1f, 0.3f, 1.7f, -2.3f, 3.14159f, 1e-3f, 123.456f};
  for (float x : values) {
    EXPECT_EQ(std::bit_cast<uint32_t>(real_power(x, 2.0f)), std::bit_cast<uint32_t>(x * x)) << x;
  }
  EXPECT_EQ(real_power(-2.0f, 3.0f), -8.0f);
  EXPECT_NEAR(static_cast<double>(real_power(32.0f, 0.2f)), 2.0, 1e-5);  // the fifth root
}

}  // namespace
}  // namespace kelmarino
